#include <gtest/gtest.h>

#include <cstdlib>

#include "gif/decode/Frame.h"
#include "gif/render/FrameRender.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"
#include "tests/gif/render/RenderTestUtil.h"

namespace gif {
namespace {

using platform::TBitmap;
using platform::TRect;
using rendertest::Bytes;
using rendertest::BuildGif;
using rendertest::Filled;
using rendertest::LoadGif;
using rendertest::Pixels32;
using rendertest::Repeat;
using rendertest::TFrameDef;

class FrameRender : public rendertest::GdiLeakCheck {};

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
constexpr TGIFDrawFlags kDirect = DrawTransparent;                // no web palette
constexpr TGIFDrawFlags kDithered = DrawTransparent | DrawWebPalette;  // always the web palette

// A 10 x 3 frame: index = x mod 3, with the transparent index 3 in the
// cells listed.
Bytes TenByThree(const std::vector<int>& TransparentCells) {
  Bytes pixels(30);
  for (int i = 0; i < 30; ++i) pixels[static_cast<size_t>(i)] = static_cast<uint8_t>((i % 10) % 3);
  for (int c : TransparentCells) pixels[static_cast<size_t>(c)] = 3;
  return pixels;
}

TEST_F(FrameRender, DirectRenderingKeepsTheIndicesAndMasksTheTransparentOnes) {
  // Transparent pixels only in the last (10 mod 8) columns still give a mask.
  auto image = LoadGif(BuildGif(10, 3, {kRed, kGreen, kBlue, kWhite},
                                {{0, 0, 10, 3, TenByThree({8, 9, 19, 29}), 5, 0, 3}}));
  image->DrawFlags = kDirect;
  TGIFSubImage& frame = *image->Frames->FrameAt(0);
  TBitmap* bitmap = frame.RenderFrame();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), platform::TPixelFormat::pf8bit);
  EXPECT_EQ(rendertest::Indices8(*bitmap), TenByThree({8, 9, 19, 29}));
  ASSERT_NE(frame.MaskHandle, nullptr);
  EXPECT_FALSE(frame.MaskStale);
  EXPECT_EQ(frame.RenderFrame(), bitmap);  // cached

  // Drawn transparent onto black: masked pixels keep the black.
  auto canvas = Filled(10, 3, 0x000000);
  frame.DrawFrame(canvas->Canvas(), TRect{0, 0, 10, 3}, false, true);
  const auto px = Pixels32(*canvas);
  EXPECT_EQ(px[0], kRed);
  EXPECT_EQ(px[1], kGreen);
  EXPECT_EQ(px[7], kGreen);
  EXPECT_EQ(px[8], 0u);
  EXPECT_EQ(px[9], 0u);
  EXPECT_EQ(px[18], kBlue);  // row 1, x 8 is opaque
  EXPECT_EQ(px[19], 0u);
}

TEST_F(FrameRender, ATransparentIndexThatNoPixelUsesGivesNoMaskAndAnOpaqueDraw) {
  auto image = LoadGif(BuildGif(10, 3, {kRed, kGreen, kBlue, kWhite}, {{0, 0, 10, 3, TenByThree({}), 5, 0, 3}}));
  image->DrawFlags = kDirect;
  TGIFSubImage& frame = *image->Frames->FrameAt(0);
  EXPECT_FALSE(frame.MaskReady());
  EXPECT_EQ(frame.MaskHandle, nullptr);
  auto canvas = Filled(10, 3, 0x000000);
  frame.DrawFrame(canvas->Canvas(), TRect{0, 0, 10, 3}, false, true);
  EXPECT_EQ(Pixels32(*canvas)[9], kRed);
}

TEST_F(FrameRender, DitheringAWebColourGivesThatEntryEverywhere) {
  constexpr uint32_t kWeb = 0x3366FF;  // 51, 102, 255
  auto image = LoadGif(BuildGif(9, 7, {kWeb, kWeb}, {{0, 0, 9, 7, Repeat(0, 63)}}));
  image->DrawFlags = kDithered;
  TBitmap* bitmap = image->Frames->FrameAt(0)->RenderFrame();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(rendertest::Indices8(*bitmap), Repeat(36 * 1 + 6 * 2 + 5, 63));
  EXPECT_EQ(Pixels32(*bitmap)[30], kWeb);
}

