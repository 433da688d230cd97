#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "controls/OutlLabel.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Gdi.h"
#include "platform/ui/Forms.h"
#include "platform/ui/headless/HeadlessBackend.h"

using namespace platform;
using controls::TOutlLabel;

namespace {

constexpr TColor Background = 0x204060;

// One drawing operation on a canvas, seen from its change notification:
// text is drawn with a clear brush and leaves the pen at its end, fills
// use a solid brush.
struct TDraw {
  bool Text;
  int X, Y;
  TColor Color;  // the font's for text, the brush's for fills
  bool operator==(const TDraw&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TDraw& d) {
  return out << (d.Text ? "text" : "fill") << " (" << d.X << "," << d.Y << ") $" << std::hex << d.Color << std::dec;
}

// Records what Paint draws on the label's canvas, keeping the canvas's own
// listener working.
class TDrawRecorder {
public:
  explicit TDrawRecorder(TOutlLabel& label) : canvas_(label.Canvas()), label_(label) {
    previous_ = canvas_.OnChange;
    canvas_.OnChange = [this](TObject* sender) {
      if (previous_) previous_(sender);
      if (canvas_.Brush().Style() == TBrushStyle::bsClear) {
        TPoint pen = canvas_.PenPos();
        Draws.push_back({true, pen.X - canvas_.TextWidth(label_.Caption()), pen.Y, canvas_.Font().Color()});
      } else {
        Draws.push_back({false, 0, 0, canvas_.Brush().Color()});
      }
    };
  }
  ~TDrawRecorder() { canvas_.OnChange = previous_; }
  std::vector<TDraw> Draws;

private:
  TCanvas& canvas_;
  TOutlLabel& label_;
  TNotifyEvent previous_;
};

std::vector<TDraw> OutlineDraws(TColor shadow, TColor font) {
  std::vector<TDraw> draws;
  for (int x = 0; x <= 2; ++x)
    for (int y = 0; y <= 2; ++y) draws.push_back({true, x, y, shadow});
  draws.push_back({true, 1, 1, font});
  return draws;
}

// Labels are painted on a form of the background colour, as the window
// composes them.
class OutlLabelTest : public ::testing::Test {
protected:
  void SetUp() override {
    objects_ = GdiObjectCount();
    UseHeadlessBackend();
    application_ = std::make_unique<TApplication>();
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBounds(0, 0, 300, 80);
    form_->SetColor(Background);
  }
  void TearDown() override {
    form_.reset();
    application_.reset();
    ResetBackend();
    EXPECT_EQ(GdiObjectCount(), objects_) << GdiDescribeObjects();
  }

  TOutlLabel& MakeLabel(const std::string& caption) {
    auto* label = new TOutlLabel(form_.get());
    label->Font().SetName("Arial");
    label->Font().SetHeight(-20);
    label->Font().SetColor(clWhite);
    label->SetCaption(caption);
    label->SetParent(form_.get());
    return *label;
  }
  // A label that does not size itself, over the whole form.
  TOutlLabel& MakeFixedLabel(const std::string& caption) {
    TOutlLabel& label = MakeLabel(caption);
    label.SetAutoSize(false);
    label.SetBounds(0, 0, form_->Width(), form_->Height());
    return label;
  }
  TCanvas& Painted() {
    form_->PaintAll();
    return form_->Canvas();
  }

  // The box of pixels that differ from the background; empty when none.
  TRect Ink(TCanvas& canvas) {
    TRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
    for (int y = 0; y < form_->Height(); ++y)
      for (int x = 0; x < form_->Width(); ++x)
        if (canvas.Pixel(x, y) != Background) {
          box.Left = std::min(box.Left, x), box.Top = std::min(box.Top, y);
          box.Right = std::max(box.Right, x + 1), box.Bottom = std::max(box.Bottom, y + 1);
        }
    return box.Left == INT32_MAX ? TRect{} : box;
  }

