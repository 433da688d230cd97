// The launcher window's layout, its settings file and its picture.

#include <optional>

#include "app/Maker.h"
#include "controls/OutlLabel.h"
#include "platform/graphics/Graphic.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "tests/app/LauncherTestSupport.h"

using namespace platform;
using launcher::TForm1;

namespace {

class WindowTest : public launchertest::LauncherFixture {};

TEST_F(WindowTest, LayoutWithoutSettings) {
  TForm1& form = Start();
  EXPECT_EQ(form.ClientWidth(), 514);
  EXPECT_EQ(form.ClientHeight(), 354);
  EXPECT_EQ(form.BorderStyle(), TFormBorderStyle::bsNone);
  EXPECT_EQ(form.FormStyle(), TFormStyle::fsStayOnTop);
  EXPECT_EQ(form.Position(), TPosition::poScreenCenter);
  EXPECT_EQ(form.Caption(), "Install");
  EXPECT_EQ(form.Color(), clBlack);
  EXPECT_EQ(form.Font().Name(), "MS Sans Serif");
  EXPECT_EQ(form.Font().Height(), -11);
  EXPECT_EQ(form.Font().Color(), clWindowText);

  // Bottom to top.
  std::vector<std::string> zorder;
  for (int i = 0; i < form.ControlCount(); ++i) zorder.push_back(form.Controls(i)->Name());
  EXPECT_EQ(zorder, (std::vector<std::string>{"Bevel1", "Label1", "SpeedButton1", "Image1", "SpeedButton2",
                                               "SpeedButton3", "OutLabel1"}));

  // The advert label sizes itself to one line of its font: 13 pixels.
  ASSERT_EQ(form.OutLabel1->Height(), 13);
  struct TPlace {
    TControl* Control;
    int Left, Top, Width, Height;  // -1: sized by its caption
  };
  const TPlace places[] = {
      {form.Bevel1, 0, 0, 514, 354},        {form.Label1, 16, 8, -1, -1},
      {form.SpeedButton1, 104, 83, 305, 33}, {form.Image1, 64, 251, 437, 86},
      {form.SpeedButton2, 448, 24, 49, 25},  {form.SpeedButton3, 392, 24, 49, 25},
      {form.OutLabel1, 68, 332, -1, 13},
  };
  for (const auto& p : places) {
    SCOPED_TRACE(p.Control->Name());
    EXPECT_EQ(p.Control->Left(), p.Left);
    EXPECT_EQ(p.Control->Top(), p.Top);
    if (p.Width >= 0) {
      EXPECT_EQ(p.Control->Width(), p.Width);
    }
    if (p.Height >= 0) {
      EXPECT_EQ(p.Control->Height(), p.Height);
    }
  }

  struct TFontCase {
    TControl* Control;
    const char* Name;
    int Height;
    TColor Color;
  };
  const TFontCase fonts[] = {
      {form.Label1, "Times New Roman", -53, clWhite},
      {form.SpeedButton2, "MS Sans Serif", -11, clWhite},
      {form.SpeedButton3, "MS Sans Serif", -11, clWhite},
      {form.OutLabel1, "MS Sans Serif", -11, clWhite},
  };
  for (const auto& f : fonts) {
    SCOPED_TRACE(f.Control->Name());
    EXPECT_EQ(f.Control->Font().Name(), f.Name);
    EXPECT_EQ(f.Control->Font().Height(), f.Height);
    EXPECT_EQ(f.Control->Font().Color(), f.Color);
    EXPECT_EQ(f.Control->Font().Style(), 0);
  }

  EXPECT_EQ(form.Label1->Caption(), "Install");
  EXPECT_TRUE(form.Label1->AutoSize());
  EXPECT_TRUE(form.Label1->ParentColor());
  EXPECT_FALSE(form.SpeedButton1->Visible());
  EXPECT_TRUE(form.SpeedButton1->Flat());
  EXPECT_EQ(form.SpeedButton2->Caption(), "X");
  EXPECT_EQ(form.SpeedButton3->Caption(), "CD");
  EXPECT_TRUE(form.SpeedButton2->Flat() && form.SpeedButton3->Flat());
  EXPECT_TRUE(form.Image1->Transparent());
  EXPECT_FALSE(form.Image1->Stretch() || form.Image1->Center());
  EXPECT_EQ(form.Image1->Picture().Graphic(), nullptr);
  EXPECT_EQ(form.Image1->Hint(), "");
  EXPECT_EQ(form.Bevel1->Style(), TBevelStyle::bsRaised);
  EXPECT_EQ(form.Bevel1->Align(), TAlign::alClient);
  EXPECT_EQ(form.OutLabel1->Cursor(), crHandPoint);
  EXPECT_TRUE(form.OutLabel1->Transparent());
  EXPECT_EQ(form.OutLabel1->Color(), clWhite);
  EXPECT_EQ(form.OutLabel1->ColourShadow(), clBlack);
  EXPECT_NE(form.OutLabel1->Caption().find(launcher::MakerHostName), std::string::npos);
  EXPECT_TRUE(EntryButtons(form).empty());
  EXPECT_TRUE(headless_->Dialogs().empty());
}

TEST_F(WindowTest, ShownCentredBorderlessAndOnTop) {
  struct TCase {
    int Entries, Height, Top;
  };
  for (const TCase& c : {TCase{0, 354, 207}, TCase{5, 395, 186}}) {
    MakeEntries(c.Entries);
    TForm1& form = Start();
    form.Show();
    const auto* state = headless_->WindowState(form.BackendWindow());
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->Width, 514);
    EXPECT_EQ(state->Height, c.Height);
    EXPECT_EQ(state->Left, 255);
    EXPECT_EQ(state->Top, c.Top);
    EXPECT_FALSE(state->Decorated);
    EXPECT_TRUE(state->StayOnTop);
    EXPECT_TRUE(state->Visible);
    // The bevel follows the grown window.
    EXPECT_EQ(form.Bevel1->Height(), c.Height);
    app_.reset();
  }
}

