// The GDI object table and every call that creates, describes, selects or
// deletes objects; the drawing calls translate and clip, then hand the pixels
// to the engine in Blit.cpp.

#include "platform/graphics/Gdi.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/graphics/GdiObjects.h"
#include "platform/rtl/Exceptions.h"

namespace platform {

using namespace gdi;

namespace {

// ---- The table ----

struct Slot {
  std::unique_ptr<Object> object;
  uint32_t generation = 1;
};

struct Table {
  std::mutex mutex;
  std::vector<Slot> slots;
  std::vector<uint32_t> freeSlots;
  size_t live = 0;  // non-stock
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may outlive static destructors
  return *table;
}

HGDIOBJ MakeHandle(uint32_t index, uint32_t generation) {
  const uintptr_t value = (static_cast<uintptr_t>(generation) << 32) | (index + 1u);
  return reinterpret_cast<HGDIOBJ>(value);
}

bool SplitHandle(HGDIOBJ h, uint32_t& index, uint32_t& generation) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(h);
  const uint32_t low = static_cast<uint32_t>(value & 0xFFFFFFFFu);
  if (low == 0) return false;
  index = low - 1;
  generation = static_cast<uint32_t>(value >> 32);
  return true;
}

void Unregister(HGDIOBJ h) {
  std::unique_ptr<Object> doomed;
  Table& t = TheTable();
  {
    std::lock_guard lock(t.mutex);
    uint32_t index, generation;
    if (!SplitHandle(h, index, generation) || index >= t.slots.size()) return;
    Slot& slot = t.slots[index];
    if (!slot.object || slot.generation != generation) return;
    if (!slot.object->stock) --t.live;
    doomed = std::move(slot.object);
    ++slot.generation;
    if (slot.generation == 0) slot.generation = 1;
    t.freeSlots.push_back(index);
  }
}

thread_local uint32_t tLastError = ERROR_SUCCESS;

// ---- Fixed palettes ----

constexpr std::array<PALETTEENTRY, 20> kStaticColors = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},     {0, 128, 0, 0},     {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0},   {0, 128, 128, 0},   {192, 192, 192, 0},
    {192, 220, 192, 0}, {166, 202, 240, 0}, {255, 251, 240, 0}, {160, 160, 164, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},     {0, 255, 0, 0},     {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0},   {0, 255, 255, 0},   {255, 255, 255, 0},
}};

constexpr std::array<PALETTEENTRY, 16> kVgaColors = {{
    {0, 0, 0, 0},       {128, 0, 0, 0},   {0, 128, 0, 0},   {128, 128, 0, 0},
    {0, 0, 128, 0},     {128, 0, 128, 0}, {0, 128, 128, 0}, {192, 192, 192, 0},
    {128, 128, 128, 0}, {255, 0, 0, 0},   {0, 255, 0, 0},   {255, 255, 0, 0},
    {0, 0, 255, 0},     {255, 0, 255, 0}, {0, 255, 255, 0}, {255, 255, 255, 0},
}};

struct Stock {
  HGDIOBJ objects[DEFAULT_PALETTE + 1] = {};
  HPALETTE palette16 = nullptr;
  HBITMAP bitmap1x1 = nullptr;
};

HGDIOBJ RegisterStock(std::unique_ptr<Object> o) {
  o->stock = true;
  return Register(std::move(o));
}

HGDIOBJ StockBrush(uint32_t style, COLORREF color) {
  auto b = std::make_unique<Brush>();
  b->lb.lbStyle = style;
  b->lb.lbColor = color;
  return RegisterStock(std::move(b));
}
HGDIOBJ StockPen(int style, COLORREF color) {
  auto p = std::make_unique<Pen>();
  p->lp.lopnStyle = static_cast<uint32_t>(style);
  p->lp.lopnWidth = {1, 0};
  p->lp.lopnColor = color;
  return RegisterStock(std::move(p));
}
HGDIOBJ StockPalette(std::span<const PALETTEENTRY> entries) {
  auto p = std::make_unique<Palette>();
  p->entries.assign(entries.begin(), entries.end());
  return RegisterStock(std::move(p));
}

Stock& TheStock() {
  static Stock* stock = [] {
    auto* s = new Stock;
    s->objects[WHITE_BRUSH] = StockBrush(BS_SOLID, RGB(255, 255, 255));
    s->objects[LTGRAY_BRUSH] = StockBrush(BS_SOLID, RGB(192, 192, 192));
    s->objects[GRAY_BRUSH] = StockBrush(BS_SOLID, RGB(128, 128, 128));
    s->objects[DKGRAY_BRUSH] = StockBrush(BS_SOLID, RGB(64, 64, 64));
    s->objects[BLACK_BRUSH] = StockBrush(BS_SOLID, RGB(0, 0, 0));
    s->objects[NULL_BRUSH] = StockBrush(BS_NULL, 0);
    s->objects[WHITE_PEN] = StockPen(PS_SOLID, RGB(255, 255, 255));
    s->objects[BLACK_PEN] = StockPen(PS_SOLID, RGB(0, 0, 0));
    s->objects[NULL_PEN] = StockPen(PS_NULL, 0);
    s->objects[DEFAULT_PALETTE] = StockPalette(kStaticColors);
    s->palette16 = static_cast<HPALETTE>(StockPalette(kVgaColors));
    auto b = std::make_unique<Bitmap>();
    b->s.width = 1;
    b->s.height = 1;
    b->s.bpp = 1;
    b->s.stride = 4;
    b->storage.assign(4, 0);
    b->s.data = b->storage.data();
    b->s.colors = {0x000000, 0xFFFFFF};
    s->bitmap1x1 = static_cast<HBITMAP>(RegisterStock(std::move(b)));
    return s;
  }();
  return *stock;
}

HPALETTE DefaultPalette() { return static_cast<HPALETTE>(TheStock().objects[DEFAULT_PALETTE]); }

// A DC's tools; one deleted while selected counts as the stock default.
gdi::Palette* DCPalette(gdi::DC* dc) {
  gdi::Palette* p = AsPalette(dc->st.palette);
  return p ? p : AsPalette(DefaultPalette());
}
gdi::Brush* DCBrush(gdi::DC* dc) {
  gdi::Brush* b = AsBrush(dc->st.brush);
  return b ? b : AsBrush(TheStock().objects[WHITE_BRUSH]);
}
gdi::Pen* DCPen(gdi::DC* dc) {
  gdi::Pen* p = AsPen(dc->st.pen);
  return p ? p : AsPen(TheStock().objects[BLACK_PEN]);
}

// ---- Screen ----

struct ScreenState {
  std::mutex mutex;
  TScreenSettings settings;
  Surface surface;  // created when first drawn on
  std::vector<uint8_t> storage;
  TWindowSurfaceProvider provider;
};
ScreenState& TheScreen() {
  static ScreenState* s = new ScreenState;
  return *s;
}

Surface* ScreenSurface() {
  ScreenState& s = TheScreen();
  std::lock_guard lock(s.mutex);
  if (s.surface.width != s.settings.Width || s.surface.height != s.settings.Height || !s.surface.data) {
    s.surface.width = std::max(1, s.settings.Width);
    s.surface.height = std::max(1, s.settings.Height);
    s.surface.bpp = 32;
    s.surface.stride = StrideFor(s.surface.width, 32);
    s.storage.assign(static_cast<size_t>(s.surface.stride) * s.surface.height, 0);
    s.surface.data = s.storage.data();
  }
  return &s.surface;
}

constexpr size_t kMaxBitmapBytes = size_t{1} << 30;

bool Fail(uint32_t code) {
  SetLastError(code);
  return false;
}

