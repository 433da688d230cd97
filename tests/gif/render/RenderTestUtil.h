#pragma once
// Helpers of the rendering tests: pictures from built GIF streams, pixels
// read back from bitmaps, and a check that a test leaves no GDI objects.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <memory>
#include <vector>

#include "gif/picture/GIFImage.h"
#include "gif/picture/Settings.h"
#include "gif/render/DIB.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Streams.h"

namespace rendertest {

using Bytes = std::vector<uint8_t>;

// GIF blocks for fixtures. Image data is LZW in its simplest valid form:
// 9-bit codes, one literal per pixel, a clear code before the table would
// widen the codes.
struct GifWriter {
  Bytes bytes;
  GifWriter& Raw(std::initializer_list<int> values) {
    for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  GifWriter& U16(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }
  GifWriter& Header(int w, int h, int packed) {
    for (char c : std::string("GIF89a")) bytes.push_back(static_cast<uint8_t>(c));
    U16(w).U16(h);
    return Raw({packed, 0, 0});
  }
  GifWriter& Gce(int delay, int disposal, bool transparent, int index) {
    Raw({0x21, 0xF9, 4, (disposal << 2) | (transparent ? 1 : 0)}).U16(delay);
    return Raw({index, 0});
  }
  GifWriter& Loop(int count) {
    Raw({0x21, 0xFF, 11});
    for (char c : std::string("NETSCAPE2.0")) bytes.push_back(static_cast<uint8_t>(c));
    Raw({3, 1}).U16(count);
    return Raw({0});
  }
  GifWriter& Descriptor(int left, int top, int w, int h) {
    Raw({0x2C}).U16(left).U16(top).U16(w).U16(h);
    return Raw({0});
  }
  GifWriter& Pixels(const Bytes& pixels) {
    Bytes data;
    uint32_t acc = 0;
    int bits = 0;
    auto put = [&](int code) {
      acc |= static_cast<uint32_t>(code) << bits;
      for (bits += 9; bits >= 8; bits -= 8, acc >>= 8) data.push_back(static_cast<uint8_t>(acc));
    };
    for (size_t i = 0; i < pixels.size(); ++i) {
      if (i % 250 == 0) put(256);
      put(pixels[i]);
    }
    put(257);
    if (bits > 0) data.push_back(static_cast<uint8_t>(acc));
    Raw({8});
    for (size_t i = 0; i < data.size(); i += 255) {
      const size_t n = std::min<size_t>(255, data.size() - i);
      bytes.push_back(static_cast<uint8_t>(n));
      bytes.insert(bytes.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    return Raw({0});
  }
  GifWriter& Trailer() { return Raw({0x3B}); }
};

inline std::unique_ptr<gif::TGIFImage> LoadGif(const Bytes& bytes) {
  auto image = std::make_unique<gif::TGIFImage>();
  platform::TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
  stream.SetPosition(0);
  image->LoadFromStream(stream);
  return image;
}

// Rows of 0x00RRGGBB, top to bottom.
inline std::vector<uint32_t> Pixels32(platform::TBitmap& Bitmap) {
  const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  std::vector<uint32_t> out(static_cast<size_t>(w) * static_cast<size_t>(h));
  if (out.empty()) return out;
  platform::BITMAPINFO info{};
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = -h;
  info.bmiHeader.biBitCount = 32;
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  platform::GetDIBits(dc, Bitmap.Handle(), 0, static_cast<uint32_t>(h), out.data(), &info, platform::DIB_RGB_COLORS);
  platform::DeleteDC(dc);
  for (uint32_t& p : out) p &= 0xFFFFFF;
  return out;
}

// The colour indices of an 8-bit bitmap, top to bottom, no row padding.
inline std::vector<uint8_t> Indices8(platform::TBitmap& Bitmap) {
  const int32_t w = Bitmap.GetWidth(), h = Bitmap.GetHeight();
  const int32_t stride = gif::RowBytes(w, 8);
  std::vector<uint8_t> rows(static_cast<size_t>(stride) * static_cast<size_t>(h));
  std::vector<uint8_t> info(sizeof(platform::BITMAPINFOHEADER) + 256 * 4);
  auto* header = reinterpret_cast<platform::BITMAPINFOHEADER*>(info.data());
  *header = platform::BITMAPINFOHEADER{};
  header->biWidth = w;
  header->biHeight = -h;
  header->biBitCount = 8;
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  platform::GetDIBits(dc, Bitmap.Handle(), 0, static_cast<uint32_t>(h), rows.data(),
                      reinterpret_cast<platform::BITMAPINFO*>(info.data()), platform::DIB_RGB_COLORS);
  platform::DeleteDC(dc);
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < h; ++y)
    out.insert(out.end(), rows.begin() + y * stride, rows.begin() + y * stride + w);
  return out;
}

// Fails the test when it leaves GDI objects behind (shared caches freed first).
class GdiLeakCheck : public ::testing::Test {
protected:
  void SetUp() override { before_ = platform::GdiObjectCount(); }
  void TearDown() override {
    gif::FreeWebPalette();
    gif::FreeEightBitTemplate();
    EXPECT_EQ(platform::GdiObjectCount(), before_) << platform::GdiDescribeObjects();
  }

private:
  size_t before_ = 0;
};

// 0x00RRGGBB (as Pixels32 reads) as a colour value ($00BBGGRR).
constexpr platform::TColor AsColor(uint32_t Rgb) {
  return ((Rgb & 0xFF) << 16) | (Rgb & 0xFF00) | ((Rgb >> 16) & 0xFF);
}

// A bitmap of the given size filled with one colour (0x00RRGGBB).
inline std::unique_ptr<platform::TBitmap> Filled(int32_t W, int32_t H, uint32_t Rgb,
                                                 platform::TPixelFormat Format = platform::TPixelFormat::pf32bit) {
  auto bitmap = std::make_unique<platform::TBitmap>();
  bitmap->SetPixelFormat(Format);
  bitmap->SetSize(W, H);
  bitmap->Canvas().Brush().SetColor(AsColor(Rgb));
  bitmap->Canvas().FillRect(platform::TRect{0, 0, W, H});
  return bitmap;
}

}  // namespace rendertest

namespace rendertest {

// One frame of a built picture.
struct TFrameDef {
  int left = 0, top = 0, width = 1, height = 1;
  Bytes pixels;
  int delay = -1;  // -1: no graphic control extension
  int disposal = 0;
  int transparent = -1;
  int loop = -1;  // -1: no loop extension before this frame
};

// A GIF with a global table of Colors (0x00RRGGBB; padded to a power of two)
// and the frames given.
inline Bytes BuildGif(int W, int H, const std::vector<uint32_t>& Colors, const std::vector<TFrameDef>& Frames) {
  int bits = 1;
  while ((1u << bits) < Colors.size()) ++bits;
  GifWriter b;
  b.Header(W, H, 0x80 | (bits - 1));
  for (size_t i = 0; i < (size_t{1} << bits); ++i) {
    const uint32_t c = i < Colors.size() ? Colors[i] : 0;
    b.Raw({static_cast<int>(c >> 16 & 0xFF), static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c & 0xFF)});
  }
  for (const TFrameDef& f : Frames) {
    if (f.loop >= 0) b.Loop(f.loop);
    if (f.delay >= 0 || f.transparent >= 0 || f.disposal != 0)
      b.Gce(std::max(f.delay, 0), f.disposal, f.transparent >= 0, std::max(f.transparent, 0));
    b.Descriptor(f.left, f.top, f.width, f.height);
    b.Pixels(f.pixels);
  }
  b.Trailer();
  return b.bytes;
}

inline Bytes Repeat(uint8_t Index, size_t Count) { return Bytes(Count, Index); }

}  // namespace rendertest
