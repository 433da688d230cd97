#pragma once
// A fixture that fails a test which leaves GDI objects behind.

#include <gtest/gtest.h>

#include "platform/graphics/Gdi.h"

namespace platform::test {

class GdiLeakTest : public ::testing::Test {
 protected:
  void SetUp() override { objectsBefore_ = GdiObjectCount(); }
  void TearDown() override {
    EXPECT_EQ(GdiObjectCount(), objectsBefore_) << "GDI objects left: " << GdiDescribeObjects();
  }

 private:
  size_t objectsBefore_ = 0;
};

}  // namespace platform::test