// Builds a bitmap object; null (last error set) when the size is refused or
// memory runs out.
std::unique_ptr<Bitmap> NewBitmap(int32_t width, int32_t height, int bpp, bool topDown) {
  if (width <= 0 || height <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const int64_t stride = ((static_cast<int64_t>(width) * bpp + 31) / 32) * 4;
  const int64_t bytes = stride * height;
  if (bytes <= 0 || static_cast<uint64_t>(bytes) > kMaxBitmapBytes) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  try {
    auto b = std::make_unique<Bitmap>();
    b->s.width = width;
    b->s.height = height;
    b->s.bpp = bpp;
    b->s.topDown = topDown;
    b->s.stride = static_cast<int32_t>(stride);
    b->storage.assign(static_cast<size_t>(bytes), 0);
    b->s.data = b->storage.data();
    if (bpp <= 8) b->s.colors.assign(size_t{1} << bpp, 0);
    return b;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

// The colour table a DIB header describes, as quads padded to 1 << bpp.
std::vector<uint32_t> TableFromInfo(DC* dc, const BITMAPINFO* info, uint32_t usage) {
  const int bpp = info->bmiHeader.biBitCount;
  std::vector<uint32_t> table(size_t{1} << bpp, 0);
  size_t count = info->bmiHeader.biClrUsed ? info->bmiHeader.biClrUsed : table.size();
  count = std::min(count, table.size());
  const uint8_t* base = reinterpret_cast<const uint8_t*>(info) + info->bmiHeader.biSize;
  if (usage == DIB_PAL_COLORS) {
    Palette* pal = dc ? DCPalette(dc) : AsPalette(DefaultPalette());
    for (size_t i = 0; i < count; ++i) {
      uint16_t index;
      std::memcpy(&index, base + 2 * i, 2);
      if (index < pal->entries.size()) table[i] = QuadFromEntry(pal->entries[index]);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      RGBQUAD q;
      std::memcpy(&q, base + 4 * i, 4);
      table[i] = QuadFromRgbQuad(q);
    }
  }
  return table;
}

// Checks a DIB header's format; the bit-field masks of 16/32 bits decide
// 5-6-5 versus 5-5-5 (16) and must be the usual ones for 32.
bool ParseFormat(const BITMAPINFO* info, bool& is565) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < 40 || h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1) return false;
  is565 = false;
  switch (h.biBitCount) {
    case 1: case 4: case 8: case 24: return h.biCompression == BI_RGB;
    case 16:
    case 32: {
      if (h.biCompression == BI_RGB) return true;
      if (h.biCompression != BI_BITFIELDS) return false;
      uint32_t masks[3];
      std::memcpy(masks, reinterpret_cast<const uint8_t*>(info) + h.biSize, sizeof masks);
      if (h.biBitCount == 32) return masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
      if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) { is565 = true; return true; }
      return masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
    }
    default: return false;
  }
}

// A surface view over caller memory laid out as the header says.
bool ViewFromInfo(DC* dc, const BITMAPINFO* info, uint32_t usage, const void* bits, Surface& view) {
  bool is565 = false;
  if (!info || !ParseFormat(info, is565)) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  view.width = h.biWidth;
  view.height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  view.bpp = h.biBitCount;
  view.is565 = is565;
  view.topDown = h.biHeight < 0;
  view.stride = StrideFor(view.width, view.bpp);
  view.data = static_cast<uint8_t*>(const_cast<void*>(bits));
  if (view.bpp <= 8) view.colors = TableFromInfo(dc, info, usage);
  return true;
}

TRect DeviceClip(DC* dc, const Surface& s) {
  TRect full = Rect(0, 0, s.width, s.height);
  if (!dc->st.hasClip) return full;
  TRect r;
  IntersectRect(r, full, dc->st.clip);
  return r;
}

BlitParams ParamsFor(DC* dst, DC* src) {
  BlitParams p;
  p.destText = ResolveColor(dst, dst->st.text);
  p.destBk = ResolveColor(dst, dst->st.bk);
  p.srcBk = src ? ResolveColor(src, src->st.bk) : 0xFFFFFF;
  p.brush = DCBrush(dst);
  if (p.brush && p.brush->lb.lbStyle == BS_NULL) p.brush = nullptr;
  p.brushBk = p.destBk;
  p.hatchGapsKeep = dst->st.bkMode == TRANSPARENT;
  return p;
}

bool SourceRequired(uint32_t rop) {
  const uint8_t r = static_cast<uint8_t>(rop >> 16);
  return ((r >> 2) ^ r) & 0x33;
}
bool PatternRequired(uint32_t rop) {
  const uint8_t r = static_cast<uint8_t>(rop >> 16);
  return ((r >> 4) ^ r) & 0x0F;
}

void Plot(DC* dc, Surface& s, const TRect& clip, int32_t x, int32_t y, int32_t width, uint32_t native) {
  // A square of the pen's width around the point.
  const int32_t half = (width - 1) / 2;
  for (int32_t yy = y - half; yy < y - half + width; ++yy) {
    if (yy < clip.Top || yy >= clip.Bottom) continue;
    for (int32_t xx = x - half; xx < x - half + width; ++xx)
      if (xx >= clip.Left && xx < clip.Right) WriteNative(s, xx, yy, native);
  }
  (void)dc;
}

// Dash patterns in pixels (on, off, on, off, ...) for cosmetic pens.
std::span<const int> DashPattern(uint32_t style) {
  static constexpr int dash[] = {18, 6};
  static constexpr int dot[] = {3, 3};
  static constexpr int dashDot[] = {9, 6, 3, 6};
  static constexpr int dashDotDot[] = {9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH: return dash;
    case PS_DOT: return dot;
    case PS_DASHDOT: return dashDot;
    case PS_DASHDOTDOT: return dashDotDot;
    default: return {};
  }
}

void DrawLine(DC* dc, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Pen* pen = DCPen(dc);
  if (!pen || pen->lp.lopnStyle == PS_NULL) return;
  Surface* s = DCSurface(dc);
  if (!s) return;
  const TRect clip = DeviceClip(dc, *s);
  const uint32_t native = NativeFromQuad(*s, ResolveColor(dc, pen->lp.lopnColor));
  const int32_t width = std::max(1, pen->lp.lopnWidth.X);
  x0 += dc->st.origin.X; x1 += dc->st.origin.X;
  y0 += dc->st.origin.Y; y1 += dc->st.origin.Y;
  const auto dashes = width == 1 ? DashPattern(pen->lp.lopnStyle) : std::span<const int>{};
  size_t dashIndex = 0;
  int dashLeft = dashes.empty() ? 0 : dashes[0];
  // Bresenham; the end point is left out.
  const int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  const int32_t stepX = x0 < x1 ? 1 : -1, stepY = y0 < y1 ? 1 : -1;
  int32_t err = dx + dy;
  while (x0 != x1 || y0 != y1) {
    const bool on = dashes.empty() || dashIndex % 2 == 0;
    if (on) Plot(dc, *s, clip, x0, y0, width, native);
    if (!dashes.empty() && --dashLeft <= 0) {
      dashIndex = (dashIndex + 1) % dashes.size();
      dashLeft = dashes[dashIndex];
    }
    const int32_t e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += stepX; }
    if (e2 <= dx) { err += dx; y0 += stepY; }
  }
}

// Fills a device rectangle with the DC's brush through the blit engine.
void FillWithBrush(DC* dc, const TRect& deviceRect, HBRUSH brush, uint32_t rop = PATCOPY) {
  Surface* s = DCSurface(dc);
  Brush* b = AsBrush(brush);
  if (!s || !b || b->lb.lbStyle == BS_NULL) return;
  BlitParams p = ParamsFor(dc, nullptr);
  p.brush = b;
  BlitSurfaces(*s, DeviceClip(dc, *s), deviceRect.Left, deviceRect.Top, deviceRect.Width(),
               deviceRect.Height(), nullptr, 0, 0, 0, 0, rop, nullptr, 0, 0, 0, p);
}

}  // namespace