// What the settings leave on the window. The picture named by "image"
// (pic.bmp) shows whether the reading got that far.
struct TSettings {
  std::string Caption = "Install";
  TColor LabelColor = clWhite, XColor = clWhite, CDColor = clWhite;
  int ButtonHeight = 33;
  TColor Background = clBlack;
  std::string Hint;
  bool ImageRead = false;
};

TSettings Observe(TForm1& form) {
  TSettings s;
  s.Caption = form.Label1->Caption();
  s.LabelColor = form.Label1->Font().Color();
  s.XColor = form.SpeedButton2->Font().Color();
  s.CDColor = form.SpeedButton3->Font().Color();
  s.ButtonHeight = form.SpeedButton1->Height();
  s.Background = form.Color();
  s.Hint = form.Image1->Hint();
  s.ImageRead = form.Image1->Picture().Graphic() != nullptr;
  return s;
}

TEST_F(WindowTest, SettingsFileKeysDefaultsAndTheValueThatStopsTheReading) {
  const std::string maker = launcher::MakerWebAddress;
  auto make = [](auto&& change) {
    TSettings s;
    change(s);
    return s;
  };
  struct TCase {
    const char* Name;
    std::optional<std::string> Ini;  // none: no options.ini
    TSettings Expected;
  };
  // Every key set, each case then changes one line.
  auto all = [](const std::string& key, const std::string& value) {
    std::string lines[][2] = {{"label", "Demo"},          {"labelcolor", "clRed"},
                              {"buttoncolor", "$00FF00"}, {"buttonheight", "40"},
                              {"backgroundcolor", "128"}, {"imageURL", "http://example.org/x"},
                              {"image", "pic.bmp"}};
    std::string ini = "[other]\nlabel=Elsewhere\n[kelvane1]\n";
    for (auto& l : lines) ini += l[0] + "=" + (l[0] == key ? value : l[1]) + "\n";
    return ini;
  };
  TSettings full = make([](TSettings& s) {
    s.Caption = "Demo";
    s.LabelColor = clRed;
    s.XColor = s.CDColor = clLime;
    s.ButtonHeight = 40;
    s.Background = 128;
    s.Hint = "http://example.org/x";
    s.ImageRead = true;
  });
  auto fullWith = [&](auto&& change) {
    TSettings s = full;
    change(s);
    return s;
  };
  const TCase cases[] = {
      {"no file", std::nullopt, TSettings{}},
      {"section without keys", "[kelvane1]\n", make([&](TSettings& s) { s.Hint = maker; })},
      {"other section only", "[other]\nlabel=Elsewhere\n", make([&](TSettings& s) { s.Hint = maker; })},
      {"every key", all("", ""), full},
      {"colour name in lower case", all("labelcolor", "clred"), full},
      {"colour name in upper case", all("labelcolor", "CLRED"), full},
      {"hexadecimal colour", all("labelcolor", "$0000FF"), full},
      {"decimal colour", all("labelcolor", "255"), full},
      {"system colour", all("backgroundcolor", "clBtnFace"), fullWith([](TSettings& s) { s.Background = clBtnFace; })},
      {"no colour", all("labelcolor", "clNone"), fullWith([](TSettings& s) { s.LabelColor = clNone; })},
      {"label colour stops", all("labelcolor", "red"), make([](TSettings& s) { s.Caption = "Demo"; })},
      {"button colour stops", all("buttoncolor", "green!"), make([](TSettings& s) {
         s.Caption = "Demo";
         s.LabelColor = clRed;
       })},
      {"background stops after the height and the CD colour", all("backgroundcolor", "#808080"),
       make([](TSettings& s) {
         s.Caption = "Demo";
         s.LabelColor = clRed;
         s.XColor = s.CDColor = clLime;
         s.ButtonHeight = 40;
       })},
      {"height 50", all("buttonheight", "50"), fullWith([](TSettings& s) { s.ButtonHeight = 50; })},
      {"height abc keeps 33", all("buttonheight", "abc"), fullWith([](TSettings& s) { s.ButtonHeight = 33; })},
      {"height 0", all("buttonheight", "0"), fullWith([](TSettings& s) { s.ButtonHeight = 0; })},
      {"height -5", all("buttonheight", "-5"), fullWith([](TSettings& s) { s.ButtonHeight = -5; })},
      {"empty address", all("imageURL", ""), fullWith([](TSettings& s) { s.Hint = ""; })},
  };
  WriteBitmap("pic.bmp", 20, 10);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove(folder_ + "options.ini");
    if (c.Ini) Write("options.ini", *c.Ini);
    TSettings got = Observe(Start());
    const TSettings& want = c.Expected;
    EXPECT_EQ(got.Caption, want.Caption);
    EXPECT_EQ(got.LabelColor, want.LabelColor);
    EXPECT_EQ(got.XColor, want.XColor);
    EXPECT_EQ(got.CDColor, want.CDColor);
    EXPECT_EQ(got.ButtonHeight, want.ButtonHeight);
    EXPECT_EQ(got.Background, want.Background);
    EXPECT_EQ(got.Hint, want.Hint);
    EXPECT_EQ(got.ImageRead, want.ImageRead);
    EXPECT_TRUE(headless_->Dialogs().empty());
    app_.reset();
  }
}

