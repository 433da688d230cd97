#include <span>
#include <vector>

#include "gif/picture/Settings.h"

namespace gif {

namespace {
platform::HPALETTE g_web_palette{};
}

platform::HPALETTE WebPaletteHandle() {
  if (!g_web_palette) {
    std::vector<platform::PALETTEENTRY> entries(216);
    for (int r = 0; r < 6; ++r)
      for (int g = 0; g < 6; ++g)
        for (int b = 0; b < 6; ++b)
          entries[static_cast<size_t>(36 * r + 6 * g + b)] = {
              static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g), static_cast<uint8_t>(51 * b), 0};
    g_web_palette = platform::CreatePalette(std::span<const platform::PALETTEENTRY>(entries), 0x300);
  }
  return g_web_palette;
}

void ReleasePalette(platform::HPALETTE Handle) {
  if (!Handle) return;
  if (Handle == g_web_palette) {
    // A palette screen keeps the shared palette realised for every picture.
    if (PaletteDevice) return;
    g_web_palette = platform::HPALETTE{};
  }
  platform::DeleteObject(Handle);
}

void FreeWebPalette() {
  if (g_web_palette) {
    platform::DeleteObject(g_web_palette);
    g_web_palette = platform::HPALETTE{};
  }
}

}  // namespace gif
