// The real launcher binary, copied into a launcher folder of its own, on a
// private X display with openbox. A stand-in xdg-open early on PATH writes
// down what the launcher asks the desktop to open.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/e2e/XSession.h"

namespace fs = std::filesystem;

namespace {

const std::string kLauncher = PELLISTO_LAUNCHER;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct TGeometry {
  int X = -1, Y = -1, Width = -1, Height = -1;
};

TGeometry ParseXwininfo(const std::string& text) {
  TGeometry g;
  std::smatch m;
  if (std::regex_search(text, m, std::regex("Absolute upper-left X:\\s+(-?\\d+)"))) g.X = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Absolute upper-left Y:\\s+(-?\\d+)"))) g.Y = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Width:\\s+(\\d+)"))) g.Width = std::stoi(m[1]);
  if (std::regex_search(text, m, std::regex("Height:\\s+(\\d+)"))) g.Height = std::stoi(m[1]);
  return g;
}

std::string Hex(unsigned long id) {
  std::ostringstream out;
  out << "0x" << std::hex << id;
  return out.str();
}

class LauncherE2ETest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!x_.Ok()) GTEST_SKIP() << x_.Error();
    char pattern[] = "/tmp/pellisto-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    cd_ = root_ + "/my cd/";
    fs::create_directories(cd_);
    fs::copy_file(kLauncher, cd_ + "pellisto");
    opened_ = root_ + "/opened.log";
    fs::create_directories(root_ + "/bin");
    std::ofstream(root_ + "/bin/xdg-open") << "#!/bin/sh\nprintf '%s\\n' \"$*\" >> '" << opened_ << "'\n";
    fs::permissions(root_ + "/bin/xdg-open", fs::perms::owner_all);
    fs::create_directories(root_ + "/windows");
    // What the launcher starts finds the stand-in first.
    path_ = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    setenv("PATH", (root_ + "/bin:" + path_).c_str(), 1);
    setenv("PELLISTO_WINDOWS_DIR", (root_ + "/windows").c_str(), 1);
  }

  void TearDown() override {
    for (pid_t pid : started_) e2e::Stop(pid);
    if (!root_.empty()) {
      setenv("PATH", path_.c_str(), 1);
      unsetenv("PELLISTO_WINDOWS_DIR");
      std::error_code ignored;
      fs::remove_all(root_, ignored);
    }
  }

  void Entries(int count) {
    fs::create_directories(cd_ + "data");
    for (int i = 0; i < count; ++i) std::ofstream(cd_ + "data/entry " + std::to_string(i) + ".txt") << "x";
  }

  // Starts the launcher and waits for its window to be mapped; its X id.
  unsigned long Start(std::vector<std::string> args = {}) {
    args.insert(args.begin(), cd_ + "pellisto");
    pid_ = x_.Spawn(args, root_ + "/launcher.out");
    started_.push_back(pid_);
    unsigned long id = 0;
    Eventually([&] {
      std::string found = x_.Run("xdotool search --onlyvisible --class '^TForm1$' 2>/dev/null");
      if (found.empty()) return false;
      id = std::stoul(found);
      return Prop(id, "WM_STATE").find("Normal") != std::string::npos;
    }, 10000);
    return id;
  }

  std::string Prop(unsigned long id, const std::string& name) {
    return x_.Run("xprop -id " + std::to_string(id) + " " + name + " 2>/dev/null");
  }
  bool Above(unsigned long id) { return Prop(id, "_NET_WM_STATE").find("_NET_WM_STATE_ABOVE") != std::string::npos; }
  std::string ActiveWindow() { return x_.Run("xprop -root _NET_ACTIVE_WINDOW 2>/dev/null"); }
  // Top-level clients, bottom to top.
  std::string Stacking() { return x_.Run("xprop -root _NET_CLIENT_LIST_STACKING 2>/dev/null"); }
  bool StackedAbove(unsigned long upper, unsigned long lower) {
    std::string s = Stacking();
    size_t u = s.find(Hex(upper)), l = s.find(Hex(lower));
    return u != std::string::npos && l != std::string::npos && u > l;
  }

  void ClickAt(unsigned long id, int x, int y) {
    x_.Run("xdotool mousemove --window " + std::to_string(id) + " " + std::to_string(x) + " " + std::to_string(y) +
           " click 1");
  }

  // Another program's window, made active.
  unsigned long OtherWindow() {
    started_.push_back(x_.Spawn({"xmessage", "-geometry", "600x500+200+150", "another program"}));
    unsigned long id = 0;
    Eventually([&] {
      std::string found = x_.Run("xdotool search --onlyvisible --class '^Xmessage$' 2>/dev/null");
      if (found.empty()) return false;
      id = std::stoul(found);
      return true;
    }, 10000);
    if (id) {
      x_.Run("xdotool windowactivate " + std::to_string(id) + " 2>/dev/null");
      Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; });
    }
    return id;
  }

  template <class F>
  bool Eventually(F check, int timeoutMs = 5000) {
    for (int waited = 0; waited < timeoutMs; waited += 25) {
      if (check()) return true;
      SleepMs(25);
    }
    return check();
  }

  e2e::XSession x_;
  std::string root_, cd_, opened_, path_;
  pid_t pid_ = 0;
  std::vector<pid_t> started_;
};

