// The pellisto-gif tool as a user runs it: exit codes, output, files.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "gif/decode/ColorMap.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

const std::string kCorpus = std::string(PELLISTO_SHARED_DIR) + "/corpus/";

struct ToolRun {
  int code;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ToolRun Tool(const std::string& args) {
  const std::string dir = testing::TempDir();
  const std::string out = dir + "/tool.out", err = dir + "/tool.err";
  const int status = std::system((std::string(PELLISTO_GIF_TOOL) + " " + args + " >" + out + " 2>" + err).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

TEST(PellistoGif, ExitCodesAndMessages) {
  const struct {
    std::string args;
    int code;
    std::string in_out, in_err;
  } cases[] = {
      {"", 2, "", "usage:"},
      {"frobnicate x", 2, "", "pellisto-gif: unknown command 'frobnicate'"},
      {"info", 2, "", "pellisto-gif: info needs a FILE"},
      {"info a b", 2, "", "pellisto-gif: too many arguments"},
      {"info --yaml " + kCorpus + "hat.gif", 2, "", "unknown option '--yaml'"},
      {"indices " + kCorpus + "hat.gif", 2, "", "indices needs FILE and OUTDIR"},
      {"info /nonexistent/x.gif", 1, "", "pellisto-gif: Cannot open file"},
      {"info " + kCorpus + "hat.bmp", 1, "", "pellisto-gif: Invalid GIF signature\n"},
      {"info " + kCorpus + "animated-red-blue.gif", 0,
       "frame 003: left 15 top 0 width 49 height 40 interlaced no local colors 0 transparent 129 delay 40 "
       "disposal 1 extensions graphic-control\n",
       ""},
      {"info " + kCorpus + "animated-red-blue.gif", 0, "size: 64 x 48\nversion: 89a\nglobal colors: 256\n", ""},
      {"info " + kCorpus + "animated-red-blue.gif", 0, "loop count: 2\nframes: 4\n", ""},
      {"info " + kCorpus + "hippopotamus.interlaced.truncated.gif", 0, "warning: Premature end of data\n", ""},
      {"info --json " + kCorpus + "hippopotamus.interlaced.truncated.gif", 0,
       "\"interlaced\": true, \"localColors\": 0, \"transparent\": null", ""},
      {"info " + kCorpus + "hippopotamus.interlaced.truncated.gif --json", 0,
       "\"loopCount\": null, \"frames\": [", ""},
      {"info --json " + kCorpus + "hippopotamus.interlaced.truncated.gif", 0,
       "\"warnings\": [\"Premature end of data\"]}\n", ""},
  };
  for (const auto& c : cases) {
    const ToolRun r = Tool(c.args);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_NE(r.out.find(c.in_out), std::string::npos) << c.args << "\n" << r.out;
    EXPECT_NE(r.err.find(c.in_err), std::string::npos) << c.args << "\n" << r.err;
  }
}

TEST(PellistoGif, IndicesMatchTheLibrary) {
  const std::string dir = testing::TempDir() + "/indices-out";
  std::filesystem::remove_all(dir);
  const std::string file = kCorpus + "animated-red-blue.gif";
  const ToolRun r = Tool("indices " + file + " " + dir);
  ASSERT_EQ(r.code, 0) << r.err;
  std::ifstream in(file, std::ios::binary);
  auto loaded = giftest::Load(giftest::Bytes(std::istreambuf_iterator<char>(in), {}));
  ASSERT_EQ(loaded.error, "");
  for (int i = 0; i < loaded.FrameCount(); ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "/%03d", i);
    const auto& f = loaded.Frame(i);
    EXPECT_EQ(Slurp(dir + name + ".idx"),
              std::string(reinterpret_cast<const char*>(f.Pixels.get()), static_cast<size_t>(f.PixelBytes)));
    const auto& map = *f.EffectiveColorMap();
    EXPECT_EQ(Slurp(dir + name + ".pal"), std::string(reinterpret_cast<const char*>(map.ColorEntries.get()),
                                                      static_cast<size_t>(map.EntryCount) * 3));
  }
  char after[8];
  std::snprintf(after, sizeof after, "/%03d", loaded.FrameCount());
  EXPECT_FALSE(std::filesystem::exists(dir + after + ".idx"));
}

}  // namespace
