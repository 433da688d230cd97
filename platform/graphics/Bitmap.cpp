#include "platform/graphics/Bitmap.h"

#include <algorithm>
#include <cstring>

#include "platform/graphics/BmpCodec.h"
#include "platform/graphics/GdiObjects.h"
#include "platform/rtl/Exceptions.h"

namespace platform {

namespace {

int BitsOf(TPixelFormat f) {
  switch (f) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    default: return 32;
  }
}

TPixelFormat FormatOf(const gdi::Bitmap& b) {
  if (!b.dib) return TPixelFormat::pfDevice;
  switch (b.s.bpp) {
    case 1: return TPixelFormat::pf1bit;
    case 4: return TPixelFormat::pf4bit;
    case 8: return TPixelFormat::pf8bit;
    case 16: return b.s.is565 ? TPixelFormat::pf16bit : TPixelFormat::pf15bit;
    case 24: return TPixelFormat::pf24bit;
    default: return TPixelFormat::pf32bit;
  }
}

[[noreturn]] void RaiseResources() {
  std::string text = SysErrorMessage(GetLastError());
  if (GetLastError() == ERROR_SUCCESS || text.empty()) text = "Out of system resources";
  throw EOutOfResources(text);
}

template <class H>
H Require(H handle) {
  if (!handle) RaiseResources();
  return handle;
}

// The standard colour table for a depth: black and white, the 16 VGA
// colours, or the halftone palette.
std::vector<uint32_t> StandardTable(int bpp) {
  HPALETTE pal = nullptr;
  std::vector<PALETTEENTRY> entries;
  if (bpp == 1) {
    entries = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  } else {
    pal = bpp == 4 ? SystemPalette16() : CreateHalftonePalette(nullptr);
    entries.resize(GetPaletteEntries(pal, 0, 0, nullptr));
    GetPaletteEntries(pal, 0, static_cast<uint32_t>(entries.size()), entries.data());
    if (bpp == 8) DeleteObject(pal);
  }
  std::vector<uint32_t> table(size_t{1} << bpp, 0);
  for (size_t i = 0; i < table.size() && i < entries.size(); ++i) table[i] = gdi::QuadFromEntry(entries[i]);
  return table;
}

std::vector<uint32_t> TableFromPalette(HPALETTE pal, int bpp) {
  std::vector<uint32_t> table(size_t{1} << bpp, 0);
  std::vector<PALETTEENTRY> entries(GetPaletteEntries(pal, 0, 0, nullptr));
  GetPaletteEntries(pal, 0, static_cast<uint32_t>(entries.size()), entries.data());
  for (size_t i = 0; i < table.size() && i < entries.size(); ++i) table[i] = gdi::QuadFromEntry(entries[i]);
  return table;
}

HPALETTE PaletteFromTable(const std::vector<uint32_t>& table) {
  std::vector<PALETTEENTRY> entries(table.size());
  for (size_t i = 0; i < table.size(); ++i)
    entries[i] = {static_cast<uint8_t>(table[i] >> 16), static_cast<uint8_t>(table[i] >> 8),
                  static_cast<uint8_t>(table[i]), 0};
  return CreatePalette(entries);
}

// A bottom-up DIB section of the format with the given colour table.
HBITMAP NewDib(int32_t w, int32_t h, TPixelFormat format, const std::vector<uint32_t>& table,
               uint32_t used = 0) {
  const int bpp = BitsOf(format);
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 4 * 256, 0);
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  info->bmiHeader = {};
  info->bmiHeader.biWidth = w;
  info->bmiHeader.biHeight = h;
  info->bmiHeader.biBitCount = static_cast<uint16_t>(bpp);
  if (bpp <= 8 && used && used < (1u << bpp)) info->bmiHeader.biClrUsed = used;
  if (format == TPixelFormat::pf16bit) {
    info->bmiHeader.biCompression = BI_BITFIELDS;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(block.data() + sizeof(BITMAPINFOHEADER), masks, sizeof masks);
  }
  if (bpp <= 8) {
    for (size_t i = 0; i < table.size() && i < 256; ++i) {
      const RGBQUAD q = gdi::RgbQuadFromQuad(table[i]);
      std::memcpy(block.data() + sizeof(BITMAPINFOHEADER) + 4 * i, &q, 4);
    }
  }
  return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, nullptr, nullptr, 0);
}

