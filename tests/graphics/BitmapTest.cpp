#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Exceptions.h"
#include "tests/graphics/GdiLeakCheck.h"

namespace platform {
namespace {

using test::GdiLeakTest;

constexpr TColor kPure[] = {clBlack, clWhite, clRed, clLime, clBlue, clYellow, clAqua, clFuchsia};

void Paint(TBitmap& b) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) b.Canvas().SetPixel(x, y, kPure[(x + 3 * y) % 8]);
}

// Rows as 24-bit bytes, whatever the bitmap's format (taken from a copy).
std::vector<uint8_t> Rows24(const TBitmap& source) {
  TBitmap copy;
  copy.Assign(&source);
  copy.SetPixelFormat(TPixelFormat::pf24bit);
  std::vector<uint8_t> out;
  for (int y = 0; y < copy.Height(); ++y) {
    const auto* row = static_cast<const uint8_t*>(copy.ScanLine(y));
    out.insert(out.end(), row, row + 3 * copy.Width());
  }
  return out;
}

TEST_F(GdiLeakTest, PixelFormatConversionsKeepTheColours) {
  struct Case {
    TPixelFormat format;
    bool onlyBlackAndWhite;
  };
  const Case cases[] = {
      {TPixelFormat::pf1bit, true},  {TPixelFormat::pf4bit, false},  {TPixelFormat::pf8bit, false},
      {TPixelFormat::pf15bit, false}, {TPixelFormat::pf16bit, false}, {TPixelFormat::pf24bit, false},
      {TPixelFormat::pf32bit, false}, {TPixelFormat::pfDevice, false},
  };
  for (const Case& c : cases) {
    TBitmap b;
    b.SetPixelFormat(TPixelFormat::pf24bit);
    b.SetSize(5, 3);
    Paint(b);
    b.SetPixelFormat(c.format);
    EXPECT_EQ(b.PixelFormat(), c.format);
    EXPECT_EQ(b.Width(), 5);
    EXPECT_EQ(b.Height(), 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) {
        TColor want = kPure[(x + 3 * y) % 8];
        // Nearest of black and white: white needs two full components.
        const int full = ((want & 0xFF) == 0xFF) + ((want >> 8 & 0xFF) == 0xFF) + ((want >> 16 & 0xFF) == 0xFF);
        if (c.onlyBlackAndWhite) want = full >= 2 ? clWhite : clBlack;
        ASSERT_EQ(b.Canvas().Pixel(x, y), want) << static_cast<int>(c.format) << " at " << x << "," << y;
      }
  }
  TBitmap b;
  EXPECT_THROW(b.SetPixelFormat(TPixelFormat::pfCustom), EInvalidGraphic);
}

TEST_F(GdiLeakTest, WideningAPaletteBitmapKeepsItsOwnColours) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf4bit);
  b.SetSize(2, 1);
  std::vector<PALETTEENTRY> entries(16, PALETTEENTRY{0, 0, 0, 0});
  entries[3] = {12, 34, 56, 0};
  b.SetPalette(CreatePalette(entries));
  static_cast<uint8_t*>(b.ScanLine(0))[0] = 0x30;  // pixel 0 = index 3
  b.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(static_cast<uint8_t*>(b.ScanLine(0))[0], 3);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), RGB(12, 34, 56));
}

TEST_F(GdiLeakTest, ResizingKeepsTheTopLeftAndFillsWithTheBrush) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf32bit);
  b.SetSize(2, 2);
  Paint(b);
  b.Canvas().Brush().SetColor(clGray);
  b.SetWidth(3);
  b.SetHeight(1);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), kPure[0]);
  EXPECT_EQ(b.Canvas().Pixel(1, 0), kPure[1]);
  EXPECT_EQ(b.Canvas().Pixel(2, 0), clGray);
  EXPECT_EQ(b.Height(), 1);
  b.SetHeight(0);
  EXPECT_TRUE(b.Empty());
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);  // an empty bitmap remembers its format
}

TEST_F(GdiLeakTest, AssignGivesAnIndependentCopy) {
  TBitmap a;
  a.SetPixelFormat(TPixelFormat::pf8bit);
  a.SetSize(4, 4);
  Paint(a);
  TBitmap b;
  b.Assign(&a);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_NE(b.Handle(), a.Handle());
  EXPECT_NE(b.Palette(), a.Palette());
  b.Canvas().SetPixel(0, 0, clWhite);
  EXPECT_EQ(a.Canvas().Pixel(0, 0), clBlack);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), clWhite);
  b.Assign(nullptr);
  EXPECT_TRUE(b.Empty());
}

TEST_F(GdiLeakTest, ScanLineAddressesRowsFromTheTop) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(2, 3);
  b.Canvas().SetPixel(1, 2, clRed);
  auto* row = static_cast<uint8_t*>(b.ScanLine(2));
  EXPECT_EQ(row[3 + 2], 255);  // B, G, R
  row[0] = 255;  // blue at (0, 2)
  row[1] = 0;
  row[2] = 0;
  EXPECT_EQ(b.Canvas().Pixel(0, 2), clBlue);
  for (int bad : {-1, 3}) {
    try {
      b.ScanLine(bad);
      ADD_FAILURE() << bad;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_EQ(e.Message, "Scan line index out of range");
    }
  }
  TBitmap device;  // a device bitmap becomes a 32-bit DIB for row access
  device.SetSize(2, 2);
  EXPECT_EQ(device.PixelFormat(), TPixelFormat::pfDevice);
  device.ScanLine(0);
  EXPECT_EQ(device.PixelFormat(), TPixelFormat::pf32bit);
}

