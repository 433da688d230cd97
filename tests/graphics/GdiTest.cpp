#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/graphics/Gdi.h"
#include "tests/graphics/GdiLeakCheck.h"

namespace platform {
namespace {

using test::GdiLeakTest;

// A DIB section selected into its own memory DC.
struct Surface {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  HBITMAP old = nullptr;
  uint8_t* bits = nullptr;
  int32_t width = 0, height = 0, bpp = 0, stride = 0;
  bool topDown = false;

  Surface(int32_t w, int32_t h, int b, const std::vector<RGBQUAD>& table = {}, bool td = false)
      : width(w), height(h), bpp(b), topDown(td) {
    std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 4 * 256, 0);
    auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
    info->bmiHeader = {};
    info->bmiHeader.biWidth = w;
    info->bmiHeader.biHeight = td ? -h : h;
    info->bmiHeader.biBitCount = static_cast<uint16_t>(b);
    info->bmiHeader.biClrUsed = static_cast<uint32_t>(table.size());
    if (!table.empty()) std::memcpy(block.data() + sizeof(BITMAPINFOHEADER), table.data(), 4 * table.size());
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    stride = ((w * b + 31) / 32) * 4;
    dc = CreateCompatibleDC(nullptr);
    old = SelectObject(dc, bitmap);
  }
  ~Surface() {
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  uint8_t* Row(int32_t y) const { return bits + (topDown ? y : height - 1 - y) * stride; }
  uint32_t Get32(int32_t x, int32_t y) const {
    uint32_t v;
    std::memcpy(&v, Row(y) + 4 * x, 4);
    return v & 0xFFFFFF;
  }
  void Set32(int32_t x, int32_t y, uint32_t v) { std::memcpy(Row(y) + 4 * x, &v, 4); }
  void Set24(int32_t x, int32_t y, uint32_t v) { std::memcpy(Row(y) + 3 * x, &v, 3); }
};

RGBQUAD Quad(uint8_t r, uint8_t g, uint8_t b) {
  RGBQUAD q;
  q.rgbRed = r;
  q.rgbGreen = g;
  q.rgbBlue = b;
  return q;
}

// The truth table, bit by bit.
uint32_t Reference(uint8_t rop, uint32_t p, uint32_t s, uint32_t d) {
  uint32_t out = 0;
  for (int bit = 0; bit < 24; ++bit) {
    const int index = (((p >> bit) & 1) << 2) | (((s >> bit) & 1) << 1) | ((d >> bit) & 1);
    out |= static_cast<uint32_t>((rop >> index) & 1) << bit;
  }
  return out;
}

class GdiRop : public GdiLeakTest, public ::testing::WithParamInterface<int> {};

// Every code on both the same-format path and the converting path, with
// pixel values that give each bit position a different (P, S, D) triple.
TEST_P(GdiRop, EveryRop3CodeFollowsItsTruthTable) {
  const int srcBpp = GetParam();
  constexpr uint32_t kPattern = 0xF0F0F0;
  const uint32_t sources[] = {0xCCCCCC, 0x3355AA, 0x000000};
  const uint32_t dests[] = {0xAAAAAA, 0x0F1E2D, 0xFFFFFF};
  Surface src(3, 1, srcBpp);
  for (int x = 0; x < 3; ++x) srcBpp == 32 ? src.Set32(x, 0, sources[x]) : src.Set24(x, 0, sources[x]);
  Surface dst(3, 1, 32);
  // Brush colours are COLORREFs: $00BBGGRR; the pattern bytes are all equal.
  HBRUSH brush = CreateSolidBrush(kPattern);
  HBRUSH oldBrush = SelectObject(dst.dc, brush);
  for (int index = 0; index < 256; ++index) {
    for (int x = 0; x < 3; ++x) dst.Set32(x, 0, dests[x]);
    ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 0, 0, Rop3FromIndex(static_cast<uint8_t>(index))));
    for (int x = 0; x < 3; ++x)
      ASSERT_EQ(dst.Get32(x, 0), Reference(static_cast<uint8_t>(index), kPattern, sources[x], dests[x]))
          << "rop index " << index << " pixel " << x;
  }
  SelectObject(dst.dc, oldBrush);
  DeleteObject(brush);
}
INSTANTIATE_TEST_SUITE_P(SourceFormats, GdiRop, ::testing::Values(32, 24));