TEST_F(LauncherE2ETest, WindowIsCentredUndecoratedAndAboveOtherWindows) {
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  TGeometry g = ParseXwininfo(x_.Run("xwininfo -id " + std::to_string(id)));
  EXPECT_EQ(g.Width, 514);
  EXPECT_EQ(g.Height, 354);
  EXPECT_EQ(g.X, (1024 - 514) / 2);
  EXPECT_EQ(g.Y, (768 - 354) / 2);
  EXPECT_TRUE(Eventually([&] { return Prop(id, "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0") != std::string::npos; }))
      << Prop(id, "_NET_FRAME_EXTENTS");
  EXPECT_TRUE(Eventually([&] { return Above(id); })) << Prop(id, "_NET_WM_STATE");

  // An active window of another program stays below it.
  unsigned long other = OtherWindow();
  ASSERT_NE(other, 0u);
  EXPECT_TRUE(Eventually([&] { return StackedAbove(id, other); })) << Stacking();
}

TEST_F(LauncherE2ETest, FiveEntriesMakeTheWindowTaller) {
  Entries(5);
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  TGeometry g = ParseXwininfo(x_.Run("xwininfo -id " + std::to_string(id)));
  EXPECT_EQ(g.Width, 514);
  EXPECT_EQ(g.Height, 395);
  EXPECT_EQ(g.Y, (768 - 395) / 2);
}

TEST_F(LauncherE2ETest, EntryButtonOpensTheEntryAndTheLauncherExits) {
  Entries(1);
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  // The first button: left 104, top 83, 305 x 33.
  ClickAt(id, 104 + 150, 83 + 16);
  EXPECT_TRUE(e2e::WaitForText(opened_, cd_ + "data/entry 0.txt")) << e2e::ReadFile(opened_);
  EXPECT_EQ(e2e::WaitForExit(pid_, 5000), 0);
  started_.pop_back();
}

TEST_F(LauncherE2ETest, XEndsTheLauncher) {
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  ClickAt(id, 448 + 24, 24 + 12);
  EXPECT_EQ(e2e::WaitForExit(pid_, 5000), 0);
  started_.pop_back();
  EXPECT_EQ(e2e::ReadFile(opened_), "");
}

TEST_F(LauncherE2ETest, CDOpensTheProgramFolderAndTheWindowIsNoLongerAbove) {
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(Eventually([&] { return Above(id); }));
  ClickAt(id, 392 + 24, 24 + 12);
  // The folder with its trailing separator, blank included, as one argument.
  EXPECT_TRUE(e2e::WaitForText(opened_, cd_)) << e2e::ReadFile(opened_);
  EXPECT_EQ(e2e::ReadFile(opened_), cd_ + "\n");
  EXPECT_TRUE(Eventually([&] { return !Above(id); })) << Prop(id, "_NET_WM_STATE");
  // Still running, and now another window can cover it.
  EXPECT_EQ(e2e::WaitForExit(pid_, 200), -1);
  unsigned long other = OtherWindow();
  ASSERT_NE(other, 0u);
  EXPECT_TRUE(Eventually([&] { return StackedAbove(other, id); })) << Stacking();
}