HBITMAP DuplicateBitmap(HBITMAP h) {
  gdi::Bitmap* b = gdi::AsBitmap(h);
  if (!b) return nullptr;
  auto copy = std::make_unique<gdi::Bitmap>();
  copy->s = b->s;
  copy->storage.assign(b->s.data, b->s.data + static_cast<size_t>(b->s.stride) * b->s.height);
  copy->s.data = copy->storage.data();
  copy->dib = b->dib;
  copy->header = b->header;
  std::memcpy(copy->bitfields, b->bitfields, sizeof copy->bitfields);
  return static_cast<HBITMAP>(gdi::Register(std::move(copy)));
}

// Copies pixels by colour from one bitmap into another (top-left aligned,
// the overlapping part only).
void CopyPixels(HBITMAP from, HBITMAP to) {
  gdi::Bitmap* a = gdi::AsBitmap(from);
  gdi::Bitmap* b = gdi::AsBitmap(to);
  if (!a || !b) return;
  const int32_t w = std::min(a->s.width, b->s.width), h = std::min(a->s.height, b->s.height);
  gdi::BlitParams p;
  p.mode = gdi::ConvMode::Colors;
  gdi::BlitSurfaces(b->s, Rect(0, 0, b->s.width, b->s.height), 0, 0, w, h, &a->s, 0, 0, w, h, SRCCOPY,
                    nullptr, 0, 0, 0, p);
}

void FillPixels(HBITMAP to, const TRect& r, COLORREF color) {
  gdi::Bitmap* b = gdi::AsBitmap(to);
  if (!b || r.IsEmpty()) return;
  gdi::Brush brush;
  brush.lb.lbColor = color;
  gdi::BlitParams p;
  p.brush = &brush;
  gdi::BlitSurfaces(b->s, Rect(0, 0, b->s.width, b->s.height), r.Left, r.Top, r.Width(), r.Height(), nullptr,
                    0, 0, 0, 0, PATCOPY, nullptr, 0, 0, 0, p);
}

}  // namespace

// The canvas of a bitmap: a memory DC with the bitmap (and its palette)
// selected, made when first needed and dropped whenever the bitmap
// replaces its handle.
class TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* owner) : owner_(owner) {}
  ~TBitmapCanvas() override { FreeContext(); }
  const char* ClassName() const noexcept override { return "TBitmapCanvas"; }

  void FreeContext() {
    if (!HandleAllocated()) return;
    HDC dc = Handle();
    SetHandle(nullptr);
    if (oldBitmap_) SelectObject(dc, oldBitmap_);
    if (oldPalette_) SelectPalette(dc, oldPalette_, true);
    oldBitmap_ = nullptr;
    oldPalette_ = nullptr;
    DeleteDC(dc);
  }

  void SelectPaletteNow() {
    if (!HandleAllocated() || !owner_->palette_) return;
    HPALETTE old = SelectPalette(Handle(), owner_->palette_, true);
    if (!oldPalette_) oldPalette_ = old;
    RealizePalette(Handle());
  }

 protected:
  void CreateHandle() override {
    HDC dc = Require(CreateCompatibleDC(nullptr));
    if (HBITMAP h = owner_->Handle()) oldBitmap_ = static_cast<HBITMAP>(SelectObject(dc, h));
    if (owner_->palette_) {
      oldPalette_ = SelectPalette(dc, owner_->palette_, true);
      RealizePalette(dc);
    }
    SetHandle(dc);
  }

 private:
  TBitmap* owner_;
  HBITMAP oldBitmap_ = nullptr;
  HPALETTE oldPalette_ = nullptr;
};

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() {
  canvas_.reset();
  if (handle_) DeleteObject(handle_);
  if (palette_) DeleteObject(palette_);
}

