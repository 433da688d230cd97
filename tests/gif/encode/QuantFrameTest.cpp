// Bitmaps and frames becoming frames; pictures assigned from pictures.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "gif/decode/Extensions.h"
#include "gif/encode/Reduce.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Icon.h"
#include "tests/gif/decode/GifTestUtil.h"
#include "tests/gif/encode/QuantBitmaps.h"

namespace gif {
namespace {

using platform::TPixelFormat;
using quanttest::Rgb;

class Frames : public ::testing::Test {
protected:
  void SetUp() override {
    WebPaletteHandle();
    objects = platform::GdiObjectCount();
  }
  void TearDown() override {
    PaletteDevice = false;
    EXPECT_EQ(platform::GdiObjectCount(), objects) << platform::GdiDescribeObjects();
  }

  // Progress reports as "stage percent", the frame as sender.
  void Record(TGIFImage& image) {
    image.OnProgress = [this](platform::TObject* sender, platform::TProgressStage stage, uint8_t percent, bool,
                              const platform::TRect&, const std::string& msg) {
      const char* stages[] = {"start", "run", "end"};
      progress.push_back(std::string(sender ? sender->ClassName() : "null") + " " + msg + " " +
                         stages[static_cast<int>(stage)] + " " + std::to_string(percent));
    };
  }

  std::vector<uint8_t> PixelsOf(const TGIFSubImage& f) {
    return std::vector<uint8_t>(f.Pixels.get(), f.Pixels.get() + f.PixelBytes);
  }
  std::vector<Rgb> MapOf(const TGIFSubImage& f) {
    std::vector<Rgb> out;
    for (int i = 0; i < f.LocalColorMap->EntryCount; ++i) {
      const TGIFColor& c = (*f.LocalColorMap)[i];
      out.push_back({c.Red, c.Green, c.Blue});
    }
    return out;
  }