TEST_F(GdiLeakTest, MonochromeToColourUsesTextAndBackgroundColours) {
  const uint8_t rows[2] = {0x80, 0x00};  // one row, pixel 0 set; rows padded to 16 bits
  HBITMAP mono = CreateBitmap(2, 1, 1, 1, rows);
  HDC monoDC = CreateCompatibleDC(nullptr);
  HBITMAP oldMono = SelectObject(monoDC, mono);
  Surface dst(2, 1, 32);
  SetTextColor(dst.dc, RGB(255, 0, 0));  // 0 bits
  SetBkColor(dst.dc, RGB(0, 0, 255));    // 1 bits
  BitBlt(dst.dc, 0, 0, 2, 1, monoDC, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.Get32(0, 0), 0x0000FFu);  // blue (as B,G,R bytes)
  EXPECT_EQ(dst.Get32(1, 0), 0xFF0000u);  // red
  SelectObject(monoDC, oldMono);
  DeleteDC(monoDC);
  DeleteObject(mono);
}

TEST_F(GdiLeakTest, ColourToMonochromeSetsPixelsOfTheSourceBackground) {
  Surface src(3, 1, 32);
  src.Set32(0, 0, 0xFFFFFF);
  src.Set32(1, 0, 0xFF0000);  // red
  src.Set32(2, 0, 0x000000);
  SetBkColor(src.dc, RGB(255, 0, 0));
  HBITMAP mono = CreateBitmap(3, 1, 1, 1, nullptr);
  HDC monoDC = CreateCompatibleDC(nullptr);
  HBITMAP oldMono = SelectObject(monoDC, mono);
  BitBlt(monoDC, 0, 0, 3, 1, src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(GetPixel(monoDC, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(monoDC, 1, 0), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(monoDC, 2, 0), RGB(0, 0, 0));
  SelectObject(monoDC, oldMono);
  DeleteDC(monoDC);
  DeleteObject(mono);
}

TEST_F(GdiLeakTest, StretchBltTakesTheNearestPixelUpDownAndMirrored) {
  Surface src(4, 2, 32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) src.Set32(x, y, static_cast<uint32_t>(10 * y + x + 1));
  struct Case {
    int32_t dw, dh;
    int32_t sw, sh;
    std::vector<uint32_t> expected;  // rows of the destination, left to right
  };
  const Case cases[] = {
      {8, 4, 4, 2, {1, 1, 2, 2, 3, 3, 4, 4, 1, 1, 2, 2, 3, 3, 4, 4, 11, 11, 12, 12, 13, 13, 14, 14,
                    11, 11, 12, 12, 13, 13, 14, 14}},
      {2, 1, 4, 2, {1, 3}},
      {-4, 1, 4, 1, {4, 3, 2, 1}},
  };
  for (const Case& c : cases) {
    const int32_t w = c.dw < 0 ? -c.dw : c.dw;
    Surface dst(w, c.dh, 32);
    const int32_t x = c.dw < 0 ? w - 1 : 0;
    ASSERT_TRUE(StretchBlt(dst.dc, x, 0, c.dw, c.dh, src.dc, 0, 0, c.sw, c.sh, SRCCOPY));
    std::vector<uint32_t> got;
    for (int32_t yy = 0; yy < c.dh; ++yy)
      for (int32_t xx = 0; xx < w; ++xx) got.push_back(dst.Get32(xx, yy));
    EXPECT_EQ(got, c.expected) << c.dw << "x" << c.dh;
  }
}

TEST_F(GdiLeakTest, MaskBltLeavesTheDestinationWhereTheMaskIsSet) {
  Surface src(8, 2, 32);
  Surface dst(8, 2, 32);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      src.Set32(x, y, 0x112233);
      dst.Set32(x, y, 0x445566);
    }
  const uint8_t rows[4] = {0xA5, 0x00, 0x0F, 0x00};  // 16-bit padded rows
  HBITMAP mask = CreateBitmap(8, 2, 1, 1, rows);
  ASSERT_TRUE(MaskBlt(dst.dc, 0, 0, 8, 2, src.dc, 0, 0, mask, 0, 0, MAKEROP4(0x00AA0029, SRCCOPY)));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 8; ++x) {
      const bool set = (rows[2 * y] >> (7 - x)) & 1;
      EXPECT_EQ(dst.Get32(x, y), set ? 0x445566u : 0x112233u) << x << "," << y;
    }
  DeleteObject(mask);
}