void TBitmap::DetachCanvas() {
  if (canvas_) canvas_->FreeContext();
}

void TBitmap::Replace(HBITMAP NewHandle, HPALETTE NewPalette) {
  DetachCanvas();
  if (handle_ && handle_ != NewHandle) DeleteObject(handle_);
  handle_ = NewHandle;
  if (palette_ != NewPalette) {
    if (palette_) DeleteObject(palette_);
    palette_ = NewPalette;
  }
  if (gdi::Bitmap* b = gdi::AsBitmap(handle_)) {
    width_ = b->s.width;
    height_ = b->s.height;
    format_ = FormatOf(*b);
    monochromeDDB_ = !b->dib && b->s.bpp == 1;
  }
}

HBITMAP TBitmap::NewHandleLike(int32_t NewWidth, int32_t NewHeight, TPixelFormat Format, HPALETTE Palette) const {
  if (NewWidth <= 0 || NewHeight <= 0) return nullptr;
  if (Format == TPixelFormat::pfDevice) {
    if (monochromeDDB_) return Require(CreateBitmap(NewWidth, NewHeight, 1, 1, nullptr));
    HDC screen = GetDC(nullptr);
    HBITMAP h = CreateCompatibleBitmap(screen, NewWidth, NewHeight);
    ReleaseDC(nullptr, screen);
    return Require(h);
  }
  const int bpp = BitsOf(Format);
  std::vector<uint32_t> table;
  uint32_t used = 0;
  if (bpp <= 8) {
    gdi::Bitmap* current = gdi::AsBitmap(handle_);
    if (Palette) {
      table = TableFromPalette(Palette, bpp);
      used = std::min<uint32_t>(GetPaletteEntries(Palette, 0, 0, nullptr), 1u << bpp);
    } else if (current && current->s.bpp == bpp && !current->s.colors.empty()) {
      table = current->s.colors;
      used = current->s.used;
    } else {
      table = StandardTable(bpp);
    }
  }
  return Require(NewDib(NewWidth, NewHeight, Format, table, used));
}

