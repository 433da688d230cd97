// Frames: the Image Descriptor, local tables, and writing frames back.

#include <gtest/gtest.h>

#include "gif/decode/ColorMap.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;
using giftest::Load;

Bytes Saved(gif::TGIFImage& image) {
  platform::TMemoryStream out;
  image.SaveToStream(out);
  return giftest::BytesOf(out);
}

TEST(Frame, DescriptorCases) {
  const struct {
    const char* name;
    int screen_w, screen_h, left, top, w, h, packed;
    int want_w, want_h, local_colors;
    std::vector<std::string> warnings;
  } cases[] = {
      {"ZeroWidth", 320, 200, 0, 0, 0, 50, 0, 320, 200, 0, {"TGIFSubImage: Image exceeds Logical Screen size"}},
      {"OutsideTheScreen", 100, 100, 200, 200, 4, 4, 0, 4, 4, 0, {}},
      {"LocalTable256", 4, 4, 0, 0, 4, 4, 0x87, 4, 4, 256, {}},
      {"LocalTable2", 4, 4, 0, 0, 4, 4, 0x80, 4, 4, 2, {}},
  };
  for (const auto& c : cases) {
    GifBuilder b;
    b.Header(c.screen_w, c.screen_h, 0x81).ColorTable(4).Descriptor(c.left, c.top, c.w, c.h, c.packed);
    if (c.packed & 0x80) b.ColorTable(2 << (c.packed & 7));
    b.Pixels(giftest::Ramp(c.want_w * c.want_h, 2)).Trailer();
    auto loaded = Load(b.bytes);
    ASSERT_EQ(loaded.error, "") << c.name;
    EXPECT_EQ(loaded.warnings, c.warnings) << c.name;
    const auto& f = loaded.Frame(0);
    EXPECT_EQ(f.BoundValue(3), c.want_w) << c.name;
    EXPECT_EQ(f.BoundValue(4), c.want_h) << c.name;
    EXPECT_EQ(f.BoundValue(1), c.left) << c.name;
    EXPECT_EQ(f.BoundValue(5), 0) << c.name;
    EXPECT_EQ(f.LocalColorMap->EntryCount, c.local_colors) << c.name;
    EXPECT_EQ(f.EffectiveColorMap()->EntryCount, c.local_colors ? c.local_colors : 4) << c.name;
    EXPECT_EQ(Bytes(f.Pixels.get(), f.Pixels.get() + f.PixelBytes), giftest::Ramp(c.want_w * c.want_h, 2)) << c.name;
  }
}

TEST(Frame, SavedAndLoadedAgain) {
  // Interlaced, local table read with the sort flag, reserved bits set,
  // aspect ratio and background kept; a comment alone before the trailer.
  GifBuilder b;
  b.Header(9, 5, 0x81, 2, 77).ColorTable(4).Gce(7, 1, true, 1);
  b.Descriptor(1, 0, 8, 5, 0x80 | 0x40 | 0x20 | 0x18 | 2).ColorTable(8).Pixels(giftest::Ramp(40, 8), 3);
  b.Comment({"tail"}).Trailer();
  auto loaded = Load(b.bytes);
  ASSERT_EQ(loaded.error, "");
  ASSERT_EQ(loaded.FrameCount(), 2);
  const Bytes saved = Saved(*loaded.image);
  auto again = Load(saved);
  ASSERT_EQ(again.error, "");
  ASSERT_EQ(again.FrameCount(), 2);
  const auto& f = again.Frame(0);
  EXPECT_EQ(f.ImageDescriptor.PackedFields, 0x80 | 0x40 | 0x18 | 2);  // sort flag cleared, rest kept
  const auto& first = loaded.Frame(0);
  EXPECT_EQ(Bytes(f.Pixels.get(), f.Pixels.get() + f.PixelBytes),
            Bytes(first.Pixels.get(), first.Pixels.get() + first.PixelBytes));
  EXPECT_EQ(f.ControlExtension->DelayTime(), 7);
  EXPECT_TRUE(again.Frame(1).IsEmptyFrame());
  EXPECT_EQ(again.image->Header->Descriptor.PixelAspectRatio, 77);
  EXPECT_EQ(again.image->Header->Descriptor.BackgroundColorIndex, 2);
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 6), (Bytes{'G', 'I', 'F', '8', '9', 'a'}));
  // The extension-only frame is written as its comment alone, then the trailer.
  const Bytes tail = GifBuilder().Comment({"tail"}).Trailer().bytes;
  EXPECT_EQ(Bytes(saved.end() - static_cast<long>(tail.size()), saved.end()), tail);
  EXPECT_EQ(Saved(*again.image), saved);
}

TEST(Frame, PlainFramesAreWrittenAsGif87a) {
  GifBuilder b;
  b.Header(2, 2, 0x81).ColorTable(4).Frame(0, 0, 2, 2, {3, 2, 1, 0}).Trailer();
  auto loaded = Load(b.bytes);
  const Bytes saved = Saved(*loaded.image);
  EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 6), (Bytes{'G', 'I', 'F', '8', '7', 'a'}));
  EXPECT_EQ(Load(saved).Frame(0).Pixels[0], 3);
}

TEST(Frame, ResetKeepsPositionFlagsAndPalette) {
  auto loaded = Load(GifBuilder().Header(4, 4, 0x81).ColorTable(4).Gce(0, 0, true, 1)
                         .Frame(1, 2, 3, 2, {0, 1, 2, 3, 0, 1}, 0x40).Trailer().bytes);
  auto& f = loaded.Frame(0);
  f.ResetFrame();
  EXPECT_TRUE(f.IsEmptyFrame());
  EXPECT_EQ(f.BoundValue(1), 1);
  EXPECT_EQ(f.BoundValue(2), 2);
  EXPECT_EQ(f.BoundValue(3), 0);
  EXPECT_TRUE(f.IsInterlaced());
  EXPECT_FALSE(f.HasTransparency);
  EXPECT_EQ(f.ControlExtension, nullptr);
  EXPECT_EQ(f.ExtensionList->ItemCount(), 0);
  EXPECT_TRUE(f.MaskStale);
}

}  // namespace
