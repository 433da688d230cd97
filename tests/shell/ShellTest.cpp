#include "platform/shell/Shell.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace platform;

namespace {

// A folder put in front of PATH with stand-ins that record how they were
// started: their arguments (one per line), their pid, parent and session.
class ShellTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("pellisto-shell-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    WriteStandIn("xdg-open");
    WriteStandIn("recorder");
    oldPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir_.string() + ":" + oldPath_).c_str(), 1);
  }
  void TearDown() override {
    for (pid_t pid : started_) kill(pid, SIGKILL);
    setenv("PATH", oldPath_.c_str(), 1);
    fs::remove_all(dir_);
  }

  void WriteStandIn(const std::string& name) {
    fs::path script = dir_ / name;
    std::ofstream out(script);
    // Writes the record under a temporary name and renames it, so a reader
    // never sees half of it; then stays alive to show nobody waits for it.
    out << "#!/bin/sh\n"
           "rec=\"" << (dir_ / "record").string() << "\"\n"
           "{ echo \"name=" << name << "\"; echo \"cwd=$(pwd)\";\n"
           "  echo \"pid=$$\"; echo \"stat=$(cat /proc/$$/stat)\";\n"
           "  for a in \"$@\"; do echo \"arg=$a\"; done; } > \"$rec.tmp\"\n"
           "mv \"$rec.tmp\" \"$rec\"\n"
           "exec sleep 600\n";
    out.close();
    fs::permissions(script, fs::perms::owner_all);
  }

  struct TRecord {
    std::string Name, Cwd;
    std::vector<std::string> Args;
    pid_t Pid = 0, ParentPid = 0, Session = 0;
  };

  // Waits for the stand-in's record (the start is detached, so it comes
  // after the call returned).
  TRecord WaitForRecord() {
    fs::path rec = dir_ / "record";
    for (int i = 0; i < 1000 && !fs::exists(rec); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    TRecord r;
    std::ifstream in(rec);
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      if (key == "name") r.Name = value;
      if (key == "cwd") r.Cwd = value;
      if (key == "arg") r.Args.push_back(value);
      if (key == "pid") r.Pid = std::stoi(value);
      if (key == "stat") {
        // pid (comm) state ppid pgrp session ...
        std::istringstream fields(value.substr(value.rfind(')') + 2));
        std::string state;
        int pgrp;
        fields >> state >> r.ParentPid >> pgrp >> r.Session;
      }
    }
    fs::remove(rec);
    if (r.Pid) started_.push_back(r.Pid);
    return r;
  }

  fs::path dir_;
  std::string oldPath_;
  std::vector<pid_t> started_;
};

