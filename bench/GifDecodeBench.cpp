// Loading GIFs from memory: our LoadFromStream beside giflib's DGifSlurp of
// the same bytes, in the same run. After the benchmarks the ratio of the
// two (ours / giflib, below 1 is faster) is printed per file.

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "gif/picture/GIFImage.h"

namespace {

const char* const kFiles[] = {"harvesters.gif", "gifplayer-muybridge.gif"};

const std::vector<uint8_t>& FileBytes(int index) {
  static std::vector<uint8_t> bytes[2];
  auto& b = bytes[index];
  if (b.empty()) {
    std::ifstream in(std::string(PELLISTO_SHARED_DIR) + "/corpus/" + kFiles[index], std::ios::binary);
    b.assign(std::istreambuf_iterator<char>(in), {});
  }
  return b;
}

void LoadOurs(const std::vector<uint8_t>& bytes) {
  platform::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
  gif::TGIFImage image;
  image.LoadFromStream(stream);
  benchmark::DoNotOptimize(image.Frames->ItemCount());
}

struct Reader {
  const std::vector<uint8_t>* bytes;
  size_t position;
};

int ReadMemory(GifFileType* file, GifByteType* out, int size) {
  auto* r = static_cast<Reader*>(file->UserData);
  const size_t n = std::min(static_cast<size_t>(size), r->bytes->size() - r->position);
  std::memcpy(out, r->bytes->data() + r->position, n);
  r->position += n;
  return static_cast<int>(n);
}

void LoadGiflib(const std::vector<uint8_t>& bytes) {
  Reader reader{&bytes, 0};
  int error = 0;
  GifFileType* file = DGifOpen(&reader, &ReadMemory, &error);
  if (file == nullptr || DGifSlurp(file) != GIF_OK) std::abort();
  benchmark::DoNotOptimize(file->ImageCount);
  DGifCloseFile(file, &error);
}

void BM_Ours(benchmark::State& state) {
  const auto& bytes = FileBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) LoadOurs(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(kFiles[state.range(0)]);
}

void BM_Giflib(benchmark::State& state) {
  const auto& bytes = FileBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) LoadGiflib(bytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
  state.SetLabel(kFiles[state.range(0)]);
}

BENCHMARK(BM_Ours)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Giflib)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Best of several rounds, alternating the two readers.
template <class F>
double BestSeconds(F f, const std::vector<uint8_t>& bytes) {
  double best = 1e9;
  for (int round = 0; round < 7; ++round) {
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
    const double ours = BestSeconds(LoadOurs, bytes), theirs = BestSeconds(LoadGiflib, bytes);
    std::printf("%-26s ours %8.3f ms  giflib %8.3f ms  ratio %.2f\n", kFiles[i], ours * 1e3, theirs * 1e3,
                ours / theirs);
  }
  return 0;
}