TEST_F(GdiLeakTest, ThePaletteBelongsToTheBitmapAndFeedsItsColourTable) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf8bit);
  b.SetSize(2, 1);
  std::vector<PALETTEENTRY> entries(300, PALETTEENTRY{0, 0, 0, 0});
  entries[1] = {10, 20, 30, 0};
  b.SetPalette(CreatePalette(entries));
  static_cast<uint8_t*>(b.ScanLine(0))[0] = 1;
  EXPECT_EQ(b.Canvas().Pixel(0, 0), RGB(10, 20, 30));
  EXPECT_TRUE(b.PaletteModified());
  HPALETTE p = b.ReleasePalette();
  EXPECT_NE(p, nullptr);
  DeleteObject(p);
}

TEST_F(GdiLeakTest, MonochromeAndHandleTypes) {
  TBitmap b;
  b.SetSize(3, 1);
  b.Canvas().SetPixel(0, 0, clWhite);
  b.Canvas().SetPixel(1, 0, clRed);
  b.SetMonochrome(true);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.HandleType(), TBitmapHandleType::bmDDB);
  EXPECT_EQ(b.Canvas().Pixel(0, 0), clWhite);
  EXPECT_EQ(b.Canvas().Pixel(1, 0), clBlack);
  b.SetHandleType(TBitmapHandleType::bmDIB);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf1bit);
}

TEST_F(GdiLeakTest, DrawStretchesAndHonoursTransparency) {
  TBitmap src;
  src.SetPixelFormat(TPixelFormat::pf24bit);
  src.SetSize(2, 1);
  src.Canvas().SetPixel(0, 0, clRed);
  src.Canvas().SetPixel(1, 0, clLime);
  TBitmap dst;
  dst.SetPixelFormat(TPixelFormat::pf32bit);
  dst.SetSize(4, 2);
  dst.Canvas().Brush().SetColor(clBlue);
  dst.Canvas().FillRect(Rect(0, 0, 4, 2));
  dst.Canvas().StretchDraw(Rect(0, 0, 4, 2), &src);
  EXPECT_EQ(dst.Canvas().Pixel(1, 1), clRed);
  EXPECT_EQ(dst.Canvas().Pixel(2, 0), clLime);
  dst.Canvas().FillRect(Rect(0, 0, 4, 2));
  src.SetTransparentColor(clLime);
  src.SetTransparent(true);
  dst.Canvas().Draw(1, 1, &src);
  EXPECT_EQ(dst.Canvas().Pixel(1, 1), clRed);
  EXPECT_EQ(dst.Canvas().Pixel(2, 1), clBlue);
  EXPECT_EQ(dst.Canvas().Pixel(0, 0), clBlue);
}

std::vector<std::filesystem::path> CorpusBitmaps() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(PELLISTO_SHARED_DIR "/corpus"))
    if (entry.path().extension() == ".bmp") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

TEST_F(GdiLeakTest, EveryCorpusBitmapLoadsAndSurvivesSaveAndReload) {
  const auto files = CorpusBitmaps();
  ASSERT_FALSE(files.empty());
  for (const auto& file : files) {
    TBitmap a;
    a.LoadFromFile(file.string());
    EXPECT_FALSE(a.Empty()) << file;
    TMemoryStream stream;
    a.SaveToStream(stream);
    stream.SetPosition(0);
    TBitmap b;
    b.LoadFromStream(stream);
    EXPECT_EQ(b.Width(), a.Width()) << file;
    EXPECT_EQ(b.Height(), a.Height()) << file;
    EXPECT_EQ(b.PixelFormat(), a.PixelFormat()) << file;
    EXPECT_TRUE(Rows24(a) == Rows24(b)) << file;
  }
}

TEST_F(GdiLeakTest, ATruncatedBitmapRaisesAndLeavesTheBitmapAsItWas) {
  const auto files = CorpusBitmaps();
  ASSERT_FALSE(files.empty());
  TMemoryStream whole;
  whole.LoadFromFile(files.front().string());
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf8bit);
  b.SetSize(3, 2);
  Paint(b);
  const auto before = Rows24(b);
  for (int64_t cut : {int64_t{10}, int64_t{60}, whole.Size() / 2}) {
    TMemoryStream part;
    part.WriteBuffer(whole.Memory(), static_cast<int32_t>(cut));
    part.SetPosition(0);
    try {
      b.LoadFromStream(part);
      ADD_FAILURE() << "cut at " << cut;
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, "Bitmap image is not valid");
    }
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_TRUE(Rows24(b) == before);
  }
}

TEST_F(GdiLeakTest, TheClipboardFormIsAPackedDib) {
  TBitmap a;
  a.SetPixelFormat(TPixelFormat::pf4bit);
  a.SetSize(3, 3);
  Paint(a);
  uint16_t format = 0;
  std::vector<uint8_t> data;
  HPALETTE palette = nullptr;
  a.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, CF_DIB);
  TBitmap b;
  b.LoadFromClipboardFormat(format, data, palette);
  DeleteObject(palette);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_TRUE(Rows24(a) == Rows24(b));
  EXPECT_THROW(b.LoadFromClipboardFormat(0xC123, data, nullptr), EInvalidGraphic);
}

}  // namespace
}  // namespace platform
