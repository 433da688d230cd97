#pragma once
// Small bitmaps for the colour reduction tests, built pixel by pixel.

#include <cstring>
#include <memory>
#include <vector>

#include "platform/graphics/Bitmap.h"

namespace quanttest {

struct Rgb {
  uint8_t r, g, b;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A bitmap of the given format whose pixels come from Colour(x, y).
template <class F>
std::unique_ptr<platform::TBitmap> TrueColor(int32_t w, int32_t h, F Colour,
                                            platform::TPixelFormat format = platform::TPixelFormat::pf24bit) {
  auto bmp = std::make_unique<platform::TBitmap>();
  bmp->SetPixelFormat(format);
  bmp->SetSize(w, h);
  const int bytes = format == platform::TPixelFormat::pf32bit ? 4 : 3;
  for (int32_t y = 0; y < h; ++y) {
    auto* row = static_cast<uint8_t*>(bmp->ScanLine(y));
    for (int32_t x = 0; x < w; ++x) {
      const Rgb c = Colour(x, y);
      uint8_t* p = row + static_cast<size_t>(x) * bytes;
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
      if (bytes == 4) p[3] = 0xFF;
    }
  }
  return bmp;
}

// An indexed bitmap whose rows are the given bytes (as stored, padding added).
inline std::unique_ptr<platform::TBitmap> Indexed(platform::TPixelFormat format, int32_t w,
                                                  const std::vector<std::vector<uint8_t>>& rows) {
  auto bmp = std::make_unique<platform::TBitmap>();
  bmp->SetPixelFormat(format);
  bmp->SetSize(w, static_cast<int32_t>(rows.size()));
  for (size_t y = 0; y < rows.size(); ++y)
    std::memcpy(bmp->ScanLine(static_cast<int32_t>(y)), rows[y].data(), rows[y].size());
  return bmp;
}

inline std::vector<platform::PALETTEENTRY> EntriesOf(platform::HPALETTE palette) {
  std::vector<platform::PALETTEENTRY> e(platform::GetPaletteEntries(palette, 0, 0, nullptr));
  platform::GetPaletteEntries(palette, 0, static_cast<uint32_t>(e.size()), e.data());
  return e;
}

}  // namespace quanttest
