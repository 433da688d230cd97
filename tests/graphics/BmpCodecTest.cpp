#include "platform/graphics/BmpCodec.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/rtl/Exceptions.h"

namespace {

using platform::TDibImage;
using platform::TMemoryStream;
using Bytes = std::vector<uint8_t>;

struct Rgba {
  uint8_t R, G, B, A;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

std::ostream& operator<<(std::ostream& os, const Rgba& c) {
  return os << "(" << int(c.R) << "," << int(c.G) << "," << int(c.B) << "," << int(c.A) << ")";
}

// The colour of one pixel, whatever the layout; alpha is 255 unless the image
// declares an alpha channel.
Rgba PixelAt(const TDibImage& img, int x, int y) {
  const uint8_t* row = img.ScanLine(y);
  auto fromTable = [&](unsigned index) {
    const auto& c = img.ColorTable.at(index);
    return Rgba{c.rgbRed, c.rgbGreen, c.rgbBlue, 255};
  };
  switch (img.BitCount) {
    case 1: return fromTable((row[x / 8] >> (7 - x % 8)) & 1);
    case 4: return fromTable((row[x / 2] >> (x % 2 ? 0 : 4)) & 15);
    case 8: return fromTable(row[x]);
    case 16: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      const bool is565 = img.GreenMask == 0x07E0;
      const unsigned r = is565 ? v >> 11 : (v >> 10) & 31, g = is565 ? (v >> 5) & 63 : (v >> 5) & 31, b = v & 31;
      return Rgba{uint8_t(r * 255 / 31), uint8_t(is565 ? g * 255 / 63 : g * 255 / 31), uint8_t(b * 255 / 31), 255};
    }
    case 24: return Rgba{row[3 * x + 2], row[3 * x + 1], row[3 * x], 255};
    case 32:
      return Rgba{row[4 * x + 2], row[4 * x + 1], row[4 * x], img.AlphaMask ? row[4 * x + 3] : uint8_t{255}};
  }
  ADD_FAILURE() << "bit count " << img.BitCount;
  return {};
}

TDibImage ReadBytes(const Bytes& data) {
  TMemoryStream s;
  s.Write(data.data(), static_cast<int32_t>(data.size()));
  s.SetPosition(0);
  return platform::ReadBmp(s);
}

Bytes WriteBytes(const TDibImage& img) {
  TMemoryStream s;
  platform::WriteBmp(img, s);
  return Bytes(s.Memory(), s.Memory() + s.Size());
}

Bytes LoadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void ExpectSamePixels(const TDibImage& a, const TDibImage& b) {
  ASSERT_EQ(a.Width, b.Width);
  ASSERT_EQ(a.Height, b.Height);
  for (int y = 0; y < a.Height; ++y)
    for (int x = 0; x < a.Width; ++x)
      ASSERT_EQ(PixelAt(a, x, y), PixelAt(b, x, y)) << "at " << x << "," << y;
}

void ExpectInvalid(const Bytes& data) {
  try {
    ReadBytes(data);
    ADD_FAILURE() << "no error for " << data.size() << " bytes";
  } catch (const platform::EInvalidGraphic& e) {
    EXPECT_EQ(e.Message, "Bitmap image is not valid");
  }
}

// --- building BMP files by hand ---

void Put16(Bytes& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

struct Fixture {
  uint32_t HeaderSize = 40;
  int32_t Width = 0, Height = 0;
  uint16_t BitCount = 0;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  std::vector<uint32_t> Masks = {};  // written after a 40-byte header, or inside a larger one
  std::vector<uint32_t> Colors = {};// 0x00RRGGBB
  Bytes Pixels = {};
  int64_t OffBits = -1;         // -1: right after the colour table
};

Bytes Build(const Fixture& f) {
  Bytes dib;
  Put32(dib, f.HeaderSize);
  if (f.HeaderSize == 12) {
    Put16(dib, f.Width);
    Put16(dib, f.Height);
    Put16(dib, 1);
    Put16(dib, f.BitCount);
  } else {
    Put32(dib, f.Width);
    Put32(dib, uint32_t(f.Height));
    Put16(dib, 1);
    Put16(dib, f.BitCount);
    Put32(dib, f.Compression);
    Put32(dib, uint32_t(f.Pixels.size()));
    Put32(dib, 2835);
    Put32(dib, 2835);
    Put32(dib, f.ColorsUsed);
    Put32(dib, 0);
    for (uint32_t m : f.Masks) Put32(dib, m);
    dib.resize(std::max<size_t>(dib.size(), f.HeaderSize), 0);
  }
  for (uint32_t c : f.Colors) {
    dib.push_back(uint8_t(c));
    dib.push_back(uint8_t(c >> 8));
    dib.push_back(uint8_t(c >> 16));
    if (f.HeaderSize != 12) dib.push_back(0);
  }
  Bytes file{'B', 'M'};
  const uint32_t off = f.OffBits >= 0 ? uint32_t(f.OffBits) : uint32_t(14 + dib.size());
  Put32(file, uint32_t(14 + dib.size() + f.Pixels.size()));
  Put32(file, 0);
  Put32(file, off);
  file.insert(file.end(), dib.begin(), dib.end());
  file.insert(file.end(), f.Pixels.begin(), f.Pixels.end());
  return file;
}

// Index grid of an 8- or 4-bit image, rows from the top.
std::vector<std::string> Indices(const TDibImage& img) {
  std::vector<std::string> rows;
  for (int y = 0; y < img.Height; ++y) {
    std::string row;
    for (int x = 0; x < img.Width; ++x) {
      const uint8_t* r = img.ScanLine(y);
      const unsigned v = img.BitCount == 8 ? r[x] : (r[x / 2] >> (x % 2 ? 0 : 4)) & 15;
      row += "0123456789abcdef"[v & 15];
    }
    rows.push_back(row);
  }
  return rows;
}

std::vector<uint32_t> Grey16() {
  std::vector<uint32_t> c;
  for (uint32_t i = 0; i < 16; ++i) c.push_back(i * 0x111111);
  return c;
}

// --- real files ---

std::vector<std::string> CorpusBmps() {
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(PELLISTO_SHARED_DIR "/corpus"))
    if (e.path().extension() == ".bmp") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(BmpCodec, CorpusFilesReadAndSurviveAWriteReadRoundTrip) {
  const auto files = CorpusBmps();
  ASSERT_GE(files.size(), 4u);
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    const Bytes data = LoadFile(file);
    const TDibImage img = ReadBytes(data);
    EXPECT_GT(img.Width, 0);
    EXPECT_EQ(img.Pixels.size(), img.RowBytes() * size_t(img.Height));
    const TDibImage again = ReadBytes(WriteBytes(img));
    EXPECT_EQ(again.BitCount, img.BitCount);
    EXPECT_EQ(again.Pixels.size(), img.Pixels.size());
    ExpectSamePixels(img, again);
  }
}

TEST(BmpCodec, HarvestersHasTheSizeTheCorpusStates) {
  const TDibImage img = ReadBytes(LoadFile(PELLISTO_SHARED_DIR "/corpus/harvesters.bmp"));
  EXPECT_EQ(img.Width, 1165);
  EXPECT_EQ(img.Height, 859);
  EXPECT_EQ(img.BitCount, 24);
}

TEST(BmpCodec, TruncatedCorpusFilesRaise) {
  for (const auto& file : CorpusBmps()) {
    SCOPED_TRACE(file);
    const Bytes data = LoadFile(file);
    for (size_t cut : {size_t{0}, size_t{1}, size_t{13}, size_t{17}, size_t{40}, size_t{54}, data.size() / 2,
                       data.size() - 1}) {
      SCOPED_TRACE(cut);
      ExpectInvalid(Bytes(data.begin(), data.begin() + cut));
    }
  }
}

// ImageMagick, an independent reader and writer, makes each header and
// compression variant from a corpus photo and tells us the pixels it sees.
std::string Convert() {
  for (const char* p : {"/usr/bin/convert", "/usr/local/bin/convert"})
    if (std::filesystem::exists(p)) return p;
  return {};
}

TEST(BmpCodec, VariantsWrittenByImageMagickMatchItsPixels) {
  const std::string convert = Convert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string src = PELLISTO_SHARED_DIR "/corpus/hat.bmp";
  const auto dir = std::filesystem::temp_directory_path() / ("bmpcodec-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  struct Variant {
    const char* Name;
    const char* Options;
    uint16_t BitCount;
    bool Alpha;
  };
  const Variant variants[] = {
      {"info24", "BMP3:", 24, false},
      {"core", "BMP2:", 24, false},
      {"v5-24", "BMP:", 24, false},
      {"rle8", "-type palette -compress RLE BMP3:", 8, false},
      {"pal8", "-type palette -compress None BMP3:", 8, false},
      {"pal4", "-colors 16 -type palette -compress None BMP3:", 4, false},
      {"mono", "-monochrome BMP3:", 1, false},
      {"rgb565", "-define bmp:subtype=RGB565 BMP:", 16, false},
      {"argb", "-alpha set -channel A -fx 'i/w' BMP:", 32, true},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.Name);
    const std::string bmp = (dir / (std::string(v.Name) + ".bmp")).string();
    const std::string raw = (dir / (std::string(v.Name) + ".rgba")).string();
    std::string options = v.Options;
    const std::string format = options.substr(options.rfind(' ') + 1);
    options = options.substr(0, options.size() - format.size());
    ASSERT_EQ(std::system((convert + " " + src + " " + options + format + bmp).c_str()), 0);
    ASSERT_EQ(std::system((convert + " " + bmp + " -depth 8 rgba:" + raw).c_str()), 0);
    const TDibImage img = ReadBytes(LoadFile(bmp));
    EXPECT_EQ(img.BitCount, v.BitCount);
    ASSERT_EQ(img.Width, 90);
    ASSERT_EQ(img.Height, 112);
    const Bytes ref = LoadFile(raw);
    ASSERT_EQ(ref.size(), size_t(4 * 90 * 112));
    int mismatches = 0;
    for (int y = 0; y < img.Height; ++y)
      for (int x = 0; x < img.Width; ++x) {
        const uint8_t* r = &ref[4 * (size_t(y) * 90 + x)];
        const Rgba want{r[0], r[1], r[2], v.Alpha ? r[3] : uint8_t{255}};
        const Rgba got = PixelAt(img, x, y);
        // 5- and 6-bit channels may be scaled with different rounding.
        const int tol = v.BitCount == 16 ? 8 : 0;
        if (std::abs(got.R - want.R) > tol || std::abs(got.G - want.G) > tol ||
            std::abs(got.B - want.B) > tol || std::abs(got.A - want.A) > tol) {
          if (mismatches++ < 3) ADD_FAILURE() << x << "," << y << ": " << got << " want " << want;
        }
      }
    EXPECT_EQ(mismatches, 0);
    const TDibImage again = ReadBytes(WriteBytes(img));
    ExpectSamePixels(img, again);
  }
  std::filesystem::remove_all(dir);
}