TEST_F(ShellTest, ShellExecuteStartsTheOpenerDetachedWithTheExactArgument) {
  const std::string targets[] = {
      "/media/cd/data/Read me.pdf",
      "http://www.example.org/a?b=c&d=e f",
      "/media/cd/data/Tools",
      "-begins-with-dash",
  };
  for (const auto& target : targets) {
    SCOPED_TRACE(target);
    intptr_t result = ShellExecute(nullptr, nullptr, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    EXPECT_GT(result, 32);
    TRecord r = WaitForRecord();
    EXPECT_EQ(r.Name, "xdg-open");
    EXPECT_EQ(r.Args, std::vector<std::string>{target});
    EXPECT_NE(r.ParentPid, getpid());
    EXPECT_NE(r.Session, getsid(0));
  }
}

TEST_F(ShellTest, ShellExecuteWorkingFolderAndVerbs) {
  EXPECT_GT(ShellExecute(nullptr, "open", "x.txt", "", dir_.c_str(), SW_SHOWNORMAL), 32);
  TRecord r = WaitForRecord();
  EXPECT_EQ(r.Cwd, dir_.string());
  EXPECT_EQ(r.Args, std::vector<std::string>{"x.txt"});

  // Refusals start nothing.
  EXPECT_EQ(ShellExecute(nullptr, nullptr, "", nullptr, nullptr, SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ShellExecute(nullptr, nullptr, nullptr, nullptr, nullptr, SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
  EXPECT_LE(ShellExecute(nullptr, "print", "x.txt", nullptr, nullptr, SW_SHOWNORMAL), 32);
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST_F(ShellTest, WinExecResolvesTheCommandWord) {
  struct TCase {
    std::string CmdLine, Program;
    std::vector<std::string> Args;
  };
  const char* home = std::getenv("HOME");
  const TCase cases[] = {
      {"EXPLORER /media/my cd/", "xdg-open", {"/media/my cd/"}},
      {"WINFILE /media/cd/", "xdg-open", {"/media/cd/"}},
      {"explorer.exe /a/", "xdg-open", {"/a/"}},
      {"WinFile.EXE  /b c/", "xdg-open", {"/b c/"}},
      {"Explorer", "xdg-open", {home && *home ? home : "/"}},
      {"recorder one \"two three\" four", "recorder", {"one", "two three", "four"}},
      {"\"recorder\" x", "recorder", {"x"}},
      {"recorder.exe y", "recorder", {"y"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.CmdLine);
    EXPECT_GT(WinExec(c.CmdLine.c_str(), SW_SHOW), 31u);
    TRecord r = WaitForRecord();
    EXPECT_EQ(r.Name, c.Program);
    EXPECT_EQ(r.Args, c.Args);
    EXPECT_NE(r.Session, getsid(0));
  }
}

TEST_F(ShellTest, WinExecFailuresAreReported) {
  EXPECT_EQ(WinExec("no-such-program-here arg", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("   ", SW_SHOW), ERROR_FILE_NOT_FOUND);
  fs::path notExecutable = dir_ / "plain";
  std::ofstream(notExecutable) << "x";
  EXPECT_EQ(WinExec(notExecutable.c_str(), SW_SHOW), ERROR_FILE_NOT_FOUND);
  // The opener missing from PATH: the file manager cannot start.
  fs::remove(dir_ / "xdg-open");
  setenv("PATH", dir_.c_str(), 1);
  EXPECT_EQ(WinExec("EXPLORER /x/", SW_SHOW), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ShellExecute(nullptr, nullptr, "/x", nullptr, nullptr, SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
}

TEST_F(ShellTest, RecorderKeepsRequestsAndStartsNothing) {
  {
    TShellRecorder outer;
    {
      TShellRecorder inner;
      ShellExecute(nullptr, nullptr, "/a b", nullptr, nullptr, SW_SHOWNORMAL);
      WinExec("EXPLORER /c/", SW_SHOW);
      ASSERT_EQ(inner.Requests().size(), 2u);
      EXPECT_EQ(inner.Requests()[0].File, "/a b");
      EXPECT_EQ(inner.Requests()[0].ShowCmd, SW_SHOWNORMAL);
      EXPECT_EQ(inner.Requests()[1].Kind, TShellRequest::TKind::Exec);
      EXPECT_EQ(inner.Requests()[1].CmdLine, "EXPLORER /c/");
    }
    ShellExecute(nullptr, nullptr, "/d", nullptr, nullptr, SW_SHOWNORMAL);
    ASSERT_EQ(outer.Requests().size(), 1u);
    EXPECT_EQ(outer.Requests()[0].File, "/d");
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(fs::exists(dir_ / "record"));
}

TEST(WindowsDirectoryTest, CopiesOrReportsTheNeededSize) {
  SetWindowsDirectory("/opt/win");
  struct TCase {
    uint32_t Size, Result;
    std::string Text;
  };
  const TCase cases[] = {{144, 8, "/opt/win"}, {9, 8, "/opt/win"}, {8, 9, ""}, {0, 9, ""}};
  for (const auto& c : cases) {
    char buffer[144];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(GetWindowsDirectory(buffer, c.Size), c.Result) << c.Size;
    if (c.Size > 0) {
      EXPECT_EQ(std::string(buffer), c.Text) << c.Size;
    }
  }
  SetWindowsDirectory("");
  setenv("PELLISTO_WINDOWS_DIR", "/elsewhere", 1);
  char buffer[144];
  EXPECT_EQ(GetWindowsDirectory(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "/elsewhere");
  unsetenv("PELLISTO_WINDOWS_DIR");
}

}  // namespace
