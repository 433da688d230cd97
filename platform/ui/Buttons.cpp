#include "platform/ui/Buttons.h"

#include "platform/graphics/Canvas.h"

namespace platform {

namespace {

// A one-pixel edge: TopLeft on the top and left lines, BottomRight on the others.
void Edge(TCanvas& canvas, const TRect& r, TColor topLeft, TColor bottomRight) {
  TBrush& brush = canvas.Brush();
  brush.SetStyle(TBrushStyle::bsSolid);
  brush.SetColor(topLeft);
  canvas.FillRect(Rect(r.Left, r.Top, r.Right - 1, r.Top + 1));
  canvas.FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom - 1));
  brush.SetColor(bottomRight);
  canvas.FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
  canvas.FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
}

}  // namespace

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 23, 22); }

void TSpeedButton::SetFlat(bool value) {
  flat_ = value;
  Invalidate();
}

void TSpeedButton::MouseDown(TMouseButton button, int x, int y) {
  if (button == TMouseButton::mbLeft) {
    pressed_ = true;
    mouseInControl_ = ClientRect().Contains({x, y});
    Invalidate();
  }
  TGraphicControl::MouseDown(button, x, y);
}

void TSpeedButton::MouseUp(TMouseButton button, int x, int y) {
  if (button == TMouseButton::mbLeft && pressed_) {
    pressed_ = false;
    mouseInControl_ = ClientRect().Contains({x, y});
    Invalidate();
  }
  TGraphicControl::MouseUp(button, x, y);
}

void TSpeedButton::MouseMove(int x, int y) {
  bool inside = ClientRect().Contains({x, y});
  if (inside != mouseInControl_) {
    mouseInControl_ = inside;
    Invalidate();
  }
  TGraphicControl::MouseMove(x, y);
}

void TSpeedButton::MouseEnter() {
  mouseInControl_ = true;
  Invalidate();
  TGraphicControl::MouseEnter();
}

void TSpeedButton::MouseLeave() {
  if (!pressed_) mouseInControl_ = false;
  Invalidate();
  TGraphicControl::MouseLeave();
}

void TSpeedButton::Paint() {
  TCanvas& canvas = Canvas();
  TRect r = ClientRect();
  bool down = Pressed();
  if (!flat_) {
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Brush().SetColor(clBtnFace);
    canvas.FillRect(r);
    if (down) {
      Edge(canvas, r, cl3DDkShadow, clBtnHighlight);
      InflateRect(r, -1, -1);
      Edge(canvas, r, clBtnShadow, cl3DLight);
    } else {
      Edge(canvas, r, clBtnHighlight, cl3DDkShadow);
      InflateRect(r, -1, -1);
      Edge(canvas, r, cl3DLight, clBtnShadow);
    }
  } else if (down) {
    Edge(canvas, r, clBtnShadow, clBtnHighlight);
  } else if (mouseInControl_ && Enabled()) {
    Edge(canvas, r, clBtnHighlight, clBtnShadow);
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.Font().Assign(&Font());
  if (!Enabled()) canvas.Font().SetColor(clGrayText);
  int w = canvas.TextWidth(Caption()), h = canvas.TextHeight(Caption().empty() ? "Wg" : Caption());
  int x = (Width() - w) / 2, y = (Height() - h) / 2;
  if (down) {
    ++x;
    ++y;
  }
  canvas.TextOut(x, y, Caption());
}

}  // namespace platform
