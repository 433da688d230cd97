#include "platform/graphics/Icon.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/graphics/Gdi.h"
#include "platform/rtl/Exceptions.h"

namespace {

using platform::TIcon;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, unsigned v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

// The test picture of every entry: red left half, blue right half; the
// top-left quadrant transparent; in 32-bit entries the bottom-right
// quadrant half transparent.
constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF;
uint32_t Expected(int x, int y, int w, int h, bool alpha) {
  const uint32_t rgb = x < w / 2 ? kRed : kBlue;
  if (x < w / 2 && y < h / 2) return 0;
  if (alpha && x >= w / 2 && y >= h / 2) return 0x80000000u | rgb;
  return 0xFF000000u | rgb;
}

// Fully transparent pixels may keep any colour.
uint32_t Visible(uint32_t argb) { return (argb >> 24) == 0 ? 0 : argb; }

// A DIB entry: BITMAPINFOHEADER with the doubled height, colour table,
// colour rows bottom-up, AND mask rows bottom-up.
Bytes DibEntry(int w, int h, int bits, bool withMask = true) {
  Bytes b;
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(2 * h));
  Put16(b, 1);
  Put16(b, unsigned(bits));
  for (int i = 0; i < 6; ++i) Put32(b, 0);
  if (bits <= 8) {
    // Index 0 red, index 1 blue, the rest grey.
    for (int i = 0; i < (1 << bits); ++i) Put32(b, i == 0 ? kRed : i == 1 ? kBlue : 0x808080);
  }
  const size_t row = ((size_t(w) * bits + 31) / 32) * 4;
  for (int y = h - 1; y >= 0; --y) {
    Bytes line(row, 0);
    for (int x = 0; x < w; ++x) {
      const uint32_t px = Expected(x, y, w, h, bits == 32);
      const bool blue = x >= w / 2;
      switch (bits) {
        case 1: line[size_t(x) / 8] |= uint8_t((blue ? 1 : 0) << (7 - x % 8)); break;
        case 4: line[size_t(x) / 2] |= uint8_t((blue ? 1 : 0) << (x % 2 ? 0 : 4)); break;
        case 8: line[size_t(x)] = blue ? 1 : 0; break;
        case 24:
        case 32:
          line[size_t(x) * (bits / 8)] = uint8_t(px);
          line[size_t(x) * (bits / 8) + 1] = uint8_t(px >> 8);
          line[size_t(x) * (bits / 8) + 2] = uint8_t(px >> 16);
          if (bits == 32) line[size_t(x) * 4 + 3] = uint8_t(px >> 24);
          break;
      }
    }
    b.insert(b.end(), line.begin(), line.end());
  }
  if (withMask) {
    const size_t maskRow = ((size_t(w) + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
      Bytes line(maskRow, 0);
      for (int x = 0; x < w; ++x)
        if ((Expected(x, y, w, h, false) >> 24) == 0) line[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
      b.insert(b.end(), line.begin(), line.end());
    }
  }
  return b;
}

Bytes PngEntry(int w, int h) {
  std::vector<uint32_t> argb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) argb.push_back(Expected(x, y, w, h, true));
  Bytes bgra;
  for (uint32_t v : argb) Put32(bgra, v);
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = uint32_t(w);
  image.height = uint32_t(h);
  image.format = PNG_FORMAT_BGRA;
  png_alloc_size_t size = 0;
  EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, bgra.data(), 0, nullptr));
  Bytes out(size);
  EXPECT_TRUE(png_image_write_to_memory(&image, out.data(), &size, 0, bgra.data(), 0, nullptr));
  out.resize(size);
  return out;
}

struct IconEntry {
  int W, H, Bits;
  Bytes Data;
};

Bytes IcoFile(const std::vector<IconEntry>& entries) {
  Bytes f;
  Put16(f, 0);
  Put16(f, 1);
  Put16(f, unsigned(entries.size()));
  uint32_t offset = uint32_t(6 + 16 * entries.size());
  for (const IconEntry& e : entries) {
    f.push_back(uint8_t(e.W));
    f.push_back(uint8_t(e.H));
    f.push_back(0);
    f.push_back(0);
    Put16(f, 1);
    Put16(f, unsigned(e.Bits));
    Put32(f, uint32_t(e.Data.size()));
    Put32(f, offset);
    offset += uint32_t(e.Data.size());
  }
  for (const IconEntry& e : entries) f.insert(f.end(), e.Data.begin(), e.Data.end());
  return f;
}

void Load(TIcon& icon, const Bytes& data) {
  platform::TMemoryStream s;
  s.Write(data.data(), int32_t(data.size()));
  s.SetPosition(0);
  icon.LoadFromStream(s);
}