// ---- Internal interface ----

namespace gdi {

HGDIOBJ Register(std::unique_ptr<Object> object) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  uint32_t index;
  if (!t.freeSlots.empty()) {
    index = t.freeSlots.back();
    t.freeSlots.pop_back();
  } else {
    index = static_cast<uint32_t>(t.slots.size());
    t.slots.emplace_back();
  }
  Slot& slot = t.slots[index];
  const HGDIOBJ h = MakeHandle(index, slot.generation);
  object->handle = h;
  if (!object->stock) ++t.live;
  slot.object = std::move(object);
  return h;
}

Object* Lookup(HGDIOBJ h) {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  uint32_t index, generation;
  if (!SplitHandle(h, index, generation) || index >= t.slots.size()) return nullptr;
  Slot& slot = t.slots[index];
  return slot.object && slot.generation == generation ? slot.object.get() : nullptr;
}

Surface* DCSurface(DC* dc) {
  if (dc->screen) return ScreenSurface();
  if (dc->window) {
    TWindowSurfaceProvider provider;
    {
      ScreenState& s = TheScreen();
      std::lock_guard lock(s.mutex);
      provider = s.provider;
    }
    Bitmap* b = provider ? AsBitmap(provider(dc->window)) : nullptr;
    return b ? &b->s : nullptr;
  }
  Bitmap* b = AsBitmap(dc->bitmap);
  return b ? &b->s : nullptr;
}

uint32_t ResolveColor(DC* dc, COLORREF color) {
  if ((color >> 24) == 1) {
    Palette* pal = dc ? DCPalette(dc) : nullptr;
    const uint32_t index = color & 0xFFFF;
    if (pal && index < pal->entries.size()) return QuadFromEntry(pal->entries[index]);
    return 0;
  }
  return QuadFromColorRef(color & 0xFFFFFF);
}

}  // namespace gdi

// ---- Geometry ----

bool IntersectRect(TRect& Dest, const TRect& A, const TRect& B) {
  Dest = {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right),
          std::min(A.Bottom, B.Bottom)};
  if (Dest.IsEmpty()) {
    Dest = {};
    return false;
  }
  return true;
}

bool UnionRect(TRect& Dest, const TRect& A, const TRect& B) {
  if (A.IsEmpty()) Dest = B;
  else if (B.IsEmpty()) Dest = A;
  else Dest = {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
               std::max(A.Bottom, B.Bottom)};
  if (Dest.IsEmpty()) {
    Dest = {};
    return false;
  }
  return true;
}

void OffsetRect(TRect& R, int32_t dx, int32_t dy) {
  R.Left += dx; R.Right += dx; R.Top += dy; R.Bottom += dy;
}

void InflateRect(TRect& R, int32_t dx, int32_t dy) {
  R.Left -= dx; R.Right += dx; R.Top -= dy; R.Bottom += dy;
}

// ---- Screen ----

void SetScreenSettings(const TScreenSettings& Settings) {
  ScreenState& s = TheScreen();
  std::lock_guard lock(s.mutex);
  s.settings = Settings;
}

TScreenSettings GetScreenSettings() {
  ScreenState& s = TheScreen();
  std::lock_guard lock(s.mutex);
  return s.settings;
}

void SetWindowSurfaceProvider(TWindowSurfaceProvider Provider) {
  ScreenState& s = TheScreen();
  std::lock_guard lock(s.mutex);
  s.provider = std::move(Provider);
}

// ---- Last error ----

uint32_t GetLastError() { return tLastError; }
void SetLastError(uint32_t Code) { tLastError = Code; }

std::string SysErrorMessage(uint32_t Code) {
  switch (Code) {
    case ERROR_SUCCESS: return "The operation completed successfully.";
    case ERROR_INVALID_HANDLE: return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY: return "Not enough memory resources are available to process this command.";
    case ERROR_OUTOFMEMORY: return "Not enough memory resources are available to complete this operation.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect.";
    case ERROR_BUSY: return "The requested resource is in use.";
    case ERROR_INVALID_PIXEL_FORMAT: return "The pixel format is invalid.";
    default: return "";
  }
}

