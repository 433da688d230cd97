// pellisto-gif frames: the painted frames as BMPs, compared with
// ImageMagick's coalesced frames (its transparency shows the background).

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Gdi.h"

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";

int Frames(const std::string& args) {
  const int status = std::system((std::string(PELLISTO_GIF_TOOL) + " frames " + args + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint32_t> Pixels(const std::string& bmp) {
  platform::TBitmap bitmap;
  bitmap.LoadFromFile(bmp);
  const int32_t w = bitmap.GetWidth(), h = bitmap.GetHeight();
  std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
  platform::BITMAPINFO info{};
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biBitCount = 32;
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  platform::GetDIBits(dc, bitmap.Handle(), 0, static_cast<uint32_t>(h), out.data(), &info, platform::DIB_RGB_COLORS);
  platform::DeleteDC(dc);
  for (uint32_t& p : out) p &= 0xFFFFFF;
  return out;
}

TEST(FramesTool, WritesEachPaintedFrameAsTheCoalescedFrame) {
  const std::string dir = testing::TempDir() + "pellisto-frames";
  std::system(("rm -rf '" + dir + "'").c_str());
  ASSERT_EQ(Frames("'" + kCorpus + "animated-red-blue.gif' '" + dir + "' --background 010203"), 0);
  if (access("/usr/bin/convert", X_OK) != 0) GTEST_SKIP() << "no ImageMagick";
  const std::string command = "/usr/bin/convert '" + kCorpus + "animated-red-blue.gif' -coalesce -depth 8 RGBA:-";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::vector<uint8_t> rgba(64 * 48 * 4);
  int frame = 0;
  for (; fread(rgba.data(), 1, rgba.size(), pipe.get()) == rgba.size(); ++frame) {
    char name[16];
    std::snprintf(name, sizeof name, "/%03d.bmp", frame);
    const auto shown = Pixels(dir + name);
    ASSERT_EQ(shown.size(), 64u * 48u) << frame;
    int differ = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
      const uint8_t* p = &rgba[4 * i];
      const uint32_t expected = p[3] == 0 ? 0x010203 : (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
      differ += shown[i] != expected;
    }
    EXPECT_EQ(differ, 0) << "frame " << frame;
  }
  EXPECT_EQ(frame, 4);
  char next[16];
  std::snprintf(next, sizeof next, "/%03d.bmp", frame);
  EXPECT_NE(access((dir + next).c_str(), F_OK), 0);
}

TEST(FramesTool, ExitCodes) {
  const std::string dir = testing::TempDir() + "pellisto-frames-err";
  EXPECT_EQ(Frames(""), 2);
  EXPECT_EQ(Frames("'" + kCorpus + "hat.gif' '" + dir + "' --background red"), 2);
  EXPECT_EQ(Frames("'" + kCorpus + "no-such.gif' '" + dir + "'"), 1);
  EXPECT_EQ(Frames("'" + kCorpus + "hat.gif' '" + dir + "'"), 0);
  EXPECT_EQ(access((dir + "/000.bmp").c_str(), F_OK), 0);
}

}  // namespace
