#include <gtest/gtest.h>

#include <filesystem>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Graphic.h"
#include "platform/rtl/Exceptions.h"
#include "tests/graphics/GdiLeakCheck.h"

namespace platform {
namespace {

using test::GdiLeakTest;

// The bounding box of pixels that differ from Background.
TRect InkBox(TBitmap& b, TColor background) {
  TRect box{b.Width(), b.Height(), 0, 0};
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.Canvas().Pixel(x, y) != background) {
        box.Left = std::min(box.Left, x);
        box.Top = std::min(box.Top, y);
        box.Right = std::max(box.Right, x + 1);
        box.Bottom = std::max(box.Bottom, y + 1);
      }
  return box;
}

TEST_F(GdiLeakTest, TitleTextMeasuresAndDrawsConsistently) {
  for (TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf24bit, TPixelFormat::pf8bit}) {
    TBitmap b;
    b.SetPixelFormat(format);
    b.SetSize(240, 100);
    TCanvas& c = b.Canvas();
    c.Brush().SetColor(clBlack);
    c.FillRect(Rect(0, 0, 240, 100));
    c.Font().SetName("Times New Roman");
    c.Font().SetHeight(-53);
    c.Font().SetColor(clWhite);
    c.Brush().SetStyle(TBrushStyle::bsClear);
    const int32_t w = c.TextWidth("Install"), h = c.TextHeight("Install");
    EXPECT_GT(w, 100);
    EXPECT_LT(w, 170);
    EXPECT_GT(h, 53);
    EXPECT_LT(h, 70);
    c.TextOut(20, 10, "Install");
    const TRect ink = InkBox(b, clBlack);
    // Glyphs may reach a few pixels past their advances (side bearings),
    // never past the cell vertically by more than that.
    EXPECT_NEAR(ink.Left, 20, 6);
    EXPECT_NEAR(ink.Right, 20 + w, 6);
    EXPECT_GE(ink.Top, 10);
    EXPECT_LE(ink.Bottom, 10 + h);
    EXPECT_GT(ink.Height(), 53 / 2);
    EXPECT_EQ(c.PenPos(), Point(20 + w, 10));
    // Full coverage somewhere: the font colour itself reaches the bitmap.
    bool white = false;
    for (int y = ink.Top; y < ink.Bottom && !white; ++y)
      for (int x = ink.Left; x < ink.Right && !white; ++x) white = c.Pixel(x, y) == clWhite;
    EXPECT_TRUE(white) << static_cast<int>(format);
  }
}

TEST_F(GdiLeakTest, ASolidBrushFillsTheTextCell) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf32bit);
  b.SetSize(80, 30);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clRed);
  c.Font().SetColor(clWhite);
  c.TextOut(5, 5, "X");
  const TSize cell = c.TextExtent("X");
  EXPECT_EQ(c.Pixel(5, 5), clRed);
  EXPECT_EQ(c.Pixel(5 + cell.cx - 1, 5 + cell.cy - 1), clRed);
  EXPECT_EQ(c.Pixel(5 + cell.cx, 5), clWhite);  // the bitmap's initial fill
  EXPECT_EQ(c.Pixel(4, 4), clWhite);
}

TEST_F(GdiLeakTest, CanvasToolsDrawAndNotify) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf24bit);
  b.SetSize(10, 10);
  int canvasChanges = 0, bitmapChanges = 0;
  b.Canvas().OnChange = nullptr;  // the bitmap's own hook is replaced below
  b.OnChange = [&](TObject*) { ++bitmapChanges; };
  TCanvas& c = b.Canvas();
  c.OnChange = [&](TObject*) {
    ++canvasChanges;
    b.Changed(&b);
  };
  c.Brush().SetColor(clBlue);
  c.FillRect(Rect(0, 0, 10, 10));
  c.Pen().SetColor(clYellow);
  c.Rectangle(2, 2, 6, 6);
  c.MoveTo(0, 9);
  c.LineTo(10, 9);
  c.SetPixel(9, 0, clAqua);
  EXPECT_EQ(c.Pixel(2, 2), clYellow);
  EXPECT_EQ(c.Pixel(3, 3), clBlue);
  EXPECT_EQ(c.Pixel(5, 9), clYellow);
  EXPECT_EQ(c.Pixel(9, 0), clAqua);
  EXPECT_EQ(c.Pixel(20, 20), CLR_INVALID);
  EXPECT_EQ(c.ClipRect(), Rect(0, 0, 10, 10));
  EXPECT_EQ(canvasChanges, 4);
  EXPECT_EQ(bitmapChanges, 4);

  TBitmap d;
  d.SetPixelFormat(TPixelFormat::pf24bit);
  d.SetSize(20, 20);
  d.Canvas().CopyRect(Rect(0, 0, 20, 20), c, Rect(0, 0, 10, 10));
  EXPECT_EQ(d.Canvas().Pixel(4, 4), clYellow);
  EXPECT_EQ(d.Canvas().Pixel(19, 0), clAqua);
}