uint32_t FormatMessage(uint32_t Flags, const void* Source, uint32_t MessageId, uint32_t LanguageId,
                       char* Buffer, uint32_t Size, void* Arguments) {
  (void)Source; (void)LanguageId; (void)Arguments;
  if (!(Flags & FORMAT_MESSAGE_FROM_SYSTEM) || !Buffer || Size == 0) return 0;
  const std::string text = SysErrorMessage(MessageId);
  if (text.empty()) return 0;
  const size_t n = std::min<size_t>(text.size(), Size - 1);
  std::memcpy(Buffer, text.data(), n);
  Buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

// ---- Objects ----

int GetObjectType(HGDIOBJ Object) {
  gdi::Object* o = Lookup(Object);
  if (!o) return 0;
  switch (o->kind) {
    case Kind::Bitmap: return OBJ_BITMAP;
    case Kind::Palette: return OBJ_PAL;
    case Kind::Brush: return OBJ_BRUSH;
    case Kind::Pen: return OBJ_PEN;
    case Kind::DC: return static_cast<gdi::DC*>(o)->type;
  }
  return 0;
}

int GetObject(HGDIOBJ Object, int Size, void* Buffer) {
  gdi::Object* o = Lookup(Object);
  if (!o) return Fail(ERROR_INVALID_HANDLE), 0;
  switch (o->kind) {
    case Kind::Bitmap: {
      auto* b = static_cast<gdi::Bitmap*>(o);
      DIBSECTION ds;
      ds.dsBm.bmType = 0;
      ds.dsBm.bmWidth = b->s.width;
      ds.dsBm.bmHeight = b->s.height;
      ds.dsBm.bmWidthBytes = b->s.stride;
      ds.dsBm.bmPlanes = 1;
      ds.dsBm.bmBitsPixel = static_cast<uint16_t>(b->s.bpp);
      ds.dsBm.bmBits = b->dib ? b->s.data : nullptr;
      const int want = b->dib ? static_cast<int>(sizeof(DIBSECTION)) : static_cast<int>(sizeof(BITMAP));
      if (!Buffer) return want;
      if (b->dib && Size >= static_cast<int>(sizeof(DIBSECTION))) {
        ds.dsBmih = b->header;
        std::memcpy(ds.dsBitfields, b->bitfields, sizeof ds.dsBitfields);
        std::memcpy(Buffer, &ds, sizeof ds);
        return sizeof(DIBSECTION);
      }
      if (Size < static_cast<int>(sizeof(BITMAP))) return Fail(ERROR_INVALID_PARAMETER), 0;
      std::memcpy(Buffer, &ds.dsBm, sizeof(BITMAP));
      return sizeof(BITMAP);
    }
    case Kind::Palette: {
      if (!Buffer) return 2;
      if (Size < 2) return Fail(ERROR_INVALID_PARAMETER), 0;
      const uint16_t count = static_cast<uint16_t>(static_cast<gdi::Palette*>(o)->entries.size());
      std::memcpy(Buffer, &count, 2);
      return 2;
    }
    case Kind::Brush: {
      if (!Buffer) return sizeof(LOGBRUSH);
      if (Size < static_cast<int>(sizeof(LOGBRUSH))) return Fail(ERROR_INVALID_PARAMETER), 0;
      std::memcpy(Buffer, &static_cast<gdi::Brush*>(o)->lb, sizeof(LOGBRUSH));
      return sizeof(LOGBRUSH);
    }
    case Kind::Pen: {
      if (!Buffer) return sizeof(LOGPEN);
      if (Size < static_cast<int>(sizeof(LOGPEN))) return Fail(ERROR_INVALID_PARAMETER), 0;
      std::memcpy(Buffer, &static_cast<gdi::Pen*>(o)->lp, sizeof(LOGPEN));
      return sizeof(LOGPEN);
    }
    case Kind::DC: return Fail(ERROR_INVALID_HANDLE), 0;
  }
  return 0;
}

bool DeleteObject(HGDIOBJ Object) {
  gdi::Object* o = Lookup(Object);
  if (!o) return Fail(ERROR_INVALID_HANDLE);
  if (o->stock) return true;
  switch (o->kind) {
    case Kind::DC: return Fail(ERROR_INVALID_HANDLE);
    case Kind::Bitmap:
      if (static_cast<gdi::Bitmap*>(o)->selectedIn) return Fail(ERROR_BUSY);
      break;
    default:
      // A palette, brush or pen may still be selected somewhere: handles are
      // never reused, so such a DC sees a dead handle and falls back to the
      // stock object (see the DC* accessors).
      break;
  }
  Unregister(Object);
  return true;
}

HGDIOBJ GetStockObject(int Index) {
  if (Index < 0 || Index > DEFAULT_PALETTE) return nullptr;
  return TheStock().objects[Index];
}

HPALETTE SystemPalette16() { return TheStock().palette16; }

size_t GdiObjectCount() {
  TheStock();
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  return t.live;
}

std::string GdiDescribeObjects() {
  Table& t = TheTable();
  std::lock_guard lock(t.mutex);
  std::string out;
  for (const Slot& slot : t.slots) {
    if (!slot.object || slot.object->stock) continue;
    if (!out.empty()) out += ", ";
    switch (slot.object->kind) {
      case Kind::Bitmap: {
        auto* b = static_cast<gdi::Bitmap*>(slot.object.get());
        out += Format("bitmap %dx%dx%d", b->s.width, b->s.height, b->s.bpp);
        break;
      }
      case Kind::Palette:
        out += Format("palette %zu", static_cast<gdi::Palette*>(slot.object.get())->entries.size());
        break;
      case Kind::Brush: out += "brush"; break;
      case Kind::Pen: out += "pen"; break;
      case Kind::DC: out += "dc"; break;
    }
  }
  return out;
}

// ---- Palettes ----

HPALETTE CreatePalette(std::span<const PALETTEENTRY> Entries, uint16_t Version) {
  if (Entries.empty() || Entries.size() > 0xFFFF) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto p = std::make_unique<gdi::Palette>();
  p->version = Version;
  p->entries.assign(Entries.begin(), Entries.end());
  return static_cast<HPALETTE>(Register(std::move(p)));
}

HPALETTE CreatePalette(const LOGPALETTE* LogPalette) {
  if (!LogPalette) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  return CreatePalette(std::span<const PALETTEENTRY>(LogPalette->palPalEntry, LogPalette->palNumEntries),
                       LogPalette->palVersion);
}

uint32_t GetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, PALETTEENTRY* Entries) {
  gdi::Palette* p = AsPalette(Palette);
  if (!p) return Fail(ERROR_INVALID_HANDLE), 0;
  const uint32_t size = static_cast<uint32_t>(p->entries.size());
  if (!Entries) return size;
  if (Start >= size) return 0;
  const uint32_t n = std::min(Count, size - Start);
  std::copy_n(p->entries.begin() + Start, n, Entries);
  return n;
}

uint32_t SetPaletteEntries(HPALETTE Palette, uint32_t Start, uint32_t Count, const PALETTEENTRY* Entries) {
  gdi::Palette* p = AsPalette(Palette);
  if (!p || !Entries) return Fail(ERROR_INVALID_HANDLE), 0;
  const uint32_t size = static_cast<uint32_t>(p->entries.size());
  if (Start >= size) return 0;
  const uint32_t n = std::min(Count, size - Start);
  std::copy_n(Entries, n, p->entries.begin() + Start);
  return n;
}

HPALETTE CopyPalette(HPALETTE Palette) {
  gdi::Palette* p = AsPalette(Palette);
  if (!p) return nullptr;
  std::vector<PALETTEENTRY> entries = p->entries;  // copy: the table may move while registering
  return CreatePalette(entries, p->version);
}

HPALETTE CreateHalftonePalette(HDC) {
  std::vector<PALETTEENTRY> entries(256);
  for (size_t i = 0; i < 10; ++i) {
    entries[i] = kStaticColors[i];
    entries[246 + i] = kStaticColors[10 + i];
  }
  size_t k = 10;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        entries[k++] = {static_cast<uint8_t>(51 * r), static_cast<uint8_t>(51 * g), static_cast<uint8_t>(51 * b), 0};
  // Twenty greys between the cube's six.
  for (int i = 0; i < 20; ++i) {
    const uint8_t v = static_cast<uint8_t>(((i + 1) * 255 + 10) / 21);
    entries[k++] = {v, v, v, 0};
  }
  return CreatePalette(entries);
}

uint32_t GetNearestPaletteIndex(HPALETTE Palette, COLORREF Color) {
  gdi::Palette* p = AsPalette(Palette);
  if (!p) return CLR_INVALID;
  std::vector<uint32_t> table(p->entries.size());
  for (size_t i = 0; i < table.size(); ++i) table[i] = QuadFromEntry(p->entries[i]);
  return NearestIndex(table.data(), table.size(), QuadFromColorRef(Color));
}

HPALETTE SelectPalette(HDC DC, HPALETTE Palette, bool) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !AsPalette(Palette)) return Fail(ERROR_INVALID_HANDLE), nullptr;
  HPALETTE old = dc->st.palette;
  dc->st.palette = Palette;
  return old;
}

uint32_t RealizePalette(HDC DC) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return Fail(ERROR_INVALID_HANDLE), 0;
  return static_cast<uint32_t>(DCPalette(dc)->entries.size());
}

// ---- Bitmaps ----

HBITMAP CreateBitmap(int32_t Width, int32_t Height, uint32_t Planes, uint32_t BitCount, const void* Bits) {
  if (Width == 0 || Height == 0) return TheStock().bitmap1x1;
  if (Width < 0 || Height < 0 || Planes != 1 || BitCount == 0 || BitCount > 32)
    return Fail(ERROR_INVALID_PARAMETER), nullptr;
  const int bpp = BitCount == 1 ? 1 : 32;
  if (Bits && BitCount != 1 && BitCount != 32) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto b = NewBitmap(Width, Height, bpp, true);
  if (!b) return nullptr;
  if (bpp == 1) b->s.colors = {0x000000, 0xFFFFFF};
  if (Bits) {
    // Rows as the caller gives them: padded to 16 bits.
    const size_t srcStride = ((static_cast<size_t>(Width) * BitCount + 15) / 16) * 2;
    const size_t rowBytes = (static_cast<size_t>(Width) * BitCount + 7) / 8;
    const auto* src = static_cast<const uint8_t*>(Bits);
    for (int32_t y = 0; y < Height; ++y) std::memcpy(b->s.Row(y), src + y * srcStride, rowBytes);
  }
  return static_cast<HBITMAP>(Register(std::move(b)));
}