  size_t objects = 0;
  std::vector<std::string> progress;
};

// Neither a frame nor a picture.
class TStranger : public platform::TPersistent {
public:
  const char* ClassName() const noexcept override { return "TStranger"; }
};

TEST_F(Frames, TrueColourWithDefaultsBecomesWebIndices) {
  TGIFImage image;
  const Rgb colours[] = {{0, 0, 0}, {47, 48, 255}, {255, 255, 255}};
  auto bmp = quanttest::TrueColor(3, 1, [&](int x, int) { return colours[x]; });
  TGIFSubImage frame(&image);
  frame.Assign(bmp.get());
  EXPECT_EQ(frame.ImageDescriptor.ImageWidth, 3);
  EXPECT_EQ(frame.ImageDescriptor.ImageHeight, 1);
  EXPECT_EQ(PixelsOf(frame), (std::vector<uint8_t>{0, 11, 215}));
  const auto map = MapOf(frame);
  ASSERT_EQ(map.size(), 216u);
  EXPECT_TRUE((map[11] == Rgb{0, 51, 255}));
}

TEST_F(Frames, IndexedBitmapsKeepTheirIndices) {
  struct Case {
    const char* name;
    TPixelFormat format;
    int32_t width;
    std::vector<std::vector<uint8_t>> rows;
    std::vector<uint8_t> pixels;
  };
  const Case cases[] = {
      {"8-bit", TPixelFormat::pf8bit, 3, {{7, 200, 0}, {255, 1, 2}}, {7, 200, 0, 255, 1, 2}},
      {"4-bit high nibble first", TPixelFormat::pf4bit, 3, {{0x12, 0x30}}, {1, 2, 3}},
      {"1-bit most significant first", TPixelFormat::pf1bit, 4, {{0xA0}}, {1, 0, 1, 0}},
      {"1-bit across a byte", TPixelFormat::pf1bit, 10, {{0x01, 0x80}}, {0, 0, 0, 0, 0, 0, 0, 1, 1, 0}},
  };
  for (const Case& c : cases) {
    TGIFImage image;
    auto bmp = quanttest::Indexed(c.format, c.width, c.rows);
    const auto palette = quanttest::EntriesOf(bmp->GetPalette());
    TGIFSubImage frame(&image);
    frame.Assign(bmp.get());
    EXPECT_EQ(PixelsOf(frame), c.pixels) << c.name;
    // The palette becomes the local colour table.
    const auto map = MapOf(frame);
    ASSERT_EQ(map.size(), palette.size()) << c.name;
    for (size_t i = 0; i < map.size(); ++i)
      EXPECT_TRUE((map[i] == Rgb{palette[i].peRed, palette[i].peGreen, palette[i].peBlue})) << c.name << i;
  }
}

TEST_F(Frames, ColourByColourInFirstAppearanceOrder) {
  TGIFImage image;
  image.ReductionMethod = ReduceNone;
  // Runs and repeats exercise the recent-colour cache; the map follows rows
  // top to bottom, left to right.
  const Rgb a{10, 20, 30}, b{200, 0, 0}, c{0, 0, 0}, d{1, 2, 3};
  const Rgb grid[2][5] = {{a, a, b, a, c}, {d, b, b, c, a}};
  auto bmp = quanttest::TrueColor(5, 2, [&](int x, int y) { return grid[y][x]; });
  TGIFSubImage frame(&image);
  frame.Assign(bmp.get());
  EXPECT_EQ(MapOf(frame), (std::vector<Rgb>{a, b, c, d}));
  EXPECT_EQ(PixelsOf(frame), (std::vector<uint8_t>{0, 0, 1, 0, 2, 3, 1, 1, 2, 0}));
}

TEST_F(Frames, ColourTableOverflow) {
  TGIFImage image;
  image.ReductionMethod = ReduceNone;
  Record(image);
  // 257 distinct colours, one per pixel.
  auto bmp = quanttest::TrueColor(257, 1, [](int x, int) { return Rgb{uint8_t(x), uint8_t(x >> 8), 5}; });
  TGIFSubImage frame(&image);
  try {
    frame.Assign(bmp.get());
    FAIL() << "no overflow";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Color table overflow");
  }
  EXPECT_EQ(progress.back(), "TGIFSubImage Converting... end 0");
  EXPECT_EQ(frame.ImageDescriptor.ImageWidth, 257);
  EXPECT_EQ(frame.LocalColorMap->EntryCount, 256);
  EXPECT_TRUE(frame.FrameBitmap);
}

TEST_F(Frames, BitmapsBeyondTheFormatAreRefused) {
  // A frame's size is two 16-bit numbers; a wider bitmap must not wrap around.
  TGIFImage image;
  platform::TBitmap wide;
  wide.SetPixelFormat(TPixelFormat::pf8bit);
  wide.SetSize(70000, 1);
  TGIFSubImage frame(&image);
  try {
    frame.Assign(&wide);
    FAIL() << "accepted";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Bitmap too large for a GIF frame");
  }
  EXPECT_TRUE(frame.IsEmptyFrame());
}

TEST_F(Frames, DeviceBitmapsAreReducedOnlyOnTrueColourScreens) {
  for (bool paletteScreen : {true, false}) {
    PaletteDevice = paletteScreen;
    TGIFImage image;
    platform::TBitmap bmp;  // a device bitmap
    bmp.SetSize(4, 2);
    bmp.Canvas().Brush().SetColor(0x00336699);
    bmp.Canvas().FillRect({0, 0, 4, 2});
    ASSERT_EQ(bmp.PixelFormat(), TPixelFormat::pfDevice);
    TGIFSubImage frame(&image);
    frame.Assign(&bmp);
    // Colour by colour gives one exact entry; the web reduction its 216.
    const auto map = MapOf(frame);
    if (paletteScreen) {
      EXPECT_EQ(map, (std::vector<Rgb>{{0x99, 0x66, 0x33}}));
      EXPECT_EQ(PixelsOf(frame), std::vector<uint8_t>(8, 0));
    } else {
      EXPECT_EQ(map.size(), 216u);
      EXPECT_EQ(PixelsOf(frame), std::vector<uint8_t>(8, 3 * 36 + 2 * 6 + 1));
    }
  }
}

TEST_F(Frames, ProgressEveryThirtyTwoRows) {
  TGIFImage image;
  Record(image);
  auto bmp = quanttest::TrueColor(2, 100, [](int, int y) { return Rgb{uint8_t(y), 0, 0}; });
  TGIFSubImage frame(&image);
  frame.Assign(bmp.get());
  const std::string p = "TGIFSubImage Converting... ";
  EXPECT_EQ(progress, (std::vector<std::string>{p + "start 0", p + "run 0", p + "run 32", p + "run 64",
                                                p + "run 96", p + "end 100"}));
}

TEST_F(Frames, FrameCopiesOwnTheirExtensions) {
  giftest::Loaded loaded = giftest::Load(giftest::Screen(4, 2)
                                             .Gce(10, 2, true, 3)
                                             .Comment({"hello"})
                                             .Frame(0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0})
                                             .Trailer()
                                             .bytes);
  ASSERT_EQ(loaded.error, "");
  TGIFSubImage& source = loaded.Frame(0);
  TGIFImage other;
  TGIFSubImage copy(&other);
  copy.Assign(&source);
  EXPECT_EQ(PixelsOf(copy), PixelsOf(source));
  EXPECT_EQ(copy.ImageDescriptor.ImageWidth, 4);
  EXPECT_TRUE(copy.HasTransparency);
  ASSERT_EQ(copy.ExtensionList->ItemCount(), 2);
  ASSERT_NE(copy.ControlExtension, nullptr);
  EXPECT_NE(copy.ControlExtension, source.ControlExtension);
  copy.ControlExtension->Block.DelayTime = 99;
  EXPECT_EQ(source.ControlExtension->DelayTime(), 10);
  EXPECT_EQ(copy.ControlExtension->TransparentColorIndex(), 3);