TEST_F(GdiLeakTest, HatchedBrushesPaintOnlyTheirLines) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf32bit);
  b.SetSize(8, 8);
  TCanvas& c = b.Canvas();
  c.Brush().SetColor(clBlue);
  c.FillRect(Rect(0, 0, 8, 8));
  c.Brush().SetColor(clRed);
  c.Brush().SetStyle(TBrushStyle::bsCross);
  c.FillRect(Rect(0, 0, 8, 8));
  int red = 0, blue = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) (c.Pixel(x, y) == clRed ? red : blue) += 1;
  EXPECT_EQ(red, 15);  // one row and one column of the 8x8 cell
  EXPECT_EQ(blue, 49);
}

TEST_F(GdiLeakTest, ACanvasWithoutHandleRefusesToDraw) {
  TCanvas c;
  EXPECT_THROW(c.FillRect(Rect(0, 0, 1, 1)), EInvalidOperation);
  TBitmap b;
  b.SetSize(4, 4);
  c.SetHandle(b.Canvas().Handle());
  c.Brush().SetColor(clLime);
  c.FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(b.Canvas().Pixel(3, 3), clLime);
  c.SetHandle(nullptr);
  c.Lock();
  EXPECT_EQ(c.LockCount(), 1);
  c.Unlock();
}

TEST_F(GdiLeakTest, FontSizeAndHeightFollowNinetySixPixelsPerInch) {
  TFont f;
  EXPECT_EQ(f.Name(), "MS Sans Serif");
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Size(), 8);
  int changes = 0;
  f.OnChange = [&](TObject*) { ++changes; };
  f.SetSize(40);
  EXPECT_EQ(f.Height(), -53);
  f.SetStyle(fsBold | fsItalic);
  EXPECT_TRUE(f.Request().Bold);
  EXPECT_EQ(changes, 2);
  TFont g;
  g.Assign(&f);
  EXPECT_EQ(g.Height(), -53);
  EXPECT_EQ(g.Style(), fsBold | fsItalic);
}

// ---- The picture system ----

class TestGraphic : public TGraphic {
 public:
  const char* ClassName() const noexcept override { return "TestGraphic"; }
  void Draw(TCanvas&, const TRect&) override {}
  bool GetEmpty() override { return true; }
  int32_t GetHeight() override { return 0; }
  int32_t GetWidth() override { return 0; }
  void SetHeight(int32_t) override {}
  void SetWidth(int32_t) override {}
  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}
};

TEST_F(GdiLeakTest, PicturesPickTheirClassByExtension) {
  TPicture picture;
  int changes = 0;
  picture.OnChange = [&](TObject*) { ++changes; };
  const std::string bmp = PELLISTO_SHARED_DIR "/corpus/hat.bmp";
  picture.LoadFromFile(bmp);
  ASSERT_NE(picture.Graphic(), nullptr);
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");
  EXPECT_EQ(picture.Width(), 90);
  EXPECT_EQ(changes, 1);
  // A graphic's change reaches the picture.
  picture.Bitmap()->Canvas().SetPixel(0, 0, clRed);
  EXPECT_EQ(changes, 2);

  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"/tmp/picture.jpg", "Unknown picture file extension (.jpg)"},
      {"/tmp/noextension", "Unknown picture file extension (.)"},
  };
  for (const Case& c : cases) {
    try {
      picture.LoadFromFile(c.file);
      ADD_FAILURE() << c.file;
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, c.message);
    }
  }
  EXPECT_STREQ(picture.Graphic()->ClassName(), "TBitmap");  // the old graphic stays

  // Extensions compare without regard to case; unregistering removes them.
  TPicture::RegisterFileFormat("TsT", "Test pictures", GraphicClassOf<TestGraphic>("TestGraphic"));
  EXPECT_NE(TPicture::FindFileFormat("tst"), nullptr);
  EXPECT_NE(TPicture::FindFileFormat("TST"), nullptr);
  const uint16_t format = RegisterClipboardFormat("Test Picture");
  TPicture::RegisterClipboardFormat(format, GraphicClassOf<TestGraphic>("TestGraphic"));
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(format));
  TPicture::UnregisterGraphicClass("TestGraphic");
  EXPECT_EQ(TPicture::FindFileFormat("tst"), nullptr);
  EXPECT_FALSE(TPicture::SupportsClipboardFormat(format));
  EXPECT_NE(TPicture::FindFileFormat("BMP"), nullptr);
}

TEST(Clipboard, FormatNumbersAreStablePerName) {
  const uint16_t a = RegisterClipboardFormat("GIF Image");
  EXPECT_GE(a, 0xC000);
  EXPECT_EQ(RegisterClipboardFormat("gif image"), a);
  EXPECT_NE(RegisterClipboardFormat("Another Format"), a);
  EXPECT_EQ(GetClipboardFormatName(a), "GIF Image");
  EXPECT_EQ(GetClipboardFormatName(0x1234), "");
  EXPECT_EQ(RegisterClipboardFormat(""), 0);
  if (!GetClipboardProvider()) {
    EXPECT_THROW(SetClipboardData(a, {1, 2}), EInvalidOperation);
    std::vector<uint8_t> data;
    EXPECT_FALSE(GetClipboardData(a, data));
  }
}

}  // namespace
}  // namespace platform
