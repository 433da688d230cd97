// Entry buttons from the data folder: placement, growth, the limit, captions.

#include <map>

#include "platform/ui/ExtCtrls.h"
#include "tests/app/LauncherTestSupport.h"

using namespace platform;
using launcher::TForm1;

namespace {

const std::string LimitText =
    "Max is 9 buttons.\rPlease get Kelvane3 for Web-like presentations with unlimited buttons.\rpellisto.org";

class EntryButtonsTest : public launchertest::LauncherFixture {};

TEST_F(EntryButtonsTest, PlacesUpToNineButtonsAndGrowsTheWindowBeyondFour) {
  struct TCase {
    const char* Height;  // "buttonheight", nullptr for none
    int Step, Top;       // template height + 8, and the first top
  };
  for (const TCase& layout : {TCase{nullptr, 41, 83}, TCase{"50", 58, 83}}) {
    if (layout.Height) Write("options.ini", std::string("[kelvane1]\nbuttonheight=") + layout.Height + "\n");
    for (int entries = 0; entries <= 11; ++entries) {
      SCOPED_TRACE(std::to_string(entries) + " entries, step " + std::to_string(layout.Step));
      std::filesystem::remove_all(folder_ + "data");
      MakeEntries(entries);
      headless_->ClearDialogs();
      TForm1& form = Start();

      const int n = std::min(entries, 9);
      std::vector<int> tops, expected;
      for (auto* b : EntryButtons(form)) tops.push_back(b->Top());
      for (int i = 0; i < n; ++i) expected.push_back(layout.Top + i * layout.Step);
      std::sort(tops.begin(), tops.end());
      EXPECT_EQ(tops, expected);

      const int extra = n > 4 ? layout.Step * (n - 4) : 0;
      EXPECT_EQ(form.ClientHeight(), 354 + extra);
      EXPECT_EQ(form.Image1->Top(), 251 + extra);
      // Nothing else moves.
      EXPECT_EQ(form.OutLabel1->Top(), 332);
      EXPECT_EQ(form.SpeedButton2->Top(), 24);
      EXPECT_EQ(form.SpeedButton3->Top(), 24);
      EXPECT_EQ(form.Label1->Top(), 8);

      if (entries > 9) {
        ASSERT_EQ(headless_->Dialogs().size(), 1u);
        EXPECT_EQ(headless_->Dialogs()[0], (TDialogRequest{"Pellisto", LimitText, TDialogRequest::TIcon::None, {"OK"}}));
      } else {
        EXPECT_TRUE(headless_->Dialogs().empty());
      }
      app_.reset();
    }
  }
}

TEST_F(EntryButtonsTest, WindowHeightsAndPictureTopsWithTheLayoutValues) {
  const int heights[] = {354, 354, 354, 354, 354, 395, 436, 477, 518, 559};
  const int pictures[] = {251, 251, 251, 251, 251, 292, 333, 374, 415, 456};
  for (int n = 0; n <= 9; ++n) {
    std::filesystem::remove_all(folder_ + "data");
    MakeEntries(n);
    TForm1& form = Start();
    EXPECT_EQ(form.ClientHeight(), heights[n]) << n;
    EXPECT_EQ(form.Image1->Top(), pictures[n]) << n;
    app_.reset();
  }
}

TEST_F(EntryButtonsTest, CaptionsPathsAndLooksOfTheButtons) {
  Write("options.ini", "[kelvane1]\nlabelcolor=clYellow\nbuttoncolor=clAqua\n");
  const std::map<std::string, std::string> captions = {
      {"setup.exe", "setup"}, {"archive.tar.gz", "archive.tar"}, {"Tools", "Tools"},
      {".profile", ""},       {"README", "README"},             {"Read me.txt", "Read me"},
  };
  for (const auto& [name, caption] : captions) {
    if (name == "Tools") MakeFolder("data/" + name);
    else Write("data/" + name, "x");
  }
  TForm1& form = Start();
  std::map<std::string, std::string> got;
  for (auto* b : EntryButtons(form)) {
    ASSERT_EQ(b->Hint().rfind(folder_ + "data/", 0), 0u) << b->Hint();
    got[b->Hint().substr(folder_.size() + 5)] = b->Caption();
    SCOPED_TRACE(b->Hint());
    EXPECT_EQ(b->Left(), 104);
    EXPECT_EQ(b->Width(), 305);
    EXPECT_EQ(b->Height(), 33);
    EXPECT_TRUE(b->Flat());
    EXPECT_TRUE(b->Visible());
    EXPECT_EQ(b->Parent(), &form);
    EXPECT_EQ(b->Font().Name(), "Arial");
    EXPECT_EQ(b->Font().Size(), 14);
    EXPECT_EQ(b->Font().Style(), 0);
    // "buttoncolor" colours every button; "labelcolor" only the title.
    EXPECT_EQ(b->Font().Color(), clAqua);
  }
  EXPECT_EQ(got, captions);
  EXPECT_EQ(form.SpeedButton2->Font().Color(), clAqua);
  EXPECT_EQ(form.SpeedButton3->Font().Color(), clAqua);
  EXPECT_EQ(form.Label1->Font().Color(), clYellow);
  EXPECT_EQ(form.OutLabel1->Font().Color(), clWhite);
  // Five buttons and more: the window has grown by two steps.
  EXPECT_EQ(form.ClientHeight(), 354 + 2 * 41);
}

TEST_F(EntryButtonsTest, MissingOrEmptyDataFolderGivesNoButtons) {
  for (bool folder : {false, true}) {
    if (folder) MakeFolder("data");
    TForm1& form = Start();
    EXPECT_TRUE(EntryButtons(form).empty());
    EXPECT_TRUE(headless_->Dialogs().empty());
    EXPECT_EQ(form.ClientHeight(), 354);
    app_.reset();
  }
}

}  // namespace
