// Every 24-bit BMP of the corpus, with every reduction method and both
// dither modes, becomes a one-frame picture whose pixels index its colour
// table; giflib reads the saved file back to the same indices and colours.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "gif/encode/Reduce.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Streams.h"

namespace gif {
namespace {

struct Decoded {
  int width = 0, height = 0, frames = 0;
  std::vector<uint8_t> indices;
  std::vector<GifColorType> colors;
  std::string error;
};

// giflib over a byte buffer.
Decoded ReadWithGiflib(const uint8_t* data, size_t size) {
  struct Source {
    const uint8_t* data;
    size_t size, pos;
  } src{data, size, 0};
  auto read = [](GifFileType* f, GifByteType* out, int n) -> int {
    auto* s = static_cast<Source*>(f->UserData);
    const size_t k = std::min<size_t>(static_cast<size_t>(n), s->size - s->pos);
    std::memcpy(out, s->data + s->pos, k);
    s->pos += k;
    return static_cast<int>(k);
  };
  Decoded d;
  int err = 0;
  GifFileType* f = DGifOpen(&src, read, &err);
  if (!f) {
    d.error = GifErrorString(err);
    return d;
  }
  if (DGifSlurp(f) != GIF_OK) {
    d.error = GifErrorString(f->Error);
  } else {
    d.frames = f->ImageCount;
    const SavedImage& img = f->SavedImages[0];
    d.width = img.ImageDesc.Width;
    d.height = img.ImageDesc.Height;
    d.indices.assign(img.RasterBits, img.RasterBits + d.width * d.height);
    const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : f->SColorMap;
    if (map) d.colors.assign(map->Colors, map->Colors + map->ColorCount);
  }
  DGifCloseFile(f, &err);
  return d;
}

double Psnr(platform::TBitmap& source, const Decoded& d) {
  double sum = 0;
  for (int y = 0; y < d.height; ++y) {
    const auto* row = static_cast<const uint8_t*>(source.ScanLine(y));
    for (int x = 0; x < d.width; ++x) {
      const GifColorType& c = d.colors[d.indices[static_cast<size_t>(y) * d.width + x]];
      const double db = row[x * 3] - c.Blue, dg = row[x * 3 + 1] - c.Green, dr = row[x * 3 + 2] - c.Red;
      sum += db * db + dg * dg + dr * dr;
    }
  }
  const double mse = sum / (3.0 * d.width * d.height);
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

using Case = std::tuple<const char*, int>;  // file, method

class CorpusReduction : public ::testing::TestWithParam<Case> {};

TEST_P(CorpusReduction, SavesWhatGiflibReadsBack) {
  const auto [file, method] = GetParam();
  platform::TBitmap source;
  source.LoadFromFile(std::string(PELLISTO_SHARED_DIR) + "/corpus/" + file);
  ASSERT_EQ(source.PixelFormat(), platform::TPixelFormat::pf24bit);

  for (uint8_t mode : {NoDither, FloydSteinbergDither}) {
    SCOPED_TRACE(testing::Message() << file << " method " << method << " dither " << int(mode));
    TGIFImage image;
    image.ReductionMethod = static_cast<uint8_t>(method);
    image.DitherMode = mode;
    image.ReductionBits = 8;
    try {
      image.Assign(&source);
    } catch (const GIFException& e) {
      // Colour by colour, a photo has more colours than a GIF table holds.
      EXPECT_EQ(method, ReduceNone);
      EXPECT_EQ(e.Message, "Color table overflow");
      continue;
    }
    ASSERT_EQ(image.Frames->ItemCount(), 1);
    const TGIFSubImage& frame = *image.Frames->FrameAt(0);
    ASSERT_EQ(frame.ImageDescriptor.ImageWidth, source.GetWidth());
    ASSERT_EQ(frame.ImageDescriptor.ImageHeight, source.GetHeight());
    const int colors = frame.LocalColorMap->EntryCount;
    ASSERT_GT(colors, 0);
    for (int32_t i = 0; i < frame.PixelBytes; ++i) ASSERT_LT(frame.Pixels[i], colors) << "pixel " << i;

    platform::TMemoryStream stream;
    image.SaveToStream(stream);
    const Decoded d = ReadWithGiflib(stream.Memory(), static_cast<size_t>(stream.Size()));
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.frames, 1);
    ASSERT_EQ(d.width, source.GetWidth());
    ASSERT_EQ(d.height, source.GetHeight());
    EXPECT_TRUE(std::equal(d.indices.begin(), d.indices.end(), frame.Pixels.get()));
    ASSERT_GE(static_cast<int>(d.colors.size()), colors);
    for (int i = 0; i < colors; ++i) {
      const TGIFColor& c = (*frame.LocalColorMap)[i];
      ASSERT_EQ(d.colors[i].Red, c.Red) << i;
      ASSERT_EQ(d.colors[i].Green, c.Green) << i;
      ASSERT_EQ(d.colors[i].Blue, c.Blue) << i;
    }
    if (method == ReduceOptimized) {
      const double psnr = Psnr(source, d);
      std::printf("PSNR %s optimized 8 bits %s: %.2f dB\n", file, mode ? "floyd-steinberg" : "nearest", psnr);
      RecordProperty(std::string("psnr_dither") + std::to_string(mode), std::to_string(psnr));
      EXPECT_GT(psnr, 20.0);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusReduction,
                         testing::Combine(testing::Values("harvesters.bmp", "hibiscus.regular.bmp", "hat.bmp",
                                                          "bricks-color.bmp"),
                                          testing::Range(0, 9)),
                         [](const testing::TestParamInfo<Case>& info) {
                           std::string name = std::get<0>(info.param);
                           name = name.substr(0, name.find('.'));
                           for (char& ch : name)
                             if (ch == '-') ch = '_';
                           return name + "_method" + std::to_string(std::get<1>(info.param));
                         });

}  // namespace
}  // namespace gif