TEST_F(GdiLeakTest, BlitsIntoPaletteBitmapsTakeTheNearestColour) {
  Surface dst(2, 1, 8, {Quad(0, 0, 0), Quad(250, 10, 10), Quad(10, 10, 250)});
  Surface src(2, 1, 32);
  src.Set32(0, 0, 0xFF0000);  // red
  src.Set32(1, 0, 0x0000F0);  // blue
  BitBlt(dst.dc, 0, 0, 2, 1, src.dc, 0, 0, SRCCOPY);
  EXPECT_EQ(dst.Row(0)[0], 1);
  EXPECT_EQ(dst.Row(0)[1], 2);
}

TEST_F(GdiLeakTest, BlitsClipToSurfaceClipBoxAndViewport) {
  Surface dst(4, 4, 32);
  HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
  HBRUSH old = SelectObject(dst.dc, brush);
  SetViewportOrgEx(dst.dc, 1, 1, nullptr);
  IntersectClipRect(dst.dc, 0, 0, 2, 10);  // device columns 1..2
  PatBlt(dst.dc, -5, -5, 20, 20, PATCOPY);
  TRect box;
  EXPECT_EQ(GetClipBox(dst.dc, &box), SIMPLEREGION);
  EXPECT_EQ(box, Rect(0, 0, 2, 3));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x)
      EXPECT_EQ(dst.Get32(x, y), (x >= 1 && x <= 2 && y >= 1) ? 0x0000FFu : 0u) << x << "," << y;
  SelectObject(dst.dc, old);
  DeleteObject(brush);
}

TEST_F(GdiLeakTest, GetDIBitsRoundTripsEveryFormatAndRowOrder) {
  // Pure colours: exact in every format (the default palette and the VGA
  // colours hold them, 5-5-5 and 5-6-5 keep 0 and 255).
  const uint32_t colors[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF};
  for (int bpp : {1, 4, 8, 16, 24, 32}) {
    for (bool topDown : {false, true}) {
      Surface src(5, 3, 32);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) src.Set32(x, y, colors[(x + 2 * y) % (bpp == 1 ? 2 : 8)]);
      std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 4 * 256, 0);
      auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
      info->bmiHeader = {};
      info->bmiHeader.biWidth = 5;
      info->bmiHeader.biHeight = topDown ? -3 : 3;
      info->bmiHeader.biBitCount = static_cast<uint16_t>(bpp);
      std::vector<uint8_t> bits(3 * (((5 * bpp + 31) / 32) * 4));
      SelectObject(src.dc, src.old);  // a bitmap read by GetDIBits is not selected anywhere
      HDC dc = CreateCompatibleDC(nullptr);
      ASSERT_EQ(GetDIBits(dc, src.bitmap, 0, 3, bits.data(), info, DIB_RGB_COLORS), 3) << bpp;
      if (bpp == 8) {
        // Row order: the first stored row is the bottom row unless top-down.
        const uint32_t first = colors[(0 + 2 * (topDown ? 0 : 2)) % 8];
        const RGBQUAD q = info->bmiColors[bits[0]];
        EXPECT_EQ((uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue, first);
      }
      Surface back(5, 3, 32);
      SelectObject(back.dc, back.old);
      ASSERT_EQ(SetDIBits(dc, back.bitmap, 0, 3, bits.data(), info, DIB_RGB_COLORS), 3);
      back.old = SelectObject(back.dc, back.bitmap);
      src.old = SelectObject(src.dc, src.bitmap);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
          EXPECT_EQ(back.Get32(x, y), src.Get32(x, y)) << bpp << (topDown ? " top-down " : " bottom-up ") << x << "," << y;
      DeleteDC(dc);
    }
  }
}

