#include "gif/encode/ColorLookup.h"

#include <algorithm>
#include <cstdlib>

namespace gif {

TFastColorLookup::TFastColorLookup(std::span<const platform::PALETTEENTRY> Palette)
    : Entries(new platform::PALETTEENTRY[256]()), CellCache(new int16_t[32768]) {
  ColorCount = static_cast<int32_t>(std::min<size_t>(Palette.size(), 256));
  std::copy_n(Palette.begin(), ColorCount, Entries.get());
  FillCache();
}

void TFastColorLookup::FillCache() {
  std::fill_n(CellCache.get(), 32768, int16_t{-1});
  // The first entry lying in a cell answers for the whole cell.
  for (int32_t i = 0; i < ColorCount; ++i) {
    const platform::PALETTEENTRY& e = Entries[static_cast<size_t>(i)];
    int16_t& cell = CellCache[CellOf(e.peRed, e.peGreen, e.peBlue)];
    if (cell < 0) cell = static_cast<int16_t>(i);
  }
}

uint8_t TFastColorLookup::MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed,
                                     uint8_t& OutGreen, uint8_t& OutBlue) {
  int16_t& cell = CellCache[CellOf(Red, Green, Blue)];
  if (cell < 0) {
    int32_t best = 0, bestDistance = 0x30000;
    for (int32_t i = 0; i < ColorCount; ++i) {
      const platform::PALETTEENTRY& e = Entries[static_cast<size_t>(i)];
      const int32_t d = std::abs(e.peRed - Red) + std::abs(e.peGreen - Green) + std::abs(e.peBlue - Blue);
      if (d < bestDistance) {
        bestDistance = d;
        best = i;
      }
    }
    cell = static_cast<int16_t>(best);
  }
  const platform::PALETTEENTRY& e = Entries[static_cast<size_t>(cell)];
  OutRed = e.peRed;
  OutGreen = e.peGreen;
  OutBlue = e.peBlue;
  return static_cast<uint8_t>(cell);
}

}  // namespace gif
