// The LZW decoder: exact code streams, table growth, interlacing and the
// leniencies for damaged data.

#include <gtest/gtest.h>

#include <random>

#include "gif/decode/Extensions.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;
using giftest::Load;
using giftest::Screen;
using Codes = std::vector<std::pair<int, int>>;

Bytes PixelsOf(const gif::TGIFSubImage& f) { return Bytes(f.Pixels.get(), f.Pixels.get() + f.PixelBytes); }

// A frame of W x H from hand-made codes, followed by a second 1x1 frame so
// that a wrong end position shows up as a broken second frame.
Bytes CodedFrame(int w, int h, int mcs, const Codes& codes, const Bytes& extra = {}) {
  auto b = Screen(w, h);
  b.Descriptor(0, 0, w, h).Raw({mcs});
  Bytes data = giftest::SubBlocks(giftest::PackCodes(codes), 255, false);
  b.Raw(data).Raw(extra).Raw({0});
  b.Frame(0, 0, 1, 1, {3});
  return b.Trailer().bytes;
}

struct CodeCase {
  const char* name;
  int w, h, mcs;
  Codes codes;
  Bytes extra;  // sub-blocks between the codes and the terminator
  Bytes pixels;
  std::vector<std::string> warnings;
};

class ExactCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(ExactCodes, DecodeAndLeaveTheStreamAfterTheTerminator) {
  const CodeCase& c = GetParam();
  auto loaded = Load(CodedFrame(c.w, c.h, c.mcs, c.codes, c.extra));
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(loaded.warnings, c.warnings);
  ASSERT_EQ(loaded.FrameCount(), 2);
  EXPECT_EQ(PixelsOf(loaded.Frame(0)), c.pixels);
  EXPECT_EQ(PixelsOf(loaded.Frame(1)), Bytes{3});
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, ExactCodes,
    testing::Values(
        CodeCase{"ClearValuesEnd", 4, 1, 2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {0, 4}, {5, 4}}, {}, {1, 2, 3, 0}, {}},
        // 6 is the entry being defined: the previous string plus its own first value.
        CodeCase{"CodeBeingDefined", 3, 1, 2, {{4, 3}, {0, 3}, {6, 3}, {5, 3}}, {}, {0, 0, 0}, {}},
        CodeCase{"BlocksAfterEndAreSkipped", 2, 1, 2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}}, {2, 0xAA, 0xBB, 1, 0xCC},
                 {1, 1}, {}},
        CodeCase{"NoEndCode", 2, 1, 2, {{4, 3}, {2, 3}, {3, 3}}, {}, {2, 3}, {}},
        // An end code right after a clear code is a pixel value.
        CodeCase{"EndAfterClearIsAValue", 2, 1, 2, {{4, 3}, {5, 3}, {1, 3}, {5, 3}}, {}, {5, 1}, {}},
        CodeCase{"EarlyEndKeepsFill", 4, 1, 2, {{4, 3}, {2, 3}, {5, 3}}, {}, {2, 0, 0, 0}, {}},
        CodeCase{"ClearRunCountsOnce", 2, 1, 2, {{4, 3}, {4, 3}, {4, 3}, {3, 3}, {3, 3}, {5, 3}}, {}, {3, 3}, {}},
        // Minimum code size 0 and 11 are both in range.
        CodeCase{"CodeSize11", 2, 1, 11, {{2048, 12}, {1000, 12}, {7, 12}, {2049, 12}}, {}, {1000 & 0xFF, 7}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Decoder, EncodedRoundTripOverAllCodeSizes) {
  std::mt19937 rng(7);
  for (int mcs = 2; mcs <= 8; ++mcs) {
    for (bool structured : {false, true}) {
      const int w = 157, h = 91;  // enough codes to fill the table and clear it
      Bytes pixels(static_cast<size_t>(w * h));
      for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(structured ? (i / 13) % (1u << mcs) : rng() % (1u << mcs));
      GifBuilder b;
      b.Header(w, h, 0x80 | (mcs - 1)).ColorTable(1 << mcs).Descriptor(0, 0, w, h).Pixels(pixels, mcs, 200);
      auto loaded = Load(b.Trailer().bytes);
      ASSERT_EQ(loaded.error, "") << mcs;
      EXPECT_TRUE(loaded.warnings.empty()) << mcs;
      EXPECT_EQ(PixelsOf(loaded.Frame(0)), pixels) << "code size " << mcs << " structured " << structured;
    }
  }
}

// Codes of a coder that never clears: once 4095 entries exist it keeps
// sending 12-bit codes of the full table.
Codes CodesWithoutClearing(const Bytes& pixels, int mcs) {
  const int clear = 1 << mcs;
  std::map<std::pair<int, int>, int> table;
  int next = clear + 2, width = mcs + 1;
  Codes codes{{clear, width}};
  int prefix = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    auto it = table.find({prefix, pixels[i]});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    codes.push_back({prefix, width});
    if (next < 4096) {
      table[{prefix, pixels[i]}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    }
    prefix = pixels[i];
  }
  codes.push_back({prefix, width});
  codes.push_back({clear + 1, width});
  return codes;
}

