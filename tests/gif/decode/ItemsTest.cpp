// Header, trailer and the block dispatch loop of the frame list.

#include <gtest/gtest.h>

#include "gif/decode/ColorMap.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;
using giftest::GifBuilder;
using giftest::Load;
using giftest::Screen;

const Bytes kPixels = {0, 1, 2, 3};

// One 2x2 frame on a 2x2 screen, optionally followed by more bytes.
Bytes OneFrame(const Bytes& tail = {}, const std::string& signature = "GIF89a", const Bytes& prefix = {}) {
  GifBuilder b;
  b.Raw(prefix).Header(2, 2, 0x81, 3, 49, signature).ColorTable(4).Frame(0, 0, 2, 2, kPixels);
  return b.Raw(tail).bytes;
}

struct StreamCase {
  const char* name;
  Bytes bytes;
  int frames;
  std::vector<std::string> warnings;
  std::string error;
};

class StreamLayout : public testing::TestWithParam<StreamCase> {};

TEST_P(StreamLayout, LoadsAsDescribed) {
  const StreamCase& c = GetParam();
  auto loaded = Load(c.bytes);
  EXPECT_EQ(loaded.error, c.error);
  EXPECT_EQ(loaded.warnings, c.warnings);
  ASSERT_EQ(loaded.FrameCount(), c.frames);
  if (c.frames > 0 && c.error.empty()) {
    const auto& f = loaded.Frame(0);
    ASSERT_EQ(f.PixelBytes, 4);
    EXPECT_EQ(Bytes(f.Pixels.get(), f.Pixels.get() + 4), kPixels);
    EXPECT_EQ(loaded.image->GetWidth(), 2);
    EXPECT_EQ(loaded.image->Header->Descriptor.BackgroundColorIndex, 3);
    EXPECT_EQ(loaded.image->Header->Descriptor.PixelAspectRatio, 49);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Items, StreamLayout,
    testing::Values(
        StreamCase{"Plain", OneFrame({0x3B}), 1, {}, ""},
        StreamCase{"FourBytePrefix", OneFrame({0x3B}, "GIF89a", {1, 2, 3, 4}), 1, {}, ""},
        StreamCase{"FiveBytePrefix", OneFrame({0x3B}, "GIF89a", {1, 2, 3, 4, 5}), 0, {},
                   "GIFException: Invalid GIF signature"},
        StreamCase{"LowerCaseAnyVersion", OneFrame({0x3B}, "gIfxyz"), 1, {}, ""},
        StreamCase{"NoTrailer", OneFrame(), 1, {}, ""},
        StreamCase{"ZeroRuns", OneFrame({0, 0, 0, 0x3B}), 1, {}, ""},
        StreamCase{"UnknownBlock", OneFrame({0x22, 0x3B}), 1,
                   {"TGIFImageList: Unknown GIF block type", "TGIFTrailer: Invalid Image trailer"}, ""},
        StreamCase{"ExtensionBeforeTrailer", OneFrame({0x21, 0xFE, 2, 'h', 'i', 0, 0x3B}), 2, {}, ""},
        StreamCase{"ShortHeader", Bytes{'G', 'I', 'F', '8', '9'}, 0, {}, "GIFException: Premature end of data"},
        StreamCase{"ShortGlobalTable", GifBuilder().Header(2, 2, 0x81).ColorTable(3).bytes, 0, {},
                   "GIFException: Premature end of data"},
        StreamCase{"ShortDescriptor", Screen(2, 2).Raw({0x2C, 0, 0, 0}).bytes, 0, {},
                   "GIFException: Premature end of data"},
        StreamCase{"BrokenSecondFrame", OneFrame({0x21, 0x02, 0, 0x3B}), 1, {},
                   "GIFException: Unknown extension type"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Items, ExtensionOnlyFrameHoldsNoPixels) {
  auto loaded = Load(OneFrame({0x21, 0xFE, 2, 'h', 'i', 0, 0x3B}));
  ASSERT_EQ(loaded.FrameCount(), 2);
  const auto& f = loaded.Frame(1);
  EXPECT_TRUE(f.IsEmptyFrame());
  EXPECT_EQ(f.ExtensionList->ItemCount(), 1);
  EXPECT_EQ(loaded.end_position, static_cast<int64_t>(OneFrame({0x21, 0xFE, 2, 'h', 'i', 0, 0x3B}).size()));
}

TEST(Items, UnknownBlockLeavesTheStreamAtIt) {
  Bytes bytes = OneFrame({0x22, 0x3B});
  auto loaded = Load(bytes);
  // The trailer check consumed the 0x22.
  EXPECT_EQ(loaded.end_position, static_cast<int64_t>(bytes.size() - 1));
}

TEST(Items, FailedLoadReportsEndingWithZeroPercent) {
  gif::TGIFImage image;
  std::vector<std::pair<int, int>> reports;  // stage, percent of the picture's own reports
  image.OnProgress = [&](platform::TObject* sender, platform::TProgressStage stage, uint8_t percent, bool,
                         const platform::TRect&, const std::string& message) {
    EXPECT_EQ(message, "Loading...");
    if (sender == &image) reports.push_back({static_cast<int>(stage), percent});
  };
  auto stream = giftest::MemoryOf(OneFrame({0x21, 0x02, 0, 0x3B}));
  EXPECT_THROW(image.LoadFromStream(*stream), gif::GIFException);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], std::make_pair(static_cast<int>(platform::TProgressStage::psStarting), 0));
  EXPECT_EQ(reports[1], std::make_pair(static_cast<int>(platform::TProgressStage::psEnding), 0));
  EXPECT_EQ(image.Frames->ItemCount(), 1);
  EXPECT_EQ(image.GetWidth(), 2);
}

TEST(Items, EachFrameReportsProgressFromTheFrameList) {
  gif::TGIFImage image;
  std::vector<std::string> reports;
  image.OnProgress = [&](platform::TObject* sender, platform::TProgressStage stage, uint8_t percent, bool redraw,
                         const platform::TRect& r, const std::string& message) {
    EXPECT_TRUE(r.IsEmpty());
    reports.push_back(std::string(sender->ClassName()) + " " + std::to_string(static_cast<int>(stage)) + " " +
                      std::to_string(percent) + (redraw ? " redraw " : " ") + message);
  };
  GifBuilder b;
  b.Header(2, 2, 0x81).ColorTable(4).Frame(0, 0, 2, 2, kPixels);
  const size_t first_end = b.bytes.size();
  b.Frame(0, 0, 2, 2, kPixels);
  const size_t size = b.bytes.size();
  auto stream = giftest::MemoryOf(b.bytes);
  image.LoadFromStream(*stream);
  const auto percent = [&](size_t position) { return std::to_string((position * 200 + size) / (2 * size)); };
  EXPECT_EQ(reports, (std::vector<std::string>{"TGIFImage 0 0 Loading...",
                                               "TGIFImageList 1 " + percent(first_end) + " Loading...",
                                               "TGIFImageList 1 100 Loading...", "TGIFImage 2 100 redraw Loading..."}));
}

TEST(Items, HeaderPackedFieldsDescribeTheWrittenTable) {
  gif::TGIFImage image;
  auto& header = *image.Header;
  for (int i = 0; i < 4; ++i) header.GlobalColorMap->AddColor(0x010101u * static_cast<uint32_t>(i));
  auto frame = std::make_unique<gif::TGIFSubImage>(&image);
  for (int i = 0; i < 256; ++i) frame->LocalColorMap->AddColor(static_cast<uint32_t>(i));
  image.AppendFrame(std::move(frame));
  header.PreparePackedFields();
  EXPECT_EQ(header.Descriptor.PackedFields & 7, 1);
  EXPECT_EQ((header.Descriptor.PackedFields >> 4) & 7, 7);
  EXPECT_EQ(header.Descriptor.PackedFields & 0x80, 0x80);
}

TEST(Items, SavingWithoutFramesFails) {
  gif::TGIFImage image;
  platform::TMemoryStream out;
  try {
    image.SaveToStream(out);
    FAIL() << "no error";
  } catch (const gif::GIFException& e) {
    EXPECT_EQ(e.Message, "Unsupported GIF version");
  }
}

TEST(Items, ListDeletesAndIndexes) {
  gif::TGIFImage image;
  auto& list = *image.Frames;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(list.AddItem(std::make_unique<gif::TGIFSubImage>(&image)), i);
  gif::TGIFItem* second = list.ItemAt(1);
  list.DeleteItem(0);
  EXPECT_EQ(list.ItemCount(), 2);
  EXPECT_EQ(list.FirstItem(), second);
  EXPECT_EQ(list.ItemAt(-1), nullptr);
  EXPECT_EQ(list.ItemAt(2), nullptr);
  list.ClearItems();
  EXPECT_EQ(list.ItemCount(), 0);
}

}  // namespace