HBITMAP CreateCompatibleBitmap(HDC DC, int32_t Width, int32_t Height) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return Fail(ERROR_INVALID_HANDLE), nullptr;
  if (Width == 0 || Height == 0) return TheStock().bitmap1x1;
  if (Width < 0 || Height < 0) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  gdi::Bitmap* selected = dc->type == OBJ_MEMDC ? AsBitmap(dc->bitmap) : nullptr;
  if (selected && selected->s.bpp == 1 && !selected->dib) {
    auto b = NewBitmap(Width, Height, 1, true);
    if (!b) return nullptr;
    b->s.colors = {0x000000, 0xFFFFFF};
    return static_cast<HBITMAP>(Register(std::move(b)));
  }
  if (selected && selected->dib) {
    auto b = NewBitmap(Width, Height, selected->s.bpp, false);
    if (!b) return nullptr;
    b->dib = true;
    b->s.is565 = selected->s.is565;
    b->s.colors = selected->s.colors;
    b->s.used = selected->s.used;
    b->header = selected->header;
    b->header.biWidth = Width;
    b->header.biHeight = Height;
    b->header.biSizeImage = static_cast<uint32_t>(b->s.stride) * static_cast<uint32_t>(Height);
    std::memcpy(b->bitfields, selected->bitfields, sizeof b->bitfields);
    return static_cast<HBITMAP>(Register(std::move(b)));
  }
  auto b = NewBitmap(Width, Height, 32, true);
  if (!b) return nullptr;
  return static_cast<HBITMAP>(Register(std::move(b)));
}

HBITMAP CreateDIBSection(HDC DC, const BITMAPINFO* Info, uint32_t Usage, void** Bits, void*, uint32_t) {
  if (Bits) *Bits = nullptr;
  bool is565 = false;
  if (!Info || !ParseFormat(Info, is565)) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  const BITMAPINFOHEADER& h = Info->bmiHeader;
  const int32_t height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  auto b = NewBitmap(h.biWidth, height, h.biBitCount, h.biHeight < 0);
  if (!b) return nullptr;
  b->dib = true;
  b->s.is565 = is565;
  if (h.biBitCount <= 8) {
    b->s.colors = TableFromInfo(AsDC(DC), Info, Usage);
    b->s.used = std::min<uint32_t>(h.biClrUsed, static_cast<uint32_t>(b->s.colors.size()));
  }
  b->header = h;
  b->header.biSize = 40;
  b->header.biSizeImage = static_cast<uint32_t>(b->s.stride) * static_cast<uint32_t>(height);
  if (h.biCompression == BI_BITFIELDS)
    std::memcpy(b->bitfields, reinterpret_cast<const uint8_t*>(Info) + h.biSize, sizeof b->bitfields);
  void* data = b->s.data;
  HBITMAP handle = static_cast<HBITMAP>(Register(std::move(b)));
  if (Bits) *Bits = data;
  return handle;
}

int GetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, void* Bits, BITMAPINFO* Info,
              uint32_t Usage) {
  gdi::DC* dc = AsDC(DC);
  gdi::Bitmap* b = AsBitmap(Bitmap);
  if (!dc || !b || !Info) return Fail(ERROR_INVALID_HANDLE), 0;
  BITMAPINFOHEADER& h = Info->bmiHeader;
  if (h.biSize < 40) return Fail(ERROR_INVALID_PARAMETER), 0;
  if (!Bits && h.biBitCount == 0) {
    // Describe the bitmap.
    h.biWidth = b->s.width;
    h.biHeight = b->dib ? b->header.biHeight : b->s.height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(b->s.bpp);
    h.biCompression = b->dib ? b->header.biCompression : BI_RGB;
    h.biSizeImage = static_cast<uint32_t>(b->s.stride) * static_cast<uint32_t>(b->s.height);
    h.biClrUsed = 0;
    h.biClrImportant = 0;
    return b->s.height;
  }
  const int bpp = h.biBitCount;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    return Fail(ERROR_INVALID_PARAMETER), 0;
  // The colour table of the result.
  std::vector<uint32_t> table;
  if (bpp <= 8) {
    table.assign(size_t{1} << bpp, 0);
    if (b->s.bpp == bpp && !b->s.colors.empty()) {
      table = b->s.colors;
    } else if (bpp == 1) {
      table[1] = 0xFFFFFF;
    } else {
      gdi::Palette* pal = DCPalette(dc);
      if (bpp == 4 && pal == AsPalette(DefaultPalette())) {
        for (size_t i = 0; i < 16; ++i) table[i] = QuadFromEntry(kVgaColors[i]);
      } else if (pal) {
        for (size_t i = 0; i < table.size() && i < pal->entries.size(); ++i)
          table[i] = QuadFromEntry(pal->entries[i]);
      }
    }
    uint8_t* colors = reinterpret_cast<uint8_t*>(Info) + h.biSize;
    for (size_t i = 0; i < table.size(); ++i) {
      if (Usage == DIB_PAL_COLORS) {
        const uint16_t index = static_cast<uint16_t>(i);
        std::memcpy(colors + 2 * i, &index, 2);
      } else {
        const RGBQUAD q = RgbQuadFromQuad(table[i]);
        std::memcpy(colors + 4 * i, &q, 4);
      }
    }
    h.biClrUsed = 0;
  }
  // A header copied from a bit-field DIB may still say BI_BITFIELDS for a
  // depth without masks: that depth has only the plain layout. For 16 and 32
  // bits the masks are ours to fill in when the caller left them empty.
  if (h.biCompression == BI_BITFIELDS && bpp != 16 && bpp != 32) h.biCompression = BI_RGB;
  if (h.biCompression == BI_BITFIELDS) {
    uint32_t masks[3];
    uint8_t* where = reinterpret_cast<uint8_t*>(Info) + h.biSize;
    std::memcpy(masks, where, sizeof masks);
    if (masks[0] == 0 && masks[1] == 0 && masks[2] == 0) {
      if (bpp == 32) { masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF; }
      else if (b->s.bpp == 16 && b->s.is565) { masks[0] = 0xF800; masks[1] = 0x07E0; masks[2] = 0x001F; }
      else { masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F; }
      std::memcpy(where, masks, sizeof masks);
    }
  }
  if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) return Fail(ERROR_INVALID_PARAMETER), 0;
  if (h.biWidth <= 0 || h.biHeight == 0) {
    h.biWidth = b->s.width;
    h.biHeight = b->s.height;
  }
  const int32_t headerHeight = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  h.biSizeImage = static_cast<uint32_t>(StrideFor(h.biWidth, bpp)) * static_cast<uint32_t>(headerHeight);
  if (!Bits) return headerHeight;

  Surface view;
  bool is565 = false;
  if (!ParseFormat(Info, is565)) return Fail(ERROR_INVALID_PARAMETER), 0;
  view.width = h.biWidth;
  view.height = static_cast<int32_t>(Lines);
  view.bpp = bpp;
  view.is565 = is565;
  view.topDown = true;
  view.stride = StrideFor(view.width, bpp);
  view.data = static_cast<uint8_t*>(Bits);
  view.colors = table;
  // DIB rows from Start: counted from the bottom for a bottom-up header.
  const bool bottomUp = h.biHeight > 0;
  const int32_t height = std::min(headerHeight, b->s.height);
  if (Start >= static_cast<uint32_t>(height)) return 0;
  const int32_t lines = static_cast<int32_t>(std::min<uint32_t>(Lines, height - Start));
  const int32_t width = std::min(view.width, b->s.width);
  for (int32_t k = 0; k < lines; ++k) {
    const int32_t dibRow = static_cast<int32_t>(Start) + k;
    const int32_t pictureRow = bottomUp ? height - 1 - dibRow : dibRow;
    ConvertRows(b->s, pictureRow, view, k, 1, width);
  }
  return lines;
}

