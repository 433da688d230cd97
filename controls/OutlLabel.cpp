#include "controls/OutlLabel.h"

#include "platform/graphics/Canvas.h"

namespace controls {

using namespace platform;

TOutlLabel::TOutlLabel(TComponent* owner) : TLabel(owner) {}

void TOutlLabel::SetColourShadow(TColor value) {
  if (value == colourShadow_) return;
  colourShadow_ = value;
  Refresh();
}

void TOutlLabel::Paint() {
  const std::string& text = Caption();
  TCanvas& canvas = Canvas();
  if (!Transparent()) {
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Brush().SetColor(Color());
    canvas.FillRect(ClientRect());
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.SetFont(Font());
  const TColor fontColor = canvas.Font().Color();
  canvas.Font().SetColor(colourShadow_);
  for (int x = 0; x <= 2; ++x)
    for (int y = 0; y <= 2; ++y) canvas.TextOut(x, y, text);
  canvas.Font().SetColor(fontColor);
  canvas.TextOut(1, 1, text);
}

}  // namespace controls