// --- compressed data ---

TEST(BmpCodec, Rle8RunsAbsoluteRunsDeltasAndEndCodes) {
  Fixture f{.Width = 6, .Height = 4, .BitCount = 8, .Compression = 1, .ColorsUsed = 16, .Colors = Grey16()};
  f.Pixels = {
      3, 1, 0, 3, 2, 3, 4,  // bottom row: run of three 1s, absolute 2 3 4 (padded)
      0,                    // pad byte of the absolute run
      0, 0,                 // end of line
      2, 5, 0, 2, 2, 1,     // run of two 5s, then delta right 2 and up 1
      1, 6, 0, 0,           // one 6 at x 4 on row 2, end of line
      9, 7,                 // run of nine 7s: the last three fall off the row
      0, 1,                 // end of bitmap: the rest stays 0
  };
  const TDibImage img = ReadBytes(Build(f));
  EXPECT_EQ(img.BitCount, 8);
  EXPECT_FALSE(img.TopDown);
  EXPECT_EQ(Indices(img), (std::vector<std::string>{"777777", "000060", "550000", "111234"}));
}

TEST(BmpCodec, Rle4RunsAlternateNibbles) {
  Fixture f{.Width = 7, .Height = 2, .BitCount = 4, .Compression = 2, .Colors = Grey16()};
  f.Pixels = {
      5, 0x12,              // 1 2 1 2 1
      0, 3, 0xAB, 0xC0,     // absolute a b c, two bytes (already even)
      0, 0,                 // end of line
      4, 0xF0,              // f 0 f 0
      0, 1,                 // end of bitmap
  };
  const TDibImage img = ReadBytes(Build(f));
  EXPECT_EQ(img.BitCount, 4);
  EXPECT_EQ(Indices(img), (std::vector<std::string>{"f0f0000", "12121ab"}));
}