void TBitmap::Assign(const TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    Replace(nullptr, nullptr);
    width_ = height_ = 0;
    Changed(this);
    return;
  }
  if (auto* src = dynamic_cast<const TBitmap*>(Source)) {
    HBITMAP h = src->handle_ ? Require(DuplicateBitmap(src->handle_)) : nullptr;
    HPALETTE p = src->palette_ ? CopyPalette(src->palette_) : nullptr;
    Replace(h, p);
    width_ = src->width_;
    height_ = src->height_;
    format_ = src->format_;
    monochromeDDB_ = src->monochromeDDB_;
    transparentColor_ = src->transparentColor_;
    transparentMode_ = src->transparentMode_;
    SetTransparent(const_cast<TBitmap*>(src)->Transparent());
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TBitmap::Draw(TCanvas& Target, const TRect& R) {
  if (GetEmpty()) return;
  HDC dst = Target.Handle();
  HDC src = Canvas().Handle();
  HPALETTE pal = GetPalette();
  HPALETTE oldPal = nullptr;
  if (pal) {
    oldPal = SelectPalette(dst, pal, true);
    RealizePalette(dst);
  }
  if (Transparent()) {
    // Mask of the transparent colour, then the two-pass stretch: AND the
    // mask (keeps the destination where transparent), OR the source made
    // black where transparent.
    const COLORREF key = ColorToRGB(TransparentColor()) & 0xFFFFFF;
    HDC maskDC = Require(CreateCompatibleDC(nullptr));
    HBITMAP mask = Require(CreateBitmap(width_, height_, 1, 1, nullptr));
    HBITMAP oldMask = SelectObject(maskDC, mask);
    const COLORREF oldSrcBk = SetBkColor(src, key);
    BitBlt(maskDC, 0, 0, width_, height_, src, 0, 0, SRCCOPY);
    SetBkColor(src, oldSrcBk);
    HDC tmpDC = Require(CreateCompatibleDC(nullptr));
    HBITMAP tmp = Require(CreateCompatibleBitmap(src, width_, height_));
    HBITMAP oldTmp = SelectObject(tmpDC, tmp);
    BitBlt(tmpDC, 0, 0, width_, height_, src, 0, 0, SRCCOPY);
    SetTextColor(tmpDC, RGB(0, 0, 0));
    SetBkColor(tmpDC, RGB(255, 255, 255));
    BitBlt(tmpDC, 0, 0, width_, height_, maskDC, 0, 0, 0x00220326);  // D and not S
    const COLORREF oldText = SetTextColor(dst, RGB(0, 0, 0));
    const COLORREF oldBk = SetBkColor(dst, RGB(255, 255, 255));
    StretchBlt(dst, R.Left, R.Top, R.Width(), R.Height(), maskDC, 0, 0, width_, height_, SRCAND);
    StretchBlt(dst, R.Left, R.Top, R.Width(), R.Height(), tmpDC, 0, 0, width_, height_, SRCPAINT);
    SetTextColor(dst, oldText);
    SetBkColor(dst, oldBk);
    SelectObject(tmpDC, oldTmp);
    DeleteObject(tmp);
    DeleteDC(tmpDC);
    SelectObject(maskDC, oldMask);
    DeleteObject(mask);
    DeleteDC(maskDC);
  } else {
    StretchBlt(dst, R.Left, R.Top, R.Width(), R.Height(), src, 0, 0, width_, height_, Target.CopyMode());
  }
  if (oldPal) SelectPalette(dst, oldPal, true);
}

bool TBitmap::GetEmpty() { return handle_ == nullptr; }

HPALETTE TBitmap::GetPalette() {
  if (palette_) return palette_;
  gdi::Bitmap* b = gdi::AsBitmap(handle_);
  if (b && b->s.bpp <= 8) {
    palette_ = Require(PaletteFromTable(b->s.colors));
    if (canvas_) canvas_->SelectPaletteNow();
  }
  return palette_;
}

void TBitmap::SetPalette(HPALETTE Value) {
  if (Value == palette_) return;
  DetachCanvas();
  if (palette_) DeleteObject(palette_);
  palette_ = Value;
  if (gdi::Bitmap* b = gdi::AsBitmap(handle_); b && b->s.bpp <= 8 && Value) {
    // The colour table follows the palette for the entries it has.
    std::vector<PALETTEENTRY> entries(GetPaletteEntries(Value, 0, 0, nullptr));
    GetPaletteEntries(Value, 0, static_cast<uint32_t>(entries.size()), entries.data());
    // The colour table becomes the palette; mapping colours uses only its entries.
    std::fill(b->s.colors.begin(), b->s.colors.end(), 0u);
    const size_t n = std::min(entries.size(), b->s.colors.size());
    for (size_t i = 0; i < n; ++i) b->s.colors[i] = gdi::QuadFromEntry(entries[i]);
    b->s.used = static_cast<uint32_t>(n);
    b->header.biClrUsed = n == b->s.colors.size() ? 0 : static_cast<uint32_t>(n);
  }
  SetPaletteModified(true);
  Changed(this);
}

void TBitmap::Resize(int32_t NewWidth, int32_t NewHeight) {
  NewWidth = std::max(0, NewWidth);
  NewHeight = std::max(0, NewHeight);
  if (NewWidth == width_ && NewHeight == height_) return;
  HBITMAP fresh = NewHandleLike(NewWidth, NewHeight, format_, nullptr);
  if (fresh) {
    const COLORREF fill = ColorToRGB(canvas_ ? canvas_->Brush().Color() : clWhite);
    FillPixels(fresh, Rect(0, 0, NewWidth, NewHeight), fill);
    if (handle_) CopyPixels(handle_, fresh);
  }
  const TPixelFormat keep = format_;
  const bool keepMono = monochromeDDB_;
  Replace(fresh, palette_);
  width_ = NewWidth;
  height_ = NewHeight;
  format_ = keep;
  monochromeDDB_ = keepMono;
  Changed(this);
}

void TBitmap::SetWidth(int32_t Value) { Resize(Value, height_); }
void TBitmap::SetHeight(int32_t Value) { Resize(width_, Value); }
void TBitmap::SetSize(int32_t NewWidth, int32_t NewHeight) { Resize(NewWidth, NewHeight); }

void TBitmap::Convert(TPixelFormat Format) {
  const int bpp = BitsOf(Format);
  gdi::Bitmap* current = gdi::AsBitmap(handle_);
  HBITMAP fresh = nullptr;
  HPALETTE newPalette = palette_;
  if (Format == TPixelFormat::pfDevice) {
    monochromeDDB_ = false;
    fresh = NewHandleLike(width_, height_, Format, nullptr);
  } else if (bpp > 8) {
    fresh = NewHandleLike(width_, height_, Format, nullptr);
  } else {
    // The colours for the new table: the bitmap's own palette, its own
    // colour table when that fits, else a standard table.
    std::vector<uint32_t> table;
    uint32_t used = 0;
    if (palette_ && current->s.bpp > 8) {
      table = TableFromPalette(palette_, bpp);
      used = std::min<uint32_t>(GetPaletteEntries(palette_, 0, 0, nullptr), 1u << bpp);
    } else if (current->s.bpp <= bpp) {
      table = current->s.colors;
      used = static_cast<uint32_t>(current->s.UsedColors());
      table.resize(size_t{1} << bpp, 0);
    } else {
      table = StandardTable(bpp);
      newPalette = Require(PaletteFromTable(table));
    }
    fresh = NewDib(width_, height_, Format, table, used);
    if (!fresh) {
      if (newPalette != palette_) DeleteObject(newPalette);
      RaiseResources();
    }
  }
  CopyPixels(handle_, fresh);
  Replace(fresh, newPalette);
}

TPixelFormat TBitmap::PixelFormat() const { return format_; }

void TBitmap::SetPixelFormat(TPixelFormat Value) {
  if (Value == TPixelFormat::pfCustom) throw EInvalidGraphic("Invalid pixel format");
  if (Value == format_ && !(Value == TPixelFormat::pfDevice && monochromeDDB_)) return;
  if (!handle_) {
    format_ = Value;
    monochromeDDB_ = false;
    return;
  }
  Convert(Value);
  Changed(this);
}

bool TBitmap::Monochrome() const {
  return monochromeDDB_ || format_ == TPixelFormat::pf1bit;
}

void TBitmap::SetMonochrome(bool Value) {
  if (Value == Monochrome()) return;
  if (!handle_) {
    format_ = TPixelFormat::pfDevice;
    monochromeDDB_ = Value;
    return;
  }
  if (Value) {
    // The device rule: pixels of the background colour (white) become 1.
    HBITMAP mono = Require(CreateBitmap(width_, height_, 1, 1, nullptr));
    gdi::Bitmap* a = gdi::AsBitmap(handle_);
    gdi::Bitmap* b = gdi::AsBitmap(mono);
    gdi::BlitParams p;
    p.srcBk = 0xFFFFFF;
    gdi::BlitSurfaces(b->s, Rect(0, 0, width_, height_), 0, 0, width_, height_, &a->s, 0, 0, width_, height_,
                      SRCCOPY, nullptr, 0, 0, 0, p);
    Replace(mono, palette_);
  } else {
    Convert(TPixelFormat::pfDevice);
  }
  Changed(this);
}

TBitmapHandleType TBitmap::HandleType() const {
  gdi::Bitmap* b = gdi::AsBitmap(handle_);
  if (b) return b->dib ? TBitmapHandleType::bmDIB : TBitmapHandleType::bmDDB;
  return format_ == TPixelFormat::pfDevice ? TBitmapHandleType::bmDDB : TBitmapHandleType::bmDIB;
}

void TBitmap::SetHandleType(TBitmapHandleType Value) {
  if (Value == HandleType()) return;
  if (Value == TBitmapHandleType::bmDDB) {
    SetPixelFormat(TPixelFormat::pfDevice);
  } else if (!handle_) {
    format_ = monochromeDDB_ ? TPixelFormat::pf1bit : TPixelFormat::pf32bit;
    monochromeDDB_ = false;
  } else {
    Convert(monochromeDDB_ ? TPixelFormat::pf1bit : TPixelFormat::pf32bit);
    Changed(this);
  }
}

void* TBitmap::ScanLine(int32_t Row) {
  if (!handle_ || Row < 0 || Row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
  if (HandleType() == TBitmapHandleType::bmDDB) SetHandleType(TBitmapHandleType::bmDIB);
  gdi::Bitmap* b = gdi::AsBitmap(handle_);
  GdiFlush();
  return b->s.Row(Row);
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) {
    canvas_ = std::make_unique<TBitmapCanvas>(this);
    canvas_->OnChange = [this](TObject*) { Changed(this); };
  }
  return *canvas_;
}

HBITMAP TBitmap::Handle() { return handle_; }

void TBitmap::SetHandle(HBITMAP Value) {
  if (Value == handle_) return;
  if (Value && !gdi::AsBitmap(Value)) throw EInvalidGraphic("Bitmap image is not valid");
  Replace(Value, palette_);
  if (!Value) width_ = height_ = 0;
  Changed(this);
}

HBITMAP TBitmap::ReleaseHandle() {
  DetachCanvas();
  HBITMAP h = handle_;
  handle_ = nullptr;
  width_ = height_ = 0;
  return h;
}

HPALETTE TBitmap::ReleasePalette() {
  DetachCanvas();
  HPALETTE p = palette_;
  palette_ = nullptr;
  return p;
}

TColor TBitmap::TransparentColor() {
  if (transparentMode_ == TTransparentMode::tmFixed && transparentColor_ != clDefault) return transparentColor_;
  if (GetEmpty()) return clDefault;
  const COLORREF c = GetPixel(Canvas().Handle(), 0, height_ - 1);
  return c == CLR_INVALID ? clDefault : c;
}

void TBitmap::SetTransparentColor(TColor Value) {
  transparentColor_ = Value;
  transparentMode_ = Value == clDefault ? TTransparentMode::tmAuto : TTransparentMode::tmFixed;
  Changed(this);
}

void TBitmap::SetTransparentMode(TTransparentMode Value) {
  if (Value == transparentMode_) return;
  transparentMode_ = Value;
  if (Value == TTransparentMode::tmAuto) transparentColor_ = clDefault;
  Changed(this);
}

// ---- BMP ----

namespace {

HBITMAP HandleFromDib(const TDibImage& img, TPixelFormat& format) {
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 4 * 256, 0);
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  info->bmiHeader = {};
  info->bmiHeader.biWidth = img.Width;
  info->bmiHeader.biHeight = img.TopDown ? -img.Height : img.Height;
  info->bmiHeader.biBitCount = img.BitCount;
  info->bmiHeader.biXPelsPerMeter = img.XPelsPerMeter;
  info->bmiHeader.biYPelsPerMeter = img.YPelsPerMeter;
  const bool is565 = img.BitCount == 16 && img.GreenMask == 0x07E0;
  if (is565) {
    info->bmiHeader.biCompression = BI_BITFIELDS;
    const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(block.data() + sizeof(BITMAPINFOHEADER), masks, sizeof masks);
  }
  for (size_t i = 0; i < img.ColorTable.size() && i < 256; ++i)
    std::memcpy(block.data() + sizeof(BITMAPINFOHEADER) + 4 * i, &img.ColorTable[i], 4);
  void* bits = nullptr;
  HBITMAP h = Require(CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0));
  std::memcpy(bits, img.Pixels.data(), std::min(img.Pixels.size(), img.RowBytes() * img.Height));
  switch (img.BitCount) {
    case 1: format = TPixelFormat::pf1bit; break;
    case 4: format = TPixelFormat::pf4bit; break;
    case 8: format = TPixelFormat::pf8bit; break;
    case 16: format = is565 ? TPixelFormat::pf16bit : TPixelFormat::pf15bit; break;
    case 24: format = TPixelFormat::pf24bit; break;
    default: format = TPixelFormat::pf32bit; break;
  }
  return h;
}

}  // namespace

