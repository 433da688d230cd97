#include <gtest/gtest.h>

#include <cstdio>

#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Files.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/Dialogs.h"
#include "tests/ui/UiTestSupport.h"

using namespace platform;

namespace {

class FormsTest : public uitest::HeadlessTest {};

TEST_F(FormsTest, FirstShowCentresOnTheScreenOrKeepsToItsEdges) {
  struct TCase {
    int ScreenWidth, ScreenHeight, Width, Height, Left, Top;
  };
  const TCase cases[] = {
      {1024, 768, 514, 354, 255, 207},
      {1024, 768, 515, 355, 254, 206},  // the half pixel is dropped
      {400, 768, 514, 354, 0, 207},    // wider than the screen: left edge
      {1024, 300, 514, 354, 255, 0},   // higher than the screen: top edge
  };
  for (const auto& c : cases) {
    TScreenSettings screen;
    screen.Width = c.ScreenWidth;
    screen.Height = c.ScreenHeight;
    SetScreenSettings(screen);
    TForm form(nullptr);
    form.SetPosition(TPosition::poScreenCenter);
    form.SetClientWidth(c.Width);
    form.SetClientHeight(c.Height);
    form.Show();
    auto* state = headless_->WindowState(form.BackendWindow());
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->Left, c.Left) << c.ScreenWidth << " " << c.Width;
    EXPECT_EQ(state->Top, c.Top) << c.ScreenHeight << " " << c.Height;
    EXPECT_EQ(state->Width, c.Width);
    EXPECT_EQ(state->Height, c.Height);
    // Only the first show places the form.
    form.Hide();
    form.SetLeft(3);
    form.Show();
    EXPECT_EQ(state->Left, 3);
  }
}

TEST_F(FormsTest, BorderAndStayOnTopFollowTheFormAtRunTime) {
  TForm form(nullptr);
  form.SetBorderStyle(TFormBorderStyle::bsNone);
  form.SetFormStyle(TFormStyle::fsStayOnTop);
  form.SetCaption("Install");
  form.Show();
  auto* state = headless_->WindowState(form.BackendWindow());
  EXPECT_FALSE(state->Decorated);
  EXPECT_TRUE(state->StayOnTop);
  EXPECT_TRUE(state->Visible);
  EXPECT_EQ(state->Caption, "Install");
  EXPECT_EQ(state->ClassName, "TForm");
  form.SetFormStyle(TFormStyle::fsNormal);
  EXPECT_FALSE(state->StayOnTop);
  form.SetClientHeight(395);
  EXPECT_EQ(state->Height, 395);
  EXPECT_EQ(form.BackBuffer().Height(), 395);
}

TEST_F(FormsTest, InvalidationsAreGatheredIntoOneRepaint) {
  TForm form(nullptr);
  form.SetColor(clBlack);
  form.Show();
  Pump();
  auto* state = headless_->WindowState(form.BackendWindow());
  int before = state->Presents;
  EXPECT_EQ(Pixel(form, 10, 10), clBlack);
  form.SetColor(clRed);
  form.InvalidateRect(Rect(0, 0, 5, 5));
  form.InvalidateRect(Rect(100, 100, 120, 120));
  EXPECT_EQ(Pixel(form, 10, 10), clBlack);  // nothing painted before the loop runs
  Pump();
  EXPECT_EQ(state->Presents, before + 1);
  EXPECT_EQ(Pixel(form, 10, 10), clRed);
}

class TCreatedForm : public TForm {
public:
  explicit TCreatedForm(TComponent* owner) : TForm(owner) {
    OnCreate = [this](TObject*) {
      SeenByCreate = Global;
      if (Fail) throw EInvalidGraphic(FailMessage);
    };
  }
  static TCreatedForm* Global;
  static bool Fail;
  static std::string FailMessage;
  TCreatedForm* SeenByCreate = nullptr;
};
TCreatedForm* TCreatedForm::Global = nullptr;
bool TCreatedForm::Fail = false;
std::string TCreatedForm::FailMessage;

TEST_F(FormsTest, CreateFormSetsTheReferenceFirstAndShowsCreationErrors) {
  app_->SetTitle("Pellisto");
  TCreatedForm::Fail = false;
  app_->CreateForm(TCreatedForm::Global);
  EXPECT_EQ(TCreatedForm::Global->SeenByCreate, TCreatedForm::Global);
  EXPECT_EQ(app_->MainForm(), TCreatedForm::Global);
  EXPECT_TRUE(headless_->Dialogs().empty());

  struct TCase {
    std::string Message, Shown;
  };
  const TCase cases[] = {
      {"Unknown picture file extension (.jpg)", "Unknown picture file extension (.jpg)"},
      {"Image is not a valid GIF", "Image is not a valid GIF."},
      {"Version 9", "Version 9."},
      {"Done.", "Done."},
      {"", ""},
  };
  for (const auto& c : cases) {
    headless_->ClearDialogs();
    TCreatedForm::Fail = true;
    TCreatedForm::FailMessage = c.Message;
    TCreatedForm* second = nullptr;
    app_->CreateForm(second);
    ASSERT_NE(second, nullptr);  // the form stays
    ASSERT_EQ(headless_->Dialogs().size(), 1u);
    const TDialogRequest& box = headless_->Dialogs()[0];
    EXPECT_EQ(box.Caption, "Pellisto");
    EXPECT_EQ(box.Text, c.Shown);
    EXPECT_EQ(box.Icon, TDialogRequest::TIcon::Error);
    EXPECT_EQ(box.Buttons, std::vector<std::string>{"OK"});
  }
  EXPECT_EQ(app_->MainForm(), TCreatedForm::Global);
}

