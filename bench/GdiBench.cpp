// BitBlt and StretchBlt on a picture of the corpus photo's size, beside a
// plain memcpy of the same bytes, so the blitter's overhead shows in one run.

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/graphics/Gdi.h"

namespace {

using namespace platform;

constexpr int32_t kWidth = 1165;
constexpr int32_t kHeight = 859;

struct Dib {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  HBITMAP old = nullptr;
  uint8_t* bits = nullptr;
  Dib(int32_t w, int32_t h) {
    BITMAPINFO info;
    info.bmiHeader = {};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = h;
    info.bmiHeader.biBitCount = 32;
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    for (size_t i = 0; i < static_cast<size_t>(w) * h * 4; ++i) bits[i] = static_cast<uint8_t>(i * 7);
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
  }
  ~Dib() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
};

constexpr size_t kBytes = static_cast<size_t>(kWidth) * kHeight * 4;

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> a(kBytes, 1), b(kBytes);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), kBytes);
    benchmark::DoNotOptimize(b.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_Memcpy);

void BM_BitBltSrcCopy32(benchmark::State& state) {
  Dib src(kWidth, kHeight), dst(kWidth, kHeight);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_BitBltSrcCopy32);

void BM_BitBltSrcInvert32(benchmark::State& state) {
  Dib src(kWidth, kHeight), dst(kWidth, kHeight);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, SRCINVERT);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_BitBltSrcInvert32);

// Same size (a copy through the stretch path's set-up), half size and double size.
void BM_StretchBlt32(benchmark::State& state) {
  const int32_t dw = static_cast<int32_t>(kWidth * state.range(0) / 100);
  const int32_t dh = static_cast<int32_t>(kHeight * state.range(0) / 100);
  Dib src(kWidth, kHeight), dst(dw, dh);
  for (auto _ : state) {
    StretchBlt(dst.dc, 0, 0, dw, dh, src.dc, 0, 0, kWidth, kHeight, SRCCOPY);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * dw * dh * 4);
}
BENCHMARK(BM_StretchBlt32)->Arg(50)->Arg(100)->Arg(200);

// A generic ROP3 (no fast path) for comparison.
void BM_BitBltGenericRop32(benchmark::State& state) {
  Dib src(kWidth, kHeight), dst(kWidth, kHeight);
  for (auto _ : state) {
    BitBlt(dst.dc, 0, 0, kWidth, kHeight, src.dc, 0, 0, 0x00E20746);  // DSPDxax
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kBytes);
}
BENCHMARK(BM_BitBltGenericRop32);

}  // namespace

BENCHMARK_MAIN();
