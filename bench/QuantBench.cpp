// Turning a 24-bit photo into a GIF frame: our web-palette (6) and optimised
// (7) reductions, nearest colour and Floyd-Steinberg, beside ImageMagick's
// `convert -colors 256` without (+dither) and with -dither FloydSteinberg on
// the same file in the same run. Each reports its PSNR against the source.

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "gif/decode/Frame.h"
#include "gif/encode/Reduce.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Bitmap.h"

namespace {

const std::string kSource = std::string(PELLISTO_SHARED_DIR) + "/corpus/harvesters.bmp";

platform::TBitmap& Source() {
  static platform::TBitmap* bitmap = [] {
    auto* b = new platform::TBitmap;
    b->LoadFromFile(kSource);
    return b;
  }();
  return *bitmap;
}

// Mean squared error over red, green and blue, as decibels.
template <class ColourAt>
double Psnr(ColourAt colourAt) {
  platform::TBitmap& src = Source();
  double sum = 0;
  for (int32_t y = 0; y < src.GetHeight(); ++y) {
    const auto* row = static_cast<const uint8_t*>(src.ScanLine(y));
    for (int32_t x = 0; x < src.GetWidth(); ++x) {
      uint8_t r, g, b;
      colourAt(x, y, r, g, b);
      const double db = row[x * 3] - b, dg = row[x * 3 + 1] - g, dr = row[x * 3 + 2] - r;
      sum += db * db + dg * dg + dr * dr;
    }
  }
  const double mse = sum / (3.0 * src.GetWidth() * src.GetHeight());
  return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

void Ours(benchmark::State& state) {
  const auto method = static_cast<uint8_t>(state.range(0));
  const auto mode = static_cast<uint8_t>(state.range(1));
  platform::TBitmap& src = Source();
  gif::TGIFImage image;
  image.ReductionMethod = method;
  image.DitherMode = mode;
  for (auto _ : state) {
    gif::TGIFSubImage frame(&image);
    frame.Assign(&src);
    benchmark::DoNotOptimize(frame.Pixels.get());
    {
      state.PauseTiming();
      const int32_t w = frame.ImageDescriptor.ImageWidth;
      state.counters["PSNR"] = Psnr([&](int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) {
        const gif::TGIFColor& c = (*frame.LocalColorMap)[frame.Pixels[static_cast<size_t>(y) * w + x]];
        r = c.Red, g = c.Green, b = c.Blue;
      });
      state.ResumeTiming();
    }
  }
  state.SetLabel(std::string(method == gif::ReduceWeb216 ? "web216" : "optimized") +
                 (mode == gif::FloydSteinbergDither ? " floyd-steinberg" : " nearest"));
}
BENCHMARK(Ours)
    ->ArgNames({"method", "dither"})
    ->Args({gif::ReduceWeb216, gif::NoDither})
    ->Args({gif::ReduceWeb216, gif::FloydSteinbergDither})
    ->Args({gif::ReduceOptimized, gif::NoDither})
    ->Args({gif::ReduceOptimized, gif::FloydSteinbergDither})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// ImageMagick as a separate process, as a user would run it.
void ImageMagick(benchmark::State& state) {
  const bool dither = state.range(0) != 0;
  const std::string out = "/tmp/pellisto-quant-bench-" + std::to_string(getpid()) + ".gif";
  const std::string command = "/usr/bin/convert '" + kSource + "' " + (dither ? "-dither FloydSteinberg" : "+dither") +
                              " -colors 256 '" + out + "' 2>/dev/null";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("ImageMagick's convert failed");
      return;
    }
  }
  int error = 0;
  GifFileType* gif = DGifOpenFileName(out.c_str(), &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) {
    state.SkipWithError("giflib cannot read ImageMagick's result");
    if (gif) DGifCloseFile(gif, &error);
    return;
  }
  const SavedImage& img = gif->SavedImages[0];
  const ColorMapObject* map = img.ImageDesc.ColorMap ? img.ImageDesc.ColorMap : gif->SColorMap;
  state.counters["PSNR"] = Psnr([&](int32_t x, int32_t y, uint8_t& r, uint8_t& g, uint8_t& b) {
    const GifColorType& c = map->Colors[img.RasterBits[static_cast<size_t>(y) * img.ImageDesc.Width + x]];
    r = c.Red, g = c.Green, b = c.Blue;
  });
  DGifCloseFile(gif, &error);
  std::remove(out.c_str());
  state.SetLabel(dither ? "convert -colors 256 -dither FloydSteinberg" : "convert -colors 256 +dither");
}
BENCHMARK(ImageMagick)->ArgName("dither")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
