#include "platform/graphics/Canvas.h"

#include <algorithm>
#include <cmath>

#include "platform/graphics/Graphic.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace platform {

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

// ---- TFont ----

TFont::TFont() = default;

void TFont::Assign(const TPersistent* Source) {
  if (auto* f = dynamic_cast<const TFont*>(Source)) {
    name_ = f->name_;
    height_ = f->height_;
    color_ = f->color_;
    style_ = f->style_;
    charset_ = f->charset_;
    pixelsPerInch_ = f->pixelsPerInch_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TFont::SetName(const std::string& Value) {
  if (Value.empty() || Value == name_) return;
  name_ = Value;
  Changed();
}

void TFont::SetHeight(int32_t Value) {
  if (Value == height_) return;
  height_ = Value;
  Changed();
}

int32_t TFont::Size() const { return -MulDiv(height_, 72, pixelsPerInch_); }

void TFont::SetSize(int32_t Points) { SetHeight(-MulDiv(Points, pixelsPerInch_, 72)); }

void TFont::SetColor(TColor Value) {
  if (Value == color_) return;
  color_ = Value;
  Changed();
}

void TFont::SetStyle(TFontStyles Value) {
  if (Value == style_) return;
  style_ = Value;
  Changed();
}

void TFont::SetCharset(uint8_t Value) {
  if (Value == charset_) return;
  charset_ = Value;
  Changed();
}

void TFont::SetPixelsPerInch(int32_t Value) {
  if (Value <= 0 || Value == pixelsPerInch_) return;
  pixelsPerInch_ = Value;
  Changed();
}

TFontRequest TFont::Request() const {
  TFontRequest r;
  r.Name = name_;
  r.Height = height_;
  r.Bold = style_ & fsBold;
  r.Italic = style_ & fsItalic;
  r.Underline = style_ & fsUnderline;
  r.StrikeOut = style_ & fsStrikeOut;
  return r;
}

// ---- TBrush ----

TBrush::~TBrush() { FreeHandle(); }

void TBrush::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TBrush::Assign(const TPersistent* Source) {
  if (auto* b = dynamic_cast<const TBrush*>(Source)) {
    FreeHandle();
    color_ = b->color_;
    style_ = b->style_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TBrush::SetColor(TColor Value) {
  if (Value == color_ && style_ != TBrushStyle::bsClear) return;
  FreeHandle();
  color_ = Value;
  // Giving a clear brush a colour makes it solid, as the component library does.
  if (style_ == TBrushStyle::bsClear) style_ = TBrushStyle::bsSolid;
  Changed();
}

void TBrush::SetStyle(TBrushStyle Value) {
  if (Value == style_) return;
  FreeHandle();
  style_ = Value;
  Changed();
}

HBRUSH TBrush::Handle() {
  if (handle_) return handle_;
  const COLORREF color = ColorToRGB(color_);
  switch (style_) {
    case TBrushStyle::bsSolid: handle_ = CreateSolidBrush(color); break;
    case TBrushStyle::bsClear: return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    default:
      handle_ = CreateHatchBrush(static_cast<int>(style_) - static_cast<int>(TBrushStyle::bsHorizontal), color);
      break;
  }
  if (!handle_) throw EOutOfResources("Out of system resources");
  return handle_;
}

// ---- TPen ----

TPen::~TPen() { FreeHandle(); }

void TPen::FreeHandle() {
  if (handle_) DeleteObject(handle_);
  handle_ = nullptr;
}

void TPen::Assign(const TPersistent* Source) {
  if (auto* p = dynamic_cast<const TPen*>(Source)) {
    FreeHandle();
    color_ = p->color_;
    width_ = p->width_;
    style_ = p->style_;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

void TPen::SetColor(TColor Value) {
  if (Value == color_) return;
  FreeHandle();
  color_ = Value;
  Changed();
}

void TPen::SetWidth(int32_t Value) {
  if (Value < 0 || Value == width_) return;
  FreeHandle();
  width_ = Value;
  Changed();
}

void TPen::SetStyle(TPenStyle Value) {
  if (Value == style_) return;
  FreeHandle();
  style_ = Value;
  Changed();
}

HPEN TPen::Handle() {
  if (handle_) return handle_;
  if (style_ == TPenStyle::psClear) return static_cast<HPEN>(GetStockObject(NULL_PEN));
  handle_ = CreatePen(static_cast<int>(style_), std::max(1, width_), ColorToRGB(color_));
  if (!handle_) throw EOutOfResources("Out of system resources");
  return handle_;
}

// ---- TCanvas ----

TCanvas::TCanvas() = default;

TCanvas::~TCanvas() {
  // Let the DC forget our tools before they are deleted.
  if (handle_) {
    SelectObject(handle_, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(handle_, static_cast<HPEN>(GetStockObject(BLACK_PEN)));
  }
}

HDC TCanvas::Handle() { return RequireHandle(); }

void TCanvas::SetHandle(HDC Value) {
  if (handle_ == Value) return;
  if (handle_) {
    SelectObject(handle_, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SelectObject(handle_, static_cast<HPEN>(GetStockObject(BLACK_PEN)));
  }
  handle_ = Value;
}

HDC TCanvas::RequireHandle() {
  if (!handle_) CreateHandle();
  if (!handle_) throw EInvalidOperation("Canvas does not allow drawing");
  SelectTools();
  return handle_;
}

void TCanvas::SelectTools() {
  SelectObject(handle_, brush_.Handle());
  SelectObject(handle_, pen_.Handle());
  // A solid brush is also the text background; hatches and clear brushes
  // leave what lies between their lines.
  const COLORREF brushColor = ColorToRGB(brush_.Color());
  if (brush_.Style() == TBrushStyle::bsSolid) {
    SetBkColor(handle_, brushColor);
    SetBkMode(handle_, OPAQUE);
  } else {
    SetBkColor(handle_, ~brushColor & 0xFFFFFF);
    SetBkMode(handle_, TRANSPARENT);
  }
  SetTextColor(handle_, ColorToRGB(font_.Color()));
}

TRect TCanvas::ClipRect() {
  TRect r;
  GetClipBox(RequireHandle(), &r);
  return r;
}

TPoint TCanvas::PenPos() {
  TPoint p;
  MoveToEx(RequireHandle(), 0, 0, &p);
  MoveToEx(handle_, p.X, p.Y, nullptr);
  return p;
}

void TCanvas::FillRect(const TRect& Rect) {
  Changing();
  HDC dc = RequireHandle();
  platform::FillRect(dc, &Rect, brush_.Handle());
  Changed();
}

void TCanvas::FrameRect(const TRect& Rect) {
  Changing();
  HDC dc = RequireHandle();
  platform::FrameRect(dc, &Rect, brush_.Handle());
  Changed();
}

void TCanvas::Rectangle(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  Changing();
  platform::Rectangle(RequireHandle(), Left, Top, Right, Bottom);
  Changed();
}

void TCanvas::MoveTo(int32_t X, int32_t Y) { MoveToEx(RequireHandle(), X, Y, nullptr); }

void TCanvas::LineTo(int32_t X, int32_t Y) {
  Changing();
  platform::LineTo(RequireHandle(), X, Y);
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, int Count) {
  Changing();
  platform::Polyline(RequireHandle(), Points, Count);
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas& Source, const TRect& SourceRect) {
  Changing();
  HDC dst = RequireHandle();
  HDC src = Source.RequireHandle();
  StretchBlt(dst, Dest.Left, Dest.Top, Dest.Width(), Dest.Height(), src, SourceRect.Left, SourceRect.Top,
             SourceRect.Width(), SourceRect.Height(), copyMode_);
  Changed();
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->Empty()) return;
  Changing();
  RequireHandle();
  Graphic->Draw(*this, Bounds(X, Y, Graphic->Width(), Graphic->Height()));
  Changed();
}

void TCanvas::StretchDraw(const TRect& Rect, TGraphic* Graphic) {
  if (!Graphic) return;
  Changing();
  RequireHandle();
  Graphic->Draw(*this, Rect);
  Changed();
}

namespace {
// Blends the text's coverage at the cell origin (X, Y), clipped to Clip
// (canvas coordinates) when given.
void BlendText(HDC dc, int32_t X, int32_t Y, const TTextMask& mask, COLORREF color, const TRect* clip) {
  if (mask.Width <= 0 || mask.Height <= 0) return;
  if (!clip) {
    GdiBlendCoverage(dc, X + mask.Left, Y + mask.Top, mask.Coverage.data(), mask.Width, mask.Height,
                     mask.Width, color);
    return;
  }
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, clip->Left, clip->Top, clip->Right, clip->Bottom);
  GdiBlendCoverage(dc, X + mask.Left, Y + mask.Top, mask.Coverage.data(), mask.Width, mask.Height,
                   mask.Width, color);
  RestoreDC(dc, saved);
}
}  // namespace

void TCanvas::TextOut(int32_t X, int32_t Y, std::string_view Text) {
  Changing();
  HDC dc = RequireHandle();
  const TFontRequest request = font_.Request();
  const TTextMask mask = RenderText(request, Text);
  if (brush_.Style() == TBrushStyle::bsSolid) {
    const TRect cell = Bounds(X, Y, mask.Advance, platform::TextHeight(request));
    platform::FillRect(dc, &cell, brush_.Handle());
  }
  BlendText(dc, X, Y, mask, ColorToRGB(font_.Color()), nullptr);
  MoveToEx(dc, X + mask.Advance, Y, nullptr);
  Changed();
}

void TCanvas::TextRect(const TRect& Rect, int32_t X, int32_t Y, std::string_view Text) {
  Changing();
  HDC dc = RequireHandle();
  if (brush_.Style() == TBrushStyle::bsSolid) platform::FillRect(dc, &Rect, brush_.Handle());
  const TTextMask mask = RenderText(font_.Request(), Text);
  BlendText(dc, X, Y, mask, ColorToRGB(font_.Color()), &Rect);
  Changed();
}

int32_t TCanvas::TextWidth(std::string_view Text) { return platform::TextWidth(font_.Request(), Text); }

int32_t TCanvas::TextHeight(std::string_view) { return platform::TextHeight(font_.Request()); }

TSize TCanvas::TextExtent(std::string_view Text) {
  const TFontRequest request = font_.Request();
  return {platform::TextWidth(request, Text), platform::TextHeight(request)};
}

// Per-pixel access needs no tools in the DC; skipping their selection keeps
// colour-by-colour loops cheap.
TColor TCanvas::Pixel(int32_t X, int32_t Y) {
  if (!handle_) RequireHandle();
  return GetPixel(handle_, X, Y);
}

void TCanvas::SetPixel(int32_t X, int32_t Y, TColor Color) {
  Changing();
  if (!handle_) RequireHandle();
  platform::SetPixel(handle_, X, Y, ColorToRGB(Color));
  Changed();
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}

void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::Lock() {
  lock_.lock();
  ++lockCount_;
}

bool TCanvas::TryLock() {
  if (!lock_.try_lock()) return false;
  ++lockCount_;
  return true;
}

void TCanvas::Unlock() {
  --lockCount_;
  lock_.unlock();
}

}  // namespace platform