int SetDIBits(HDC DC, HBITMAP Bitmap, uint32_t Start, uint32_t Lines, const void* Bits,
              const BITMAPINFO* Info, uint32_t Usage) {
  gdi::Bitmap* b = AsBitmap(Bitmap);
  if (!b || !Info || !Bits) return Fail(ERROR_INVALID_HANDLE), 0;
  Surface view;
  if (!ViewFromInfo(AsDC(DC), Info, Usage, Bits, view)) return Fail(ERROR_INVALID_PARAMETER), 0;
  const int32_t headerHeight = view.height;
  const bool bottomUp = Info->bmiHeader.biHeight > 0;
  const int32_t height = std::min(headerHeight, b->s.height);
  if (Start >= static_cast<uint32_t>(height)) return 0;
  const int32_t lines = static_cast<int32_t>(std::min<uint32_t>(Lines, height - Start));
  // The given rows are stored one after the other from DIB row Start.
  view.height = lines;
  view.topDown = true;
  const int32_t width = std::min(view.width, b->s.width);
  for (int32_t k = 0; k < lines; ++k) {
    const int32_t dibRow = static_cast<int32_t>(Start) + k;
    const int32_t pictureRow = bottomUp ? height - 1 - dibRow : dibRow;
    ConvertRows(view, k, b->s, pictureRow, 1, width);
  }
  return lines;
}

int StretchDIBits(HDC DC, int32_t XDest, int32_t YDest, int32_t DestWidth, int32_t DestHeight,
                  int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, const void* Bits,
                  const BITMAPINFO* Info, uint32_t Usage, uint32_t Rop) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !Bits) return Fail(ERROR_INVALID_HANDLE), 0;
  Surface view;
  if (!ViewFromInfo(dc, Info, Usage, Bits, view)) return Fail(ERROR_INVALID_PARAMETER), 0;
  Surface* s = DCSurface(dc);
  if (!s) return Fail(ERROR_INVALID_HANDLE), 0;
  BlitParams p = ParamsFor(dc, nullptr);
  p.mode = ConvMode::Colors;
  BlitSurfaces(*s, DeviceClip(dc, *s), XDest + dc->st.origin.X, YDest + dc->st.origin.Y, DestWidth,
               DestHeight, &view, XSrc, YSrc, SrcWidth, SrcHeight, Rop, nullptr, 0, 0, 0, p);
  return std::abs(SrcHeight);
}

uint32_t GetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, RGBQUAD* Colors) {
  gdi::DC* dc = AsDC(DC);
  gdi::Bitmap* b = dc ? AsBitmap(dc->bitmap) : nullptr;
  if (!b || !b->dib || b->s.bpp > 8 || !Colors) return 0;
  const uint32_t size = static_cast<uint32_t>(b->s.colors.size());
  if (Start >= size) return 0;
  const uint32_t n = std::min(Count, size - Start);
  for (uint32_t i = 0; i < n; ++i) Colors[i] = RgbQuadFromQuad(b->s.colors[Start + i]);
  return n;
}

uint32_t SetDIBColorTable(HDC DC, uint32_t Start, uint32_t Count, const RGBQUAD* Colors) {
  gdi::DC* dc = AsDC(DC);
  gdi::Bitmap* b = dc ? AsBitmap(dc->bitmap) : nullptr;
  if (!b || !b->dib || b->s.bpp > 8 || !Colors) return 0;
  const uint32_t size = static_cast<uint32_t>(b->s.colors.size());
  if (Start >= size) return 0;
  const uint32_t n = std::min(Count, size - Start);
  for (uint32_t i = 0; i < n; ++i) b->s.colors[Start + i] = QuadFromRgbQuad(Colors[i]);
  return n;
}

// ---- Brushes and pens ----

HBRUSH CreateBrushIndirect(const LOGBRUSH* LogBrush) {
  if (!LogBrush || LogBrush->lbStyle > BS_HATCHED) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto b = std::make_unique<gdi::Brush>();
  b->lb = *LogBrush;
  return static_cast<HBRUSH>(Register(std::move(b)));
}

HBRUSH CreateSolidBrush(COLORREF Color) {
  LOGBRUSH lb;
  lb.lbStyle = BS_SOLID;
  lb.lbColor = Color;
  return CreateBrushIndirect(&lb);
}

HBRUSH CreateHatchBrush(int Hatch, COLORREF Color) {
  if (Hatch < HS_HORIZONTAL || Hatch > HS_DIAGCROSS) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  LOGBRUSH lb;
  lb.lbStyle = BS_HATCHED;
  lb.lbColor = Color;
  lb.lbHatch = static_cast<uintptr_t>(Hatch);
  return CreateBrushIndirect(&lb);
}

HPEN CreatePen(int Style, int Width, COLORREF Color) {
  if (Style < PS_SOLID || Style > PS_INSIDEFRAME) return Fail(ERROR_INVALID_PARAMETER), nullptr;
  auto p = std::make_unique<gdi::Pen>();
  p->lp.lopnStyle = static_cast<uint32_t>(Style);
  p->lp.lopnWidth = {std::max(Width, 1), 0};
  p->lp.lopnColor = Color;
  return static_cast<HPEN>(Register(std::move(p)));
}

// ---- Device contexts ----

namespace {
std::unique_ptr<gdi::DC> NewDC(int type) {
  Stock& stock = TheStock();
  auto dc = std::make_unique<gdi::DC>();
  dc->type = type;
  dc->st.brush = static_cast<HBRUSH>(stock.objects[WHITE_BRUSH]);
  dc->st.pen = static_cast<HPEN>(stock.objects[BLACK_PEN]);
  dc->st.palette = DefaultPalette();
  return dc;
}
}  // namespace

HDC CreateCompatibleDC(HDC DC) {
  if (DC && !AsDC(DC)) return Fail(ERROR_INVALID_HANDLE), nullptr;
  auto dc = NewDC(OBJ_MEMDC);
  dc->bitmap = TheStock().bitmap1x1;
  return static_cast<HDC>(Register(std::move(dc)));
}

bool DeleteDC(HDC DC) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return Fail(ERROR_INVALID_HANDLE);
  if (gdi::Bitmap* b = AsBitmap(dc->bitmap); b && b->selectedIn == DC) b->selectedIn = nullptr;
  Unregister(DC);
  return true;
}

HDC GetDC(HWND Window) {
  auto dc = NewDC(OBJ_DC);
  if (!Window) {
    dc->screen = true;
  } else {
    TWindowSurfaceProvider provider;
    {
      ScreenState& s = TheScreen();
      std::lock_guard lock(s.mutex);
      provider = s.provider;
    }
    if (!provider || !AsBitmap(provider(Window))) return Fail(ERROR_INVALID_HANDLE), nullptr;
    dc->window = Window;
  }
  return static_cast<HDC>(Register(std::move(dc)));
}

int ReleaseDC(HWND, HDC DC) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || dc->type != OBJ_DC) return 0;
  Unregister(DC);
  return 1;
}

HGDIOBJ SelectObject(HDC DC, HGDIOBJ Object) {
  gdi::DC* dc = AsDC(DC);
  gdi::Object* o = Lookup(Object);
  if (!dc || !o) return Fail(ERROR_INVALID_HANDLE), nullptr;
  switch (o->kind) {
    case Kind::Bitmap: {
      auto* b = static_cast<gdi::Bitmap*>(o);
      if (dc->type != OBJ_MEMDC) return Fail(ERROR_INVALID_PARAMETER), nullptr;
      if (!b->stock && b->selectedIn && b->selectedIn != DC) return Fail(ERROR_BUSY), nullptr;
      HBITMAP old = dc->bitmap;
      if (gdi::Bitmap* ob = AsBitmap(old); ob && ob->selectedIn == DC) ob->selectedIn = nullptr;
      dc->bitmap = static_cast<HBITMAP>(Object);
      if (!b->stock) b->selectedIn = DC;
      return old;
    }
    case Kind::Brush: {
      HBRUSH old = dc->st.brush;
      dc->st.brush = static_cast<HBRUSH>(Object);
      return old;
    }
    case Kind::Pen: {
      HPEN old = dc->st.pen;
      dc->st.pen = static_cast<HPEN>(Object);
      return old;
    }
    default: return Fail(ERROR_INVALID_PARAMETER), nullptr;
  }
}