void TBitmap::LoadFromStream(TStream& Stream) {
  const TDibImage img = ReadBmp(Stream);  // raises before anything changes
  TPixelFormat format;
  HBITMAP h = HandleFromDib(img, format);
  HPALETTE pal = nullptr;
  if (img.BitCount <= 8) {
    std::vector<PALETTEENTRY> entries(img.ColorTable.size());
    for (size_t i = 0; i < entries.size(); ++i)
      entries[i] = {img.ColorTable[i].rgbRed, img.ColorTable[i].rgbGreen, img.ColorTable[i].rgbBlue, 0};
    pal = CreatePalette(entries);
    if (!pal) {
      DeleteObject(h);
      RaiseResources();
    }
  }
  Replace(h, pal);
  SetPaletteModified(pal != nullptr);
  Changed(this);
}

namespace {
TDibImage DibFromHandle(HBITMAP handle) {
  gdi::Bitmap* b = gdi::AsBitmap(handle);
  TDibImage img;
  // A device bitmap is written as 24 bits (monochrome ones as 1 bit).
  const int bpp = b->dib ? b->s.bpp : (b->s.bpp == 1 ? 1 : 24);
  img.Allocate(b->s.width, b->s.height, static_cast<uint16_t>(bpp));
  if (bpp == 16 && b->s.is565) {
    img.RedMask = 0xF800;
    img.GreenMask = 0x07E0;
    img.BlueMask = 0x001F;
  }
  gdi::Surface view;
  view.width = img.Width;
  view.height = img.Height;
  view.bpp = bpp;
  view.is565 = bpp == 16 && b->s.is565;
  view.topDown = img.TopDown;
  view.stride = static_cast<int32_t>(img.RowBytes());
  view.data = img.Pixels.data();
  if (bpp <= 8) {
    view.colors = b->s.colors;
    view.colors.resize(size_t{1} << bpp, 0);
    for (size_t i = 0; i < img.ColorTable.size(); ++i) img.ColorTable[i] = gdi::RgbQuadFromQuad(view.colors[i]);
  }
  gdi::ConvertRows(b->s, 0, view, 0, b->s.height, b->s.width);
  return img;
}
}  // namespace

