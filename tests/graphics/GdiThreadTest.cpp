#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Gdi.h"
#include "tests/graphics/GdiLeakCheck.h"

namespace platform {
namespace {

using test::GdiLeakTest;

// Render workers and the main thread create and delete objects at the same
// time; each thread works on its own objects, as GDI objects are used.
TEST_F(GdiLeakTest, ThreadsCreateDrawAndDeleteTheirOwnObjects) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      for (int i = 0; i < 100; ++i) {
        TBitmap b;
        b.SetPixelFormat(TPixelFormat::pf8bit);
        b.SetSize(16, 8);
        const PALETTEENTRY entries[2] = {{0, 0, 0, 0}, {static_cast<uint8_t>(t), 0, 0, 0}};
        b.SetPalette(CreatePalette(entries));
        b.Canvas().Brush().SetColor(clRed);
        b.Canvas().FillRect(Rect(0, 0, 16, 8));
        TBitmap c;
        c.Assign(&b);
        c.SetPixelFormat(TPixelFormat::pf24bit);
        if (c.Canvas().Pixel(3, 3) != RGB(static_cast<uint8_t>(t), 0, 0)) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
}

}  // namespace
}  // namespace platform