TEST_F(FormsTest, DefaultTitleAndOwnerWindow) {
  struct TCase {
    const char* Path;
    const char* Title;
  };
  const TCase cases[] = {{"/media/cd/PELLISTO.EXE", "Pellisto"},
                         {"/opt/x/pellisto", "pellisto"},
                         {"/opt/x/MyApp.Tool.bin", "Myapp"}};
  for (const auto& c : cases) {
    SetProgramPath(c.Path);
    TApplication app;
    EXPECT_EQ(app.Title(), c.Title);
  }
  SetProgramPath("");
  app_ = std::make_unique<TApplication>();
  app_->SetTitle("Pellisto");
  HWND owner = headless_->FindWindow("TApplication", "Pellisto");
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(headless_->FindWindow("tapplication", "Pellisto"), owner);  // class names ignore case
  EXPECT_EQ(headless_->FindWindow("TApplication", "pellisto"), nullptr);
}

TEST_F(FormsTest, MessageDialogsAreRecordedWithTheirLooks) {
  app_->SetTitle("Pellisto");
  ShowMessage("Max is 9 buttons.\rline two\rhost");
  EXPECT_EQ(MessageDlg("Sure?", TMsgDlgType::mtConfirmation, mbYes | mbNo), mrYes);
  EXPECT_EQ(MessageBox(nullptr, "Gone", "Caption", MB_OKCANCEL | MB_ICONWARNING), IDOK);
  ASSERT_EQ(headless_->Dialogs().size(), 3u);
  const auto& d = headless_->Dialogs();
  EXPECT_EQ(d[0], (TDialogRequest{"Pellisto", "Max is 9 buttons.\rline two\rhost", TDialogRequest::TIcon::None, {"OK"}}));
  EXPECT_EQ(d[1].Caption, "Confirm");
  EXPECT_EQ(d[1].Icon, TDialogRequest::TIcon::Question);
  EXPECT_EQ(d[2], (TDialogRequest{"Caption", "Gone", TDialogRequest::TIcon::Warning, {"OK", "Cancel"}}));
}

class TClosingForm : public TForm {
public:
  explicit TClosingForm(TComponent* owner) : TForm(owner) {
    auto* button = new TSpeedButton(this);
    button->SetBounds(10, 10, 50, 20);
    button->OnClick = [this](TObject*) { Close(); };
    button->SetParent(this);
  }
};

TEST_F(FormsTest, ClosingTheMainFormEndsTheLoop) {
  for (bool byWindowManager : {false, true}) {
    app_ = std::make_unique<TApplication>();
    TClosingForm* form = nullptr;
    app_->CreateForm(form);
    form->Show();
    Pump();
    if (byWindowManager) HeadlessCloseRequest(*form);
    else HeadlessClick(*form, 20, 15);
    app_->Run();  // returns once the close was handled
    EXPECT_TRUE(app_->Terminated());
  }
}

TEST_F(FormsTest, RendersToABitmapFileWithoutADisplay) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  form.SetColor(RGB(10, 20, 30));
  form.OnPaint = [&form](TObject*) {
    form.Canvas().Brush().SetColor(clRed);
    form.Canvas().FillRect(Rect(5, 5, 10, 10));
  };
  std::string file = testing::TempDir() + "/form.bmp";
  form.SaveToBitmapFile(file);
  TBitmap back;
  back.LoadFromFile(file);
  EXPECT_EQ(back.Width(), 40);
  EXPECT_EQ(back.Height(), 30);
  EXPECT_EQ(back.Canvas().Pixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(back.Canvas().Pixel(7, 7), clRed);
  std::remove(file.c_str());
}

}  // namespace

namespace {

TEST_F(FormsTest, AWindowDCDrawsOnTheFormsBackBuffer) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 40, 30);
  form.PaintAll();
  HDC dc = GetDC(form.Handle());
  ASSERT_NE(dc, nullptr);
  SetPixel(dc, 3, 4, clRed);
  ReleaseDC(form.Handle(), dc);
  EXPECT_EQ(form.Canvas().Pixel(3, 4), clRed);
}

}  // namespace

namespace {

TEST_F(FormsTest, ShowModalRunsUntilAResultIsSet) {
  TForm dialog(nullptr);
  auto* ok = new TSpeedButton(&dialog);
  ok->SetBounds(10, 10, 40, 20);
  ok->OnClick = [&dialog](TObject*) { dialog.SetModalResult(mrOk); };
  ok->SetParent(&dialog);
  HeadlessClick(dialog, 20, 20);
  EXPECT_EQ(dialog.ShowModal(), mrOk);
  EXPECT_FALSE(dialog.FormVisible());
  // Closing it answers Cancel; a quit ends it and stays for the outer loop.
  HeadlessCloseRequest(dialog);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  PostQuitMessage(0);
  EXPECT_EQ(dialog.ShowModal(), mrCancel);
  Pump();
  EXPECT_TRUE(app_->Terminated());
}

}  // namespace