Bytes LoadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A 32-bit surface to draw on, filled with one colour.
class Surface {
public:
  Surface(int w, int h, uint32_t fill) : w_(w) {
    platform::BITMAPINFO info{};
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    bitmap_ = platform::CreateDIBSection(nullptr, &info, platform::DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = platform::CreateCompatibleDC(nullptr);
    old_ = platform::SelectObject(dc_, bitmap_);
    for (int i = 0; i < w * h; ++i) bits_[i] = fill;
    canvas_.SetHandle(dc_);
  }
  ~Surface() {
    canvas_.SetHandle(nullptr);
    platform::SelectObject(dc_, old_);
    platform::DeleteDC(dc_);
    platform::DeleteObject(bitmap_);
  }
  platform::TCanvas& Canvas() { return canvas_; }
  uint32_t At(int x, int y) const { return bits_[y * w_ + x] & 0xFFFFFF; }

private:
  int w_;
  platform::HBITMAP bitmap_ = nullptr, old_ = nullptr;
  platform::HDC dc_ = nullptr;
  uint32_t* bits_ = nullptr;
  platform::TCanvas canvas_;
};

TEST(Icon, EveryEntryKindLoadsAndDrawsWithItsMask) {
  const size_t objects = platform::GdiObjectCount();
  struct Case {
    const char* Name;
    IconEntry Entry;
    bool Alpha;
  };
  const Case cases[] = {
      {"1-bit", {16, 8, 1, DibEntry(16, 8, 1)}, false},
      {"4-bit", {16, 8, 4, DibEntry(16, 8, 4)}, false},
      {"8-bit", {16, 8, 8, DibEntry(16, 8, 8)}, false},
      {"24-bit", {16, 8, 24, DibEntry(16, 8, 24)}, false},
      {"32-bit with alpha", {16, 8, 32, DibEntry(16, 8, 32)}, true},
      {"32-bit without a mask", {16, 8, 32, DibEntry(16, 8, 32, false)}, true},
      {"png", {16, 8, 32, PngEntry(16, 8)}, true},
      {"header height not doubled", {16, 8, 8, [] {
         Bytes b = DibEntry(16, 8, 8);
         b[8] = 8;  // biHeight 8 instead of 16
         return b;
       }()}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIcon icon;
    Load(icon, IcoFile({c.Entry}));
    ASSERT_EQ(icon.Width(), 16);
    ASSERT_EQ(icon.Height(), 8);
    EXPECT_EQ(icon.HasAlpha(), c.Alpha);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) ASSERT_EQ(Visible(icon.Pixel(x, y)), Expected(x, y, 16, 8, c.Alpha)) << x << "," << y;

    // Drawn at twice the size on green: the transparent quadrant stays green.
    Surface s(40, 20, 0x00FF00);
    s.Canvas().StretchDraw({4, 2, 36, 18}, &icon);
    EXPECT_EQ(s.At(0, 0), 0x00FF00u);              // outside
    EXPECT_EQ(s.At(5, 3), 0x00FF00u);              // transparent quadrant
    EXPECT_EQ(s.At(5, 17), kRed);                  // bottom left
    EXPECT_EQ(s.At(35, 3), kBlue);                 // top right
    const uint32_t br = s.At(35, 17);              // bottom right: blue, half over green
    if (c.Alpha) {
      EXPECT_NEAR(int(br & 0xFF), 128, 2);
      EXPECT_NEAR(int((br >> 8) & 0xFF), 127, 2);
    } else {
      EXPECT_EQ(br, kBlue);
    }
  }
  EXPECT_EQ(platform::GdiObjectCount(), objects);
}

TEST(Icon, PicksTheEntryClosestToTheStandardSize) {
  struct Case {
    const char* Name;
    std::vector<IconEntry> Entries;
    int Width, Bits;
  };
  const Case cases[] = {
      {"exact size wins", {{16, 16, 8, DibEntry(16, 16, 8)}, {32, 32, 4, DibEntry(32, 32, 4)},
                           {48, 48, 32, DibEntry(48, 48, 32)}}, 32, 4},
      {"more colours at the same size", {{32, 32, 4, DibEntry(32, 32, 4)}, {32, 32, 32, PngEntry(32, 32)},
                                         {32, 32, 8, DibEntry(32, 32, 8)}}, 32, 32},
      {"nearest when none fits", {{16, 16, 24, DibEntry(16, 16, 24)}, {64, 64, 24, DibEntry(64, 64, 24)}}, 16, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIcon icon;
    Load(icon, IcoFile(c.Entries));
    EXPECT_EQ(icon.Width(), c.Width);
    EXPECT_EQ(icon.BitCount(), c.Bits);
    EXPECT_EQ(icon.EntryCount(), int(c.Entries.size()));
  }
}

TEST(Icon, CorpusIconMatchesAnIndependentDecoder) {
  const std::string path = PELLISTO_SHARED_DIR "/corpus/hippopotamus.regular.ico";
  TIcon icon;
  Load(icon, LoadFile(path));
  EXPECT_EQ(icon.Width(), 36);
  EXPECT_EQ(icon.Height(), 28);
  EXPECT_EQ(icon.BitCount(), 32);
  EXPECT_TRUE(icon.HasAlpha());
  EXPECT_TRUE(icon.Transparent());

  // ImageMagick reads the same pixels.
  const char* convert = "/usr/bin/convert";
  if (!std::filesystem::exists(convert)) GTEST_SKIP() << "ImageMagick is not installed";
  const auto raw = std::filesystem::temp_directory_path() / ("icon-" + std::to_string(::getpid()) + ".rgba");
  ASSERT_EQ(std::system((std::string(convert) + " " + path + " -depth 8 rgba:" + raw.string()).c_str()), 0);
  const Bytes ref = LoadFile(raw.string());
  std::filesystem::remove(raw);
  ASSERT_EQ(ref.size(), size_t(36 * 28 * 4));
  for (int y = 0; y < 28; ++y)
    for (int x = 0; x < 36; ++x) {
      const uint8_t* r = &ref[size_t(y * 36 + x) * 4];
      const uint32_t want = (uint32_t(r[3]) << 24) | (r[0] << 16) | (r[1] << 8) | r[2];
      const uint32_t got = icon.Pixel(x, y);
      // Fully transparent pixels may carry any colour.
      if (r[3] == 0) {
        ASSERT_EQ(got >> 24, 0u) << x << "," << y;
      } else {
        ASSERT_EQ(got, want) << x << "," << y;
      }
    }
}

TEST(Icon, DamagedFilesRaiseAndChangeNothing) {
  const Bytes good = IcoFile({{16, 8, 8, DibEntry(16, 8, 8)}});
  const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases = {
      {"empty", [](Bytes& f) { f.clear(); }},
      {"reserved field set", [](Bytes& f) { f[0] = 1; }},
      {"unknown type", [](Bytes& f) { f[2] = 3; }},
      {"no entries", [](Bytes& f) { f[4] = 0; }},
      {"more entries than the file holds", [](Bytes& f) { f[4] = 200; }},
      {"image offset past the end", [](Bytes& f) { f[6 + 12 + 2] = 0x7F; }},
      {"image size past the end", [](Bytes& f) { f[6 + 8 + 2] = 0x7F; }},
      {"colour rows cut off", [](Bytes& f) {
         const uint32_t n = 40 + 1024 + 50;  // header, colour table, part of the rows
         f[14] = uint8_t(n), f[15] = uint8_t(n >> 8), f[16] = f[17] = 0;
         f.resize(22 + n); }},
      {"bad bit count", [](Bytes& f) { f[22 + 14] = 7; }},
      {"bad header size", [](Bytes& f) { f[22] = 3; }},
      {"broken png", [](Bytes& f) {
         const Bytes png = PngEntry(16, 8);
         f = IcoFile({{16, 8, 32, Bytes(png.begin(), png.begin() + long(png.size()) / 2)}}); }},
  };
  TIcon icon;
  Load(icon, IcoFile({{24, 24, 24, DibEntry(24, 24, 24)}}));
  platform::TMemoryStream before;
  icon.SaveToStream(before);
  for (const auto& [name, change] : cases) {
    SCOPED_TRACE(name);
    Bytes bad = good;
    change(bad);
    try {
      Load(icon, bad);
      ADD_FAILURE() << "no error";
    } catch (const platform::EInvalidGraphic& e) {
      EXPECT_EQ(e.Message, "Icon image is not valid");
    }
    EXPECT_EQ(icon.Width(), 24);
    EXPECT_EQ(icon.Pixel(23, 23), 0xFF0000FFu);
  }
  platform::TMemoryStream after;
  icon.SaveToStream(after);
  EXPECT_EQ(Bytes(after.Memory(), after.Memory() + after.Size()),
            Bytes(before.Memory(), before.Memory() + before.Size()));
}

TEST(Icon, SavesTheFileItReadAndCopiesOnAssign) {
  const Bytes file = IcoFile({{16, 16, 4, DibEntry(16, 16, 4)}, {32, 32, 32, PngEntry(32, 32)}});
  TIcon icon;
  Load(icon, file);
  platform::TMemoryStream out;
  icon.SaveToStream(out);
  EXPECT_EQ(Bytes(out.Memory(), out.Memory() + out.Size()), file);

  TIcon copy;
  copy.Assign(&icon);
  EXPECT_EQ(copy.Width(), 32);
  EXPECT_EQ(copy.Pixel(31, 31), icon.Pixel(31, 31));
  copy.Assign(nullptr);
  EXPECT_TRUE(copy.Empty());
  EXPECT_FALSE(icon.Empty());

  EXPECT_NO_THROW(icon.SetWidth(32));
  try {
    icon.SetWidth(20);
    ADD_FAILURE() << "no error";
  } catch (const platform::EInvalidGraphicOperation& e) {
    EXPECT_EQ(e.Message, "Cannot change the size of an icon");
  }
}

}  // namespace
