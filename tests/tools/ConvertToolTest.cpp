// pellisto-gif convert as a user runs it: every reduction method, options,
// errors; the result is a one-frame GIF that our reader and giflib accept.

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";

struct ToolResult {
  int code;
  std::string err;
};

// Files apart per test: ctest runs the tests of this file at the same time.
std::string TempFile(const std::string& suffix) {
  return testing::TempDir() + "/convert-" + testing::UnitTest::GetInstance()->current_test_info()->name() + suffix;
}

ToolResult Convert(const std::string& args) {
  const std::string err = TempFile(".err");
  const int status = std::system((std::string(PELLISTO_GIF_TOOL) + " convert " + args + " 2>" + err).c_str());
  std::ifstream in(err);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(in), {})};
}

// Frames, width and height as giflib reads them; -1 frames when it cannot.
struct Shape {
  int frames = -1, width = 0, height = 0, colors = 0;
};
Shape ReadBack(const std::string& path) {
  Shape s;
  int error = 0;
  GifFileType* f = DGifOpenFileName(path.c_str(), &error);
  if (!f) return s;
  if (DGifSlurp(f) == GIF_OK) {
    s = {f->ImageCount, f->SavedImages[0].ImageDesc.Width, f->SavedImages[0].ImageDesc.Height,
         f->SavedImages[0].ImageDesc.ColorMap ? f->SavedImages[0].ImageDesc.ColorMap->ColorCount : 0};
  }
  DGifCloseFile(f, &error);
  return s;
}

TEST(ConvertTool, EveryMethodGivesAOneFrameGif) {
  const struct {
    std::string in, options;
    int width, height, colors;
  } cases[] = {
      {"hat.bmp", "", 90, 112, 256},  // web216 by default
      {"hat.bmp", "--reduce system20", 90, 112, 32},
      {"hat.bmp", "--reduce halftone --dither fs", 90, 112, 256},
      {"hat.bmp", "--reduce gray4", 90, 112, 4},
      {"hat.bmp", "--reduce bw --dither fs", 90, 112, 2},
      {"hat.bmp", "--reduce gray256", 90, 112, 256},
      {"hat.bmp", "--reduce optimized --bits 4 --dither fs", 90, 112, 16},
      {"hat.bmp", "--reduce optimized-system", 90, 112, 256},
      {"bricks-color.bmp", "--dither none --reduce optimized", 160, 120, 256},
      // A GIF gives its first frame only; without options its colours stay.
      {"animated-red-blue.gif", "--reduce optimized --bits 2", 64, 48, 4},
      {"animated-red-blue.gif", "", 64, 48, 256},
      {"hippopotamus.regular.ico", "--reduce gray4", 36, 28, 4},
  };
  for (const auto& c : cases) {
    const std::string out = TempFile(".gif");
    std::remove(out.c_str());
    const ToolResult r = Convert(kCorpus + c.in + " " + out + " " + c.options);
    ASSERT_EQ(r.code, 0) << c.in << " " << c.options << ": " << r.err;
    const Shape s = ReadBack(out);
    EXPECT_EQ(s.frames, 1) << c.options;
    EXPECT_EQ(s.width, c.width) << c.options;
    EXPECT_EQ(s.height, c.height) << c.options;
    EXPECT_EQ(s.colors, c.colors) << c.options;
  }
}

TEST(ConvertTool, Errors) {
  const std::string out = TempFile(".gif");
  const struct {
    std::string args;
    int code;
    std::string err;
  } cases[] = {
      {kCorpus + "hat.bmp", 2, "pellisto-gif: convert needs IN and OUT.gif"},
      {kCorpus + "hat.bmp " + out + " --reduce sepia", 2, "unknown reduction method 'sepia'"},
      {kCorpus + "hat.bmp " + out + " --bits 9", 2, "--bits takes 1 to 8"},
      {kCorpus + "hat.bmp " + out + " --dither ordered", 2, "--dither takes none or fs"},
      {kCorpus + "hat.bmp " + out + " --bits", 2, "--bits needs a value"},
      {kCorpus + "hat.bmp " + out + " --fast", 2, "unknown option '--fast'"},
      {kCorpus + "missing.bmp " + out, 1, "pellisto-gif: Cannot open file"},
      {kCorpus + "README.md " + out, 1, "pellisto-gif: Unknown picture file extension (.md)"},
      // Colour by colour, a photo overflows a GIF colour table.
      {kCorpus + "hat.bmp " + out + " --reduce none", 1, "pellisto-gif: Color table overflow"},
  };
  for (const auto& c : cases) {
    const ToolResult r = Convert(c.args);
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.args << ": " << r.err;
  }
}

}  // namespace
