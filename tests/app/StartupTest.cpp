// The entry sequence: the single-instance rule and the running launcher.

#include "app/Launcher.h"
#include "platform/shell/WindowServices.h"
#include "platform/threads/Messages.h"
#include "platform/ui/Buttons.h"
#include "tests/app/LauncherTestSupport.h"

using namespace platform;

namespace {

class StartupTest : public launchertest::LauncherFixture {};

TEST_F(StartupTest, SecondStartActivatesTheRunningLauncherAndEnds) {
  struct TCase {
    bool Iconic;
    std::vector<std::string> Calls;
  };
  const TCase cases[] = {
      {true, {"IsIconic", "ShowWindow 9", "SetForegroundWindow"}},
      {false, {"IsIconic", "BringWindowToTop", "SetForegroundWindow"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Iconic ? "minimised" : "open");
    ResetBackend();
    headless_ = &UseHeadlessBackend();
    headless_->AddDesktopWindow("TApplication", "Other");
    // Any program's owner window of that class and caption counts.
    HWND running = headless_->AddDesktopWindow("TApplication", "Pellisto", c.Iconic);
    headless_->AddDesktopWindow("TForm1", "Pellisto");

    EXPECT_EQ(launcher::RunLauncher(), 0);
    EXPECT_EQ(headless_->DesktopCalls(), c.Calls);
    EXPECT_EQ(headless_->Foreground(), running);
    EXPECT_FALSE(headless_->DesktopWindow(running)->Iconic);
    // Nothing of its own was made.
    EXPECT_TRUE(headless_->Windows().empty());
    EXPECT_EQ(Application, nullptr);
    EXPECT_EQ(launcher::Form1, nullptr);
  }
}

TEST_F(StartupTest, RunsTheWindowUntilItClosesWhenNoLauncherIsFound) {
  headless_->AddDesktopWindow("TApplication", "Other");
  headless_->AddDesktopWindow("TForm1", "Pellisto");
  MakeEntries(5);

  // Looks at the running launcher from inside its loop, then presses "X".
  struct TSeen {
    bool Ran = false, Found = false, Shown = false;
    std::string Title;
    int Height = 0;
  } seen;
  HWND probe = AllocateHWnd([&](UINT message, WPARAM, LPARAM) -> LRESULT {
    if (message != WM_USER) return 0;
    seen.Ran = true;
    seen.Found = FindWindow("TApplication", "Pellisto") != nullptr;
    seen.Title = Application ? Application->Title() : "";
    if (launcher::Form1) {
      seen.Shown = launcher::Form1->FormVisible();
      seen.Height = launcher::Form1->ClientHeight();
      launcher::Form1->SpeedButton2->Click();
    }
    return 0;
  });
  PostMessage(probe, WM_USER, 0, 0);
  EXPECT_EQ(launcher::RunLauncher(), 0);
  DeallocateHWnd(probe);

  EXPECT_TRUE(seen.Ran);
  EXPECT_TRUE(seen.Found);
  EXPECT_TRUE(seen.Shown);
  EXPECT_EQ(seen.Title, "Pellisto");
  EXPECT_EQ(seen.Height, 395);
  EXPECT_TRUE(headless_->DesktopCalls().empty());
  EXPECT_EQ(launcher::Form1, nullptr);
  EXPECT_EQ(Application, nullptr);
}

}  // namespace