TEST_F(WindowTest, SettingsFileThatIsAFolderIsNotRead) {
  MakeFolder("options.ini");
  TForm1& form = Start();
  EXPECT_EQ(form.Image1->Hint(), "");
  EXPECT_EQ(form.Label1->Caption(), "Install");
}

TEST_F(WindowTest, PictureFile) {
  struct TCase {
    const char* Name;
    const char* Image;          // the "image" value; nullptr: no options.ini
    const char* Error;          // the error box's text, nullptr for none
    int PictureWidth;           // 0: no picture
  };
  const TCase cases[] = {
      {"missing picture.gif", nullptr, nullptr, 0},
      {"missing named file", "none.bmp", nullptr, 0},
      {"bitmap", "pic.bmp", nullptr, 20},
      {"extension in capitals", "PIC2.BMP", nullptr, 30},
      {"bitmap in a subfolder", "art/logo.bmp", nullptr, 40},
      {"unknown extension", "photo.jpg", "Unknown picture file extension (.jpg)", 0},
  };
  WriteBitmap("pic.bmp", 20, 10);
  WriteBitmap("PIC2.BMP", 30, 10);
  WriteBitmap("art/logo.bmp", 40, 10);
  Write("photo.jpg", "\xFF\xD8\xFF\xE0 not really a JPEG");
  MakeEntries(2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove(folder_ + "options.ini");
    if (c.Image) Write("options.ini", std::string("[kelvane1]\nimage=") + c.Image + "\n");
    headless_->ClearDialogs();
    TForm1& form = Start();
    TGraphic* graphic = form.Image1->Picture().Graphic();
    EXPECT_EQ(graphic ? graphic->Width() : 0, c.PictureWidth);
    if (c.Error) {
      ASSERT_EQ(headless_->Dialogs().size(), 1u);
      EXPECT_EQ(headless_->Dialogs()[0],
                (TDialogRequest{"Pellisto", c.Error, TDialogRequest::TIcon::Error, {"OK"}}));
      // The creation stopped at the picture: no shift, no entry buttons.
      EXPECT_EQ(form.SpeedButton1->Top(), 96);
      EXPECT_EQ(form.Image1->Top(), 264);
      EXPECT_TRUE(EntryButtons(form).empty());
    } else {
      EXPECT_TRUE(headless_->Dialogs().empty());
      EXPECT_EQ(form.SpeedButton1->Top(), 83);
      EXPECT_EQ(form.Image1->Top(), 251);
      EXPECT_EQ(EntryButtons(form).size(), 2u);
    }
    app_.reset();
  }
}

TEST_F(WindowTest, DamagedPictureIsReportedWithAPeriodAndStopsTheCreation) {
  Write("options.ini", "[kelvane1]\nimage=bad.bmp\n");
  Write("bad.bmp", "BM this is no bitmap");
  MakeEntries(1);
  TForm1& form = Start();
  ASSERT_EQ(headless_->Dialogs().size(), 1u);
  const TDialogRequest& box = headless_->Dialogs()[0];
  EXPECT_EQ(box.Caption, "Pellisto");
  EXPECT_EQ(box.Icon, TDialogRequest::TIcon::Error);
  ASSERT_FALSE(box.Text.empty());
  EXPECT_EQ(box.Text.back(), '.');
  EXPECT_EQ(form.Image1->Picture().Graphic(), nullptr);
  EXPECT_TRUE(EntryButtons(form).empty());
  EXPECT_EQ(form.SpeedButton1->Top(), 96);
}

}  // namespace