TEST_F(LauncherE2ETest, SecondStartBringsTheFirstToTheFrontAndExits) {
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  auto secondStart = [&] {
    int status = -1;
    auto begin = std::chrono::steady_clock::now();
    // Arguments make no difference.
    x_.Run("'" + cd_ + "pellisto' --some argument >/dev/null 2>&1", &status);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    return status;
  };

  // Behind another program's active window.
  unsigned long other = OtherWindow();
  ASSERT_NE(other, 0u);
  ASSERT_EQ(ActiveWindow().find(Hex(id)), std::string::npos);
  EXPECT_EQ(secondStart(), 0);
  EXPECT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; })) << ActiveWindow();

  // Minimised: restored and made active.
  x_.Run("xdotool windowminimize " + std::to_string(id));
  ASSERT_TRUE(Eventually([&] { return Prop(id, "WM_STATE").find("Iconic") != std::string::npos; }));
  EXPECT_EQ(secondStart(), 0);
  EXPECT_TRUE(Eventually([&] { return Prop(id, "WM_STATE").find("Normal") != std::string::npos; }))
      << Prop(id, "WM_STATE");
  EXPECT_TRUE(Eventually([&] { return ActiveWindow().find(Hex(id)) != std::string::npos; })) << ActiveWindow();

  // Only the first launcher has a window.
  std::string windows = x_.Run("xdotool search --class '^TForm1$' 2>/dev/null");
  EXPECT_EQ(std::count(windows.begin(), windows.end(), '\n'), 1) << windows;
  EXPECT_EQ(e2e::WaitForExit(pid_, 100), -1);
}

TEST_F(LauncherE2ETest, GifPictureIsShownAndNothingIsReported) {
#ifndef PELLISTO_LAUNCHER_GIF
  GTEST_SKIP() << "the launcher is built without the GIF module";
#endif
  fs::copy_file(std::string(PELLISTO_SOURCE_DIR) + "/demo/picture.gif", cd_ + "picture.gif");
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  // No error box: the only window captioned with the title is the hidden owner.
  EXPECT_EQ(x_.Run("xdotool search --onlyvisible --name '^Pellisto$' 2>/dev/null"), "");
  // The picture's area (moved up by the advert label's height) shows more
  // than the black background.
  std::string colours;
  EXPECT_TRUE(Eventually([&] {
    colours = x_.Run("/usr/bin/import -window " + std::to_string(id) + " -crop 437x86+64+251 -format %k info:- 2>/dev/null");
    return !colours.empty() && std::stoi(colours) > 8;
  })) << colours;
}

// The demo picture animates: two shots a few frame delays apart differ
// inside the picture's area and nowhere else.
TEST_F(LauncherE2ETest, AnimatedPictureChangesOnlyInsideItsArea) {
#ifndef PELLISTO_LAUNCHER_GIF
  GTEST_SKIP() << "the launcher is built without the GIF module";
#endif
  fs::copy_file(std::string(PELLISTO_SOURCE_DIR) + "/demo/picture.gif", cd_ + "picture.gif");
  unsigned long id = Start();
  ASSERT_NE(id, 0u);
  constexpr int kWidth = 514, kHeight = 354;
  // The picture box after the shift up by the advert label's height.
  constexpr int kLeft = 64, kTop = 251, kRight = 64 + 437, kBottom = 251 + 86;
  auto shot = [&](const std::string& name) {
    const std::string file = root_ + "/" + name + ".rgb";
    x_.Run("/usr/bin/import -window " + std::to_string(id) + " -depth 8 rgb:'" + file + "' 2>/dev/null");
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // Wait until the painter has drawn something, then take two shots
  // three frame delays (100 ms each) apart.
  ASSERT_TRUE(Eventually([&] { return shot("first").size() == size_t{kWidth * kHeight * 3}; }));
  SleepMs(300);
  const std::string first = shot("first");
  SleepMs(300);
  const std::string second = shot("second");
  ASSERT_EQ(first.size(), size_t{kWidth * kHeight * 3});
  ASSERT_EQ(second.size(), first.size());
  int inside = 0, outside = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const size_t at = static_cast<size_t>(y * kWidth + x) * 3;
      if (first.compare(at, 3, second, at, 3) == 0) continue;
      (x >= kLeft && x < kRight && y >= kTop && y < kBottom ? inside : outside) += 1;
    }
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

TEST(LauncherNoDisplayTest, FailsWithAClearError) {
  std::string command = "DISPLAY=:199 '" + kLauncher + "' 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[512] = {};
  size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
  int rc = pclose(pipe);
  EXPECT_EQ(WEXITSTATUS(rc), 1);
  EXPECT_NE(std::string(buffer, n).find("cannot open display"), std::string::npos) << buffer;
}

}  // namespace
