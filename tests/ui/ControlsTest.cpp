#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "tests/ui/UiTestSupport.h"

using namespace platform;

namespace {

class ControlsTest : public uitest::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    form_ = std::make_unique<TForm>(nullptr);
    form_->SetBorderStyle(TFormBorderStyle::bsNone);
    form_->SetBounds(0, 0, 200, 120);
    form_->SetColor(clBlack);
    form_->Show();
  }
  void TearDown() override {
    form_.reset();
    HeadlessTest::TearDown();
  }
  TColor At(int x, int y) { return Pixel(*form_, x, y); }
  // Pixels of a form rectangle that differ from Color.
  int CountNot(const TRect& r, TColor color) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left; x < r.Right; ++x) n += At(x, y) != color;
    return n;
  }
  void Paint() {
    form_->InvalidateForm();
    Pump();
  }
  std::unique_ptr<TForm> form_;
};

TEST_F(ControlsTest, BevelFollowsTheClientSizeWithARaisedEdge) {
  auto* bevel = new TBevel(form_.get());
  bevel->SetAlign(TAlign::alClient);
  bevel->SetStyle(TBevelStyle::bsRaised);
  bevel->SetParent(form_.get());
  EXPECT_EQ(bevel->BoundsRect(), Rect(0, 0, 200, 120));
  form_->SetClientHeight(150);
  EXPECT_EQ(bevel->BoundsRect(), Rect(0, 0, 200, 150));
  Paint();
  TColor light = ColorToRGB(clBtnHighlight), dark = ColorToRGB(clBtnShadow);
  struct TCase {
    int X, Y;
    TColor Color;
  };
  const TCase cases[] = {{0, 0, light},    {100, 0, light},  {0, 75, light},    {199, 75, dark},
                         {100, 149, dark}, {199, 149, dark}, {100, 75, clBlack}, {1, 1, clBlack}};
  for (const auto& c : cases) EXPECT_EQ(At(c.X, c.Y), c.Color) << c.X << "," << c.Y;
}

TEST_F(ControlsTest, LabelSizesItselfToItsCaption) {
  auto* label = new TLabel(form_.get());
  label->SetParent(form_.get());
  label->Font().SetName("Times New Roman");
  label->Font().SetHeight(-53);
  TBitmap probe;
  probe.SetSize(1, 1);
  probe.Canvas().Font().Assign(&label->Font());
  struct TCase {
    std::string Caption, Measured;
    bool Accel;
  };
  const TCase cases[] = {{"Install", "Install", true},   {"&Install", "Install", true},
                         {"Tom && Jerry", "Tom & Jerry", true}, {"&Install", "&Install", false},
                         {"", " ", true}};
  for (const auto& c : cases) {
    label->SetShowAccelChar(c.Accel);
    label->SetCaption(c.Caption);
    EXPECT_EQ(label->Width(), probe.Canvas().TextWidth(c.Measured)) << c.Caption;
    EXPECT_EQ(label->Height(), probe.Canvas().TextHeight("Wg")) << c.Caption;
  }
  label->SetCaption("one\rtwo\r\nthree");
  EXPECT_EQ(label->DisplayLines().size(), 3u);
  EXPECT_EQ(label->Height(), 3 * probe.Canvas().TextHeight("Wg"));
}

TEST_F(ControlsTest, LabelPaintsOpaqueInItsParentsColourOrTransparent) {
  auto* behind = new TBevel(form_.get());  // something to see through
  behind->SetBounds(0, 0, 200, 120);
  behind->SetParent(form_.get());
  form_->SetColor(clNavy);
  auto* label = new TLabel(form_.get());
  label->SetBounds(0, 0, 10, 10);
  label->SetAutoSize(false);
  label->SetCaption("");
  label->SetParent(form_.get());
  Paint();
  EXPECT_EQ(At(0, 0), clNavy);  // the label's fill hides the bevel's edge
  label->SetTransparent(true);
  Paint();
  EXPECT_EQ(At(0, 0), ColorToRGB(clBtnShadow));  // lowered bevel shows through
  label->SetAutoSize(true);
  label->Font().SetColor(clWhite);
  label->SetCaption("Ab");
  Paint();
  EXPECT_GT(CountNot(label->BoundsRect(), clNavy), 0);
}

