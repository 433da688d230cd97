// Pictures changed from another thread through Synchronize reach the screen
// through the application's message loop, as an animation's painter does.

#include <gtest/gtest.h>

#include "platform/graphics/Bitmap.h"
#include "platform/threads/Thread.h"
#include "platform/ui/ExtCtrls.h"
#include "tests/ui/UiTestSupport.h"

using namespace platform;

namespace {

class ThreadPaintTest : public uitest::HeadlessTest {};

class TFramePainter : public TThread {
public:
  TFramePainter(TForm& form, TImage& image) : form_(form), image_(image) {}

protected:
  void Execute() override {
    const TColor frames[] = {clRed, clLime, clBlue};
    for (TColor color : frames) {
      // Drawing happens in the main thread only.
      Synchronize([&] {
        TCanvas& canvas = image_.Picture().Bitmap()->Canvas();
        canvas.Brush().SetColor(color);
        canvas.FillRect(Rect(0, 0, 8, 8));
      });
    }
    Synchronize([&] { form_.Close(); });
  }

private:
  TForm& form_;
  TImage& image_;
};

TEST_F(ThreadPaintTest, FramesFromAPainterThreadAreShownByTheLoop) {
  TForm* form = nullptr;
  app_->CreateForm(form);
  form->SetBounds(0, 0, 40, 40);
  form->SetColor(clBlack);
  auto* image = new TImage(form);
  image->SetBounds(4, 4, 20, 20);
  image->SetParent(form);
  TBitmap first;
  first.SetSize(8, 8);
  image->Picture().Assign(&first);

  TFramePainter painter(*form, *image);
  painter.Start();
  app_->Run();  // until the painter closes the main form
  painter.WaitFor();
  EXPECT_EQ(Pixel(*form, 4, 4), clBlue);
  EXPECT_EQ(Pixel(*form, 12, 4), clBlack);
}

}  // namespace
