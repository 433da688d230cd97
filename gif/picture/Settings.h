#pragma once
// Module-wide settings of the GIF support: the defaults that seed every new
// picture, animation timing, the render pool's limits, and the screen flags
// measured at start-up. Written only at start-up; read without locks.

#include <cstdint>

#include "platform/graphics/Gdi.h"

namespace gif {

// Draw flags: a 16-bit set with fixed bit numbers.
using TGIFDrawFlags = uint16_t;
enum : TGIFDrawFlags {
  DrawInThread = 1 << 0,
  DrawTransparent = 1 << 1,
  DrawAnimated = 1 << 2,
  DrawRepeat = 1 << 3,
  DrawRepeatForever = 1 << 4,
  DrawCheckCanvas = 1 << 5,
  DrawUnbuffered = 1 << 6,
  DrawClearEachLoop = 1 << 7,
  DrawTiled = 1 << 8,
  DrawWebPalette = 1 << 9,
  DrawWebPaletteOnPaletteDisplay = 1 << 10,
};

// Seeds of a new picture.
inline TGIFDrawFlags DefaultDrawFlags = DrawInThread | DrawTransparent | DrawAnimated | DrawRepeat |
                                        DrawWebPalette | DrawWebPaletteOnPaletteDisplay;  // $060F
inline uint8_t DefaultReductionMethod = 6;  // the shared 216-colour web palette
inline int32_t DefaultReductionBits = 8;
inline uint8_t DefaultDitherMode = 0;       // nearest colour
inline uint8_t DefaultEncoderKind = 0;      // LZW
inline uint8_t DefaultPainterPriority = 3;  // normal
inline int32_t DefaultSpeedPercent = 100;

// Animation timing, in GIF delay units (hundredths of a second as stored).
inline int32_t DelayUnitMs = 12;  // milliseconds waited per delay unit
inline int32_t FallbackDelay = 10;
inline int32_t ShortestDelay = 3;
inline int32_t LongestDelay = 1000;

// Render pool.
inline int32_t RenderThreadLimit = 4;
inline int32_t RenderWaitMs = 5000;
inline int32_t RenderIdleMs = 60000;

// Most pixels the frames of one picture may hold together (bytes of pixel
// indices). A file whose descriptors ask for more is refused instead of
// exhausting memory: a few bytes can announce gigabytes of frames.
inline int64_t MaxPicturePixels = int64_t{1} << 29;

// The screen has 8 bits per pixel or fewer; set at start-up.
inline bool PaletteDevice = false;
inline bool PaletteDeviceDraw = false;

// The clipboard format registered under "GIF Image" at start-up.
inline uint16_t GIFClipboardFormat = 0;

// The shared 216-colour web palette: entry 36r + 6g + b is (51r, 51g, 51b).
platform::HPALETTE WebPaletteHandle();
// Gives up a palette of the GIF code. The web palette stays alive on a
// palette device; any other handle is deleted.
void ReleasePalette(platform::HPALETTE Handle);
// Deletes the web palette at shut-down, whatever the screen.
void FreeWebPalette();

// Start-up and shut-down of the module; nested calls count, only the first
// start-up and the last shut-down do the work. A static object calls them
// around the program's life.
void GIFModuleStartup();
void GIFModuleShutdown();

}  // namespace gif
