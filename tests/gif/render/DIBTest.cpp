#include "gif/render/DIB.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gif/decode/Items.h"
#include "platform/rtl/Exceptions.h"
#include "tests/gif/render/RenderTestUtil.h"

namespace gif {
namespace {

using platform::TBitmap;
using platform::TPixelFormat;
using rendertest::Filled;
using rendertest::Pixels32;

class DIB : public rendertest::GdiLeakCheck {};

TEST_F(DIB, RowBytesPadsTo32Bits) {
  struct Case {
    int32_t width, bits, bytes;
  } cases[] = {{1, 1, 4}, {32, 1, 4}, {33, 1, 8}, {3, 4, 4}, {9, 4, 8}, {5, 8, 8}, {1, 24, 4}, {3, 24, 12}, {0, 8, 0}};
  for (const Case& c : cases) EXPECT_EQ(RowBytes(c.width, c.bits, 32), c.bytes) << c.width << "x" << c.bits;
}

TEST_F(DIB, AWriterDestroyedUnusedLeavesTheBitmapAlone) {
  auto bitmap = Filled(7, 5, 0x0000FF);
  const auto before = Pixels32(*bitmap);
  const auto format = bitmap->PixelFormat();
  { TDIBWriter writer(bitmap.get(), TPixelFormat::pf8bit); }
  EXPECT_EQ(bitmap->PixelFormat(), format);
  EXPECT_EQ(Pixels32(*bitmap), before);
}

TEST_F(DIB, Row0IsTheTopRowWhateverTheStorageOrder) {
  auto bitmap = Filled(6, 4, 0x000000);
  {
    TDIBWriter writer(bitmap.get(), TPixelFormat::pf24bit);
    uint8_t* row0 = writer.RowPointer(0);
    const auto* header = reinterpret_cast<const platform::BITMAPINFOHEADER*>(writer.InfoBlock.get());
    const size_t stride = static_cast<size_t>(RowBytes(6, 24));
    // A bottom-up copy keeps row 0 last.
    const size_t expected = header->biHeight > 0 ? 3 * stride : 0;
    EXPECT_EQ(row0, writer.PixelBlock.get() + expected);
    for (int x = 0; x < 6; ++x) {
      row0[3 * x] = 0xFF;  // blue, green, red
      row0[3 * x + 1] = 0x80;
      row0[3 * x + 2] = 0x10;
    }
  }
  EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf24bit);
  const auto pixels = Pixels32(*bitmap);
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(pixels[x], 0x1080FFu);
    EXPECT_EQ(pixels[6 * 3 + x], 0u);
  }
}

TEST_F(DIB, RowsOutsideTheBitmapAreRefusedAfterTheCopy) {
  auto bitmap = Filled(4, 3, 0xFFFFFF);
  TDIBWriter writer(bitmap.get(), TPixelFormat::pf8bit);
  for (int32_t row : {-1, 3}) {
    try {
      writer.RowPointer(row);
      ADD_FAILURE() << row;
    } catch (const platform::EInvalidGraphicOperation& e) {
      EXPECT_EQ(e.Message, "Scan line index out of range");
    }
  }
  EXPECT_NE(writer.PixelBlock, nullptr);
}

TEST_F(DIB, TheColourTableIsTheBitmapsLogicalPalette) {
  for (int entries : {300, 20}) {
    SCOPED_TRACE(entries);
    auto bitmap = Filled(2, 2, 0);
    std::vector<platform::PALETTEENTRY> pal(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i)
      pal[static_cast<size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i / 2), static_cast<uint8_t>(255 - i % 256), 0};
    bitmap->SetPalette(platform::CreatePalette(std::span<const platform::PALETTEENTRY>(pal)));
    TDIBWriter writer(bitmap.get(), TPixelFormat::pf8bit);
    writer.RowPointer(0);
    ASSERT_EQ(writer.InfoBlockSize, 40u + 4 * 256);
    const uint8_t* table = writer.InfoBlock.get() + 40;
    for (int i = 0; i < 256; ++i) {
      const uint8_t* q = table + 4 * i;  // blue, green, red, 0
      if (i < entries) {
        EXPECT_EQ(q[2], static_cast<uint8_t>(i)) << i;
        EXPECT_EQ(q[1], static_cast<uint8_t>(i / 2)) << i;
        EXPECT_EQ(q[0], static_cast<uint8_t>(255 - i)) << i;
      } else {
        EXPECT_EQ(q[0] | q[1] | q[2] | q[3], 0) << i;
      }
    }
  }
}

TEST_F(DIB, OnlyFourFormatsAreSupported) {
  auto bitmap = Filled(3, 3, 0);
  for (TPixelFormat format : {TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf32bit,
                              TPixelFormat::pfDevice}) {
    TDIBWriter writer(bitmap.get(), format);
    try {
      writer.RowPointer(0);
      ADD_FAILURE();
    } catch (const GIFException& e) {
      EXPECT_EQ(e.Message, "Unsupported PixelFormat");
    }
    EXPECT_EQ(writer.PixelBlock, nullptr);
  }
  EXPECT_EQ(FormatBitCount(TPixelFormat::pf1bit), 1);
  EXPECT_EQ(FormatBitCount(TPixelFormat::pf4bit), 4);
}

TEST_F(DIB, AnEmptyBitmapHasNoCopy) {
  TBitmap bitmap;
  TDIBWriter writer(&bitmap, TPixelFormat::pf8bit);
  try {
    writer.RowPointer(0);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Bitmap image is not valid");
  }
}

TEST_F(DIB, TheReaderConvertsAndReadsRows) {
  auto bitmap = Filled(5, 2, 0x00FF00);  // green
  TDIBReader reader(bitmap.get(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf24bit);
  const uint8_t* row = reader.RowPointer(1);
  EXPECT_EQ(row[0], 0);
  EXPECT_EQ(row[1], 0xFF);
  EXPECT_EQ(row[2], 0);
}

TEST_F(DIB, SetBitmapFormatTo8BitKeepsTheSize) {
  auto bitmap = Filled(100, 50, 0x123456);
  SetBitmapFormat(bitmap.get(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap->GetWidth(), 100);
  EXPECT_EQ(bitmap->GetHeight(), 50);
  SetBitmapFormat(bitmap.get(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap->PixelFormat(), TPixelFormat::pf24bit);
}

TEST_F(DIB, RequireHandleTurnsAZeroHandleIntoOutOfResources) {
  int dummy = 0;
  EXPECT_EQ(RequireHandle(&dummy), &dummy);
  struct Case {
    uint32_t error;
    std::string message;
  } cases[] = {{0, "Out of system resources"},
               {platform::ERROR_NOT_ENOUGH_MEMORY, platform::SysErrorMessage(platform::ERROR_NOT_ENOUGH_MEMORY)}};
  for (const Case& c : cases) {
    platform::SetLastError(c.error);
    try {
      RequireHandle(platform::HBITMAP{});
      ADD_FAILURE();
    } catch (const platform::EOutOfResources& e) {
      EXPECT_EQ(e.Message, c.message.empty() ? "Out of system resources" : c.message);
    }
  }
}

}  // namespace
}  // namespace gif