TEST_F(FrameRender, DitheringKeepsTheAverageColour) {
  constexpr uint32_t kOdd = 0x6496C8;  // 100, 150, 200: between web levels
  auto image = LoadGif(BuildGif(32, 32, {kOdd, kOdd}, {{0, 0, 32, 32, Repeat(0, 1024)}}));
  image->DrawFlags = kDithered;
  TBitmap* bitmap = image->Frames->FrameAt(0)->RenderFrame();
  ASSERT_NE(bitmap, nullptr);
  long sum[3] = {};
  for (uint32_t p : Pixels32(*bitmap)) {
    sum[0] += p >> 16 & 0xFF;
    sum[1] += p >> 8 & 0xFF;
    sum[2] += p & 0xFF;
  }
  EXPECT_NEAR(sum[0] / 1024.0, 100, 3);
  EXPECT_NEAR(sum[1] / 1024.0, 150, 3);
  EXPECT_NEAR(sum[2] / 1024.0, 200, 3);
}

TEST_F(FrameRender, ATransparentPixelKeepsItsOwnWebEntryAmidErrors) {
  // Index 1 (200, 10, 90) is transparent among neighbours that carry errors.
  Bytes pixels = Repeat(0, 64);
  for (int i : {9, 18, 27, 36, 45}) pixels[static_cast<size_t>(i)] = 1;
  auto image = LoadGif(BuildGif(8, 8, {0x1E1E1E, 0xC80A5A}, {{0, 0, 8, 8, pixels, 5, 0, 1}}));
  image->DrawFlags = kDithered;
  TGIFSubImage& frame = *image->Frames->FrameAt(0);
  TBitmap* bitmap = frame.RenderFrame();
  ASSERT_NE(bitmap, nullptr);
  const auto indices = rendertest::Indices8(*bitmap);
  for (int i : {9, 18, 27, 36, 45}) EXPECT_EQ(indices[static_cast<size_t>(i)], 36 * 4 + 0 + 2) << i;
  ASSERT_NE(frame.MaskHandle, nullptr);
  // The dark grey around dithers to a mix of black and (51, 51, 51).
  int grey = 0;
  for (size_t i = 0; i < 64; ++i)
    if (pixels[i] == 0) {
      EXPECT_TRUE(indices[i] == 0 || indices[i] == 36 + 6 + 1) << i;
      grey += indices[i] != 0;
    }
  EXPECT_GT(grey, 0);
}

TEST_F(FrameRender, AFrameAbove500000PixelsRendersTheSame) {
  Bytes pixels = Repeat(1, 1000 * 501);
  pixels.back() = 0;
  auto image = LoadGif(BuildGif(1000, 501, {kRed, kGreen}, {{0, 0, 1000, 501, pixels}}));
  image->DrawFlags = kDirect;
  TBitmap* bitmap = image->Frames->FrameAt(0)->RenderFrame();
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->PixelFormat(), platform::TPixelFormat::pf8bit);
  EXPECT_EQ(rendertest::Indices8(*bitmap), pixels);
}

TEST_F(FrameRender, ThePaletteDisplayDecidesTheWebPaletteByDefault) {
  for (bool paletteDisplay : {false, true}) {
    const bool saved = PaletteDeviceDraw;
    PaletteDeviceDraw = paletteDisplay;
    auto image = LoadGif(BuildGif(2, 1, {0x6496C8, 0x6496C8}, {{0, 0, 2, 1, Repeat(0, 2)}}));
    EXPECT_EQ(image->UsesWebPalette(), paletteDisplay);
    TBitmap* bitmap = image->Frames->FrameAt(0)->RenderFrame();
    ASSERT_NE(bitmap, nullptr);
    // Dithered pixels hold web colours only, multiples of 51 in every channel.
    const uint32_t p = Pixels32(*bitmap)[0];
    EXPECT_EQ((p >> 16) % 51 == 0 && (p >> 8 & 0xFF) % 51 == 0 && (p & 0xFF) % 51 == 0, paletteDisplay) << std::hex << p;
    image.reset();
    PaletteDeviceDraw = saved;
  }
}