TEST_F(ControlsTest, FlatButtonLooksAndClicks) {
  auto* button = new TSpeedButton(form_.get());
  button->SetFlat(true);
  button->SetBounds(40, 20, 60, 25);
  button->SetCaption("CD");
  button->Font().SetColor(clWhite);
  button->SetParent(form_.get());
  int clicks = 0;
  button->OnClick = [&](TObject* sender) {
    EXPECT_EQ(sender, button);
    ++clicks;
  };
  TColor light = ColorToRGB(clBtnHighlight), dark = ColorToRGB(clBtnShadow);
  Paint();
  EXPECT_EQ(At(40, 20), clBlack);  // flat and idle: no edge
  EXPECT_GT(CountNot(button->BoundsRect(), clBlack), 0);  // the caption
  HeadlessMouseMove(*form_, 50, 30);
  Pump();
  EXPECT_TRUE(button->MouseInControl());
  EXPECT_EQ(At(40, 20), light);
  EXPECT_EQ(At(99, 44), dark);
  HeadlessMouseDown(*form_, 50, 30);
  Pump();
  EXPECT_TRUE(button->Pressed());
  EXPECT_EQ(At(40, 20), dark);
  EXPECT_EQ(At(99, 44), light);
  HeadlessMouseUp(*form_, 50, 30);
  Pump();
  EXPECT_EQ(clicks, 1);
  HeadlessMouseLeave(*form_);
  Pump();
  EXPECT_EQ(At(40, 20), clBlack);

  struct TCase {
    int DownX, DownY, UpX, UpY, Clicks;
  };
  const TCase cases[] = {{50, 30, 99, 44, 1}, {50, 30, 100, 30, 0}, {10, 10, 50, 30, 0}, {50, 30, 150, 100, 0}};
  for (const auto& c : cases) {
    clicks = 0;
    HeadlessMouseMove(*form_, c.DownX, c.DownY);
    HeadlessMouseDown(*form_, c.DownX, c.DownY);
    HeadlessMouseMove(*form_, c.UpX, c.UpY);
    HeadlessMouseUp(*form_, c.UpX, c.UpY);
    Pump();
    EXPECT_EQ(clicks, c.Clicks) << c.DownX << "," << c.DownY << " -> " << c.UpX << "," << c.UpY;
  }
  // Invisible buttons take no clicks.
  button->SetVisible(false);
  clicks = 0;
  HeadlessClick(*form_, 50, 30);
  Pump();
  EXPECT_EQ(clicks, 0);
}

TEST_F(ControlsTest, ImageDrawsAtItsCornerAndRepaintsOnChange) {
  auto* image = new TImage(form_.get());
  image->SetBounds(20, 30, 100, 50);
  image->SetParent(form_.get());
  int clicks = 0;
  image->OnClick = [&](TObject*) { ++clicks; };
  image->SetCursor(crHandPoint);
  // Clickable over its whole area, also without a picture.
  HeadlessClick(*form_, 119, 79);
  Pump();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(headless_->WindowState(form_->BackendWindow())->Cursor, crHandPoint);
  image->SetCursor(crDefault);  // under the pointer the change shows at once
  EXPECT_EQ(headless_->WindowState(form_->BackendWindow())->Cursor, crDefault);
  image->SetCursor(crHandPoint);

  TBitmap picture;
  picture.SetSize(10, 6);
  picture.Canvas().Brush().SetColor(clRed);
  picture.Canvas().FillRect(Rect(0, 0, 10, 6));
  image->Picture().Assign(&picture);
  Pump();
  EXPECT_EQ(At(20, 30), clRed);
  EXPECT_EQ(At(29, 35), clRed);
  EXPECT_EQ(At(30, 30), clBlack);  // neither stretched
  EXPECT_EQ(At(20, 36), clBlack);
  // Drawing on the picture repaints the box.
  TBitmap* shown = image->Picture().Bitmap();
  shown->Canvas().Brush().SetColor(clLime);
  shown->Canvas().FillRect(Rect(0, 0, 10, 6));
  Pump();
  EXPECT_EQ(At(25, 33), clLime);
  image->SetCenter(true);
  Pump();
  EXPECT_EQ(At(20 + 45, 30 + 22), clLime);
  EXPECT_EQ(At(20, 30), clBlack);
}

TEST_F(ControlsTest, ControlsComposeInCreationOrderAndLeaveCleanly) {
  auto* lower = new TLabel(form_.get());
  lower->SetAutoSize(false);
  lower->SetColor(clRed);
  lower->SetBounds(0, 0, 50, 50);
  lower->SetParent(form_.get());
  auto* upper = new TLabel(form_.get());
  upper->SetAutoSize(false);
  upper->SetColor(clBlue);
  upper->SetBounds(25, 25, 50, 50);
  upper->SetParent(form_.get());
  Paint();
  EXPECT_EQ(At(10, 10), clRed);
  EXPECT_EQ(At(30, 30), clBlue);
  EXPECT_EQ(form_->ControlAtPos({30, 30}), upper);
  delete upper;  // leaves its parent and its owner
  Pump();
  EXPECT_EQ(At(30, 30), clRed);
  EXPECT_EQ(form_->ControlCount(), 1);
  EXPECT_EQ(form_->ComponentCount(), 1);
}

}  // namespace

namespace {

TEST_F(ControlsTest, APartialRepaintGivesTheSamePixelsAsAFullOne) {
  auto* bevel = new TBevel(form_.get());
  bevel->SetAlign(TAlign::alClient);
  bevel->SetParent(form_.get());
  auto* label = new TLabel(form_.get());
  label->SetTransparent(true);
  label->Font().SetName("Times New Roman");
  label->Font().SetHeight(-40);
  label->Font().SetColor(clWhite);
  label->SetLeft(5);
  label->SetCaption("Install");
  label->SetParent(form_.get());
  Paint();
  std::vector<TColor> full;
  for (int y = 0; y < form_->Height(); ++y)
    for (int x = 0; x < form_->Width(); ++x) full.push_back(At(x, y));
  // Antialiased text blended twice would come out brighter.
  for (const TRect& part : {Rect(20, 10, 60, 30), Rect(0, 0, 200, 120), Rect(label->Left() + 3, 0, 90, 119)}) {
    form_->InvalidateRect(part);
    Pump();
    int differing = 0;
    for (int y = 0, i = 0; y < form_->Height(); ++y)
      for (int x = 0; x < form_->Width(); ++x, ++i) differing += At(x, y) != full[static_cast<size_t>(i)];
    EXPECT_EQ(differing, 0) << part.Left << "," << part.Top;
  }
}

}  // namespace