TEST(Decoder, FullTableGoesOnWithTwelveBitCodes) {
  std::mt19937 rng(3);
  const int w = 200, h = 200;
  Bytes pixels(static_cast<size_t>(w * h));
  for (auto& p : pixels) p = static_cast<uint8_t>(rng() % 4);
  Codes codes = CodesWithoutClearing(pixels, 2);
  ASSERT_GT(codes.size(), 6000u);
  auto b = Screen(w, h);
  b.Descriptor(0, 0, w, h).Codes(2, codes);
  auto loaded = Load(b.Trailer().bytes);
  ASSERT_EQ(loaded.error, "");
  EXPECT_EQ(PixelsOf(loaded.Frame(0)), pixels);
}

TEST(Decoder, InterlacedRowOrder) {
  const std::vector<std::pair<int, std::vector<int>>> orders = {
      {1, {0}}, {2, {0, 1}}, {3, {0, 2, 1}}, {5, {0, 4, 2, 1, 3}}, {9, {0, 8, 4, 2, 6, 1, 3, 5, 7}}};
  for (const auto& [h, order] : orders) {
    // Row k of the stream holds value k; row order[k] of the picture must hold it.
    Bytes stream_rows;
    for (int k = 0; k < h; ++k) stream_rows.insert(stream_rows.end(), 2, static_cast<uint8_t>(k));
    GifBuilder b;
    b.Header(2, h, 0x83).ColorTable(16).Descriptor(0, 0, 2, h, 0x40).Pixels(stream_rows, 4);
    auto loaded = Load(b.Trailer().bytes);
    ASSERT_EQ(loaded.error, "");
    const auto& f = loaded.Frame(0);
    EXPECT_TRUE(f.IsInterlaced());
    for (int k = 0; k < h; ++k) EXPECT_EQ(f.Pixels[static_cast<size_t>(order[static_cast<size_t>(k)] * 2)], k)
        << "height " << h << " stream row " << k;
  }
}

TEST(Decoder, TruncatedDataKeepsDecodedRowsAndTheFillValue) {
  const int w = 64, h = 64;
  std::mt19937 rng(5);
  Bytes pixels(static_cast<size_t>(w * h));
  for (auto& p : pixels) p = static_cast<uint8_t>(rng() % 4);
  for (bool transparent : {false, true}) {
    auto b = Screen(w, h);
    if (transparent) b.Gce(0, 0, true, 2);
    b.Descriptor(0, 0, w, h);
    const size_t data_start = b.bytes.size();
    b.Pixels(pixels, 2, 50);
    Bytes bytes = b.bytes;
    // Code size byte, five whole sub-blocks, then half of the sixth.
    bytes.resize(data_start + 1 + 5 * 51 + 1 + 25);
    auto loaded = Load(bytes);
    ASSERT_EQ(loaded.error, "");
    EXPECT_EQ(loaded.warnings, std::vector<std::string>{"TGIFSubImage: Premature end of data"});
    const Bytes got = PixelsOf(loaded.Frame(0));
    size_t decoded = 0;
    while (decoded < got.size() && got[decoded] == pixels[decoded]) ++decoded;
    EXPECT_GT(decoded, 100u);
    EXPECT_LT(decoded, got.size());
    const uint8_t fill = transparent ? 2 : 0;
    // Beyond what the data held, every pixel is the fill value (a few at the
    // cut may be half-decoded garbage of the last code).
    size_t tail = got.size();
    while (tail > 0 && got[tail - 1] == fill) --tail;
    EXPECT_LT(tail, decoded + 64);
  }
}

TEST(Decoder, NoImageDataKeepsTheFillValue) {
  auto b = Screen(3, 1);
  b.Gce(0, 0, true, 3).Descriptor(0, 0, 3, 1);
  auto loaded = Load(b.bytes);
  ASSERT_EQ(loaded.error, "");
  EXPECT_TRUE(loaded.warnings.empty());
  EXPECT_EQ(PixelsOf(loaded.Frame(0)), (Bytes{3, 3, 3}));
}

TEST(Decoder, CodesAfterTheLastBlockUnderRun) {
  // Data that need more codes than the terminated data hold.
  auto loaded = Load(CodedFrame(8, 1, 2, {{4, 3}, {1, 3}}));
  ASSERT_EQ(loaded.error, "");
  // Once by the pixel loop, once by the closing request for the end code.
  EXPECT_EQ(loaded.warnings, std::vector<std::string>(2, "TGIFSubImage: Decoder bit buffer under-run"));
  EXPECT_EQ(PixelsOf(loaded.Frame(0)), (Bytes{1, 0, 0, 0, 0, 0, 0, 0}));
}

struct BadCase {
  const char* name;
  int mcs;
  Codes codes;
  std::string error;
};

class DamagedData : public testing::TestWithParam<BadCase> {};

TEST_P(DamagedData, IsRefused) {
  const BadCase& c = GetParam();
  auto loaded = Load(CodedFrame(16, 16, c.mcs, c.codes));
  EXPECT_EQ(loaded.error, c.error);
  EXPECT_EQ(loaded.FrameCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, DamagedData,
    testing::Values(
        BadCase{"CodeSizeAbove11", 12, {{4096, 13}}, "GIFException: Invalid LZW code size"},
        // Entry 7 gets itself as prefix.
        BadCase{"SelfPrefix", 2, {{4, 3}, {0, 3}, {7, 3}, {0, 3}, {7, 4}}, "GIFException: Circular decoder table entry"},
        // Entries 11 and 12 name each other as prefix.
        BadCase{"PrefixCycle", 3, {{8, 4}, {0, 4}, {12, 4}, {11, 4}, {0, 4}, {11, 4}},
                "GIFException: Circular decoder table entry"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
