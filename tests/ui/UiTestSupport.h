#pragma once
// Every ui test runs on the headless backend with an application object,
// and must leave no graphics objects behind.

#include <gtest/gtest.h>

#include <memory>

#include "platform/graphics/Canvas.h"
#include "platform/graphics/Gdi.h"
#include "platform/ui/Forms.h"
#include "platform/ui/headless/HeadlessBackend.h"

namespace uitest {

class HeadlessTest : public ::testing::Test {
protected:
  void SetUp() override {
    platform::TScreenSettings screen;
    screen.Width = 1024;
    screen.Height = 768;
    platform::SetScreenSettings(screen);
    objects_ = platform::GdiObjectCount();
    headless_ = &platform::UseHeadlessBackend();
    app_ = std::make_unique<platform::TApplication>();
  }
  void TearDown() override {
    app_.reset();
    platform::ResetBackend();
    EXPECT_EQ(platform::GdiObjectCount(), objects_) << platform::GdiDescribeObjects();
  }

  // Delivers everything posted so far (input, repaints).
  void Pump() { app_->ProcessMessages(); }

  static platform::TColor Pixel(platform::TForm& form, int x, int y) { return form.Canvas().Pixel(x, y); }

  platform::THeadlessBackend* headless_ = nullptr;
  std::unique_ptr<platform::TApplication> app_;
  size_t objects_ = 0;
};

}  // namespace uitest
