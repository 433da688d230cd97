#pragma once
// TBevel (a 3-D frame) and TImage (a picture box).

#include <memory>

#include "platform/ui/Controls.h"

namespace platform {

class TPicture;

enum class TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum class TBevelStyle { bsLowered, bsRaised };

class TBevel : public TGraphicControl {
public:
  explicit TBevel(TComponent* Owner);
  const char* ClassName() const noexcept override { return "TBevel"; }

  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape Value);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle Value);

protected:
  void Paint() override;

private:
  TBevelShape shape_ = TBevelShape::bsBox;
  TBevelStyle style_ = TBevelStyle::bsLowered;
};

// Paints its picture through the canvas's stretch-draw: at the top-left
// corner in the picture's own size, or over the whole box with Stretch, or
// in the middle with Center. Clicks anywhere on the box count, with or
// without a picture. A change of the picture repaints the box.
class TImage : public TGraphicControl {
public:
  explicit TImage(TComponent* Owner);
  ~TImage() override;
  const char* ClassName() const noexcept override { return "TImage"; }

  TPicture& Picture() { return *picture_; }
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool Value);
  bool Center() const { return center_; }
  void SetCenter(bool Value);
  // The rectangle the picture is drawn into.
  TRect DestRect() const;

protected:
  void Paint() override;

private:
  void PictureChanged();

  std::unique_ptr<TPicture> picture_;
  bool transparent_ = false, stretch_ = false, center_ = false;
};

}  // namespace platform
