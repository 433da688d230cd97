// The picture object: defaults, size, frames, palette, values over all
// frames, and the module's registration and screen test.

#include <gtest/gtest.h>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Extensions.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Graphic.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;

// Every test leaves the GDI object table as it found it.
class Picture : public testing::Test {
protected:
  void SetUp() override { objects_ = platform::GdiObjectCount(); }
  void TearDown() override {
    gif::FreeWebPalette();
    EXPECT_EQ(platform::GdiObjectCount(), objects_) << platform::GdiDescribeObjects();
  }
  void Record(gif::TGIFImage& image) {
    image.WarningHandler = [this](platform::TObject* sender, uint8_t, const std::string& message) {
      warnings.push_back(std::string(sender->ClassName()) + ": " + message);
    };
    image.OnChange = [this](platform::TObject*) { ++changes; };
  }
  std::unique_ptr<gif::TGIFSubImage> Frame(gif::TGIFImage& image, int left, int top, int w, int h) {
    auto f = std::make_unique<gif::TGIFSubImage>(&image);
    f->SetBoundValue(1, static_cast<uint16_t>(left));
    f->SetBoundValue(2, static_cast<uint16_t>(top));
    f->SetBoundValue(3, static_cast<uint16_t>(w));
    f->SetBoundValue(4, static_cast<uint16_t>(h));
    f->AllocatePixels();
    return f;
  }
  std::vector<std::string> warnings;
  int changes = 0;

private:
  size_t objects_ = 0;
};

TEST_F(Picture, NewPictureIsEmptyWithTheDefaults) {
  gif::TGIFImage image;
  EXPECT_TRUE(image.GetEmpty());
  EXPECT_EQ(image.GetWidth(), 0);
  EXPECT_EQ(image.GetHeight(), 0);
  gif::TGIFImage other;
  EXPECT_TRUE(image.Equals(&image));
  EXPECT_FALSE(image.Equals(&other));
  EXPECT_EQ(image.DrawFlags, 0x060F);
  EXPECT_EQ(image.ReductionMethod, 6);
  EXPECT_EQ(image.ReductionBits, 8);
  EXPECT_EQ(image.DitherMode, 0);
  EXPECT_EQ(image.EncoderKind, 0);
  EXPECT_EQ(image.PainterPriority, 3);
  EXPECT_EQ(image.SpeedPercent, 100);
  EXPECT_EQ(image.BackdropColor, 0x1FFFFFFFu);
  EXPECT_EQ(image.RequiredVersion(), gif::VersionNone);
}

TEST_F(Picture, SettingsSeedOnlyLaterPictures) {
  gif::TGIFImage before;
  const int32_t saved = gif::DefaultSpeedPercent;
  gif::DefaultSpeedPercent = 50;
  gif::TGIFImage after;
  gif::DefaultSpeedPercent = saved;
  EXPECT_EQ(before.SpeedPercent, 100);
  EXPECT_EQ(after.SpeedPercent, 50);
}

TEST_F(Picture, AppendingALargerFrameGrowsTheScreen) {
  gif::TGIFImage image;
  image.Header->Descriptor.LogicalScreenWidth = 10;
  image.Header->Descriptor.LogicalScreenHeight = 10;
  Record(image);
  auto frame = Frame(image, 5, 5, 20, 10);
  gif::TGIFSubImage* raw = frame.get();
  EXPECT_EQ(image.AppendFrame(std::move(frame)), 0);
  EXPECT_EQ(image.GetWidth(), 25);
  EXPECT_EQ(image.GetHeight(), 15);
  EXPECT_EQ(warnings, (std::vector<std::string>{"TGIFImage: Image width too small for contained frames",
                                                "TGIFImage: Image height too small for contained frames",
                                                "TGIFSubImage: Image exceeds Logical Screen size"}));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(image.Frames->FrameAt(0), raw);
  // A frame inside the screen changes nothing.
  warnings.clear();
  EXPECT_EQ(image.AppendFrame(Frame(image, 0, 0, 5, 5)), 1);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(changes, 1);
}

