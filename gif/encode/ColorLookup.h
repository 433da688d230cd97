#pragma once
// Colour lookups: each maps a colour to an index of its palette and reports
// the colour of that entry, which the dither engines need for the error.

#include <cstdint>
#include <memory>
#include <span>

#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"

namespace gif {

class TColorLookup : public platform::TObject {
public:
  const char* ClassName() const noexcept override { return "TColorLookup"; }
  // The index of the palette entry for (Red, Green, Blue); that entry's
  // colour goes to the three outputs.
  virtual uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                             uint8_t& OutBlue) = 0;

  int32_t ColorCount = 0;
};

// Nearest colour (sum of absolute differences) of any palette, computed once
// per 5-5-5 colour cell: every colour of a cell gets the answer found (or
// pre-filled by an entry lying in it) for that cell first.
class TFastColorLookup final : public TColorLookup {
public:
  explicit TFastColorLookup(platform::HPALETTE Palette);  // up to 256 of its entries
  explicit TFastColorLookup(std::span<const platform::PALETTEENTRY> Palette);
  const char* ClassName() const noexcept override { return "TFastColorLookup"; }
  uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                     uint8_t& OutBlue) override;

  static uint32_t CellOf(uint8_t Red, uint8_t Green, uint8_t Blue) {
    return (uint32_t{Blue} >> 3 << 10) | (uint32_t{Green} >> 3 << 5) | (uint32_t{Red} >> 3);
  }

  std::unique_ptr<platform::PALETTEENTRY[]> Entries;  // 256
  std::unique_ptr<int16_t[]> CellCache;               // 32768; -1 = not yet known

private:
  void FillCache();
};

// The 216-colour web palette: index 36r + 6g + b for levels r, g, b of 0-5.
class TNetscapeColorLookup final : public TColorLookup {
public:
  explicit TNetscapeColorLookup(platform::HPALETTE = {}) { ColorCount = 216; }  // palette not needed
  const char* ClassName() const noexcept override { return "TNetscapeColorLookup"; }
  uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                     uint8_t& OutBlue) override {
    // Thresholds 48, 99, 150, 201, 252 rather than the midpoints.
    const int r = (Red + 3) / 51, g = (Green + 3) / 51, b = (Blue + 3) / 51;
    OutRed = static_cast<uint8_t>(r * 51);
    OutGreen = static_cast<uint8_t>(g * 51);
    OutBlue = static_cast<uint8_t>(b * 51);
    return static_cast<uint8_t>(r * 36 + g * 6 + b);
  }
};

// 256 greys: index = luminance.
class TGrayScaleLookup final : public TColorLookup {
public:
  explicit TGrayScaleLookup(platform::HPALETTE = {}) { ColorCount = 256; }
  const char* ClassName() const noexcept override { return "TGrayScaleLookup"; }
  uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                     uint8_t& OutBlue) override {
    const auto grey = static_cast<uint8_t>((Red * 77 + Green * 150 + Blue * 29) >> 8);
    OutRed = OutGreen = OutBlue = grey;
    return grey;
  }
};

// Black (0) or white (1) by luminance.
class TMonochromeLookup final : public TColorLookup {
public:
  explicit TMonochromeLookup(platform::HPALETTE = {}) { ColorCount = 2; }
  const char* ClassName() const noexcept override { return "TMonochromeLookup"; }
  uint8_t MatchColor(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                     uint8_t& OutBlue) override {
    const bool white = Red * 77 + Green * 150 + Blue * 29 > 32512;
    OutRed = OutGreen = OutBlue = white ? 255 : 0;
    return white ? 1 : 0;
  }
};

}  // namespace gif
