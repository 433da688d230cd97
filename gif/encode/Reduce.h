#pragma once
// Colour reduction of a bitmap to at most 256 colours: the nine reduction
// methods, their fixed palettes, and ReduceToPalette, which maps every pixel
// through the method's lookup with the chosen dither engine.

#include <cstdint>
#include <memory>

#include "platform/graphics/Gdi.h"

namespace platform {
class TBitmap;
}

namespace gif {

// Values of a picture's ReductionMethod.
enum : uint8_t {
  ReduceNone = 0,             // a 24-bit copy
  ReduceSystem20 = 1,         // the 20 static system colours
  ReduceHalftone = 2,         // the screen's halftone palette
  ReduceSystemGray4 = 3,      // black, 128, 192, white greys
  ReduceBlackWhite = 4,
  ReduceGray256 = 5,
  ReduceWeb216 = 6,           // the shared web palette
  ReduceOptimized = 7,        // 2^ReductionBits colours of the bitmap's own
  ReduceOptimizedSystem = 8,  // 236 of the bitmap's own beside the 20 system colours
};
// Values of a picture's DitherMode.
enum : uint8_t { NoDither = 0, FloydSteinbergDither = 1 };

// New palettes, owned by the caller; version 0x300, flags PC_NOCOLLAPSE.
platform::HPALETTE NewGray256Palette();
platform::HPALETTE NewBlackWhitePalette();
platform::HPALETTE NewSystemGray4Palette();
// The screen's halftone palette; EOutOfResources when it cannot be made.
platform::HPALETTE NewHalftonePalette();

// A new bitmap (the caller's): for method 0 a 24-bit copy of Source,
// otherwise an 8-bit bitmap of Source's size with the method's palette and
// every pixel mapped to it. A method above 8 leaves the 8-bit result without
// palette or mapped pixels; a dither mode above 1 or a palette without
// colours leaves the pixels unmapped. Source keeps its pixel format.
std::unique_ptr<platform::TBitmap> ReduceToPalette(platform::TBitmap& Source, uint8_t Method, uint8_t Mode,
                                                   int32_t Bits);

}  // namespace gif