TEST_F(GdiLeakTest, GetDIBitsDescribesTheBitmapWithoutBits) {
  Surface src(7, 5, 8, {Quad(1, 2, 3)});
  BITMAPINFO info;
  info.bmiHeader = {};
  SelectObject(src.dc, src.old);
  HDC dc = CreateCompatibleDC(nullptr);
  EXPECT_NE(GetDIBits(dc, src.bitmap, 0, 5, nullptr, &info, DIB_RGB_COLORS), 0);
  EXPECT_EQ(info.bmiHeader.biWidth, 7);
  EXPECT_EQ(info.bmiHeader.biHeight, 5);
  EXPECT_EQ(info.bmiHeader.biBitCount, 8);
  EXPECT_EQ(info.bmiHeader.biSizeImage, 8u * 5u);
  DeleteDC(dc);
  src.old = SelectObject(src.dc, src.bitmap);
}

// Part of a DIB section's own header reused for another depth: the masks
// of a 5-6-5 section do not stop a 24-bit read, and empty masks are filled in.
TEST_F(GdiLeakTest, GetDIBitsAcceptsAHeaderTakenFromABitFieldSection) {
  std::vector<uint8_t> block(sizeof(BITMAPINFOHEADER) + 12, 0);
  auto* info = reinterpret_cast<BITMAPINFO*>(block.data());
  info->bmiHeader = {};
  info->bmiHeader.biWidth = 2;
  info->bmiHeader.biHeight = 1;
  info->bmiHeader.biBitCount = 16;
  info->bmiHeader.biCompression = BI_BITFIELDS;
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(block.data() + sizeof(BITMAPINFOHEADER), masks, sizeof masks);
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_NE(section, nullptr);
  const uint16_t red565 = 0xF800;
  std::memcpy(bits, &red565, 2);
  DIBSECTION ds;
  ASSERT_EQ(GetObject(section, sizeof ds, &ds), static_cast<int>(sizeof ds));
  std::vector<uint8_t> request(sizeof(BITMAPINFOHEADER) + 12, 0);
  auto* req = reinterpret_cast<BITMAPINFO*>(request.data());
  req->bmiHeader = ds.dsBmih;
  req->bmiHeader.biBitCount = 24;
  HDC dc = CreateCompatibleDC(nullptr);
  uint8_t out[8] = {};
  ASSERT_EQ(GetDIBits(dc, section, 0, 1, out, req, DIB_RGB_COLORS), 1);
  EXPECT_EQ(out[2], 255);  // B, G, R
  EXPECT_EQ(out[0], 0);
  req->bmiHeader.biBitCount = 16;
  req->bmiHeader.biCompression = BI_BITFIELDS;
  std::memset(request.data() + sizeof(BITMAPINFOHEADER), 0, 12);
  ASSERT_EQ(GetDIBits(dc, section, 0, 1, out, req, DIB_RGB_COLORS), 1);
  uint32_t got[3];
  std::memcpy(got, request.data() + sizeof(BITMAPINFOHEADER), sizeof got);
  EXPECT_EQ(got[1], 0x07E0u);
  EXPECT_EQ(out[1], 0xF8);
  DeleteDC(dc);
  DeleteObject(section);
}

TEST_F(GdiLeakTest, GetObjectDescribesEachKind) {
  Surface dib(3, 2, 8);
  DIBSECTION ds;
  EXPECT_EQ(GetObject(dib.bitmap, sizeof ds, &ds), static_cast<int>(sizeof(DIBSECTION)));
  EXPECT_GE(sizeof(DIBSECTION), 64u);
  EXPECT_EQ(ds.dsBmih.biSize, 40u);
  EXPECT_EQ(ds.dsBmih.biBitCount, 8);
  EXPECT_EQ(ds.dsBm.bmBits, dib.bits);
  HBITMAP ddb = CreateBitmap(3, 2, 1, 1, nullptr);
  EXPECT_EQ(GetObject(ddb, sizeof ds, &ds), static_cast<int>(sizeof(BITMAP)));
  EXPECT_LT(sizeof(BITMAP), 64u);
  const PALETTEENTRY entries[3] = {};
  HPALETTE pal = CreatePalette(entries);
  uint16_t count = 0;
  EXPECT_EQ(GetObject(pal, 2, &count), 2);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(GetObjectType(pal), OBJ_PAL);
  EXPECT_EQ(GetObjectType(ddb), OBJ_BITMAP);
  EXPECT_EQ(GetObjectType(dib.dc), OBJ_MEMDC);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetObjectType(screen), OBJ_DC);
  ReleaseDC(nullptr, screen);
  DeleteObject(pal);
  DeleteObject(ddb);
  EXPECT_EQ(GetObjectType(pal), 0);
  EXPECT_EQ(GetObject(pal, 2, &count), 0);
  EXPECT_FALSE(DeleteObject(pal));
}