HGDIOBJ GetCurrentObject(HDC DC, int Type) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return nullptr;
  switch (Type) {
    case OBJ_BITMAP: return dc->bitmap;
    case OBJ_PAL: return dc->st.palette;
    case OBJ_BRUSH: return dc->st.brush;
    case OBJ_PEN: return dc->st.pen;
    default: return nullptr;
  }
}

#define DC_FIELD_ACCESSORS(SetName, GetName, Type, field, invalid) \
  Type SetName(HDC DC, Type Value) {                               \
    gdi::DC* dc = AsDC(DC);                                        \
    if (!dc) return invalid;                                       \
    Type old = dc->st.field;                                       \
    dc->st.field = Value;                                          \
    return old;                                                    \
  }                                                                \
  Type GetName(HDC DC) {                                           \
    gdi::DC* dc = AsDC(DC);                                        \
    return dc ? dc->st.field : invalid;                            \
  }
DC_FIELD_ACCESSORS(SetTextColor, GetTextColor, COLORREF, text, CLR_INVALID)
DC_FIELD_ACCESSORS(SetBkColor, GetBkColor, COLORREF, bk, CLR_INVALID)
DC_FIELD_ACCESSORS(SetBkMode, GetBkMode, int, bkMode, 0)
DC_FIELD_ACCESSORS(SetStretchBltMode, GetStretchBltMode, int, stretchMode, 0)
#undef DC_FIELD_ACCESSORS

bool SetViewportOrgEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return false;
  if (Old) *Old = dc->st.origin;
  dc->st.origin = {X, Y};
  return true;
}

bool GetViewportOrgEx(HDC DC, TPoint* Origin) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !Origin) return false;
  *Origin = dc->st.origin;
  return true;
}

int IntersectClipRect(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return RGN_ERROR;
  TRect r = Rect(Left, Top, Right, Bottom);
  OffsetRect(r, dc->st.origin.X, dc->st.origin.Y);
  if (dc->st.hasClip) {
    TRect both;
    IntersectRect(both, dc->st.clip, r);
    r = both;
  }
  dc->st.hasClip = true;
  dc->st.clip = r;
  return r.IsEmpty() ? NULLREGION : SIMPLEREGION;
}

int SelectClipRect(HDC DC, const TRect* R) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return RGN_ERROR;
  if (!R) {
    dc->st.hasClip = false;
    return SIMPLEREGION;
  }
  TRect r = *R;
  OffsetRect(r, dc->st.origin.X, dc->st.origin.Y);
  dc->st.hasClip = true;
  dc->st.clip = r;
  return r.IsEmpty() ? NULLREGION : SIMPLEREGION;
}

int GetClipBox(HDC DC, TRect* R) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !R) return RGN_ERROR;
  Surface* s = DCSurface(dc);
  TRect box = s ? DeviceClip(dc, *s) : (dc->st.hasClip ? dc->st.clip : TRect{});
  OffsetRect(box, -dc->st.origin.X, -dc->st.origin.Y);
  *R = box.IsEmpty() ? TRect{} : box;
  return box.IsEmpty() ? NULLREGION : SIMPLEREGION;
}

int SaveDC(HDC DC) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return 0;
  dc->saved.push_back(dc->st);
  return static_cast<int>(dc->saved.size());
}

bool RestoreDC(HDC DC, int Level) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return false;
  const int depth = static_cast<int>(dc->saved.size());
  const int target = Level < 0 ? depth + Level + 1 : Level;
  if (target < 1 || target > depth) return false;
  dc->st = dc->saved[static_cast<size_t>(target - 1)];
  dc->saved.resize(static_cast<size_t>(target - 1));
  // Objects deleted meanwhile would leave dead handles; fall back to stock.
  if (!AsBrush(dc->st.brush)) dc->st.brush = static_cast<HBRUSH>(TheStock().objects[WHITE_BRUSH]);
  if (!AsPen(dc->st.pen)) dc->st.pen = static_cast<HPEN>(TheStock().objects[BLACK_PEN]);
  if (!AsPalette(dc->st.palette)) dc->st.palette = DefaultPalette();
  return true;
}

int GetDeviceCaps(HDC DC, int Index) {
  if (DC && !AsDC(DC)) return 0;
  const TScreenSettings s = GetScreenSettings();
  const bool palette = s.BitsPerPixel * s.Planes <= 8;
  switch (Index) {
    case TECHNOLOGY: return DT_RASDISPLAY;
    case HORZSIZE: return s.Width * 254 / (s.PixelsPerInch * 10);
    case VERTSIZE: return s.Height * 254 / (s.PixelsPerInch * 10);
    case HORZRES: return s.Width;
    case VERTRES: return s.Height;
    case BITSPIXEL: return s.BitsPerPixel;
    case PLANES: return s.Planes;
    case NUMCOLORS: return palette ? 20 : -1;
    case RASTERCAPS: return RC_BITBLT | RC_STRETCHBLT | RC_DI_BITMAP | (palette ? RC_PALETTE : 0);
    case LOGPIXELSX:
    case LOGPIXELSY: return s.PixelsPerInch;
    case SIZEPALETTE: return palette ? 1 << (s.BitsPerPixel * s.Planes) : 0;
    case NUMRESERVED: return palette ? 20 : 0;
    case COLORRES: return palette ? 18 : 24;
    default: return 0;
  }
}

bool GdiFlush() { return true; }

// ---- Drawing ----

bool StretchBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
                int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Rop) {
  gdi::DC* dst = AsDC(Dest);
  if (!dst) return Fail(ERROR_INVALID_HANDLE);
  gdi::DC* src = nullptr;
  const Surface* ss = nullptr;
  if (SourceRequired(Rop)) {
    src = AsDC(Src);
    if (!src || !(ss = DCSurface(src))) return Fail(ERROR_INVALID_HANDLE);
  }
  Surface* ds = DCSurface(dst);
  if (!ds) return Fail(ERROR_INVALID_HANDLE);
  BlitParams p = ParamsFor(dst, src);
  if (PatternRequired(Rop) && !p.brush) return true;  // a null brush paints nothing
  BlitSurfaces(*ds, DeviceClip(dst, *ds), X + dst->st.origin.X, Y + dst->st.origin.Y, Width, Height, ss,
               XSrc + (src ? src->st.origin.X : 0), YSrc + (src ? src->st.origin.Y : 0), SrcWidth,
               SrcHeight, Rop, nullptr, 0, 0, 0, p);
  return true;
}

bool BitBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
            int32_t YSrc, uint32_t Rop) {
  if (Width < 0 || Height < 0) return true;  // no mirroring without stretching
  return StretchBlt(Dest, X, Y, Width, Height, Src, XSrc, YSrc, Width, Height, Rop);
}

bool PatBlt(HDC DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop) {
  if (SourceRequired(Rop)) return Fail(ERROR_INVALID_PARAMETER);
  return StretchBlt(DC, X, Y, Width, Height, nullptr, 0, 0, Width, Height, Rop);
}

