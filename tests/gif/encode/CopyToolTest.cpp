// pellisto-gif copy, run as a program.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Giflib.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int ExitCode;
  std::string Stderr;
};

class CopyTool : public ::testing::Test {
protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("pellisto-copy-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  Outcome Copy(const std::string& arguments) {
    const std::string err = (dir / "stderr").string();
    const std::string cmd =
        std::string(PELLISTO_BINARY_DIR) + "/bin/pellisto-gif copy " + arguments + " 2>" + err + " >/dev/null";
    const int status = std::system(cmd.c_str());
    std::ifstream in(err);
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
  }

  static std::vector<uint8_t> Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir;
  const std::string shared = PELLISTO_SHARED_DIR;
};

TEST_F(CopyTool, WritesWithEitherEncoderToTheSameIndices) {
  const std::string in = shared + "/corpus/muybridge.gif";
  const auto original = gif::test::GiflibDecode(Read(in));
  ASSERT_EQ(original.Error, "");
  for (const char* encoder : {"", "--encoder lzw", "--encoder rle"}) {
    SCOPED_TRACE(encoder);
    const fs::path out = dir / "out.gif";
    const Outcome run = Copy(in + " " + out.string() + " " + encoder);
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr;
    const auto copy = gif::test::GiflibDecode(Read(out));
    ASSERT_EQ(copy.Error, "");
    EXPECT_TRUE(copy.Frames == original.Frames);
  }
  EXPECT_EQ(Read(dir / "out.gif").size() > Read(in).size(), true);  // RLE is larger than LZW
}

TEST_F(CopyTool, FailuresLeaveNoOutput) {
  struct Case {
    std::string Arguments;
    int ExitCode;
    std::string Message;
  };
  const std::string out = (dir / "never.gif").string();
  const Case cases[] = {
      {shared + "/gif-test-suite/invalid-colors.gif " + out, 1, "pellisto-gif: Color not in color table"},
      {(dir / "missing.gif").string() + " " + out, 1, "pellisto-gif: "},
      {shared + "/corpus/hat.bmp " + out, 1, "pellisto-gif: Invalid GIF signature"},
      {shared + "/corpus/hat.gif " + out + " --encoder zip", 2, "unknown encoder 'zip'"},
      {shared + "/corpus/hat.gif " + out + " --encoder", 2, "--encoder needs"},
      {shared + "/corpus/hat.gif", 2, "copy needs IN and OUT"},
  };
  for (const Case& c : cases) {
    const Outcome run = Copy(c.Arguments);
    EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Arguments;
    EXPECT_NE(run.Stderr.find(c.Message), std::string::npos) << run.Stderr;
    EXPECT_FALSE(fs::exists(out)) << c.Arguments;
  }
}

}  // namespace
