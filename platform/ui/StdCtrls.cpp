#include "platform/ui/StdCtrls.h"

#include <algorithm>

#include "platform/graphics/Canvas.h"

namespace platform {

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetParentColor(true);
  SetBounds(0, 0, 65, 17);
}

void TLabel::SetAutoSize(bool value) {
  autoSize_ = value;
  AdjustBounds();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Invalidate();
}

void TLabel::SetShowAccelChar(bool value) {
  showAccelChar_ = value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetAlignment(TAlignment value) {
  alignment_ = value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout value) {
  layout_ = value;
  Invalidate();
}

void TLabel::SetWordWrap(bool value) {
  wordWrap_ = value;
  AdjustBounds();
}

void TLabel::CaptionChanged() {
  AdjustBounds();
  Invalidate();
}

void TLabel::FontChanged() {
  AdjustBounds();
  Invalidate();
}

std::vector<std::string> TLabel::DisplayLines(std::vector<int>* underline) const {
  std::vector<std::string> lines(1);
  std::vector<int> marks(1, -1);
  const std::string& text = Caption();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
      marks.push_back(-1);
      continue;
    }
    if (c == '&' && showAccelChar_) {
      if (i + 1 < text.size() && text[i + 1] == '&') {
        lines.back() += '&';
        ++i;
      } else if (i + 1 < text.size()) {
        marks.back() = static_cast<int>(lines.back().size());
      }
      continue;
    }
    lines.back() += c;
  }
  if (underline) *underline = marks;
  return lines;
}

TSize TLabel::MeasureCaption() {
  TCanvas& canvas = Canvas();
  canvas.Font().Assign(&Font());
  std::vector<std::string> lines = DisplayLines();
  // An empty caption measures as one blank, so the label keeps a line's height.
  if (lines.size() == 1 && lines[0].empty()) lines[0].push_back(' ');
  int width = 0, lineHeight = canvas.TextHeight("Wg");
  for (const auto& line : lines) width = std::max(width, canvas.TextWidth(line));
  return {width, lineHeight * static_cast<int>(lines.size())};
}

void TLabel::AdjustBounds() {
  if (!autoSize_ || wordWrap_) return;
  TSize size = MeasureCaption();
  int left = Left();
  if (alignment_ == TAlignment::taRightJustify) left = Left() + Width() - size.cx;
  SetBounds(left, Top(), size.cx, size.cy);
}

void TLabel::Paint() {
  TCanvas& canvas = Canvas();
  if (!transparent_) {
    canvas.Brush().SetStyle(TBrushStyle::bsSolid);
    canvas.Brush().SetColor(Color());
    canvas.FillRect(ClientRect());
  }
  canvas.Brush().SetStyle(TBrushStyle::bsClear);
  canvas.Font().Assign(&Font());
  std::vector<int> underline;
  std::vector<std::string> lines = DisplayLines(&underline);
  int lineHeight = canvas.TextHeight("Wg");
  int total = lineHeight * static_cast<int>(lines.size());
  int y = layout_ == TTextLayout::tlCenter ? (Height() - total) / 2
          : layout_ == TTextLayout::tlBottom ? Height() - total
                                             : 0;
  for (size_t i = 0; i < lines.size(); ++i, y += lineHeight) {
    const std::string& line = lines[i];
    int width = canvas.TextWidth(line);
    int x = alignment_ == TAlignment::taCenter ? (Width() - width) / 2
            : alignment_ == TAlignment::taRightJustify ? Width() - width
                                                        : 0;
    canvas.TextOut(x, y, line);
    if (underline[i] >= 0 && underline[i] < static_cast<int>(line.size())) {
      int from = x + canvas.TextWidth(line.substr(0, static_cast<size_t>(underline[i])));
      int to = x + canvas.TextWidth(line.substr(0, static_cast<size_t>(underline[i]) + 1));
      int baseline = y + canvas.TextHeight("Wg") - 2;
      canvas.Brush().SetStyle(TBrushStyle::bsSolid);
      canvas.Brush().SetColor(Font().Color());
      canvas.FillRect(Rect(from, baseline, to, baseline + 1));
      canvas.Brush().SetStyle(TBrushStyle::bsClear);
    }
  }
}

}  // namespace platform
