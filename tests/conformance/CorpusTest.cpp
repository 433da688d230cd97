// Real-world GIFs: every file loads, and each frame's pixel indices,
// position, size and colour tables equal what giflib reads from it.

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "gif/decode/ColorMap.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";
const char kTruncated[] = "hippopotamus.interlaced.truncated.gif";
// DGifSlurp hands interlaced images over in picture row order.
constexpr bool kGiflibDeinterlaces = true;

giftest::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return giftest::Bytes(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> CorpusGifs() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus))
    if (entry.path().extension() == ".gif") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

struct MemoryReader {
  const giftest::Bytes* bytes;
  size_t position = 0;
};

int ReadMemory(GifFileType* file, GifByteType* out, int size) {
  auto* reader = static_cast<MemoryReader*>(file->UserData);
  const size_t n = std::min(static_cast<size_t>(size), reader->bytes->size() - reader->position);
  std::memcpy(out, reader->bytes->data() + reader->position, n);
  reader->position += n;
  return static_cast<int>(n);
}

struct GiflibFile {
  GifFileType* file = nullptr;
  int slurp = GIF_ERROR;
  ~GiflibFile() {
    int error = 0;
    if (file != nullptr) DGifCloseFile(file, &error);
  }
};

void ExpectSameMap(const ColorMapObject* theirs, const gif::TGIFColorMap& ours, const std::string& what) {
  if (theirs == nullptr) {
    EXPECT_EQ(ours.EntryCount, 0) << what;
    return;
  }
  ASSERT_EQ(ours.EntryCount, theirs->ColorCount) << what;
  for (int i = 0; i < theirs->ColorCount; ++i) {
    const GifColorType& c = theirs->Colors[i];
    EXPECT_TRUE(ours[i].Red == c.Red && ours[i].Green == c.Green && ours[i].Blue == c.Blue) << what << " entry " << i;
  }
}

class Corpus : public testing::TestWithParam<std::string> {};