  std::unique_ptr<TApplication> application_;
  std::unique_ptr<TForm> form_;
  size_t objects_ = 0;
};

TEST_F(OutlLabelTest, StartsWithABlackOutline) {
  TOutlLabel label(nullptr);
  EXPECT_EQ(label.ColourShadow(), clBlack);
  EXPECT_STREQ(label.ClassName(), "TOutlLabel");
}

TEST_F(OutlLabelTest, DrawsNineOutlinesThenTheTextFromTheTopLeftWhateverTheLayout) {
  struct TCase {
    const char* Name;
    bool Transparent;
    TAlignment Alignment;
    TTextLayout Layout;
    bool WordWrap;
  };
  const TCase cases[] = {
      {"transparent", true, TAlignment::taLeftJustify, TTextLayout::tlTop, false},
      {"opaque", false, TAlignment::taLeftJustify, TTextLayout::tlTop, false},
      {"right, bottom", true, TAlignment::taRightJustify, TTextLayout::tlBottom, false},
      {"centred, word wrap", false, TAlignment::taCenter, TTextLayout::tlCenter, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TOutlLabel& label = MakeFixedLabel("Outlined & long");
    label.SetTransparent(c.Transparent);
    label.SetColor(clYellow);
    label.SetAlignment(c.Alignment);
    label.SetLayout(c.Layout);
    label.SetWordWrap(c.WordWrap);
    label.SetColourShadow(clRed);
    std::vector<TDraw> expected;
    if (!c.Transparent) expected.push_back({false, 0, 0, clYellow});
    for (const TDraw& d : OutlineDraws(clRed, clWhite)) expected.push_back(d);
    {
      TDrawRecorder recorder(label);
      Painted();
      EXPECT_EQ(recorder.Draws, expected);
    }
    delete &label;
  }
}

TEST_F(OutlLabelTest, TransparentKeepsTheBackgroundOpaqueFillsWithTheLabelColour) {
  for (bool transparent : {true, false}) {
    TOutlLabel& label = MakeFixedLabel("Ab");
    label.SetTransparent(transparent);
    label.SetColor(clYellow);
    // A corner far from the text.
    EXPECT_EQ(Painted().Pixel(299, 79), transparent ? Background : clYellow) << transparent;
    delete &label;
  }
}

TEST_F(OutlLabelTest, OutlineGrowsTheInkByTwoPixelsAndShowsBothColours) {
  for (const char* caption : {"Hello", "A&B"}) {
    SCOPED_TRACE(caption);
    TCanvas& canvas = Painted();
    canvas.Font().SetName("Arial");
    canvas.Font().SetHeight(-20);
    canvas.Font().SetColor(clWhite);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    canvas.TextOut(0, 0, caption);
    TRect text = Ink(canvas);
    ASSERT_FALSE(text.IsEmpty());

    TOutlLabel& label = MakeFixedLabel(caption);
    label.SetTransparent(true);
    label.SetColourShadow(clRed);
    TCanvas& painted = Painted();
    TRect outlined = Ink(painted);
    // "&" is drawn as a character: the same glyphs, two pixels more each way.
    EXPECT_EQ(outlined, Rect(text.Left, text.Top, text.Right + 2, text.Bottom + 2));

    int red = 0, white = 0;
    for (int y = outlined.Top; y < outlined.Bottom; ++y)
      for (int x = outlined.Left; x < outlined.Right; ++x) {
        TColor p = painted.Pixel(x, y);
        red += p == clRed;
        white += p == clWhite;
      }
    EXPECT_GT(red, 0);
    EXPECT_GT(white, 0);
    delete &label;
  }
}

TEST_F(OutlLabelTest, AutoSizeMeasuresThePlainCaptionWithAcceleratorMarks) {
  TOutlLabel& label = MakeLabel("A&B");
  TCanvas& canvas = form_->Canvas();
  canvas.Font().Assign(&label.Font());
  EXPECT_EQ(label.Width(), canvas.TextWidth("AB"));
  EXPECT_EQ(label.Height(), canvas.TextHeight("AB"));
}

TEST_F(OutlLabelTest, ANewOutlineColourRepaintsAtOnceTheSameColourDoesNot) {
  TOutlLabel& label = MakeLabel("Text");
  label.SetTransparent(true);
  Painted();
  TDrawRecorder recorder(label);

  label.SetColourShadow(clBlack);
  EXPECT_TRUE(recorder.Draws.empty());

  label.SetColourShadow(clBlue);
  EXPECT_EQ(label.ColourShadow(), clBlue);
  EXPECT_EQ(recorder.Draws, OutlineDraws(clBlue, clWhite));
}

}  // namespace