TEST_F(FrameRender, ScaleFrameRectMapsTheFrameIntoTheTarget) {
  auto image = LoadGif(BuildGif(100, 100, {kRed, kGreen}, {{10, 20, 30, 40, Repeat(0, 1200)}}));
  EXPECT_EQ(image->Frames->FrameAt(0)->ScaleFrameRect(TRect{0, 0, 200, 200}), (TRect{20, 40, 80, 120}));
  EXPECT_EQ(image->Frames->FrameAt(0)->ScaleFrameRect(TRect{5, 5, 105, 105}), (TRect{15, 25, 45, 65}));
}

TEST_F(FrameRender, TilesRunColumnByColumn) {
  using platform::TPoint;
  const std::vector<TPoint> expected = {{0, 0}, {0, 20}, {20, 0}, {20, 20}, {40, 0}, {40, 20}};
  EXPECT_EQ(TilePositions(TRect{0, 0, 50, 30}, 0, 0, 20, 20), expected);
  EXPECT_EQ(TilePositions(TRect{0, 0, 50, 30}, 5, 25, 20, 20), (std::vector<TPoint>{{5, 25}, {25, 25}, {45, 25}}));
  EXPECT_EQ(TilePositions(TRect{0, 0, 3, 1}, 0, 0, 0, 0).size(), 3u);  // a zero step cannot hang

  // A 10 x 10 red frame on a 20 x 20 screen, tiled into (0, 0, 50, 30).
  auto image = LoadGif(BuildGif(20, 20, {kRed, kGreen}, {{0, 0, 10, 10, Repeat(0, 100)}}));
  image->DrawFlags = kDirect;
  auto canvas = Filled(50, 30, kWhite);
  image->Frames->FrameAt(0)->DrawFrame(canvas->Canvas(), TRect{0, 0, 50, 30}, true, false);
  const auto px = Pixels32(*canvas);
  auto at = [&](int x, int y) { return px[static_cast<size_t>(y * 50 + x)]; };
  for (auto [x, y] : {std::pair{0, 0}, {9, 9}, {20, 0}, {40, 20}, {49, 29}, {29, 29}}) EXPECT_EQ(at(x, y), kRed) << x << "," << y;
  for (auto [x, y] : {std::pair{10, 0}, {0, 10}, {15, 15}, {39, 29}}) EXPECT_EQ(at(x, y), kWhite) << x << "," << y;
}

TEST_F(FrameRender, ANewFramePaletteRendersAgain) {
  auto image = LoadGif(BuildGif(4, 4, {kRed, kGreen}, {{0, 0, 4, 4, Repeat(1, 16)}}));
  image->DrawFlags = kDirect;
  TGIFSubImage& frame = *image->Frames->FrameAt(0);
  ASSERT_NE(frame.RenderFrame(), nullptr);
  EXPECT_EQ(Pixels32(*frame.FrameBitmap)[0], kGreen);
  const platform::PALETTEENTRY blue[2] = {{0, 0, 0, 0}, {0, 0, 255, 0}};
  frame.SetFramePalette(platform::CreatePalette(std::span<const platform::PALETTEENTRY>(blue)));
  EXPECT_FALSE(frame.HasBitmap());
  ASSERT_NE(frame.RenderFrame(), nullptr);
  EXPECT_EQ(Pixels32(*frame.FrameBitmap)[0], kBlue);
}