TEST_F(GdiLeakTest, ABitmapIsSelectedIntoOneDCAndNotDeletedThere) {
  HBITMAP bmp = CreateBitmap(2, 2, 1, 32, nullptr);
  HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
  HBITMAP oldA = SelectObject(a, bmp);
  EXPECT_NE(oldA, nullptr);
  EXPECT_EQ(SelectObject(b, bmp), nullptr);
  EXPECT_FALSE(DeleteObject(bmp));
  EXPECT_EQ(SelectObject(a, oldA), bmp);
  EXPECT_TRUE(DeleteObject(bmp));
  DeleteDC(a);
  DeleteDC(b);
}

TEST_F(GdiLeakTest, ADeletedToolStillSelectedFallsBackToTheStockOne) {
  Surface dst(2, 1, 32);
  HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
  SelectObject(dst.dc, brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_TRUE(PatBlt(dst.dc, 0, 0, 2, 1, PATCOPY));
  EXPECT_EQ(GetPixel(dst.dc, 1, 0), RGB(255, 255, 255));  // the white stock brush
  SelectObject(dst.dc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
}

TEST_F(GdiLeakTest, PalettesKeepEntriesFlagsAndCopiesAreIndependent) {
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + 2 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 3;
  lp->palPalEntry[0] = {1, 2, 3, PC_NOCOLLAPSE};
  (&lp->palPalEntry[0])[1] = {4, 5, 6, 0};
  (&lp->palPalEntry[0])[2] = {7, 8, 9, PC_RESERVED};
  HPALETTE pal = CreatePalette(lp);
  HPALETTE copy = CopyPalette(pal);
  const PALETTEENTRY changed = {9, 9, 9, 0};
  SetPaletteEntries(pal, 1, 1, &changed);
  PALETTEENTRY got[3];
  ASSERT_EQ(GetPaletteEntries(copy, 0, 3, got), 3u);
  EXPECT_EQ(got[0], (PALETTEENTRY{1, 2, 3, PC_NOCOLLAPSE}));
  EXPECT_EQ(got[1], (PALETTEENTRY{4, 5, 6, 0}));
  EXPECT_EQ(got[2].peFlags, PC_RESERVED);
  EXPECT_EQ(GetPaletteEntries(pal, 2, 5, got), 1u);
  EXPECT_EQ(GetPaletteEntries(pal, 0, 0, nullptr), 3u);
  EXPECT_EQ(GetNearestPaletteIndex(pal, RGB(8, 8, 8)), 2u);
  HDC dc = CreateCompatibleDC(nullptr);
  HPALETTE old = SelectPalette(dc, pal, false);
  EXPECT_EQ(old, GetStockObject(DEFAULT_PALETTE));
  EXPECT_EQ(SelectPalette(dc, old, false), pal);
  DeleteDC(dc);
  DeleteObject(pal);
  DeleteObject(copy);
}

TEST_F(GdiLeakTest, StockAndHalftonePalettesHoldTheStaticColours) {
  PALETTEENTRY stock[20];
  ASSERT_EQ(GetPaletteEntries(static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE)), 0, 20, stock), 20u);
  EXPECT_EQ(stock[0], (PALETTEENTRY{0, 0, 0, 0}));
  EXPECT_EQ(stock[7], (PALETTEENTRY{192, 192, 192, 0}));
  EXPECT_EQ(stock[19], (PALETTEENTRY{255, 255, 255, 0}));
  EXPECT_EQ(GetPaletteEntries(SystemPalette16(), 0, 0, nullptr), 16u);
  HPALETTE half = CreateHalftonePalette(nullptr);
  PALETTEENTRY h[256];
  ASSERT_EQ(GetPaletteEntries(half, 0, 256, h), 256u);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(h[i], stock[i]);
    EXPECT_EQ(h[246 + i], stock[10 + i]);
  }
  EXPECT_EQ(h[10 + 36 * 5 + 6 * 0 + 3], (PALETTEENTRY{255, 0, 153, 0}));
  DeleteObject(half);
  // Deleting stock objects changes nothing.
  EXPECT_TRUE(DeleteObject(GetStockObject(DEFAULT_PALETTE)));
  EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_PALETTE)), OBJ_PAL);
}