TEST(BmpCodec, DamagedHeadersAndDataRaise) {
  const Fixture good{.Width = 2, .Height = 2, .BitCount = 24, .Pixels = Bytes(16, 0x80)};
  ASSERT_NO_THROW(ReadBytes(Build(good)));
  const std::vector<std::pair<const char*, std::function<void(Fixture&)>>> cases = {
      {"zero width", [](Fixture& f) { f.Width = 0; }},
      {"negative width", [](Fixture& f) { f.Width = -2; }},
      {"zero height", [](Fixture& f) { f.Height = 0; }},
      {"odd bit count", [](Fixture& f) { f.BitCount = 7; }},
      {"jpeg payload", [](Fixture& f) { f.Compression = 4; }},
      {"unknown compression", [](Fixture& f) { f.Compression = 77; }},
      {"rle8 at 24 bits", [](Fixture& f) { f.Compression = 1; }},
      {"bit fields at 24 bits", [](Fixture& f) { f.Compression = 3; f.Masks = {0xFF, 0xFF00, 0xFF0000}; }},
      {"header size 20", [](Fixture& f) { f.HeaderSize = 20; }},
      {"huge size, little data", [](Fixture& f) { f.Width = 30000; f.Height = 30000; }},
      {"pixels past the end", [](Fixture& f) { f.OffBits = 1000; }},
      {"one byte short", [](Fixture& f) { f.Pixels.pop_back(); }},
      {"colour table past the end", [](Fixture& f) { f.BitCount = 8; f.ColorsUsed = 200; f.Pixels = Bytes(8); }},
      {"rle without end", [](Fixture& f) { f.Pixels = {2, 1, 0, 0, 2}; }},
      {"rle absolute run past the data", [](Fixture& f) { f.Pixels = {0, 9, 1, 2}; }},
      {"rle delta cut off", [](Fixture& f) { f.Pixels = {0, 2, 1}; }},
      {"rle describing too much", [](Fixture& f) { f.Width = 20000; f.Height = 20000; f.Pixels = {0, 1}; }},
  };
  for (const auto& [name, change] : cases) {
    SCOPED_TRACE(name);
    Fixture f = good;
    if (std::string(name).starts_with("rle")) {
      f.BitCount = 8;
      f.Compression = 1;
      f.ColorsUsed = 16;
      f.Colors = Grey16();
    }
    change(f);
    ExpectInvalid(Build(f));
  }
  Bytes notBmp = Build(good);
  notBmp[0] = 'G';
  ExpectInvalid(notBmp);
}