TEST_F(Picture, AppendFrameRefusesOtherObjects) {
  gif::TGIFImage image, other;
  try {
    image.AppendFrame(static_cast<platform::TPersistent*>(&other));
    FAIL();
  } catch (const gif::GIFException& e) {
    EXPECT_EQ(e.Message, "Object type not supported for operation");
  }
}

TEST_F(Picture, ScreenSizeAgainstFrames) {
  gif::TGIFImage image;
  Record(image);
  image.SetWidth(5000);  // no frames: anything goes
  EXPECT_EQ(image.GetWidth(), 5000);
  image.AppendFrame(Frame(image, 10, 20, 30, 40));
  const struct {
    bool width;
    int32_t value;
    const char* error;
  } cases[] = {
      {true, 39, "Image width too small for contained frames"},
      {false, 59, "Image height too small for contained frames"},
      {true, 40, nullptr},
      {false, 60, nullptr},
      {true, 70000, "Invalid image size"},
      {false, -1, "Invalid image size"},
  };
  for (const auto& c : cases) {
    const int32_t before = c.width ? image.GetWidth() : image.GetHeight();
    const int changes_before = changes;
    try {
      c.width ? image.SetWidth(c.value) : image.SetHeight(c.value);
      EXPECT_EQ(c.error, nullptr) << c.value;
      EXPECT_EQ(c.width ? image.GetWidth() : image.GetHeight(), c.value);
      EXPECT_EQ(changes, changes_before + 1);
    } catch (const platform::Exception& e) {
      ASSERT_NE(c.error, nullptr) << c.value;
      EXPECT_EQ(e.Message, c.error);
      EXPECT_EQ(c.width ? image.GetWidth() : image.GetHeight(), before);
    }
  }
}

TEST_F(Picture, ValuesOverAllFrames) {
  gif::TGIFImage image;
  for (int i = 0; i < 4; ++i) image.Header->GlobalColorMap->AddColor(static_cast<uint32_t>(i) * 0x10);
  image.Header->Descriptor.BackgroundColorIndex = 2;
  EXPECT_EQ(image.BackgroundColorValue(), 0x20u);
  auto plain = Frame(image, 0, 0, 1, 1);
  for (int i = 0; i < 20; ++i) plain->LocalColorMap->AddColor(static_cast<uint32_t>(i));
  image.AppendFrame(std::move(plain));
  EXPECT_EQ(image.RequiredVersion(), gif::Version87a);
  EXPECT_EQ(image.BitDepth(), 5);
  EXPECT_EQ(image.ColorResolution(), 4);
  auto animated = Frame(image, 0, 0, 1, 1);
  animated->ExtensionList->AddItem(std::make_unique<gif::TGIFGraphicControlExtension>(animated.get()));
  image.AppendFrame(std::move(animated));
  EXPECT_EQ(image.RequiredVersion(), gif::Version89a);
  image.ClearImage();
  EXPECT_TRUE(image.GetEmpty());
  EXPECT_EQ(image.Header->GlobalColorMap->EntryCount, 0);
  EXPECT_EQ(image.GetWidth(), 0);
}

TEST_F(Picture, PaletteFromTheGlobalTableIsKept) {
  gif::TGIFImage image;
  image.DrawFlags &= ~gif::DrawWebPalette;
  for (int i = 0; i < 4; ++i) image.Header->GlobalColorMap->AddColor(static_cast<uint32_t>(i));
  const platform::HPALETTE first = image.GetPalette();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(image.GetPalette(), first);
  // A changed table drops it.
  image.Header->GlobalColorMap->AddColor(0xFFFFFF);
  EXPECT_EQ(image.PaletteHandle, nullptr);
  EXPECT_EQ(platform::GetObjectType(first), 0);
}