TEST_F(FrameRender, AnAbortFromTheProgressHandlerLeavesNoBitmap) {
  auto image = LoadGif(BuildGif(4, 4, {kRed, kGreen}, {{0, 0, 4, 4, Repeat(1, 16)}}));
  image->DrawFlags = kDirect;
  std::vector<std::string> seen;
  bool abort = true;
  image->OnProgress = [&](platform::TObject*, platform::TProgressStage stage, uint8_t percent, bool, const TRect&,
                          const std::string& msg) {
    seen.push_back(msg + " " + std::to_string(static_cast<int>(stage)) + " " + std::to_string(percent));
    if (abort && stage == platform::TProgressStage::psStarting) throw platform::EAbort("stop");
  };
  TGIFSubImage& frame = *image->Frames->FrameAt(0);
  EXPECT_EQ(frame.RenderFrame(), nullptr);
  EXPECT_FALSE(frame.HasBitmap());
  abort = false;
  seen.clear();
  EXPECT_NE(frame.RenderFrame(), nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"Rendering... 0 0", "Rendering... 1 0", "Rendering... 2 100"}));
}

TEST_F(FrameRender, MaskedStretchBltGivesTheSameResultOnBothPaths) {
  // A 4 x 2 source, mask bits set on the diagonal-ish cells.
  auto source = Filled(4, 2, kRed);
  source->Canvas().SetPixel(1, 0, rendertest::AsColor(kBlue));
  const uint8_t maskBits[4] = {0xA0, 0, 0x50, 0};  // rows padded to 16 bits: x 0, 2 | x 1, 3
  const platform::HBITMAP mask = platform::CreateBitmap(4, 2, 1, 1, maskBits);
  const platform::HDC maskDC = platform::CreateCompatibleDC(nullptr);
  const platform::HBITMAP old = platform::SelectObject(maskDC, mask);
  std::vector<std::vector<uint32_t>> results;
  for (int32_t platformId : {platform::VER_PLATFORM_WIN32_NT, platform::VER_PLATFORM_WIN32_WINDOWS}) {
    const int32_t saved = platform::Win32Platform;
    platform::Win32Platform = platformId;
    auto dest = Filled(4, 2, kWhite);
    MaskedStretchBlt(dest->Canvas().Handle(), 0, 0, 4, 2, source->Canvas().Handle(), 0, 0, 4, 2, maskDC, 0, 0);
    platform::Win32Platform = saved;
    results.push_back(Pixels32(*dest));
  }
  EXPECT_EQ(results[0], (std::vector<uint32_t>{kWhite, kBlue, kWhite, kRed, kRed, kWhite, kRed, kWhite}));
  EXPECT_EQ(results[1], results[0]);
  // Stretched twice as wide: every source pixel becomes two.
  auto wide = Filled(8, 2, kWhite);
  MaskedStretchBlt(wide->Canvas().Handle(), 0, 0, 8, 2, source->Canvas().Handle(), 0, 0, 4, 2, maskDC, 0, 0);
  const auto px = Pixels32(*wide);
  EXPECT_EQ(px[0], kWhite);
  EXPECT_EQ(px[2], kBlue);
  EXPECT_EQ(px[3], kBlue);
  EXPECT_EQ(px[8], kRed);
  EXPECT_EQ(px[10], kWhite);
  platform::SelectObject(maskDC, old);
  platform::DeleteDC(maskDC);
  platform::DeleteObject(mask);
}

TEST_F(FrameRender, FramesAndPicturesAssignToBitmaps) {
  auto image = LoadGif(BuildGif(6, 4, {kRed, kGreen}, {{0, 0, 6, 4, Repeat(1, 24)}}));
  image->DrawFlags = kDirect;
  TBitmap fromFrame, fromPicture;
  fromFrame.Assign(image->Frames->FrameAt(0));
  fromPicture.Assign(image.get());
  EXPECT_EQ(fromFrame.GetWidth(), 6);
  EXPECT_EQ(Pixels32(fromFrame)[23], kGreen);
  EXPECT_EQ(fromPicture.GetHeight(), 4);
  EXPECT_EQ(Pixels32(fromPicture)[0], kGreen);
  TGIFImage empty;
  TBitmap nothing;
  nothing.Assign(&empty);
  EXPECT_TRUE(nothing.GetEmpty());
}

}  // namespace
}  // namespace gif