// --- layouts ---

TEST(BmpCodec, HeaderVariantsAndBitFieldsGiveTheSamePixels) {
  // Two pixels per row, two rows: top row red, green; bottom row blue, white.
  const Rgba top[2] = {{255, 0, 0, 255}, {0, 255, 0, 255}};
  const Rgba bottom[2] = {{0, 0, 255, 255}, {255, 255, 255, 255}};
  struct Case {
    const char* Name;
    Fixture F;
    bool Alpha;
    std::vector<Rgba> Expected = {};  // top left, top right, bottom left, bottom right
  };
  const Case cases[] = {
      {"core 24", {.HeaderSize = 12, .Width = 2, .Height = 2, .BitCount = 24,
                   .Pixels = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0}}, false},
      {"top-down 24", {.Width = 2, .Height = -2, .BitCount = 24,
                       .Pixels = {0, 0, 255, 0, 255, 0, 0, 0, 255, 0, 0, 255, 255, 255, 0, 0}}, false},
      {"core 1-bit", {.HeaderSize = 12, .Width = 2, .Height = 2, .BitCount = 1,
                      .Colors = {0x000000, 0xFFFFFF}, .Pixels = {0x80, 0, 0, 0, 0x40, 0, 0, 0}}, false,
       {{0, 0, 0, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}}},
      {"16-bit 555", {.Width = 2, .Height = 2, .BitCount = 16,
                      .Pixels = {0x1F, 0, 0xFF, 0x7F, 0, 0x7C, 0xE0, 0x03}}, false},
      {"16-bit 565 fields", {.Width = 2, .Height = 2, .BitCount = 16, .Compression = 3,
                             .Masks = {0xF800, 0x07E0, 0x001F},
                             .Pixels = {0x1F, 0, 0xFF, 0xFF, 0, 0xF8, 0xE0, 0x07}}, false},
      {"16-bit 4444 in a V4 header", {.HeaderSize = 108, .Width = 2, .Height = 2, .BitCount = 16,
                                      .Compression = 3, .Masks = {0x0F00, 0x00F0, 0x000F, 0xF000},
                                      .Pixels = {0x0F, 0xF0, 0xFF, 0xFF, 0x00, 0xFF, 0xF0, 0xF0}}, true},
      {"32-bit RGBA fields in a V5 header", {.HeaderSize = 124, .Width = 2, .Height = 2, .BitCount = 32,
                                             .Compression = 3, .Masks = {0xFF, 0xFF00, 0xFF0000, 0xFF000000},
                                             .Pixels = {0, 0, 255, 255, 255, 255, 255, 255,
                                                        255, 0, 0, 255, 0, 255, 0, 255}}, true},
      {"32-bit plain", {.Width = 2, .Height = 2, .BitCount = 32,
                        .Pixels = {255, 0, 0, 9, 255, 255, 255, 9, 0, 0, 255, 9, 0, 255, 0, 9}}, false},
      {"8-bit, pixel offset 0", {.Width = 2, .Height = 2, .BitCount = 8, .ColorsUsed = 4,
                                 .Colors = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF},
                                 .Pixels = {2, 3, 0, 0, 0, 1, 0, 0}, .OffBits = 0}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TDibImage img = ReadBytes(Build(c.F));
    EXPECT_EQ(img.AlphaMask != 0, c.Alpha);
    const std::vector<Rgba> want =
        c.Expected.empty() ? std::vector<Rgba>{top[0], top[1], bottom[0], bottom[1]} : c.Expected;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(PixelAt(img, i % 2, i / 2), want[size_t(i)]) << i;
    if (img.BitCount <= 8) {
      EXPECT_EQ(img.ColorTable.size(), size_t{1} << img.BitCount);
    }
    const TDibImage again = ReadBytes(WriteBytes(img));
    EXPECT_EQ(again.BitCount, img.BitCount);
    ExpectSamePixels(img, again);
  }
}

