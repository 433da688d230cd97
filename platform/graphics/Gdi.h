#pragma once
// Our own small GDI: a process-wide table of graphics objects (bitmaps,
// palettes, brushes, pens, device contexts) reached through typed handles,
// raster operations and blits, DIB reading and writing, a configurable
// screen and a per-thread last error. Handles are opaque numbers, never
// pointers; a deleted handle is recognised as dead (GetObjectType gives 0).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/graphics/BmpCodec.h"  // TRGBQuad, the colour-table entry
#include "platform/graphics/Colors.h"
#include "platform/graphics/Geometry.h"

namespace platform {

// Handles. HGDIOBJ takes any of the typed ones.
using HGDIOBJ = void*;
using HBITMAP = struct HBITMAP__*;
using HPALETTE = struct HPALETTE__*;
using HDC = struct HDC__*;
using HBRUSH = struct HBRUSH__*;
using HPEN = struct HPEN__*;
// Windows belong to the window layer; graphics only passes them through.
using HWND = struct HWND__*;

using RGBQUAD = TRGBQuad;

// ---- Object types (GetObjectType) ----
enum : int {
  OBJ_PEN = 1,
  OBJ_BRUSH = 2,
  OBJ_DC = 3,
  OBJ_PAL = 5,
  OBJ_FONT = 6,
  OBJ_BITMAP = 7,
  OBJ_MEMDC = 10,
};

// ---- Stock objects (GetStockObject) ----
enum : int {
  WHITE_BRUSH = 0,
  LTGRAY_BRUSH = 1,
  GRAY_BRUSH = 2,
  DKGRAY_BRUSH = 3,
  BLACK_BRUSH = 4,
  NULL_BRUSH = 5,
  HOLLOW_BRUSH = NULL_BRUSH,
  WHITE_PEN = 6,
  BLACK_PEN = 7,
  NULL_PEN = 8,
  DEFAULT_PALETTE = 15,
};

// ---- Raster operations (ROP3: the truth table in bits 16-23) ----
enum : uint32_t {
  SRCCOPY = 0x00CC0020,
  SRCPAINT = 0x00EE0086,
  SRCAND = 0x008800C6,
  SRCINVERT = 0x00660046,
  SRCERASE = 0x00440328,
  NOTSRCCOPY = 0x00330008,
  NOTSRCERASE = 0x001100A6,
  MERGECOPY = 0x00C000CA,
  MERGEPAINT = 0x00BB0226,
  PATCOPY = 0x00F00021,
  PATPAINT = 0x00FB0A09,
  PATINVERT = 0x005A0049,
  DSTINVERT = 0x00550009,
  BLACKNESS = 0x00000042,
  WHITENESS = 0x00FF0062,
};
// A ROP3 code from its truth-table byte (bit (P<<2 | S<<1 | D) of Index is
// the result for pattern P, source S, destination D).
constexpr uint32_t Rop3FromIndex(uint8_t Index) { return static_cast<uint32_t>(Index) << 16; }
// MaskBlt's four-operand code: Fore where the mask has 1 bits, Back where 0.
constexpr uint32_t MAKEROP4(uint32_t Fore, uint32_t Back) {
  return ((Back << 8) & 0xFF000000u) | Fore;
}

// ---- Structures ----
struct PALETTEENTRY {
  uint8_t peRed = 0;
  uint8_t peGreen = 0;
  uint8_t peBlue = 0;
  uint8_t peFlags = 0;
  friend bool operator==(const PALETTEENTRY&, const PALETTEENTRY&) = default;
};
enum : uint8_t { PC_RESERVED = 1, PC_EXPLICIT = 2, PC_NOCOLLAPSE = 4 };

// A logical palette; allocate room for palNumEntries entries after the header.
struct LOGPALETTE {
  uint16_t palVersion = 0x300;
  uint16_t palNumEntries = 0;
  PALETTEENTRY palPalEntry[1];
};

struct BITMAP {
  int32_t bmType = 0;
  int32_t bmWidth = 0;
  int32_t bmHeight = 0;
  int32_t bmWidthBytes = 0;
  uint16_t bmPlanes = 0;
  uint16_t bmBitsPixel = 0;
  void* bmBits = nullptr;  // the pixels of a DIB section, else null
};

struct BITMAPINFOHEADER {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;  // > 0: rows bottom-up; <= 0: top-down
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// A header followed by the colour table (or three bit-field masks); allocate
// room for the entries the header asks for.
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};

// What GetObject gives for a DIB section. Our pointers are 64 bits wide, so
// it is larger than on 32-bit Windows (84 bytes); a plain bitmap's BITMAP
// stays below 64 bytes and a DIB section's description above, as there.
struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  uint32_t dsBitfields[3] = {0, 0, 0};
  void* dshSection = nullptr;
  uint32_t dsOffset = 0;
};
static_assert(sizeof(BITMAP) < 64 && sizeof(DIBSECTION) >= 64);

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };
enum : uint32_t { DIB_RGB_COLORS = 0, DIB_PAL_COLORS = 1 };

