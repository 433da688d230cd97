#pragma once
// Dither engines walk the rows of a picture alternately left to right and
// right to left (serpentine), mapping each pixel through a colour lookup.
// The caller starts each row at Column and steps by Direction while Column
// stays inside 0 .. Width - 1, then calls FinishRow.

#include <cstdint>
#include <functional>
#include <memory>

#include "gif/encode/ColorLookup.h"
#include "platform/rtl/Object.h"

namespace gif {

// Nearest colour, no error diffusion.
class TDitherEngine : public platform::TObject {
public:
  TDitherEngine(int32_t Width, TColorLookup* Lookup) : Lookup(Lookup), Width(Width) {}
  const char* ClassName() const noexcept override { return "TDitherEngine"; }

  virtual uint8_t DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                              uint8_t& OutBlue);
  virtual void FinishRow();

  int32_t Direction = 1;
  int32_t Column = 0;  // column of the next pixel
  TColorLookup* Lookup;  // not owned
  int32_t Width;
};

// Floyd-Steinberg in integer sixteenths: 7 to the next pixel of the row, 3
// below-behind, 5 below, 1 below-ahead, in the direction of travel.
class TFloydSteinbergEngine final : public TDitherEngine {
public:
  TFloydSteinbergEngine(int32_t Width, TColorLookup* Lookup);
  const char* ClassName() const noexcept override { return "TFloydSteinbergEngine"; }

  uint8_t DitherPixel(uint8_t Red, uint8_t Green, uint8_t Blue, uint8_t& OutRed, uint8_t& OutGreen,
                      uint8_t& OutBlue) override;
  void FinishRow() override;

  // Per channel (red, green, blue): Width + 2 slots; slot s holds the error
  // waiting for column s - 1 of the next row. Slots 0 and Width + 1 are
  // margins that absorb errors leaving the picture and are never read.
  std::unique_ptr<int32_t[]> ErrorRows[3];
  int32_t* ErrorCursors[3];
  int32_t Carry[3] = {0, 0, 0};
  int32_t LastError[3] = {0, 0, 0};
  int32_t PendingBehind[3] = {0, 0, 0};
};

// Maps Height rows of Engine.Width 24-bit pixels (blue, green, red) into
// rows of palette indices, walking each row in the engine's order.
using TSourceRowAt = std::function<const uint8_t*(int32_t Row)>;
using TTargetRowAt = std::function<uint8_t*(int32_t Row)>;
void DitherRows(TDitherEngine& Engine, const TSourceRowAt& Source, const TTargetRowAt& Target, int32_t Height);

}  // namespace gif
