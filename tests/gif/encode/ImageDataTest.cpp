// The frame's image data step inside a picture: code size and colour count
// from the tables, the encoder by EncoderKind, and saving as a whole.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CodeReader.h"
#include "Giflib.h"
#include "gif/decode/ColorMap.h"
#include "gif/decode/Frame.h"
#include "gif/encode/ImageData.h"
#include "gif/picture/GIFImage.h"
#include "platform/rtl/Streams.h"

namespace gif {
namespace {

// A picture with `globalColors` global entries and one w x h frame with
// `localColors` local entries (0: none), filled from `pixels`.
std::unique_ptr<TGIFImage> Picture(int globalColors, int localColors, int w, int h,
                                   const std::vector<uint8_t>& pixels, bool interlaced = false) {
  auto image = std::make_unique<TGIFImage>();
  image->Header->Descriptor.LogicalScreenWidth = static_cast<uint16_t>(w);
  image->Header->Descriptor.LogicalScreenHeight = static_cast<uint16_t>(h);
  for (int i = 0; i < globalColors; ++i) image->Header->GlobalColorMap->AddColor(0x010101u * i);
  auto frame = std::make_unique<TGIFSubImage>(image.get());
  for (int i = 0; i < localColors; ++i) frame->LocalColorMap->AddColor(0x020202u * i + 1);
  frame->ImageDescriptor.ImageWidth = static_cast<uint16_t>(w);
  frame->ImageDescriptor.ImageHeight = static_cast<uint16_t>(h);
  if (interlaced) frame->ImageDescriptor.PackedFields |= 0x40;
  frame->AllocatePixels();
  std::copy(pixels.begin(), pixels.end(), frame->Pixels.get());
  image->AppendFrame(std::move(frame));
  return image;
}

std::vector<uint8_t> ImageDataOf(TGIFImage& image) {
  platform::TMemoryStream out;
  WriteImageData(*image.Frames->FrameAt(0), out);
  return {out.Memory(), out.Memory() + out.Size()};
}

struct SizeCase {
  int GlobalColors, LocalColors;
  int CodeSize;    // the code size byte written
  int ColorLimit;  // the smallest pixel value refused
};

class CodeSizeAndLimit : public ::testing::TestWithParam<SizeCase> {};

TEST_P(CodeSizeAndLimit, FollowTheFrameOrThePicture) {
  const SizeCase& c = GetParam();
  auto ok = Picture(c.GlobalColors, c.LocalColors, 2, 1, {0, uint8_t(c.ColorLimit - 1)});
  const auto read = test::ReadImageData(ImageDataOf(*ok));
  EXPECT_EQ(read.CodeSize, c.CodeSize);
  EXPECT_EQ(read.Pixels, (std::vector<uint8_t>{0, uint8_t(c.ColorLimit - 1)}));
  if (c.ColorLimit > 255) return;
  auto bad = Picture(c.GlobalColors, c.LocalColors, 2, 1, {0, uint8_t(c.ColorLimit)});
  try {
    ImageDataOf(*bad);
    FAIL() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Color not in color table");
  }
}

INSTANTIATE_TEST_SUITE_P(
    ImageData, CodeSizeAndLimit,
    ::testing::Values(SizeCase{0, 3, 2, 3},      // 3 local colours: pixel 3 is refused
                      SizeCase{0, 2, 2, 2},      // 1 bit raised to code size 2, two colours
                      SizeCase{256, 5, 3, 5},    // the local table wins over the global one
                      SizeCase{5, 0, 3, 8},      // no local table: 2^(picture bit depth)
                      SizeCase{16, 0, 4, 16}, SizeCase{256, 0, 8, 256}));

TEST(ImageData, EncoderKindSelectsTheEncoder) {
  const std::vector<uint8_t> pixels = {1, 2, 1, 2, 1, 2};
  struct Case {
    uint8_t Kind;
    std::vector<int> Codes;
  };
  for (const Case& c : {Case{0, {256, 1, 2, 258, 258, 257}}, Case{1, {256, 1, 2, 1, 2, 1, 2, 257}},
                        Case{7, {256, 1, 2, 258, 258, 257}}}) {
    auto image = Picture(256, 0, 6, 1, pixels);
    image->EncoderKind = c.Kind;
    EXPECT_EQ(test::ReadImageData(ImageDataOf(*image)).Codes, c.Codes) << int(c.Kind);
  }
}

TEST(ImageData, SavedPicturesReadBackInGiflib) {
  std::vector<uint8_t> pixels(37 * 23);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>((i * i / 7) % 13);
  for (uint8_t kind : {0, 1}) {
    for (bool interlaced : {false, true}) {
      auto image = Picture(0, 13, 37, 23, pixels, interlaced);
      image->EncoderKind = kind;
      platform::TMemoryStream out;
      image->SaveToStream(out);
      const auto giflib = test::GiflibDecode({out.Memory(), out.Memory() + out.Size()});
      ASSERT_EQ(giflib.Error, "");
      ASSERT_EQ(giflib.Frames.size(), 1u);
      EXPECT_EQ(giflib.Frames[0], pixels) << int(kind) << interlaced;
    }
  }
}

TEST(ImageData, BadPixelLeavesAnUnterminatedImage) {
  std::vector<uint8_t> pixels(4000, 1);
  pixels[3999] = 3;
  auto image = Picture(0, 3, 80, 50, pixels);
  platform::TMemoryStream out;
  EXPECT_THROW(image->SaveToStream(out), GIFException);
  // Header, tables and descriptor, then the code size and sub-blocks without a terminator.
  const uint8_t* p = out.Memory();
  const auto* end = p + out.Size();
  const uint8_t* data = std::find(p + 13, end, uint8_t{0x2C}) + 10 + 4 * 3;
  ASSERT_LT(data, end);
  const auto read = test::ReadImageData(data, static_cast<size_t>(end - data));
  EXPECT_FALSE(read.Terminated);
  EXPECT_FALSE(read.SawEnd);
}

TEST(ImageData, PictureWithoutFramesCannotBeSaved) {
  TGIFImage image;
  platform::TMemoryStream out;
  try {
    image.SaveToStream(out);
    FAIL() << "no exception";
  } catch (const GIFException& e) {
    EXPECT_EQ(e.Message, "Unsupported GIF version");
  }
}

}  // namespace
}  // namespace gif