enum : uint32_t { BS_SOLID = 0, BS_NULL = 1, BS_HOLLOW = 1, BS_HATCHED = 2 };
enum : int {
  HS_HORIZONTAL = 0,
  HS_VERTICAL = 1,
  HS_FDIAGONAL = 2,
  HS_BDIAGONAL = 3,
  HS_CROSS = 4,
  HS_DIAGCROSS = 5,
};
struct LOGBRUSH {
  uint32_t lbStyle = BS_SOLID;
  COLORREF lbColor = 0;
  uintptr_t lbHatch = 0;
};

enum : int {
  PS_SOLID = 0,
  PS_DASH = 1,
  PS_DOT = 2,
  PS_DASHDOT = 3,
  PS_DASHDOTDOT = 4,
  PS_NULL = 5,
  PS_INSIDEFRAME = 6,
};
struct LOGPEN {
  uint32_t lopnStyle = PS_SOLID;
  TPoint lopnWidth;  // X is the width
  COLORREF lopnColor = 0;
};

// Background modes and stretch modes.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
enum : int { BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4 };
// GetClipBox results.
enum : int { RGN_ERROR = 0, NULLREGION = 1, SIMPLEREGION = 2 };

// ---- Device capabilities ----
enum : int {
  TECHNOLOGY = 2,
  HORZSIZE = 4,
  VERTSIZE = 6,
  HORZRES = 8,
  VERTRES = 10,
  BITSPIXEL = 12,
  PLANES = 14,
  NUMCOLORS = 24,
  RASTERCAPS = 38,
  LOGPIXELSX = 88,
  LOGPIXELSY = 90,
  SIZEPALETTE = 104,
  NUMRESERVED = 106,
  COLORRES = 108,
};
enum : int { DT_RASDISPLAY = 1 };
enum : int { RC_BITBLT = 0x0001, RC_DI_BITMAP = 0x0080, RC_PALETTE = 0x0100, RC_STRETCHBLT = 0x0800 };

// The screen the system pretends to have. Tests may pose as a palette
// device (BitsPerPixel 8); drawing itself always happens in our bitmaps.
struct TScreenSettings {
  int32_t Width = 1920;
  int32_t Height = 1080;
  int32_t BitsPerPixel = 24;
  int32_t Planes = 1;
  int32_t PixelsPerInch = 96;
};
void SetScreenSettings(const TScreenSettings& Settings);
TScreenSettings GetScreenSettings();

// ---- Last error (per thread) and its text ----
enum : uint32_t {
  ERROR_SUCCESS = 0,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_OUTOFMEMORY = 14,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_BUSY = 170,
  ERROR_INVALID_PIXEL_FORMAT = 2000,
};
enum : uint32_t { FORMAT_MESSAGE_IGNORE_INSERTS = 0x200, FORMAT_MESSAGE_FROM_SYSTEM = 0x1000 };
uint32_t GetLastError();
void SetLastError(uint32_t Code);
// Writes the system's text for MessageId (no trailing line break) into
// Buffer, cut to Size - 1 characters and terminated; returns the characters
// written, 0 for an unknown code, a zero Size or a null buffer. Only
// FORMAT_MESSAGE_FROM_SYSTEM is understood; the language is ignored.
uint32_t FormatMessage(uint32_t Flags, const void* Source, uint32_t MessageId, uint32_t LanguageId,
                       char* Buffer, uint32_t Size, void* Arguments);
// The same text as a string ("" for an unknown code).
std::string SysErrorMessage(uint32_t Code);