TEST_P(Corpus, MatchesGiflib) {
  const std::string name = GetParam();
  const giftest::Bytes bytes = ReadFile(kCorpus + name);
  auto loaded = giftest::Load(bytes);
  ASSERT_EQ(loaded.error, "");

  MemoryReader reader{&bytes};
  GiflibFile theirs;
  int error = 0;
  theirs.file = DGifOpen(&reader, &ReadMemory, &error);
  ASSERT_NE(theirs.file, nullptr);
  theirs.slurp = DGifSlurp(theirs.file);
  GifFileType& g = *theirs.file;

  EXPECT_EQ(loaded.image->GetWidth(), g.SWidth);
  EXPECT_EQ(loaded.image->GetHeight(), g.SHeight);
  EXPECT_EQ(loaded.image->Header->Descriptor.BackgroundColorIndex, g.SBackGroundColor);
  ExpectSameMap(g.SColorMap, *loaded.image->Header->GlobalColorMap, "global table");

  // Our frames that carry an image, in order, against giflib's images.
  std::vector<const gif::TGIFSubImage*> frames;
  for (int i = 0; i < loaded.FrameCount(); ++i)
    if (!loaded.Frame(i).IsEmptyFrame()) frames.push_back(&loaded.Frame(i));
  if (name == kTruncated) {
    // giflib gives up on the cut frame; the picture keeps it.
    EXPECT_EQ(theirs.slurp, GIF_ERROR);
    return;
  }
  ASSERT_EQ(theirs.slurp, GIF_OK);
  EXPECT_TRUE(loaded.warnings.empty()) << loaded.warnings.front();
  ASSERT_EQ(frames.size(), static_cast<size_t>(g.ImageCount));
  for (int i = 0; i < g.ImageCount; ++i) {
    const SavedImage& s = g.SavedImages[i];
    const gif::TGIFSubImage& f = *frames[static_cast<size_t>(i)];
    const std::string what = name + " frame " + std::to_string(i);
    EXPECT_EQ(f.BoundValue(1), s.ImageDesc.Left) << what;
    EXPECT_EQ(f.BoundValue(2), s.ImageDesc.Top) << what;
    ASSERT_EQ(f.BoundValue(3), s.ImageDesc.Width) << what;
    ASSERT_EQ(f.BoundValue(4), s.ImageDesc.Height) << what;
    EXPECT_EQ(f.IsInterlaced(), static_cast<bool>(s.ImageDesc.Interlace)) << what;
    ExpectSameMap(s.ImageDesc.ColorMap, *f.LocalColorMap, what + " local table");
    const size_t n = static_cast<size_t>(s.ImageDesc.Width) * s.ImageDesc.Height;
    ASSERT_EQ(static_cast<size_t>(f.PixelBytes), n) << what;
    // Row k of giflib's raster is our row rows[k]: picture order, or the
    // stream's interlaced order when giflib leaves it so.
    std::vector<int> rows(static_cast<size_t>(s.ImageDesc.Height));
    for (int r = 0; r < s.ImageDesc.Height; ++r) rows[static_cast<size_t>(r)] = r;
    if (s.ImageDesc.Interlace && !kGiflibDeinterlaces) {
      size_t k = 0;
      for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
        for (int r = start; r < s.ImageDesc.Height; r += step) rows[k++] = r;
    }
    size_t differing = 0;
    for (int k = 0; k < s.ImageDesc.Height; ++k)
      differing += std::memcmp(f.Pixels.get() + static_cast<size_t>(rows[static_cast<size_t>(k)]) * s.ImageDesc.Width,
                               s.RasterBits + static_cast<size_t>(k) * s.ImageDesc.Width,
                               static_cast<size_t>(s.ImageDesc.Width)) != 0;
    EXPECT_EQ(differing, 0u) << what << " rows differ";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, testing::ValuesIn(CorpusGifs()), [](const auto& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

// The cut file keeps what its data held and the fill value after it.
TEST(Corpus, TruncatedFileWarnsOnceAndFills) {
  const giftest::Bytes whole = ReadFile(kCorpus + "hippopotamus.interlaced.gif");
  auto full = giftest::Load(whole);
  auto cut = giftest::Load(ReadFile(kCorpus + kTruncated));
  ASSERT_EQ(cut.error, "");
  ASSERT_EQ(full.error, "");
  EXPECT_EQ(cut.warnings, std::vector<std::string>{"TGIFSubImage: Premature end of data"});
  ASSERT_GE(cut.FrameCount(), 1);
  const auto& a = full.Frame(0);
  const auto& b = cut.Frame(0);
  ASSERT_EQ(a.PixelBytes, b.PixelBytes);
  const uint8_t fill = b.HasTransparency ? b.ControlExtension->TransparentColorIndex() : 0;
  // Interlaced: the first pass (every 8th row) comes first in the data.
  const int w = b.BoundValue(3), h = b.BoundValue(4);
  int decoded_rows = 0, filled_rows = 0;
  for (int y = 0; y < h; y += 8) {
    const uint8_t* ra = a.Pixels.get() + static_cast<size_t>(y) * w;
    const uint8_t* rb = b.Pixels.get() + static_cast<size_t>(y) * w;
    if (std::memcmp(ra, rb, static_cast<size_t>(w)) == 0) ++decoded_rows;
    if (std::all_of(rb, rb + w, [&](uint8_t p) { return p == fill; })) ++filled_rows;
  }
  EXPECT_GT(decoded_rows, 0);
  // The last pass (odd rows) is beyond the cut: all fill.
  for (int y = 1; y < h; y += 2) {
    const uint8_t* rb = b.Pixels.get() + static_cast<size_t>(y) * w;
    EXPECT_TRUE(std::all_of(rb, rb + w, [&](uint8_t p) { return p == fill; })) << "row " << y;
  }
}

}  // namespace
