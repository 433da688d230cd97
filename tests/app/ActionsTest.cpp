// The window's click actions: what reaches the shell, and whether the
// launcher stays.

#include "app/Maker.h"
#include "controls/OutlLabel.h"
#include "platform/ui/ExtCtrls.h"
#include "tests/app/LauncherTestSupport.h"

using namespace platform;
using launcher::TForm1;
using Kind = TShellRequest::TKind;

namespace platform {
void PrintTo(const TShellRequest& r, std::ostream* out) {
  *out << (r.Kind == Kind::Exec ? "Exec \"" + r.CmdLine : "Execute \"" + r.File) << "\" " << r.ShowCmd;
}
}  // namespace platform

namespace {

TShellRequest Open(const std::string& file) { return {Kind::Execute, "", file, "", "", "", SW_SHOWNORMAL}; }
TShellRequest Exec(const std::string& line) { return {Kind::Exec, "", "", "", "", line, SW_SHOW}; }

class ActionsTest : public launchertest::LauncherFixture {
protected:
  TForm1& Shown() {
    TForm1& form = Start();
    form.Show();
    Pump();
    return form;
  }
};

TEST_F(ActionsTest, EntryButtonOpensItsPathAndCloses) {
  // A deleted entry is handed over all the same, and the launcher closes.
  for (bool deleted : {false, true}) {
    SCOPED_TRACE(deleted ? "deleted entry" : "entry");
    Write("data/Read me.txt", "x");
    TForm1& form = Shown();
    auto buttons = EntryButtons(form);
    ASSERT_EQ(buttons.size(), 1u);
    if (deleted) std::filesystem::remove(folder_ + "data/Read me.txt");
    Click(form, *buttons[0]);
    EXPECT_EQ(shell_->Requests(), std::vector<TShellRequest>{Open(folder_ + "data/Read me.txt")});
    EXPECT_TRUE(app_->Terminated());
    shell_->Clear();
    app_.reset();
  }
}

TEST_F(ActionsTest, XCloses) {
  TForm1& form = Shown();
  Click(form, *form.SpeedButton2);
  EXPECT_TRUE(shell_->Requests().empty());
  EXPECT_TRUE(app_->Terminated());
}

TEST_F(ActionsTest, PictureAndAdvertLabelOpenTheirAddressesAndStay) {
  struct TCase {
    const char* Name;
    const char* Ini;  // nullptr: no options.ini
    bool Label;       // click the advert label, else the picture
    std::string Opened;
  };
  const TCase cases[] = {
      // No picture is loaded: the picture's area still reacts.
      {"picture, no settings", nullptr, false, ""},
      {"picture, default address", "[kelvane1]\n", false, launcher::MakerWebAddress},
      {"picture, own address", "[kelvane1]\nimageURL=https://example.org/cd\n", false, "https://example.org/cd"},
      {"picture, a document", "[kelvane1]\nimageURL=docs/manual.pdf\n", false, "docs/manual.pdf"},
      {"advert label", "[kelvane1]\nimageURL=https://example.org/cd\n", true, launcher::MakerWebAddress},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    std::filesystem::remove(folder_ + "options.ini");
    if (c.Ini) Write("options.ini", c.Ini);
    TForm1& form = Shown();
    ASSERT_EQ(form.Image1->Picture().Graphic(), nullptr);
    if (c.Label) Click(form, *form.OutLabel1);
    else Click(form, *form.Image1);
    EXPECT_EQ(shell_->Requests(), std::vector<TShellRequest>{Open(c.Opened)});
    EXPECT_FALSE(app_->Terminated());
    EXPECT_EQ(form.FormStyle(), TFormStyle::fsStayOnTop);
    shell_->Clear();
    app_.reset();
  }
}

TEST_F(ActionsTest, CDStartsTheFileManagerAndStopsStayingOnTop) {
  TForm1& form = Shown();
  const auto* state = headless_->WindowState(form.BackendWindow());
  ASSERT_TRUE(state->StayOnTop);
  struct TCase {
    const char* Name;
    void (*Prepare)(const std::string& windows);
    const char* Command;
  };
  const TCase cases[] = {
      {"no explorer.exe", [](const std::string&) {}, "WINFILE "},
      {"explorer.exe is a folder",
       [](const std::string& w) { std::filesystem::create_directories(w + "/explorer.exe"); }, "WINFILE "},
      {"explorer.exe",
       [](const std::string& w) {
         std::filesystem::remove(w + "/explorer.exe");
         std::ofstream(w + "/explorer.exe") << "MZ";
       },
       "EXPLORER "},
  };
  // Every click repeats the command; the style stays normal.
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    c.Prepare(windows_);
    Click(form, *form.SpeedButton3);
    EXPECT_EQ(shell_->Requests(), std::vector<TShellRequest>{Exec(c.Command + folder_)});
    EXPECT_FALSE(app_->Terminated());
    EXPECT_EQ(form.FormStyle(), TFormStyle::fsNormal);
    EXPECT_FALSE(state->StayOnTop);
    shell_->Clear();
  }
}

TEST_F(ActionsTest, CDCommandIsBuiltAtFullLengthForLongFolders) {
  // Past the 144 characters of the classic command buffer, with blanks in
  // the folder, and a Windows directory longer than 143 characters.
  const std::string longName(150, 'f');
  UseProgramFolder(root_ + "/a folder/" + longName + "/");
  const std::string longWindows = root_ + "/" + std::string(160, 'w');
  std::filesystem::create_directories(longWindows);
  std::ofstream(longWindows + "/explorer.exe") << "MZ";
  platform::SetWindowsDirectory(longWindows);

  TForm1& form = Shown();
  Click(form, *form.SpeedButton3);
  const std::string expected = "EXPLORER " + folder_;
  ASSERT_GT(expected.size(), 145u);
  EXPECT_EQ(shell_->Requests(), std::vector<TShellRequest>{Exec(expected)});
}

}  // namespace
