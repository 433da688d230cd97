#pragma once
// The objects behind GDI handles. Private to platform/graphics: the rest of
// the system goes through the handles of Gdi.h.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/graphics/Gdi.h"

namespace platform::gdi {

enum class Kind : uint8_t { Bitmap, Palette, Brush, Pen, DC };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  bool stock = false;
  HGDIOBJ handle = nullptr;
};

// A pixel store as the blitter sees it. Colours inside the GDI are "quads":
// 0x00RRGGBB, the byte order of an RGBQUAD read as a little-endian word.
struct Surface {
  int32_t width = 0;
  int32_t height = 0;
  int bpp = 0;           // 1, 4, 8, 16, 24, 32
  bool is565 = false;    // 16 bits: 5-6-5 instead of 5-5-5
  bool topDown = true;   // storage order of the rows
  int32_t stride = 0;    // bytes per stored row
  uint8_t* data = nullptr;
  std::vector<uint32_t> colors;  // quads; 1 << bpp entries for bpp <= 8
  // Entries in use (the header's used-colour count); 0 means all. Colours
  // are mapped only to these.
  uint32_t used = 0;
  size_t UsedColors() const { return used && used < colors.size() ? used : colors.size(); }

  uint8_t* Row(int32_t y) const {
    return data + static_cast<size_t>(topDown ? y : height - 1 - y) * static_cast<size_t>(stride);
  }
};

inline int32_t StrideFor(int32_t width, int bpp) {
  return static_cast<int32_t>(((static_cast<int64_t>(width) * bpp + 31) / 32) * 4);
}
inline uint32_t QuadFromColorRef(COLORREF c) {
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ColorRefFromQuad(uint32_t q) { return QuadFromColorRef(q & 0xFFFFFF); }
inline uint32_t QuadFromRgbQuad(const RGBQUAD& q) {
  return (static_cast<uint32_t>(q.rgbRed) << 16) | (static_cast<uint32_t>(q.rgbGreen) << 8) | q.rgbBlue;
}
inline RGBQUAD RgbQuadFromQuad(uint32_t q) {
  RGBQUAD r;
  r.rgbRed = static_cast<uint8_t>(q >> 16);
  r.rgbGreen = static_cast<uint8_t>(q >> 8);
  r.rgbBlue = static_cast<uint8_t>(q);
  return r;
}
inline uint32_t QuadFromEntry(const PALETTEENTRY& e) {
  return (static_cast<uint32_t>(e.peRed) << 16) | (static_cast<uint32_t>(e.peGreen) << 8) | e.peBlue;
}

struct Bitmap : Object {
  Bitmap() : Object(Kind::Bitmap) {}
  Surface s;
  std::vector<uint8_t> storage;
  bool dib = false;  // a DIB section
  BITMAPINFOHEADER header;  // DIB sections: as created
  uint32_t bitfields[3] = {0, 0, 0};
  HDC selectedIn = nullptr;
};

struct Palette : Object {
  Palette() : Object(Kind::Palette) {}
  uint16_t version = 0x300;
  std::vector<PALETTEENTRY> entries;
};

struct Brush : Object {
  Brush() : Object(Kind::Brush) {}
  LOGBRUSH lb;
};

struct Pen : Object {
  Pen() : Object(Kind::Pen) {}
  LOGPEN lp;
};

struct DCState {
  TPoint origin;
  bool hasClip = false;
  TRect clip;  // device coordinates
  COLORREF text = 0;
  COLORREF bk = 0xFFFFFF;
  int bkMode = OPAQUE;
  int stretchMode = BLACKONWHITE;
  HBRUSH brush = nullptr;
  HPEN pen = nullptr;
  HPALETTE palette = nullptr;
  TPoint penPos;
};

struct DC : Object {
  DC() : Object(Kind::DC) {}
  int type = OBJ_MEMDC;
  bool screen = false;
  HWND window = nullptr;
  HBITMAP bitmap = nullptr;  // memory DCs
  DCState st;
  std::vector<DCState> saved;
};

// The table. Lookups are locked; the objects themselves belong to whoever
// uses them, as GDI objects do.
HGDIOBJ Register(std::unique_ptr<Object> object);
Object* Lookup(HGDIOBJ handle);
template <class T>
T* LookupAs(HGDIOBJ handle, Kind kind) {
  Object* o = Lookup(handle);
  return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
inline Bitmap* AsBitmap(HGDIOBJ h) { return LookupAs<Bitmap>(h, Kind::Bitmap); }
inline Palette* AsPalette(HGDIOBJ h) { return LookupAs<Palette>(h, Kind::Palette); }
inline Brush* AsBrush(HGDIOBJ h) { return LookupAs<Brush>(h, Kind::Brush); }
inline Pen* AsPen(HGDIOBJ h) { return LookupAs<Pen>(h, Kind::Pen); }
inline DC* AsDC(HGDIOBJ h) { return LookupAs<DC>(h, Kind::DC); }

// What a DC draws on (null when it has nothing).
Surface* DCSurface(DC* dc);
// A DC's colour (plain, palette index or palette-relative) as a quad.
uint32_t ResolveColor(DC* dc, COLORREF color);

// ---- Pixel engine (Blit.cpp) ----
// Nearest entry of a colour table: squared RGB distance, ties to the lowest index.
uint32_t NearestIndex(const uint32_t* table, size_t count, uint32_t quad);
uint32_t NativeFromQuad(const Surface& s, uint32_t quad);
uint32_t QuadFromNative(const Surface& s, uint32_t native);
uint32_t ReadNative(const Surface& s, int32_t x, int32_t y);
void WriteNative(Surface& s, int32_t x, int32_t y, uint32_t native);

// How source pixels become destination pixels: by the device rules for
// monochrome (text/background colours) or purely by colour (DIB transfers).
enum class ConvMode { Device, Colors };
struct BlitParams {
  ConvMode mode = ConvMode::Device;
  uint32_t destText = 0;     // quad: 0 bits of a monochrome source
  uint32_t destBk = 0xFFFFFF;  // quad: 1 bits of a monochrome source
  uint32_t srcBk = 0xFFFFFF;   // quad: source pixels of this colour become 1 in a monochrome destination
  const Brush* brush = nullptr;
  uint32_t brushBk = 0xFFFFFF;  // quad: the gaps of a hatched brush
  bool hatchGapsKeep = false;   // TRANSPARENT background mode: the gaps leave the destination
};
// The general blit in device coordinates: destination rectangle (X, Y, W, H)
// clipped to Clip (already intersected with the surface), source rectangle
// (may be stretched or mirrored), ROP3 where Mask is 0 or absent and
// ForeRop where it is 1.
void BlitSurfaces(Surface& dst, const TRect& clip, int32_t x, int32_t y, int32_t w, int32_t h,
                  const Surface* src, int32_t sx, int32_t sy, int32_t sw, int32_t sh, uint32_t rop,
                  const Surface* mask, int32_t mx, int32_t my, uint32_t foreRop, const BlitParams& params);
// Converts whole rows between two surfaces of equal width by colour.
void ConvertRows(const Surface& src, int32_t srcRow, Surface& dst, int32_t dstRow, int32_t rows,
                 int32_t width);
void BlendCoverage(Surface& dst, const TRect& clip, int32_t x, int32_t y, const uint8_t* coverage,
                   int32_t w, int32_t h, int32_t pitch, uint32_t quad);

}  // namespace platform::gdi