TEST_F(Picture, PaletteOfLocalTablesIsFrameZeros) {
  gif::TGIFImage image;
  image.DrawFlags &= ~gif::DrawWebPalette;
  auto frame = Frame(image, 0, 0, 1, 1);
  for (int i = 0; i < 3; ++i) frame->LocalColorMap->AddColor(static_cast<uint32_t>(i) * 7);
  gif::TGIFSubImage* raw = frame.get();
  image.AppendFrame(std::move(frame));
  const platform::HPALETTE palette = image.GetPalette();
  EXPECT_EQ(palette, raw->PaletteHandle);
  EXPECT_EQ(image.PaletteHandle, nullptr);  // not stored in the picture
  // Without any table, a nested request finds none.
  gif::TGIFImage bare;
  bare.DrawFlags &= ~gif::DrawWebPalette;
  bare.AppendFrame(Frame(bare, 0, 0, 1, 1));
  try {
    bare.GetPalette();
    FAIL();
  } catch (const gif::GIFException& e) {
    EXPECT_EQ(e.Message, "No global or local color table defined");
  }
  EXPECT_FALSE(bare.PaletteBusy);
}

TEST_F(Picture, WebPaletteAndItsRelease) {
  const platform::HPALETTE web = gif::WebPaletteHandle();
  EXPECT_EQ(gif::WebPaletteHandle(), web);
  platform::PALETTEENTRY e[216];
  ASSERT_EQ(platform::GetPaletteEntries(web, 0, 216, e), 216u);
  EXPECT_EQ(e[36 * 5 + 6 * 2 + 1], (platform::PALETTEENTRY{255, 102, 51, 0}));
  for (bool palette_device : {true, false}) {
    gif::PaletteDevice = palette_device;
    const platform::HPALETTE handle = gif::WebPaletteHandle();
    gif::ReleasePalette(handle);
    EXPECT_EQ(platform::GetObjectType(handle) != 0, palette_device);
  }
  gif::PaletteDevice = false;
  const platform::HPALETTE other = platform::CopyPalette(gif::WebPaletteHandle());
  gif::ReleasePalette(other);
  EXPECT_EQ(platform::GetObjectType(other), 0);
}

TEST_F(Picture, RegistrationAndScreenTest) {
  EXPECT_TRUE(platform::TPicture::FindFileFormat("GIF"));
  EXPECT_EQ(gif::GIFClipboardFormat, platform::RegisterClipboardFormat("GIF Image"));
  EXPECT_TRUE(platform::TPicture::SupportsClipboardFormat(gif::GIFClipboardFormat));
  std::unique_ptr<platform::TGraphic> made = platform::TPicture::FindFileFormat("gif")();
  EXPECT_NE(dynamic_cast<gif::TGIFImage*>(made.get()), nullptr);

  const platform::TScreenSettings screen = platform::GetScreenSettings();
  for (int bits : {8, 24}) {
    gif::GIFModuleShutdown();
    EXPECT_FALSE(platform::TPicture::FindFileFormat("gif"));
    platform::TScreenSettings s = screen;
    s.BitsPerPixel = bits;
    platform::SetScreenSettings(s);
    gif::GIFModuleStartup();
    EXPECT_EQ(gif::PaletteDevice, bits <= 8);
    EXPECT_EQ(gif::PaletteDeviceDraw, bits <= 8);
    // The default flags use the web palette only on a palette screen.
    EXPECT_EQ(gif::TGIFImage().UsesWebPalette(), bits <= 8);
  }
  platform::SetScreenSettings(screen);
  // Nested start-ups need as many shut-downs.
  gif::GIFModuleStartup();
  gif::GIFModuleShutdown();
  EXPECT_TRUE(platform::TPicture::FindFileFormat("gif"));
}

TEST_F(Picture, LoadsFromAFileThroughThePictureSystem) {
  platform::TPicture picture;
  picture.LoadFromFile(std::string(PELLISTO_SHARED_DIR) + "/corpus/animated-red-blue.gif");
  auto* image = dynamic_cast<gif::TGIFImage*>(picture.Graphic());
  ASSERT_NE(image, nullptr);
  EXPECT_GT(image->Frames->ItemCount(), 1);
  EXPECT_GT(image->GetWidth(), 0);
}

}  // namespace