TEST(BmpCodec, WritesEveryFormatAndReadsItBack) {
  for (uint16_t bits : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bits);
    TDibImage img;
    img.Allocate(13, 5, bits);
    img.TopDown = bits == 24;  // written bottom-up all the same
    if (bits == 16) img.RedMask = 0xF800, img.GreenMask = 0x07E0;
    for (size_t i = 0; i < img.ColorTable.size(); ++i)
      img.ColorTable[i] = {uint8_t(i * 7), uint8_t(i * 3), uint8_t(255 - i), 0};
    for (int y = 0; y < img.Height; ++y)
      for (size_t b = 0; b < (size_t(img.Width) * bits + 7) / 8; ++b)
        img.ScanLine(y)[b] = uint8_t(b * 37 + y * 11);
    const Bytes file = WriteBytes(img);
    EXPECT_EQ(file[0], 'B');
    const TDibImage again = ReadBytes(file);
    EXPECT_EQ(again.BitCount, bits);
    EXPECT_FALSE(again.TopDown);
    EXPECT_EQ(again.GreenMask, img.GreenMask);
    ExpectSamePixels(img, again);
  }
}

TEST(BmpCodec, ReadingLeavesTheStreamAfterThePicture) {
  const Fixture f{.Width = 1, .Height = 1, .BitCount = 24, .Pixels = {1, 2, 3, 0}};
  Bytes data = Build(f);
  const size_t size = data.size();
  data.insert(data.end(), {'t', 'a', 'i', 'l'});
  TMemoryStream s;
  s.Write(data.data(), int32_t(data.size()));
  s.SetPosition(0);
  platform::ReadBmp(s);
  EXPECT_EQ(s.Position(), int64_t(size));
}

TEST(BmpCodec, PackedDibOfAnIconEntryHalvesTheHeight) {
  // A 40-byte header claiming height 4 (XOR image plus AND mask), 2x2 8-bit.
  Fixture f{.Width = 2, .Height = 4, .BitCount = 8, .ColorsUsed = 2, .Colors = {0x112233, 0x445566},
            .Pixels = {1, 0, 0, 0, 0, 1, 0, 0}};
  const Bytes file = Build(f);
  const Bytes dib(file.begin() + 14, file.end());
  size_t consumed = 0;
  const TDibImage img = platform::ReadDib(dib.data(), dib.size(), 2, &consumed);
  EXPECT_EQ(img.Height, 2);
  EXPECT_EQ(consumed, 40u + 8 + 8);
  EXPECT_EQ(PixelAt(img, 0, 0), (Rgba{0x11, 0x22, 0x33, 255}));
  EXPECT_EQ(PixelAt(img, 1, 0), (Rgba{0x44, 0x55, 0x66, 255}));
  EXPECT_THROW(platform::ReadDib(dib.data(), 45, 1), platform::EInvalidGraphic);
}

}  // namespace
