#include "gif/encode/Dither.h"

#include <algorithm>

namespace gif {

uint8_t TDitherEngine::DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed,
                                   uint8_t& OutGreen, uint8_t& OutBlue) {
  const uint8_t index = Lookup->MatchColor(Red, Green, Blue, OutRed, OutGreen, OutBlue);
  Column += Direction;
  return index;
}

void TDitherEngine::FinishRow() {
  Direction = -Direction;
  Column = Direction > 0 ? 0 : Width - 1;
}

TFloydSteinbergEngine::TFloydSteinbergEngine(int32_t Width, TColorLookup* Lookup)
    : TDitherEngine(Width, Lookup) {
  const size_t slots = static_cast<size_t>(std::max<int32_t>(Width, 0)) + 2;
  for (int c = 0; c < 3; ++c) {
    ErrorRows[c].reset(new int32_t[slots]());
    ErrorCursors[c] = ErrorRows[c].get();
  }
}

uint8_t TFloydSteinbergEngine::DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed,
                                           uint8_t& OutGreen, uint8_t& OutBlue) {
  const int32_t input[3] = {Red, Green, Blue};
  uint8_t value[3];
  for (int c = 0; c < 3; ++c) {
    const int32_t s = ErrorCursors[c][Direction] + Carry[c];
    value[c] = static_cast<uint8_t>(std::clamp(input[c] + (s + 8) / 16, 0, 255));
  }
  const uint8_t index = TDitherEngine::DitherPixel(value[0], value[1], value[2], OutRed, OutGreen, OutBlue);
  const uint8_t chosen[3] = {OutRed, OutGreen, OutBlue};
  for (int c = 0; c < 3; ++c) {
    const int32_t e = value[c] - chosen[c];
    *ErrorCursors[c] = PendingBehind[c] + 3 * e;
    PendingBehind[c] = LastError[c] + 5 * e;
    LastError[c] = e;
    Carry[c] = 7 * e;
    ErrorCursors[c] += Direction;
  }
  return index;
}

void TFloydSteinbergEngine::FinishRow() {
  for (int c = 0; c < 3; ++c) {
    *ErrorCursors[c] = PendingBehind[c];
    Carry[c] = LastError[c] = PendingBehind[c] = 0;
  }
  TDitherEngine::FinishRow();
  for (int c = 0; c < 3; ++c) ErrorCursors[c] = ErrorRows[c].get() + (Direction > 0 ? 0 : Width + 1);
}

void DitherRows(TDitherEngine& Engine, const TSourceRowAt& Source, const TTargetRowAt& Target, int32_t Height) {
  uint8_t r, g, b;
  for (int32_t y = 0; y < Height; ++y) {
    const uint8_t* src = Source(y);
    uint8_t* dst = Target(y);
    for (int32_t x = Engine.Column; x >= 0 && x < Engine.Width; x = Engine.Column) {
      const uint8_t* p = src + 3 * static_cast<size_t>(x);
      dst[x] = Engine.DitherPixel(p[2], p[1], p[0], r, g, b);
    }
    Engine.FinishRow();
  }
}

}  // namespace gif