// ---- The object table ----
int GetObjectType(HGDIOBJ Object);  // 0 for a dead or foreign handle
// Describes the object into Buffer (BITMAP or DIBSECTION, a 2-byte palette
// entry count, LOGBRUSH, LOGPEN) and returns the bytes written; with a null
// Buffer returns the size it would write; 0 on failure.
int GetObject(HGDIOBJ Object, int Size, void* Buffer);
// Stock objects ignore deletion. An object selected into a DC is not
// deleted (false), as on Windows.
bool DeleteObject(HGDIOBJ Object);
HGDIOBJ GetStockObject(int Index);
// The 16-colour stock palette of the classic VGA colours.
HPALETTE SystemPalette16();
// Live objects that are not stock objects: what tests check for leaks.
size_t GdiObjectCount();
// A short list of the live objects ("bitmap 10x10x8, palette 16, ..."),
// for leak reports.
std::string GdiDescribeObjects();

// ---- Palettes ----
HPALETTE CreatePalette(const LOGPALETTE* LogPalette);
HPALETTE CreatePalette(std::span<const PALETTEENTRY> Entries, uint16_t Version = 0x300);
// Copies entries Start .. Start + Count - 1; returns how many were copied;
// with a null Entries the palette's entry count.
uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries);
uint32_t SetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, const PALETTEENTRY* Entries);
// A new palette with the same entries; 0 for 0 or a dead handle.
HPALETTE CopyPalette(HPALETTE Palette);
// 256 entries: the 20 static colours at 0-9 and 246-255, a 6x6x6 colour cube
// and a grey ramp between.
HPALETTE CreateHalftonePalette(HDC DC);
uint32_t GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color);
HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool ForceBackground);
// Returns the number of entries mapped into the system palette.
uint32_t RealizePalette(HDC DC);

// ---- Bitmaps ----
// A device-dependent bitmap; 1 bit per pixel gives a monochrome mask whose
// rows Bits supplies top-down, each padded to 16 bits. Other depths store as
// 32 bits per pixel; Bits then holds rows of that depth padded to 16 bits.
HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount, const void* Bits);
// Compatible with what the DC draws on: monochrome for a memory DC that
// still has its initial 1x1 bitmap, the same DIB format (and colour table)
// when a DIB section is selected, otherwise the device format (32 bits).
HBITMAP CreateCompatibleBitmap(HDC DC, int32_t Width, int32_t Height);
// A DIB section: 1/4/8/16/24/32 bits, BI_RGB or BI_BITFIELDS (5-5-5 or
// 5-6-5 for 16 bits, B-G-R-x for 32). *Bits receives the zeroed pixels,
// which the caller may write directly; rows padded to 32 bits.
HBITMAP CreateDIBSection(HDC DC, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void* Section,
                         uint32_t Offset);
// Reads rows of a bitmap into Bits in the format the header asks for (1, 4,
// 8, 16, 24 or 32 bits; BI_RGB, or BI_BITFIELDS for 16/32) and fills the
// colour table for <= 8 bits: the bitmap's own table when the depth matches,
// else black and white for 1 bit, the DC's palette otherwise. Start counts
// rows from the bottom for a bottom-up header, as on Windows. With Bits null
// and biBitCount 0 it fills in the header (and, for <= 8 bits, the colour
// table) describing the bitmap. Returns the rows copied, 0 on failure.
int GetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info,
              uint32_t Usage);
// The way back: writes rows given in the header's format into the bitmap.
int SetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, const void* Bits,
              const BITMAPINFO* Info, uint32_t Usage);
// Draws rows given in the header's format, stretched; the source rectangle
// is counted from the picture's top row whatever the row order.
int StretchDIBits(HDC DC, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight,
                  int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                  const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop);
// Colour tables of the DIB section selected into a DC.
uint32_t GetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, RGBQUAD* Colors);
uint32_t SetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, const RGBQUAD* Colors);

// ---- Brushes and pens ----
HBRUSH CreateSolidBrush(COLORREF Color);
HBRUSH CreateHatchBrush(int Hatch, COLORREF Color);
HBRUSH CreateBrushIndirect(const LOGBRUSH* LogBrush);
HPEN CreatePen(int Style, int Width, COLORREF Color);

