#include "platform/ui/ExtCtrls.h"

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"

namespace platform {

// ---- TBevel ----

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::SetShape(TBevelShape value) {
  shape_ = value;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
  style_ = value;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas& canvas = Canvas();
  TColor light = clBtnHighlight, dark = clBtnShadow;
  TColor first = style_ == TBevelStyle::bsRaised ? light : dark;
  TColor second = style_ == TBevelStyle::bsRaised ? dark : light;
  int w = Width(), h = Height();
  auto line = [&](TColor color, int left, int top, int right, int bottom) {
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Brush().SetColor(color);
    canvas.FillRect(Rect(left, top, right, bottom));
  };
  // A frame of one-pixel lines: top and left in one colour, bottom and
  // right in the other.
  auto box = [&](int left, int top, int right, int bottom, TColor tl, TColor br) {
    line(tl, left, top, right, top + 1);
    line(tl, left, top, left + 1, bottom);
    line(br, left, bottom - 1, right, bottom);
    line(br, right - 1, top, right, bottom);
  };
  switch (shape_) {
    case TBevelShape::bsBox:
      box(0, 0, w, h, first, second);
      break;
    case TBevelShape::bsFrame:
      box(0, 0, w - 1, h - 1, second, second);
      box(1, 1, w, h, first, first);
      break;
    case TBevelShape::bsTopLine:
      line(second, 0, 0, w, 1);
      line(first, 0, 1, w, 2);
      break;
    case TBevelShape::bsBottomLine:
      line(second, 0, h - 2, w, h - 1);
      line(first, 0, h - 1, w, h);
      break;
    case TBevelShape::bsLeftLine:
      line(second, 0, 0, 1, h);
      line(first, 1, 0, 2, h);
      break;
    case TBevelShape::bsRightLine:
      line(second, w - 2, 0, w - 1, h);
      line(first, w - 1, 0, w, h);
      break;
    case TBevelShape::bsSpacer:
      break;
  }
}

// ---- TImage ----

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
  picture_->OnChange = [this](TObject*) { PictureChanged(); };
  SetBounds(0, 0, 105, 105);
}

TImage::~TImage() {
  // The picture may animate on our canvas: let it go first.
  picture_.reset();
}

void TImage::SetTransparent(bool value) {
  transparent_ = value;
  PictureChanged();
}

void TImage::SetStretch(bool value) {
  stretch_ = value;
  Invalidate();
}

void TImage::SetCenter(bool value) {
  center_ = value;
  Invalidate();
}

void TImage::PictureChanged() {
  if (TGraphic* graphic = picture_->Graphic()) {
    if (transparent_ && !graphic->Transparent()) graphic->SetTransparent(true);
  }
  Invalidate();
}

TRect TImage::DestRect() const {
  if (stretch_) return ClientRect();
  int w = picture_->Width(), h = picture_->Height();
  if (center_) return Bounds((Width() - w) / 2, (Height() - h) / 2, w, h);
  return Rect(0, 0, w, h);
}

void TImage::Paint() {
  TGraphic* graphic = picture_->Graphic();
  if (!graphic || graphic->Empty()) return;
  Canvas().StretchDraw(DestRect(), graphic);
}

}  // namespace platform