TEST_F(GdiLeakTest, FailedCreationSetsTheLastErrorWithItsText) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(CreateBitmap(100000, 100000, 1, 32, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  char buffer[256];
  const uint32_t n = FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetLastError(), 0x400, buffer,
                                   sizeof buffer, nullptr);
  EXPECT_GT(n, 0u);
  EXPECT_EQ(std::string(buffer), "Not enough memory resources are available to process this command.");
  EXPECT_EQ(FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 123456, 0x400, buffer, sizeof buffer, nullptr), 0u);
  EXPECT_EQ(FormatMessage(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_INVALID_HANDLE, 0, buffer, 4, nullptr), 3u);
  EXPECT_STREQ(buffer, "The");
}

TEST_F(GdiLeakTest, DeviceCapsFollowTheScreenSettings) {
  const TScreenSettings saved = GetScreenSettings();
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 24);
  EXPECT_EQ(GetDeviceCaps(screen, PLANES), 1);
  EXPECT_EQ(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
  TScreenSettings palette = saved;
  palette.BitsPerPixel = 8;
  palette.Width = 640;
  SetScreenSettings(palette);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 8);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 640);
  EXPECT_EQ(GetDeviceCaps(screen, SIZEPALETTE), 256);
  EXPECT_NE(GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE, 0);
  SetScreenSettings(saved);
  ReleaseDC(nullptr, screen);
}

TEST_F(GdiLeakTest, CompatibleBitmapsFollowWhatTheDCDrawsOn) {
  HDC mem = CreateCompatibleDC(nullptr);
  BITMAP bm;
  HBITMAP mono = CreateCompatibleBitmap(mem, 4, 4);  // the initial 1x1 bitmap is monochrome
  GetObject(mono, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 1);
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateCompatibleBitmap(screen, 4, 4);
  GetObject(colour, sizeof bm, &bm);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  ReleaseDC(nullptr, screen);
  Surface dib(2, 2, 8, {Quad(1, 2, 3)});
  HBITMAP same = CreateCompatibleBitmap(dib.dc, 4, 4);
  DIBSECTION ds;
  EXPECT_EQ(GetObject(same, sizeof ds, &ds), static_cast<int>(sizeof ds));
  EXPECT_EQ(ds.dsBmih.biBitCount, 8);
  for (HBITMAP h : {mono, colour, same}) DeleteObject(h);
  DeleteDC(mem);
}

TEST_F(GdiLeakTest, LinesRectanglesAndPixels) {
  Surface dst(6, 6, 32);
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
  HPEN oldPen = SelectObject(dst.dc, pen);
  HBRUSH brush = CreateSolidBrush(RGB(0, 255, 0));
  HBRUSH oldBrush = SelectObject(dst.dc, brush);
  Rectangle(dst.dc, 0, 0, 4, 4);
  EXPECT_EQ(GetPixel(dst.dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 3, 3), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 1, 1), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dst.dc, 4, 4), RGB(0, 0, 0));
  MoveToEx(dst.dc, 0, 5, nullptr);
  LineTo(dst.dc, 5, 5);  // the end point stays
  EXPECT_EQ(GetPixel(dst.dc, 4, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dst.dc, 5, 5), RGB(0, 0, 0));
  EXPECT_EQ(SetPixel(dst.dc, 5, 0, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(dst.dc, 5, 0), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(dst.dc, 6, 0), CLR_INVALID);
  SelectObject(dst.dc, oldPen);
  SelectObject(dst.dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

}  // namespace
}  // namespace platform