// ---- Device contexts ----
// A memory DC; it starts with a 1x1 monochrome bitmap, the default palette,
// the white brush and the black pen selected.
HDC CreateCompatibleDC(HDC DC);
bool DeleteDC(HDC DC);
// GetDC(0) is the screen; a window's DC draws on the surface that the window
// layer gives for it (see SetWindowSurfaceProvider); 0 when there is none.
HDC GetDC(HWND Window);
int ReleaseDC(HWND Window, HDC DC);
// The window layer names the bitmap that a window's DC draws on.
using TWindowSurfaceProvider = std::function<HBITMAP(HWND)>;
void SetWindowSurfaceProvider(TWindowSurfaceProvider Provider);

// Selects a bitmap (memory DCs only; a bitmap is selected into one DC at a
// time), a brush or a pen; returns the previous object of that kind, or 0.
HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object);
inline HBITMAP SelectObject(HDC DC, HBITMAP Bitmap) {
  return static_cast<HBITMAP>(SelectObject(DC, static_cast<HGDIOBJ>(Bitmap)));
}
inline HBRUSH SelectObject(HDC DC, HBRUSH Brush) {
  return static_cast<HBRUSH>(SelectObject(DC, static_cast<HGDIOBJ>(Brush)));
}
inline HPEN SelectObject(HDC DC, HPEN Pen) {
  return static_cast<HPEN>(SelectObject(DC, static_cast<HGDIOBJ>(Pen)));
}
// The object of the given type (OBJ_BITMAP, OBJ_PAL, OBJ_BRUSH, OBJ_PEN) selected into DC.
HGDIOBJ GetCurrentObject(HDC DC, int Type);

COLORREF SetTextColor(HDC DC, COLORREF Color);  // returns the previous one
COLORREF GetTextColor(HDC DC);
COLORREF SetBkColor(HDC DC, COLORREF Color);
COLORREF GetBkColor(HDC DC);
int SetBkMode(HDC DC, int Mode);
int GetBkMode(HDC DC);
int SetStretchBltMode(HDC DC, int Mode);  // stored; stretching is always nearest pixel
int GetStretchBltMode(HDC DC);

// Logical (0, 0) lies at device point Origin; everything drawn is shifted.
bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool GetViewportOrgEx(HDC DC, TPoint* Origin);
// One clip rectangle per DC, in logical coordinates when set.
int IntersectClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
int SelectClipRect(HDC DC, const TRect* Rect);  // null removes the clip
int GetClipBox(HDC DC, TRect* Rect);            // logical coordinates
int SaveDC(HDC DC);                             // returns the saved level
bool RestoreDC(HDC DC, int Level);              // negative: relative to the current level

int GetDeviceCaps(HDC DC, int Index);
bool GdiFlush();

// ---- Drawing ----
bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
            int32_t YSrc, uint32_t Rop);
// Nearest pixel; differing signs of the widths (or heights) mirror.
bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
                int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop);
bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop);
// The foreground ROP where Mask (a monochrome bitmap) has 1 bits, the
// background ROP where it has 0 bits or where it does not reach.
bool MaskBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
             int32_t YSrc, HBITMAP Mask, int32_t XMask, int32_t YMask, uint32_t Rop4);
int FillRect(HDC DC, const TRect* Rect, HBRUSH Brush);
int FrameRect(HDC DC, const TRect* Rect, HBRUSH Brush);
// CLR_INVALID (0xFFFFFFFF) outside the surface or the clip.
inline constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF GetPixel(HDC DC, int32_t X, int32_t Y);
COLORREF SetPixel(HDC DC, int32_t X, int32_t Y, COLORREF Color);  // the colour actually set
COLORREF GetNearestColor(HDC DC, COLORREF Color);
bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old);
bool LineTo(HDC DC, int32_t X, int32_t Y);  // the end point is not drawn
bool Polyline(HDC DC, const TPoint* Points, int Count);
// Outline with the pen, inside filled with the brush.
bool Rectangle(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);

// Blends Color into the DC's surface through an 8-bit coverage mask (0 keeps
// the pixel, 255 sets Color), with the mask's top-left at logical (X, Y);
// palette surfaces take the nearest colour of their table. Text drawing
// uses it.
bool GdiBlendCoverage(HDC DC, int32_t X, int32_t Y, const uint8_t* Coverage, int32_t Width,
                      int32_t Height, int32_t Pitch, COLORREF Color);

}  // namespace platform