  // Itself: nothing; something else: the platform's refusal, frame unchanged.
  copy.Assign(&copy);
  EXPECT_EQ(copy.ImageDescriptor.ImageWidth, 4);
  TStranger stranger;
  EXPECT_THROW(copy.Assign(&stranger), platform::EConvertError);
  EXPECT_EQ(PixelsOf(copy), PixelsOf(source));
}

TEST_F(Frames, PictureFromPicture) {
  giftest::Loaded loaded = giftest::Load(giftest::Screen(4, 2)
                                             .Frame(0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0})
                                             .Frame(1, 1, 2, 1, {1, 1})
                                             .Frame(0, 0, 1, 1, {2})
                                             .Trailer()
                                             .bytes);
  ASSERT_EQ(loaded.error, "");
  TGIFImage& source = *loaded.image;
  source.DrawFlags = DrawTiled;
  source.ReductionMethod = 2;
  source.DitherMode = 1;
  source.PainterPriority = 5;
  source.BackdropColor = 0x123456;
  source.ReductionBits = 3;
  source.EncoderKind = 1;
  source.SpeedPercent = 50;
  Record(source);

  TGIFImage copy;
  copy.Assign(&source);
  EXPECT_EQ(copy.Frames->ItemCount(), 3);
  EXPECT_EQ(copy.GetWidth(), 4);
  EXPECT_EQ(copy.Header->GlobalColorMap->EntryCount, 4);
  EXPECT_EQ(copy.DrawFlags, DrawTiled);
  EXPECT_EQ(copy.ReductionMethod, 2);
  EXPECT_EQ(copy.DitherMode, 1);
  EXPECT_EQ(copy.PainterPriority, 5);
  EXPECT_EQ(copy.BackdropColor, 0x123456u);
  EXPECT_EQ(copy.ReductionBits, DefaultReductionBits);
  EXPECT_EQ(copy.EncoderKind, DefaultEncoderKind);
  EXPECT_EQ(copy.SpeedPercent, DefaultSpeedPercent);
  EXPECT_EQ(copy.Frames->FrameAt(1)->BoundValue(1), 1);
  const std::string p = "TGIFImage Copying... ";
  EXPECT_EQ(progress, (std::vector<std::string>{p + "start 0", p + "run 33", p + "run 67", p + "run 100",
                                                p + "end 100"}));
  EXPECT_FALSE(copy.OnProgress);
  EXPECT_FALSE(copy.WarningHandler);
  // The copy stands alone.
  source.ClearImage();
  EXPECT_EQ(copy.Frames->FrameAt(0)->Pixels[1], 1);
}

// A picture that only draws itself.
class Swatch : public platform::TGraphic {
public:
  const char* ClassName() const noexcept override { return "Swatch"; }
  void Draw(platform::TCanvas& Canvas, const platform::TRect& Rect) override {
    Canvas.Brush().SetColor(0x000000FF);
    Canvas.FillRect(Rect);
  }
  bool GetEmpty() override { return false; }
  int32_t GetHeight() override { return 3; }
  int32_t GetWidth() override { return 5; }
  void SetHeight(int32_t) override {}
  void SetWidth(int32_t) override {}
  void LoadFromStream(platform::TStream&) override {}
  void SaveToStream(platform::TStream&) override {}
};

TEST_F(Frames, PictureFromOtherSources) {
  TGIFImage image;
  auto bmp = quanttest::TrueColor(6, 4, [](int x, int) { return Rgb{uint8_t(x * 40), 0, 0}; });
  image.Assign(bmp.get());
  ASSERT_EQ(image.Frames->ItemCount(), 1);
  EXPECT_EQ(image.GetWidth(), 6);
  EXPECT_EQ(image.GetHeight(), 4);

  // Converting fails for this one, so it is drawn into an 8-bit bitmap.
  Swatch swatch;
  image.Assign(&swatch);
  ASSERT_EQ(image.Frames->ItemCount(), 1);
  const TGIFSubImage& frame = *image.Frames->FrameAt(0);
  EXPECT_EQ(frame.ImageDescriptor.ImageWidth, 5);
  EXPECT_EQ(frame.ImageDescriptor.ImageHeight, 3);
  const TGIFColor red = (*frame.LocalColorMap)[frame.Pixels[0]];
  EXPECT_EQ(red.Red, 255);
  EXPECT_EQ(red.Green, 0);

  // An icon is drawn into an 8-bit bitmap of its size.
  platform::TIcon icon;
  icon.LoadFromFile(std::string(PELLISTO_SHARED_DIR) + "/corpus/hippopotamus.regular.ico");
  image.Assign(&icon);
  ASSERT_EQ(image.Frames->ItemCount(), 1);
  const TGIFSubImage& drawn = *image.Frames->FrameAt(0);
  EXPECT_EQ(drawn.ImageDescriptor.ImageWidth, 36);
  EXPECT_EQ(drawn.ImageDescriptor.ImageHeight, 28);
  EXPECT_EQ(drawn.LocalColorMap->EntryCount, 256);
  EXPECT_GT(std::set<uint8_t>(drawn.Pixels.get(), drawn.Pixels.get() + drawn.PixelBytes).size(), 4u);

  image.Assign(nullptr);
  EXPECT_TRUE(image.GetEmpty());
  TStranger stranger;
  try {
    image.Assign(&stranger);
    FAIL();
  } catch (const platform::EConvertError& e) {
    EXPECT_EQ(e.Message, "Cannot assign a TStranger to a TGIFImage");
  }
}

}  // namespace
}  // namespace gif
