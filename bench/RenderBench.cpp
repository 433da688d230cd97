// Loading a GIF and composing every frame to 32-bit pixels: our picture
// played once by its painter (in this thread, delays skipped) beside the
// stb_image GIF reader doing the same, in the same run. After the
// benchmarks the ratio (ours / stb, below 1 is faster) is printed per file.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "gif/picture/GIFImage.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Clock.h"

#define STBI_ONLY_GIF
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

namespace {

const char* const kFiles[] = {"gifplayer-muybridge.gif", "harvesters.gif"};

const std::vector<uint8_t>& FileBytes(int index) {
  static std::vector<uint8_t> bytes[2];
  auto& b = bytes[index];
  if (b.empty()) {
    std::ifstream in(std::string(PELLISTO_SHARED_DIR) + "/corpus/" + kFiles[index], std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), {});
  }
  return b;
}

// Time jumps over every delay.
class TInstantClock : public platform::TClock {
public:
  uint32_t Milliseconds() override { return now_; }
  void Sleep(uint32_t ms) override { now_ += ms; }
  bool ElapseWait(uint32_t ms) override {
    now_ += ms;
    return true;
  }

private:
  uint32_t now_ = 0;
};

// Returns the frames composed.
int ComposeOurs(const std::vector<uint8_t>& bytes) {
  platform::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
  gif::TGIFImage image;
  image.LoadFromStream(stream);
  image.DrawFlags = gif::DrawTransparent | gif::DrawAnimated;  // one pass, in this thread
  const int32_t w = image.GetWidth(), h = image.GetHeight();
  platform::TBitmap screen;
  screen.SetPixelFormat(platform::TPixelFormat::pf32bit);
  screen.SetSize(w, h);
  int frames = 0;
  image.FrameHandler = [&](platform::TObject*) { ++frames; };
  TInstantClock clock;
  platform::SetClock(&clock);
  image.Draw(screen.Canvas(), platform::TRect{0, 0, w, h});
  platform::SetClock(nullptr);
  if (frames == 0) frames = 1;  // a still picture is drawn without a painter
  benchmark::DoNotOptimize(screen.ScanLine(0));
  return frames;
}

int ComposeStb(const std::vector<uint8_t>& bytes) {
  int* delays = nullptr;
  int w = 0, h = 0, frames = 0, channels = 0;
  stbi_uc* pixels = stbi_load_gif_from_memory(bytes.data(), static_cast<int>(bytes.size()), &delays, &w, &h,
                                              &frames, &channels, 4);
  if (pixels == nullptr) std::abort();
  benchmark::DoNotOptimize(pixels[0]);
  stbi_image_free(pixels);
  STBI_FREE(delays);
  return frames;
}

void BM_Ours(benchmark::State& state) {
  const auto& bytes = FileBytes(static_cast<int>(state.range(0)));
  int frames = 0;
  for (auto _ : state) frames = ComposeOurs(bytes);
  state.counters["frames"] = frames;
  state.SetLabel(kFiles[state.range(0)]);
}

void BM_Stb(benchmark::State& state) {
  const auto& bytes = FileBytes(static_cast<int>(state.range(0)));
  int frames = 0;
  for (auto _ : state) frames = ComposeStb(bytes);
  state.counters["frames"] = frames;
  state.SetLabel(kFiles[state.range(0)]);
}

BENCHMARK(BM_Ours)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Stb)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

template <class F>
double BestSeconds(F f, const std::vector<uint8_t>& bytes) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    f(bytes);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int i = 0; i < 2; ++i) {
    const auto& bytes = FileBytes(i);
    const double ours = BestSeconds(ComposeOurs, bytes), theirs = BestSeconds(ComposeStb, bytes);
    std::printf("%-26s ours %8.3f ms  stb_image %8.3f ms  ratio %.2f\n", kFiles[i], ours * 1e3, theirs * 1e3,
                ours / theirs);
  }
  return 0;
}
