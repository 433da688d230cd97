#pragma once
// TSpeedButton: a button without a window. Flat buttons show only their
// caption until the mouse is over them (a raised edge) or presses them (a
// sunken edge, the caption one pixel down and right). A click is a press
// and a release inside the button.

#include "platform/ui/Controls.h"

namespace platform {

class TSpeedButton : public TGraphicControl {
public:
  explicit TSpeedButton(TComponent* Owner);
  const char* ClassName() const noexcept override { return "TSpeedButton"; }

  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  // Pressed look: the left button went down here and the mouse is inside.
  bool Pressed() const { return pressed_ && mouseInControl_; }
  bool MouseInControl() const { return mouseInControl_; }

  void MouseDown(TMouseButton Button, int X, int Y) override;
  void MouseUp(TMouseButton Button, int X, int Y) override;
  void MouseMove(int X, int Y) override;
  void MouseEnter() override;
  void MouseLeave() override;

protected:
  void Paint() override;

private:
  bool flat_ = false, pressed_ = false, mouseInControl_ = false;
};

}  // namespace platform
