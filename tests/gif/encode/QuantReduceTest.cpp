// Fixed palettes, optimised palettes on bitmaps, and ReduceToPalette.
#include <gtest/gtest.h>

#include "gif/encode/Quantizer.h"
#include "gif/encode/Reduce.h"
#include "gif/picture/Settings.h"
#include "gif/render/DIB.h"
#include "tests/gif/encode/QuantBitmaps.h"

namespace gif {
namespace {

using platform::PALETTEENTRY;
using platform::TPixelFormat;
using quanttest::EntriesOf;
using quanttest::Rgb;

class Reduce : public ::testing::Test {
protected:
  void SetUp() override {
    WebPaletteHandle();  // the shared palette lives on purpose
    objects = platform::GdiObjectCount();
  }
  void TearDown() override {
    EXPECT_EQ(platform::GdiObjectCount(), objects) << platform::GdiDescribeObjects();
  }
  size_t objects = 0;
};

TEST_F(Reduce, FixedPalettes) {
  struct Case {
    const char* name;
    platform::HPALETTE (*make)();
    std::vector<uint8_t> greys;
  };
  std::vector<uint8_t> ramp(256);
  for (int i = 0; i < 256; ++i) ramp[i] = static_cast<uint8_t>(i);
  for (const Case& c : {Case{"gray256", NewGray256Palette, ramp}, Case{"bw", NewBlackWhitePalette, {0, 255}},
                        Case{"gray4", NewSystemGray4Palette, {0, 128, 192, 255}}}) {
    const platform::HPALETTE pal = c.make();
    std::vector<PALETTEENTRY> expected;
    for (uint8_t v : c.greys) expected.push_back({v, v, v, platform::PC_NOCOLLAPSE});
    EXPECT_EQ(EntriesOf(pal), expected) << c.name;
    platform::DeleteObject(pal);
  }
  const platform::HPALETTE half = NewHalftonePalette();
  EXPECT_EQ(EntriesOf(half).size(), 256u);
  platform::DeleteObject(half);
}

TEST_F(Reduce, OptimizedPaletteKeepsTheSystemColoursInPlace) {
  auto bmp = quanttest::TrueColor(16, 16, [](int x, int y) {
    return Rgb{static_cast<uint8_t>(x * 16), static_cast<uint8_t>(y * 16), 77};
  });
  const platform::HPALETTE pal = OptimizedPalette(*bmp, 256, 8, true);
  const auto entries = EntriesOf(pal);
  const auto system = EntriesOf(static_cast<platform::HPALETTE>(platform::GetStockObject(platform::DEFAULT_PALETTE)));
  ASSERT_EQ(entries.size(), 256u);
  ASSERT_EQ(system.size(), 20u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(entries[i], system[i]) << i;
  for (int i = 0; i < 10; ++i) EXPECT_EQ(entries[246 + i], system[10 + i]) << i;
  // 256 distinct colours fold into 236; every one of them is a colour of the picture's range.
  for (int i = 10; i < 246; ++i) EXPECT_EQ(entries[i].peBlue, 77) << i;
  platform::DeleteObject(pal);
}

// Reads row y of an 8-bit bitmap.
std::vector<uint8_t> Row8(platform::TBitmap& bmp, int32_t y) {
  const auto* p = static_cast<const uint8_t*>(bmp.ScanLine(y));
  return std::vector<uint8_t>(p, p + bmp.GetWidth());
}

TEST_F(Reduce, EveryMethodGivesAnEightBitBitmapOfTheSourceSize) {
  struct Case {
    uint8_t method;
    size_t entries;
  };
  for (uint8_t mode : {NoDither, FloydSteinbergDither}) {
    for (Case c : {Case{1, 20}, Case{2, 256}, Case{3, 4}, Case{4, 2}, Case{5, 256}, Case{6, 216}, Case{7, 8},
                   Case{8, 256}}) {
      auto src = quanttest::TrueColor(
          37, 11, [](int x, int y) { return Rgb{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 23), 200}; },
          TPixelFormat::pf32bit);
      auto out = ReduceToPalette(*src, c.method, mode, 3);
      SCOPED_TRACE(testing::Message() << "method " << int(c.method) << " mode " << int(mode));
      EXPECT_EQ(out->PixelFormat(), TPixelFormat::pf8bit);
      EXPECT_EQ(out->GetWidth(), 37);
      EXPECT_EQ(out->GetHeight(), 11);
      const auto entries = EntriesOf(out->GetPalette());
      EXPECT_EQ(entries.size(), c.entries);
      for (int32_t y = 0; y < 11; ++y)
        for (uint8_t v : Row8(*out, y)) ASSERT_LT(v, c.entries) << y;
      // The caller's bitmap keeps its format.
      EXPECT_EQ(src->PixelFormat(), TPixelFormat::pf32bit);
    }
  }
}

TEST_F(Reduce, WebPixelsAndTheSharedPalette) {
  const Rgb colours[] = {{0, 0, 0}, {47, 48, 255}, {255, 255, 255}, {153, 102, 51}};
  auto src = quanttest::TrueColor(4, 2, [&](int x, int) { return colours[x]; });
  const platform::HPALETTE web = WebPaletteHandle();
  {
    auto out = ReduceToPalette(*src, ReduceWeb216, NoDither, 8);
    EXPECT_EQ(Row8(*out, 0), (std::vector<uint8_t>{0, 11, 215, 3 * 36 + 2 * 6 + 1}));
    EXPECT_EQ(Row8(*out, 1), Row8(*out, 0));
    EXPECT_EQ(EntriesOf(out->GetPalette()), EntriesOf(web));
  }
  // Freeing the result leaves the shared palette alive.
  EXPECT_EQ(platform::GetObjectType(web), platform::OBJ_PAL);
  EXPECT_EQ(WebPaletteHandle(), web);
}

TEST_F(Reduce, MethodNoneAndOutOfRangeSettings) {
  auto src = quanttest::TrueColor(5, 3, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), 9}; },
                                  TPixelFormat::pf32bit);
  auto copy = ReduceToPalette(*src, ReduceNone, NoDither, 8);
  EXPECT_EQ(copy->PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(src->PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(static_cast<uint8_t*>(copy->ScanLine(2))[4 * 3 + 0], 9);

  // Unknown method: 8 bits, no palette, nothing mapped; unknown mode: the palette, nothing mapped.
  auto none = ReduceToPalette(*src, 9, NoDither, 8);
  EXPECT_EQ(none->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(none->GetWidth(), 5);
  auto unmapped = ReduceToPalette(*src, ReduceGray256, 2, 8);
  EXPECT_EQ(unmapped->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(EntriesOf(unmapped->GetPalette()).size(), 256u);
  // An empty bitmap gives an empty result for every method.
  for (uint8_t method = 0; method <= 8; ++method) {
    platform::TBitmap empty;
    auto out = ReduceToPalette(empty, method, FloydSteinbergDither, 8);
    EXPECT_EQ(out->GetWidth(), 0) << int(method);
  }
  // Bits beyond a GIF colour table are held to 2 .. 256 colours.
  for (int32_t bits : {-3, 0, 30}) {
    auto out = ReduceToPalette(*src, ReduceOptimized, NoDither, bits);
    const size_t n = EntriesOf(out->GetPalette()).size();
    EXPECT_TRUE(n == 2 || n == 256) << bits;
  }
}

TEST_F(Reduce, LargePictures) {
  // 600000 pixels: the result is sized through a 1-bit stage.
  auto src = quanttest::TrueColor(1000, 600, [](int x, int y) { return Rgb{uint8_t(x), uint8_t(y), uint8_t(x ^ y)}; });
  auto out = ReduceToPalette(*src, ReduceOptimized, FloydSteinbergDither, 8);
  EXPECT_EQ(out->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(out->GetWidth(), 1000);
  EXPECT_EQ(out->GetHeight(), 600);
}

}  // namespace
}  // namespace gif
