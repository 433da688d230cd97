#pragma once
// TLabel: a caption drawn on the form. Its paint operation is virtual so
// that derived labels draw the caption their own way.

#include "platform/ui/Controls.h"

namespace platform {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TGraphicControl {
public:
  explicit TLabel(TComponent* Owner);
  const char* ClassName() const noexcept override { return "TLabel"; }

  // On by default: the label takes the size of its caption.
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);
  // "&" marks the next character as the accelerator (drawn underlined,
  // the "&" itself not drawn); "&&" is one "&".
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value);

  // The caption as painted, one entry per line (CR, LF or CR LF end a
  // line), with the accelerator marks resolved; Underline receives per
  // line the accelerator's position (or -1).
  std::vector<std::string> DisplayLines(std::vector<int>* Underline = nullptr) const;
  // The size the caption needs with the label's font.
  TSize MeasureCaption();
  // Applies AutoSize now.
  void AdjustBounds();

protected:
  void Paint() override;
  void CaptionChanged() override;
  void FontChanged() override;

private:
  bool autoSize_ = true, transparent_ = false, showAccelChar_ = true, wordWrap_ = false;
  TAlignment alignment_ = TAlignment::taLeftJustify;
  TTextLayout layout_ = TTextLayout::tlTop;
};

}  // namespace platform