void TBitmap::SaveToStream(TStream& Stream) {
  if (!handle_) return;
  WriteBmp(DibFromHandle(handle_), Stream);
}

void TBitmap::LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, HPALETTE Palette) {
  if (Format != CF_DIB && Format != CF_BITMAP) throw EInvalidGraphic("Unsupported clipboard format");
  const TDibImage img = ReadDib(Data.data(), Data.size());
  TPixelFormat format;
  HBITMAP h = HandleFromDib(img, format);
  HPALETTE pal = Palette ? CopyPalette(Palette) : nullptr;
  if (!pal && img.BitCount <= 8) {
    std::vector<PALETTEENTRY> entries(img.ColorTable.size());
    for (size_t i = 0; i < entries.size(); ++i)
      entries[i] = {img.ColorTable[i].rgbRed, img.ColorTable[i].rgbGreen, img.ColorTable[i].rgbBlue, 0};
    pal = CreatePalette(entries);
  }
  Replace(h, pal);
  Changed(this);
}

void TBitmap::SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, HPALETTE& Palette) {
  if (!handle_) return;
  TMemoryStream stream;
  WriteBmp(DibFromHandle(handle_), stream);
  constexpr size_t kFileHeader = 14;
  Format = CF_DIB;
  Data.assign(stream.Memory() + kFileHeader, stream.Memory() + stream.Size());
  HPALETTE own = GetPalette();
  Palette = own ? CopyPalette(own) : nullptr;
}

}  // namespace platform
