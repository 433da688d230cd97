#pragma once
// The control tree: components with an owner that frees them, controls with
// a parent that shows them. Controls are windowless: each paints on a canvas
// of its own whose pixels are composed into the form's back buffer in
// z-order (the order in which controls were given their parent).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Colors.h"
#include "platform/graphics/Geometry.h"
#include "platform/rtl/Object.h"
#include "platform/ui/Backend.h"  // TCursor

namespace platform {

class TBitmap;
class TCanvas;
class TFont;
class TForm;
class TWinControl;

class TComponent : public TPersistent {
public:
  // Owner frees this component when it is freed itself; nullptr: nobody.
  explicit TComponent(TComponent* Owner);
  ~TComponent() override;
  const char* ClassName() const noexcept override { return "TComponent"; }

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string Name) { name_ = std::move(Name); }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int Index) const { return components_.at(static_cast<size_t>(Index)).get(); }

private:
  TComponent* owner_;
  std::string name_;
  std::vector<std::unique_ptr<TComponent>> components_;
  bool destroying_ = false;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, int X, int Y)>;

enum class TAlign { alNone, alClient };

class TControl : public TComponent {
public:
  explicit TControl(TComponent* Owner);
  ~TControl() override;
  const char* ClassName() const noexcept override { return "TControl"; }

  TWinControl* Parent() const { return parent_; }
  // Giving a parent appends the control on top of its siblings.
  virtual void SetParent(TWinControl* Parent);

  int Left() const { return bounds_.Left; }
  int Top() const { return bounds_.Top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  void SetLeft(int Value) { SetBounds(Value, Top(), Width(), Height()); }
  void SetTop(int Value) { SetBounds(Left(), Value, Width(), Height()); }
  void SetWidth(int Value) { SetBounds(Left(), Top(), Value, Height()); }
  void SetHeight(int Value) { SetBounds(Left(), Top(), Width(), Value); }
  virtual void SetBounds(int Left, int Top, int Width, int Height);
  TRect BoundsRect() const { return bounds_; }
  TRect ClientRect() const { return Rect(0, 0, Width(), Height()); }

  bool Visible() const { return visible_; }
  void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  // Visible itself and on every parent up to the form.
  bool Showing() const;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value);
  // Hints are stored only: this system never displays them.
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool Value) { showHint_ = Value; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor Value);
  TFont& Font() const { return *font_; }
  // With ParentColor the parent's colour is used, until a colour is set.
  TColor Color() const;
  void SetColor(TColor Value);
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool Value);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign Value);

  TNotifyEvent OnClick;
  TMouseEvent OnMouseDown, OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter, OnMouseLeave;

  // Fires OnClick.
  virtual void Click();
  // Marks the control's area of its form for the next repaint.
  void Invalidate();
  // Repaints what is invalid now.
  void Update();
  void Refresh() { Repaint(); }
  void Repaint();
  // The form the control is placed on, or nullptr.
  TForm* ParentForm() const;
  // Client point of the control in its form's client coordinates.
  TPoint ClientToForm(TPoint P) const;

  // Input from the form: positions in the control's client coordinates.
  virtual void MouseDown(TMouseButton Button, int X, int Y);
  virtual void MouseUp(TMouseButton Button, int X, int Y);
  virtual void MouseMove(int X, int Y);
  virtual void MouseEnter();
  virtual void MouseLeave();

protected:
  // After the font changed (the control's own font object).
  virtual void FontChanged();
  virtual void BoundsChanged() {}
  virtual void CaptionChanged() { Invalidate(); }

private:
  TWinControl* parent_ = nullptr;
  TRect bounds_{};
  bool visible_ = true, enabled_ = true, showHint_ = false, parentColor_ = false;
  std::string caption_, hint_;
  TCursor cursor_ = crDefault;
  std::unique_ptr<TFont> font_;
  TColor color_;
  TAlign align_ = TAlign::alNone;
};

// A control that paints itself on its own canvas.
class TGraphicControl : public TControl {
public:
  explicit TGraphicControl(TComponent* Owner);
  ~TGraphicControl() override;
  const char* ClassName() const noexcept override { return "TGraphicControl"; }

  // The same canvas for the control's whole life, on a surface of the
  // control's size. While Paint runs it shows what lies below the control.
  TCanvas& Canvas();

  // Composes the control onto Target (the form's back buffer) at its place:
  // what Target shows there is copied onto the control's surface, Paint
  // draws over it, and the part inside Clip (form coordinates) goes back.
  void PaintOnto(TBitmap& Target, const TRect& Clip);

protected:
  virtual void Paint() {}

private:
  std::unique_ptr<TBitmap> surface_;
};

class TWinControl : public TControl {
public:
  explicit TWinControl(TComponent* Owner);
  ~TWinControl() override;
  const char* ClassName() const noexcept override { return "TWinControl"; }

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  // Bottom to top.
  TControl* Controls(int Index) const { return controls_.at(static_cast<size_t>(Index)); }
  // The topmost visible, enabled control containing the client point.
  TControl* ControlAtPos(TPoint P) const;
  // Places the controls aligned to the client area.
  void AlignControls();
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }

protected:
  void BoundsChanged() override { AlignControls(); }

private:
  friend class TControl;
  std::vector<TControl*> controls_;  // not owned: owners free controls
};

}  // namespace platform
