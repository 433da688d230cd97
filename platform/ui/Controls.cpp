#include "platform/ui/Controls.h"

#include <algorithm>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Gdi.h"
#include "platform/ui/Forms.h"

namespace platform {

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.emplace_back(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Newest first, as they were made on top of the older ones.
  auto owned = std::move(components_);
  while (!owned.empty()) owned.pop_back();
  if (owner_ && !owner_->destroying_) {
    auto& list = owner_->components_;
    auto it = std::find_if(list.begin(), list.end(), [this](const auto& p) { return p.get() == this; });
    if (it != list.end()) {
      it->release();  // we are being destroyed already
      list.erase(it);
    }
  }
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()), color_(clBtnFace) {
  font_->OnChange = [this](TObject*) { FontChanged(); };
}

TControl::~TControl() { SetParent(nullptr); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) {
    Invalidate();
    TForm* form = ParentForm();
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (form) form->ForgetControl(this);
  }
  parent_ = parent;
  if (parent_) {
    parent_->controls_.push_back(this);
    if (align_ == TAlign::alClient) parent_->AlignControls();
    Invalidate();
  }
}

void TControl::SetBounds(int left, int top, int width, int height) {
  TRect bounds = Bounds(left, top, width, height);
  if (bounds == bounds_) return;
  Invalidate();
  bounds_ = bounds;
  Invalidate();
  BoundsChanged();
}

void TControl::SetVisible(bool value) {
  if (value == visible_) return;
  if (!value) Invalidate();
  visible_ = value;
  if (value) Invalidate();
}

void TControl::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Invalidate();
}

bool TControl::Showing() const {
  for (const TControl* c = this; c; c = c->parent_) {
    if (!c->visible_) return false;
    if (!c->parent_) return dynamic_cast<const TForm*>(c) != nullptr;
  }
  return false;
}

void TControl::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  CaptionChanged();
}

void TControl::SetCursor(TCursor value) {
  cursor_ = value;
  if (TForm* form = ParentForm()) form->CursorChanged(this);
}

TColor TControl::Color() const { return parentColor_ && parent_ ? parent_->Color() : color_; }

void TControl::SetColor(TColor value) {
  if (value == color_ && !parentColor_) return;
  color_ = value;
  parentColor_ = false;
  Invalidate();
}

void TControl::SetParentColor(bool value) {
  parentColor_ = value;
  Invalidate();
}

void TControl::SetAlign(TAlign value) {
  align_ = value;
  if (parent_) parent_->AlignControls();
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

TForm* TControl::ParentForm() const {
  const TControl* c = this;
  while (c->parent_) c = c->parent_;
  return const_cast<TForm*>(dynamic_cast<const TForm*>(c));
}

TPoint TControl::ClientToForm(TPoint p) const {
  for (const TControl* c = this; c->parent_; c = c->parent_) {
    p.X += c->Left();
    p.Y += c->Top();
  }
  return p;
}

void TControl::Invalidate() {
  if (!parent_ && dynamic_cast<TForm*>(this)) {
    static_cast<TForm*>(this)->InvalidateForm();
    return;
  }
  TForm* form = ParentForm();
  if (!form || !visible_ || !parent_) return;
  TPoint origin = ClientToForm({0, 0});
  form->InvalidateRect(Bounds(origin.X, origin.Y, Width(), Height()));
}

void TControl::Update() {
  if (TForm* form = ParentForm()) form->UpdateForm();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

void TControl::MouseDown(TMouseButton button, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, x, y);
}
void TControl::MouseUp(TMouseButton button, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, x, y);
}
void TControl::MouseMove(int x, int y) {
  if (OnMouseMove) OnMouseMove(this, x, y);
}
void TControl::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TControl::MouseLeave() {
  if (OnMouseLeave) OnMouseLeave(this);
}

void TControl::FontChanged() { Invalidate(); }

// ---- TGraphicControl ----

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner), surface_(std::make_unique<TBitmap>()) {
  surface_->SetPixelFormat(TPixelFormat::pf32bit);
}

TGraphicControl::~TGraphicControl() = default;

TCanvas& TGraphicControl::Canvas() { return surface_->Canvas(); }

void TGraphicControl::PaintOnto(TBitmap& target, const TRect& clip) {
  int w = Width(), h = Height();
  if (w <= 0 || h <= 0) return;
  TPoint origin = ClientToForm({0, 0});
  TRect part;
  if (!IntersectRect(part, Bounds(origin.X, origin.Y, w, h), clip)) return;
  if (surface_->Width() != w || surface_->Height() != h) surface_->SetSize(w, h);
  TPoint at = ClientToForm({0, 0});
  TCanvas& canvas = surface_->Canvas();
  BitBlt(canvas.Handle(), 0, 0, w, h, target.Canvas().Handle(), at.X, at.Y, SRCCOPY);
  canvas.Font().Assign(&Font());
  canvas.Brush().SetColor(Color());
  canvas.Brush().SetStyle(TBrushStyle::bsSolid);
  Paint();
  // Outside Clip the target already holds the finished picture; the
  // surface there has been painted over it once more.
  BitBlt(target.Canvas().Handle(), part.Left, part.Top, part.Width(), part.Height(), canvas.Handle(),
         part.Left - at.X, part.Top - at.Y, SRCCOPY);
  target.Canvas().Changed();
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children that outlive us (owned elsewhere) lose their parent.
  auto children = controls_;
  for (TControl* c : children) c->SetParent(nullptr);
}

TControl* TWinControl::ControlAtPos(TPoint p) const {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (c->Visible() && c->Enabled() && c->BoundsRect().Contains(p)) return c;
  }
  return nullptr;
}

void TWinControl::AlignControls() {
  for (TControl* c : controls_)
    if (c->Align() == TAlign::alClient) c->SetBounds(0, 0, ClientWidth(), ClientHeight());
}

}  // namespace platform
