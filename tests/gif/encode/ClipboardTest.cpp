// Copying a picture to the clipboard and pasting it back, over an in-memory
// clipboard installed where the window layer puts the real one.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Streams.h"

namespace gif {
namespace {

class MemoryClipboard : public platform::TClipboardProvider {
public:
  MemoryClipboard() { platform::SetClipboardProvider(this); }
  ~MemoryClipboard() override { platform::SetClipboardProvider(nullptr); }
  void SetClipboardData(uint16_t Format, std::vector<uint8_t> Data) override { formats[Format] = std::move(Data); }
  bool GetClipboardData(uint16_t Format, std::vector<uint8_t>& Data) override {
    auto it = formats.find(Format);
    if (it == formats.end()) return false;
    Data = it->second;
    return true;
  }
  bool HasClipboardFormat(uint16_t Format) override { return formats.count(Format) != 0; }

  std::map<uint16_t, std::vector<uint8_t>> formats;
};

const uint16_t GIFFormat = platform::RegisterClipboardFormat("GIF Image");

std::vector<uint8_t> Saved(TGIFImage& image) {
  platform::TMemoryStream out;
  image.SaveToStream(out);
  return {out.Memory(), out.Memory() + out.Size()};
}

std::unique_ptr<TGIFImage> Loaded(const std::string& name) {
  auto image = std::make_unique<TGIFImage>();
  image->LoadFromFile(std::string(PELLISTO_SHARED_DIR) + "/corpus/" + name);
  return image;
}

TEST(Clipboard, EmptyPictureCopiesNothing) {
  MemoryClipboard clipboard;
  TGIFImage image;
  uint16_t format = 77;
  std::vector<uint8_t> data = {1, 2};
  platform::HPALETTE palette = nullptr;
  image.SaveToClipboardFormat(format, data, palette);
  EXPECT_EQ(format, 77);
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 2}));
  EXPECT_EQ(palette, nullptr);
  EXPECT_TRUE(clipboard.formats.empty());
}

TEST(Clipboard, CopyOffersBitmapAndGifAndPastePrefersTheGif) {
  MemoryClipboard clipboard;
  const size_t gdiBefore = platform::GdiObjectCount();
  {
    auto image = Loaded("animated-red-blue.gif");
    uint16_t format = 0;
    std::vector<uint8_t> dib;
    platform::HPALETTE palette = nullptr;
    image->SaveToClipboardFormat(format, dib, palette);
    EXPECT_EQ(format, platform::CF_DIB);
    EXPECT_FALSE(dib.empty());
    ASSERT_EQ(clipboard.formats.count(GIFFormat), 1u);
    EXPECT_EQ(clipboard.formats[GIFFormat], Saved(*image));

    // Pasting reads "GIF Image" whatever the bitmap form says: every frame comes back.
    TGIFImage pasted;
    pasted.LoadFromClipboardFormat(format, dib, palette);
    EXPECT_EQ(pasted.Frames->ItemCount(), image->Frames->ItemCount());
    EXPECT_EQ(Saved(pasted), Saved(*image));
    if (palette != nullptr) platform::DeleteObject(palette);
  }
  EXPECT_EQ(platform::GdiObjectCount(), gdiBefore);
}

TEST(Clipboard, PasteWithoutGifTakesTheBitmap) {
  MemoryClipboard clipboard;
  auto image = Loaded("hat.gif");
  uint16_t format = 0;
  std::vector<uint8_t> dib;
  platform::HPALETTE palette = nullptr;
  image->SaveToClipboardFormat(format, dib, palette);
  clipboard.formats.erase(GIFFormat);

  TGIFImage pasted;
  pasted.LoadFromClipboardFormat(format, dib, palette);
  if (palette != nullptr) platform::DeleteObject(palette);
  ASSERT_EQ(pasted.Frames->ItemCount(), 1);
  EXPECT_EQ(pasted.GetWidth(), image->GetWidth());
  EXPECT_EQ(pasted.GetHeight(), image->GetHeight());
}

TEST(Clipboard, PasteOfSomethingElseRaises) {
  MemoryClipboard clipboard;
  TGIFImage pasted;
  EXPECT_THROW(pasted.LoadFromClipboardFormat(12345, {1, 2, 3}, nullptr), platform::EInvalidGraphic);
  EXPECT_TRUE(pasted.GetEmpty());
}

}  // namespace
}  // namespace gif
