// Colour maps: storage, lookups, writing, palettes and reordering by use.

#include <gtest/gtest.h>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Extensions.h"
#include "tests/gif/decode/GifTestUtil.h"

namespace {

using giftest::Bytes;

struct MapFixture : testing::Test {
  gif::TGIFImage image;
  gif::TGIFSubImage* frame = nullptr;
  std::vector<std::string> warnings;

  void SetUp() override {
    image.WarningHandler = [this](platform::TObject* sender, uint8_t, const std::string& message) {
      warnings.push_back(std::string(sender->ClassName()) + ": " + message);
    };
    auto f = std::make_unique<gif::TGIFSubImage>(&image);
    frame = f.get();
    image.AppendFrame(std::move(f));
    warnings.clear();
  }
  gif::TGIFColorMap& Map() { return *frame->LocalColorMap; }
  void Fill(int n) {
    for (int i = 0; i < n; ++i) Map().AddColor(static_cast<uint32_t>(0x10000 * i + 0x100 * i + i + 1));
  }
  void SetPixels(const Bytes& pixels) {
    frame->ImageDescriptor.ImageWidth = static_cast<uint16_t>(pixels.size());
    frame->ImageDescriptor.ImageHeight = 1;
    frame->AllocatePixels();
    std::copy(pixels.begin(), pixels.end(), frame->Pixels.get());
  }
  Bytes Pixels() const { return Bytes(frame->Pixels.get(), frame->Pixels.get() + frame->PixelBytes); }
};

TEST_F(MapFixture, WritesPaddedToAPowerOfTwo) {
  for (auto [entries, triplets] : {std::pair{0, 0}, {1, 2}, {5, 8}, {129, 256}}) {
    Map().ClearEntries();
    Fill(entries);
    platform::TMemoryStream out;
    Map().WriteEntries(out);
    ASSERT_EQ(out.Size(), triplets * 3) << entries;
    for (int64_t i = entries * 3; i < out.Size(); ++i) EXPECT_EQ(out.Memory()[i], 0);
  }
}

TEST_F(MapFixture, CapacityAndBitDepth) {
  for (auto [n, capacity] : {std::pair{1, 16}, {16, 16}, {17, 32}, {33, 64}, {300, 256}}) {
    Map().ClearEntries();
    Map().EnsureCapacity(n);
    EXPECT_EQ(Map().EntryCapacity, capacity) << n;
  }
  for (auto [count, bits] : {std::pair{0, 0}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {8, 3}, {129, 8}, {256, 8}, {300, 8}})
    EXPECT_EQ(gif::TGIFColorMap::BitsForColors(count), bits) << count;
}

TEST_F(MapFixture, AddColorOverflowAndReuse) {
  Fill(256);
  EXPECT_EQ(Map().EntryCount, 256);
  EXPECT_EQ(Map().AddColor(0x000001), 0);  // present: same index, no change
  try {
    Map().AddColor(0xABCDEF);
    FAIL();
  } catch (const gif::GIFException& e) {
    EXPECT_EQ(e.Message, "Color table overflow");
  }
  EXPECT_EQ(Map().EntryCount, 256);
}

TEST_F(MapFixture, AddingAPresentColourKeepsThePalette) {
  Fill(3);
  const platform::HPALETTE palette = platform::CreatePalette(
      std::span<const platform::PALETTEENTRY>(std::vector<platform::PALETTEENTRY>(2).data(), 2));
  frame->SetFramePalette(palette);
  Map().AddColor(0x000001);
  EXPECT_EQ(frame->PaletteHandle, palette);  // no notification
  Map().AddColor(0x123456);
  EXPECT_EQ(frame->PaletteHandle, platform::HPALETTE{});  // released on change
  EXPECT_EQ(platform::GetObjectType(palette), 0);
}

TEST_F(MapFixture, FindColorDirectionFollowsSorting) {
  Fill(8);
  Map().ColorEntries[3] = Map().ColorEntries[7];
  const uint32_t color = gif::TripletToColor(Map()[7]);
  EXPECT_EQ(Map().FindColor(color), 7);
  Map().UsageSorted = true;
  EXPECT_EQ(Map().FindColor(color), 3);
  EXPECT_EQ(Map().FindColor(0xFFFFFF), -1);
}

TEST_F(MapFixture, ColorAtOutOfRange) {
  Fill(4);
  EXPECT_EQ(Map().ColorAt(300), gif::TripletToColor(Map()[0]));
  EXPECT_EQ(warnings, std::vector<std::string>{"TGIFLocalColorMap: Invalid color index"});
  Map().ClearEntries();
  EXPECT_THROW(
      try { Map().ColorAt(0); } catch (const gif::GIFException& e) {
        EXPECT_EQ(e.Message, "Color table is empty");
        throw;
      },
      gif::GIFException);
}

TEST_F(MapFixture, PaletteExchange) {
  Fill(5);
  const platform::HPALETTE palette = Map().ExportToPalette();
  platform::PALETTEENTRY entries[8];
  ASSERT_EQ(platform::GetPaletteEntries(palette, 0, 8, entries), 5u);
  EXPECT_EQ(entries[2].peRed, Map()[2].Red);
  EXPECT_EQ(entries[2].peFlags, platform::PC_NOCOLLAPSE);
  gif::TGIFGlobalColorMap other(nullptr);
  other.ImportFromPalette(palette);
  EXPECT_EQ(other.EntryCount, 5);
  EXPECT_EQ(gif::TripletToColor(other[4]), gif::TripletToColor(Map()[4]));
  platform::DeleteObject(palette);
  gif::TGIFGlobalColorMap empty(nullptr);
  EXPECT_EQ(empty.ExportToPalette(), platform::HPALETTE{});
}

TEST_F(MapFixture, AssignCopiesEntriesAndSorting) {
  Fill(5);
  Map().UsageSorted = true;
  gif::TGIFGlobalColorMap copy(nullptr);
  copy.Assign(&Map());
  EXPECT_EQ(copy.EntryCount, 5);
  EXPECT_EQ(copy.EntryCapacity, Map().EntryCapacity);
  EXPECT_TRUE(copy.UsageSorted);
  EXPECT_EQ(copy.FindColor(gif::TripletToColor(Map()[4])), 4);
}

TEST_F(MapFixture, SortByFrameUsage) {
  const struct {
    int entries;
    Bytes pixels;
    bool drop;
    Bytes order;  // old index at each new position
    Bytes new_pixels;
    int count;
  } cases[] = {
      {3, {2, 2, 2, 0}, false, {2, 0, 1}, {0, 0, 0, 1}, 3},
      {3, {2, 2, 2, 0}, true, {2, 0}, {0, 0, 0, 1}, 2},
      {3, {0, 1, 2, 2, 1, 2}, true, {2, 1, 0}, {2, 1, 0, 0, 1, 0}, 3},
      {3, {0, 0, 0, 1, 1, 2}, true, {0, 1, 2}, {0, 0, 0, 1, 1, 2}, 3},  // already in order
  };
  for (const auto& c : cases) {
    Map().ClearEntries();
    Fill(c.entries);
    std::vector<uint32_t> before;
    for (int i = 0; i < c.entries; ++i) before.push_back(gif::TripletToColor(Map()[i]));
    SetPixels(c.pixels);
    EXPECT_TRUE(Map().SortByFrameUsage(*frame, c.drop));
    EXPECT_TRUE(Map().UsageSorted);
    EXPECT_EQ(Pixels(), c.new_pixels);
    ASSERT_EQ(Map().EntryCount, c.count);
    for (size_t k = 0; k < c.order.size(); ++k) EXPECT_EQ(gif::TripletToColor(Map()[static_cast<int>(k)]), before[c.order[k]]);
  }
  Map().ClearEntries();
  Fill(1);
  EXPECT_FALSE(Map().SortByFrameUsage(*frame, true));
  EXPECT_FALSE(Map().UsageSorted);
}

TEST_F(MapFixture, SortingRemapsTheTransparentIndex) {
  Fill(3);
  SetPixels({2, 2, 1, 0, 2});
  auto gce = std::make_unique<gif::TGIFGraphicControlExtension>(frame);
  gce->Block.PackedFields = 1;
  gce->Block.TransparentColorIndex = 1;
  frame->HasTransparency = true;
  frame->ExtensionList->AddItem(std::move(gce));
  ASSERT_TRUE(Map().ReorderByUsage());
  EXPECT_EQ(frame->ControlExtension->TransparentColorIndex(), Pixels()[2]);
  EXPECT_EQ(frame->RequiredVersion(), gif::Version89a);
}

}  // namespace