bool MaskBlt(HDC Dest, int32_t X, int32_t Y, int32_t Width, int32_t Height, HDC Src, int32_t XSrc,
             int32_t YSrc, HBITMAP Mask, int32_t XMask, int32_t YMask, uint32_t Rop4) {
  const uint32_t fore = Rop4 & 0x00FFFFFF;
  const uint32_t back = (Rop4 >> 8) & 0x00FF0000;
  if (!Mask) return BitBlt(Dest, X, Y, Width, Height, Src, XSrc, YSrc, fore);
  gdi::Bitmap* mask = AsBitmap(Mask);
  if (!mask || mask->s.bpp != 1) return Fail(ERROR_INVALID_PARAMETER);
  gdi::DC* dst = AsDC(Dest);
  if (!dst) return Fail(ERROR_INVALID_HANDLE);
  gdi::DC* src = nullptr;
  const Surface* ss = nullptr;
  if (SourceRequired(fore) || SourceRequired(back)) {
    src = AsDC(Src);
    if (!src || !(ss = DCSurface(src))) return Fail(ERROR_INVALID_HANDLE);
  }
  Surface* ds = DCSurface(dst);
  if (!ds) return Fail(ERROR_INVALID_HANDLE);
  if (Width <= 0 || Height <= 0) return true;
  BlitParams p = ParamsFor(dst, src);
  BlitSurfaces(*ds, DeviceClip(dst, *ds), X + dst->st.origin.X, Y + dst->st.origin.Y, Width, Height, ss,
               XSrc + (src ? src->st.origin.X : 0), YSrc + (src ? src->st.origin.Y : 0), Width, Height,
               back, &mask->s, XMask, YMask, fore, p);
  return true;
}

int FillRect(HDC DC, const TRect* R, HBRUSH Brush) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !R) return 0;
  TRect r = *R;
  OffsetRect(r, dc->st.origin.X, dc->st.origin.Y);
  FillWithBrush(dc, r, Brush);
  return 1;
}

int FrameRect(HDC DC, const TRect* R, HBRUSH Brush) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !R || R->IsEmpty()) return 0;
  TRect r = *R;
  OffsetRect(r, dc->st.origin.X, dc->st.origin.Y);
  FillWithBrush(dc, Rect(r.Left, r.Top, r.Right, r.Top + 1), Brush);
  FillWithBrush(dc, Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom), Brush);
  FillWithBrush(dc, Rect(r.Left, r.Top, r.Left + 1, r.Bottom), Brush);
  FillWithBrush(dc, Rect(r.Right - 1, r.Top, r.Right, r.Bottom), Brush);
  return 1;
}

COLORREF GetPixel(HDC DC, int32_t X, int32_t Y) {
  gdi::DC* dc = AsDC(DC);
  Surface* s = dc ? DCSurface(dc) : nullptr;
  if (!s) return CLR_INVALID;
  const TPoint p = {X + dc->st.origin.X, Y + dc->st.origin.Y};
  if (!DeviceClip(dc, *s).Contains(p)) return CLR_INVALID;
  return ColorRefFromQuad(QuadFromNative(*s, ReadNative(*s, p.X, p.Y)));
}

COLORREF SetPixel(HDC DC, int32_t X, int32_t Y, COLORREF Color) {
  gdi::DC* dc = AsDC(DC);
  Surface* s = dc ? DCSurface(dc) : nullptr;
  if (!s) return CLR_INVALID;
  const TPoint p = {X + dc->st.origin.X, Y + dc->st.origin.Y};
  if (!DeviceClip(dc, *s).Contains(p)) return CLR_INVALID;
  const uint32_t native = NativeFromQuad(*s, ResolveColor(dc, Color));
  WriteNative(*s, p.X, p.Y, native);
  return ColorRefFromQuad(QuadFromNative(*s, native));
}

COLORREF GetNearestColor(HDC DC, COLORREF Color) {
  gdi::DC* dc = AsDC(DC);
  Surface* s = dc ? DCSurface(dc) : nullptr;
  if (!s) return CLR_INVALID;
  return ColorRefFromQuad(QuadFromNative(*s, NativeFromQuad(*s, ResolveColor(dc, Color))));
}

bool MoveToEx(HDC DC, int32_t X, int32_t Y, TPoint* Old) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return false;
  if (Old) *Old = dc->st.penPos;
  dc->st.penPos = {X, Y};
  return true;
}

bool LineTo(HDC DC, int32_t X, int32_t Y) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return false;
  DrawLine(dc, dc->st.penPos.X, dc->st.penPos.Y, X, Y);
  dc->st.penPos = {X, Y};
  return true;
}

bool Polyline(HDC DC, const TPoint* Points, int Count) {
  gdi::DC* dc = AsDC(DC);
  if (!dc || !Points || Count < 2) return false;
  for (int i = 1; i < Count; ++i) DrawLine(dc, Points[i - 1].X, Points[i - 1].Y, Points[i].X, Points[i].Y);
  return true;
}

bool Rectangle(HDC DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  gdi::DC* dc = AsDC(DC);
  if (!dc) return false;
  if (Right < Left) std::swap(Left, Right);
  if (Bottom < Top) std::swap(Top, Bottom);
  TRect r = Rect(Left, Top, Right, Bottom);
  OffsetRect(r, dc->st.origin.X, dc->st.origin.Y);
  Pen* pen = DCPen(dc);
  const bool outline = pen && pen->lp.lopnStyle != PS_NULL;
  TRect inside = r;
  const int32_t w = outline ? std::max(1, pen->lp.lopnWidth.X) : 0;
  if (outline) InflateRect(inside, -w, -w);
  if (!outline) {
    // Without a pen the filled area loses its right and bottom edges.
    inside.Right -= 1;
    inside.Bottom -= 1;
  }
  FillWithBrush(dc, inside, static_cast<HBRUSH>(DCBrush(dc)->handle));
  if (outline) {
    Surface* s = DCSurface(dc);
    if (!s) return true;
    const TRect clip = DeviceClip(dc, *s);
    const uint32_t native = NativeFromQuad(*s, ResolveColor(dc, pen->lp.lopnColor));
    auto fill = [&](TRect band) {
      TRect c;
      if (!IntersectRect(c, band, clip)) return;
      for (int32_t y = c.Top; y < c.Bottom; ++y)
        for (int32_t x = c.Left; x < c.Right; ++x) WriteNative(*s, x, y, native);
    };
    if (pen->lp.lopnStyle == PS_SOLID || pen->lp.lopnStyle == PS_INSIDEFRAME || w > 1) {
      fill(Rect(r.Left, r.Top, r.Right, r.Top + w));
      fill(Rect(r.Left, r.Bottom - w, r.Right, r.Bottom));
      fill(Rect(r.Left, r.Top + w, r.Left + w, r.Bottom - w));
      fill(Rect(r.Right - w, r.Top + w, r.Right, r.Bottom - w));
    } else {
      const TPoint pts[5] = {{Left, Top}, {Right - 1, Top}, {Right - 1, Bottom - 1}, {Left, Bottom - 1}, {Left, Top}};
      Polyline(DC, pts, 5);
    }
  }
  return true;
}

bool GdiBlendCoverage(HDC DC, int32_t X, int32_t Y, const uint8_t* Coverage, int32_t Width, int32_t Height,
                      int32_t Pitch, COLORREF Color) {
  gdi::DC* dc = AsDC(DC);
  Surface* s = dc ? DCSurface(dc) : nullptr;
  if (!s || !Coverage) return false;
  BlendCoverage(*s, DeviceClip(dc, *s), X + dc->st.origin.X, Y + dc->st.origin.Y, Coverage, Width, Height,
                Pitch, ResolveColor(dc, Color));
  return true;
}

}  // namespace platform
