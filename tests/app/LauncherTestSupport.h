#pragma once
// The launcher on the headless backend, posing as a program in a fresh
// temporary folder, with the shell's requests recorded and the Windows
// directory pointed at a folder of the test's own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "controls/OutlLabel.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Files.h"
#include "platform/shell/Shell.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/StdCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/headless/HeadlessBackend.h"

namespace launchertest {

namespace fs = std::filesystem;

class LauncherFixture : public ::testing::Test {
protected:
  void SetUp() override {
    platform::TScreenSettings screen;
    screen.Width = 1024;
    screen.Height = 768;
    platform::SetScreenSettings(screen);
    objects_ = platform::GdiObjectCount();
    headless_ = &platform::UseHeadlessBackend();
    char pattern[] = "/tmp/pellisto-launcher-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    UseProgramFolder(root_ + "/");
    windows_ = root_ + "/windows";
    fs::create_directories(windows_);
    platform::SetWindowsDirectory(windows_);
    shell_ = std::make_unique<platform::TShellRecorder>();
  }

  void TearDown() override {
    app_.reset();
    launcher::Form1 = nullptr;
    shell_.reset();
    platform::SetProgramPath("");
    platform::SetWindowsDirectory("");
    platform::ResetBackend();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
    EXPECT_EQ(platform::GdiObjectCount(), objects_) << platform::GdiDescribeObjects();
  }

  // The folder the launcher believes it was started from (ends in "/").
  void UseProgramFolder(const std::string& folder) {
    folder_ = folder;
    fs::create_directories(folder_);
    platform::SetProgramPath(folder_ + "pellisto");
  }

  void Write(const std::string& name, const std::string& content) {
    fs::path path = folder_ + name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }
  void MakeFolder(const std::string& name) { fs::create_directories(folder_ + name); }
  void WriteBitmap(const std::string& name, int width, int height) {
    fs::path path = folder_ + name;
    fs::create_directories(path.parent_path());
    platform::TBitmap bitmap;
    bitmap.SetPixelFormat(platform::TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    bitmap.SaveToFile(path.string());
  }
  // data/ with Count files, entry0 ... entryN.
  void MakeEntries(int count) {
    MakeFolder("data");
    for (int i = 0; i < count; ++i) Write("data/entry" + std::to_string(i), "x");
  }

  // Creates the application and the launcher window as the entry does,
  // without running the loop.
  launcher::TForm1& Start() {
    app_ = std::make_unique<platform::TApplication>();
    app_->SetTitle("Pellisto");
    app_->CreateForm(launcher::Form1);
    return *launcher::Form1;
  }
  void Pump() { app_->ProcessMessages(); }

  // The entry buttons, in the order they were made.
  static std::vector<platform::TSpeedButton*> EntryButtons(launcher::TForm1& form) {
    std::vector<platform::TSpeedButton*> buttons;
    for (int i = 0; i < form.ComponentCount(); ++i) {
      auto* b = dynamic_cast<platform::TSpeedButton*>(form.Components(i));
      if (b && b != form.SpeedButton1 && b != form.SpeedButton2 && b != form.SpeedButton3) buttons.push_back(b);
    }
    return buttons;
  }

  // A click in the middle of a control.
  void Click(launcher::TForm1& form, platform::TControl& control) {
    platform::TPoint p = control.ClientToForm({control.Width() / 2, control.Height() / 2});
    platform::HeadlessClick(form, p.X, p.Y);
    Pump();
  }

  platform::THeadlessBackend* headless_ = nullptr;
  std::unique_ptr<platform::TApplication> app_;
  std::unique_ptr<platform::TShellRecorder> shell_;
  std::string root_, folder_, windows_;
  size_t objects_ = 0;
};

}  // namespace launchertest
