// Every GIF of the shared corpus and conformance suite that loads is saved
// with each encoder and loaded again: same frames, indices, colour tables and
// extension bytes; saving that result again gives the same bytes; giflib
// reads what we wrote to the same indices.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "Giflib.h"
#include "gif/decode/ColorMap.h"
#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"
#include "platform/rtl/Streams.h"

namespace gif {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SharedGifs() {
  std::vector<std::string> files;
  for (const char* dir : {"corpus", "gif-test-suite"}) {
    const fs::path root = fs::path(PELLISTO_SHARED_DIR) / dir;
    if (!fs::is_directory(root)) continue;
    for (const auto& entry : fs::directory_iterator(root))
      if (entry.path().extension() == ".gif") files.push_back(std::string(dir) + "/" + entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<uint8_t> Bytes(platform::TMemoryStream& s) { return {s.Memory(), s.Memory() + s.Size()}; }

std::vector<uint8_t> Save(TGIFImage& image) {
  platform::TMemoryStream out;
  image.SaveToStream(out);
  return Bytes(out);
}

void Load(TGIFImage& image, const std::vector<uint8_t>& bytes) {
  platform::TMemoryStream in;
  in.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  in.SetPosition(0);
  image.LoadFromStream(in);
}

std::vector<uint8_t> Entries(const TGIFColorMap& map) {
  std::vector<uint8_t> out;
  for (int i = 0; i < map.EntryCount; ++i) out.insert(out.end(), {map[i].Red, map[i].Green, map[i].Blue});
  return out;
}

std::vector<uint8_t> ExtensionBytes(TGIFSubImage& frame) {
  platform::TMemoryStream out;
  frame.ExtensionList->SaveToStream(out);
  return Bytes(out);
}

void ExpectSamePicture(TGIFImage& a, TGIFImage& b) {
  const auto& da = a.Header->Descriptor;
  const auto& db = b.Header->Descriptor;
  EXPECT_EQ(da.LogicalScreenWidth, db.LogicalScreenWidth);
  EXPECT_EQ(da.LogicalScreenHeight, db.LogicalScreenHeight);
  EXPECT_EQ(da.BackgroundColorIndex, db.BackgroundColorIndex);
  EXPECT_EQ(da.PixelAspectRatio, db.PixelAspectRatio);
  EXPECT_EQ(Entries(*a.Header->GlobalColorMap), Entries(*b.Header->GlobalColorMap));
  ASSERT_EQ(a.Frames->ItemCount(), b.Frames->ItemCount());
  for (int i = 0; i < a.Frames->ItemCount(); ++i) {
    SCOPED_TRACE("frame " + std::to_string(i));
    TGIFSubImage& fa = *a.Frames->FrameAt(i);
    TGIFSubImage& fb = *b.Frames->FrameAt(i);
    EXPECT_EQ(ExtensionBytes(fa), ExtensionBytes(fb));
    ASSERT_EQ(fa.IsEmptyFrame(), fb.IsEmptyFrame());
    if (fa.IsEmptyFrame()) continue;
    const auto& ia = fa.ImageDescriptor;
    const auto& ib = fb.ImageDescriptor;
    EXPECT_EQ(ia.ImageLeftPosition, ib.ImageLeftPosition);
    EXPECT_EQ(ia.ImageTopPosition, ib.ImageTopPosition);
    EXPECT_EQ(ia.ImageWidth, ib.ImageWidth);
    EXPECT_EQ(ia.ImageHeight, ib.ImageHeight);
    EXPECT_EQ(ia.PackedFields & 0x58, ib.PackedFields & 0x58);  // interlace and reserved bits
    EXPECT_EQ(Entries(*fa.LocalColorMap), Entries(*fb.LocalColorMap));
    ASSERT_EQ(fa.PixelBytes, fb.PixelBytes);
    EXPECT_TRUE(std::equal(fa.Pixels.get(), fa.Pixels.get() + fa.PixelBytes, fb.Pixels.get()));
  }
}

using Param = std::tuple<std::string, int /*EncoderKind*/>;
class SharedRoundTrip : public ::testing::TestWithParam<Param> {};

TEST_P(SharedRoundTrip, SavesAndLoadsTheSamePicture) {
  const auto& [name, kind] = GetParam();
  platform::TMemoryStream file;
  file.LoadFromFile(std::string(PELLISTO_SHARED_DIR) + "/" + name);
  TGIFImage original;
  try {
    original.LoadFromStream(file);
  } catch (const platform::Exception& e) {
    GTEST_SKIP() << "does not load: " << e.Message;
  }
  if (original.Frames->ItemCount() == 0) GTEST_SKIP() << "no frames";

  original.EncoderKind = static_cast<uint8_t>(kind);
  std::vector<uint8_t> written;
  try {
    written = Save(original);
  } catch (const GIFException& e) {
    // Pixels that point past their colour table cannot be written.
    ASSERT_EQ(e.Message, "Color not in color table");
    GTEST_SKIP() << "pixels outside the colour table";
  }
  TGIFImage reloaded;
  reloaded.EncoderKind = static_cast<uint8_t>(kind);
  Load(reloaded, written);
  ExpectSamePicture(original, reloaded);
  EXPECT_TRUE(Save(reloaded) == written) << "second save differs";

  // A comment of one zero byte is read as an empty string (strings are cut at
  // a zero byte) and written back as a comment block without sub-blocks,
  // which giflib refuses to read.
  if (name == "gif-test-suite/nul-comment.gif") return;
  const auto giflib = test::GiflibDecode(written);
  ASSERT_EQ(giflib.Error, "");
  size_t image = 0;
  for (int i = 0; i < reloaded.Frames->ItemCount(); ++i) {
    TGIFSubImage& frame = *reloaded.Frames->FrameAt(i);
    if (frame.IsEmptyFrame()) continue;
    ASSERT_LT(image, giflib.Frames.size());
    EXPECT_TRUE(std::equal(frame.Pixels.get(), frame.Pixels.get() + frame.PixelBytes, giflib.Frames[image].begin()))
        << "giflib frame " << image;
    ++image;
  }
  EXPECT_EQ(image, giflib.Frames.size());
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedRoundTrip, ::testing::Combine(::testing::ValuesIn(SharedGifs()), ::testing::Values(0, 1)),
                         [](const auto& info) {
                           std::string n = std::get<0>(info.param);
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n + (std::get<1>(info.param) == 1 ? "_RLE" : "_LZW");
                         });

}  // namespace
}  // namespace gif
