// pellisto-gif play on a private X display: the window shows the picture
// and it moves.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/e2e/XSession.h"

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";

TEST(PlayTool, TheWindowShowsThePictureMoving) {
  e2e::XSession session(320, 240);
  if (!session.Ok()) GTEST_SKIP() << session.Error();
  const pid_t play = session.Spawn({PELLISTO_GIF_TOOL, "play", kCorpus + "muybridge.gif"});
  std::string window;
  for (int i = 0; i < 200 && window.empty(); ++i) {
    window = session.Run("xdotool search --name 'muybridge.gif' 2>/dev/null | head -1");
    if (window.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_FALSE(window.empty()) << "no window";
  window.erase(window.find_last_not_of(" \n") + 1);
  // Where the window manager put it.
  const std::string at = session.Run("xwininfo -id " + window +
                                     " | sed -n 's/.*Absolute upper-left [XY]: *//p' | tr '\\n' ' '");
  int x = 0, y = 0;
  ASSERT_EQ(std::sscanf(at.c_str(), "%d %d", &x, &y), 2) << at;
  const std::string crop = " -crop 30x20+" + std::to_string(x) + "+" + std::to_string(y) + " +repage ";
  // The frames change about every 60 ms; two shots 250 ms apart differ.
  bool moved = false;
  const std::string shot = "import -window root" + crop + "rgb:- 2>/dev/null | md5sum";
  for (int i = 0; i < 20 && !moved; ++i) {
    const std::string first = session.Run(shot);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    moved = session.Run(shot) != first;
  }
  EXPECT_TRUE(moved);
  // The picture is there: not a plain background.
  const std::string colours = session.Run("import -window root" + crop + "-format %k info: 2>/dev/null");
  EXPECT_GT(std::stoi(colours.empty() ? "0" : colours), 4);
  e2e::Stop(play);
}

}  // namespace
