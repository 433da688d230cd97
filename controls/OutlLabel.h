#pragma once
// TOutlLabel: a label whose caption carries a one-pixel outline, for text
// that must stay readable on any background (the launcher's advert line).

#include "platform/graphics/Colors.h"
#include "platform/ui/StdCtrls.h"

namespace controls {

class TOutlLabel : public platform::TLabel {
public:
  explicit TOutlLabel(platform::TComponent* Owner);
  const char* ClassName() const noexcept override { return "TOutlLabel"; }

  // The outline colour; black unless set. A new colour repaints at once.
  platform::TColor ColourShadow() const { return colourShadow_; }
  void SetColourShadow(platform::TColor Value);

protected:
  // The caption nine times in the outline colour around (1, 1), then once
  // in the font colour at (1, 1). Always one line from the top-left corner:
  // alignment, layout, word wrap and accelerator marks do not apply here;
  // measuring stays the label's.
  void Paint() override;

private:
  platform::TColor colourShadow_ = platform::clBlack;
};

}  // namespace controls
