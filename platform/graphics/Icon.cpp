#include "platform/graphics/Icon.h"

#include <png.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/graphics/BmpCodec.h"
#include "platform/rtl/Exceptions.h"

namespace platform {

namespace {

constexpr char kInvalidIcon[] = "Icon image is not valid";
constexpr size_t kDirHeaderSize = 6;   // ICONDIR: reserved, type, count
constexpr size_t kDirEntrySize = 16;   // ICONDIRENTRY
constexpr size_t kMaxFileSize = size_t{1} << 28;
// PNG entries are at most 256 pixels square in real files; allow far more,
// but not what would exhaust memory.
constexpr uint32_t kMaxPngSide = 16384;
constexpr uint64_t kMaxPngPixels = uint64_t{1} << 26;

[[noreturn]] void InvalidIcon() { throw EInvalidGraphic(kInvalidIcon); }

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool IsPng(const uint8_t* p, size_t n) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  return n >= 8 && std::memcmp(p, kSignature, 8) == 0;
}

struct Entry {
  int32_t Width;   // as the directory states
  int32_t Height;
  int BitCount;    // from the image data when it can be seen
  const uint8_t* Data;
  size_t Size;
};

struct Decoded {
  int32_t Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0xAARRGGBB, straight alpha, rows from the top
  bool HasAlpha = false;
  int BitCount = 0;
};

Decoded DecodePng(const Entry& e) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, e.Data, e.Size)) InvalidIcon();
  if (image.width == 0 || image.height == 0 || image.width > kMaxPngSide || image.height > kMaxPngSide ||
      uint64_t{image.width} * image.height > kMaxPngPixels) {
    png_image_free(&image);
    InvalidIcon();
  }
  image.format = PNG_FORMAT_BGRA;
  std::vector<uint8_t> bgra(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bgra.data(), 0, nullptr)) {
    png_image_free(&image);
    InvalidIcon();
  }
  Decoded d;
  d.Width = static_cast<int32_t>(image.width);
  d.Height = static_cast<int32_t>(image.height);
  d.BitCount = 32;
  d.HasAlpha = true;
  d.Pixels.resize(static_cast<size_t>(d.Width) * d.Height);
  for (size_t i = 0; i < d.Pixels.size(); ++i) d.Pixels[i] = Get32(&bgra[4 * i]);
  return d;
}

// The colour of pixel x of a decoded row, as 0x00RRGGBB.
uint32_t RowColor(const TDibImage& img, const uint8_t* row, int32_t x) {
  auto table = [&](unsigned i) {
    const TRGBQuad& c = img.ColorTable[i];
    return (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
  };
  switch (img.BitCount) {
    case 1: return table((row[x >> 3] >> (7 - (x & 7))) & 1);
    case 4: return table((row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
    case 8: return table(row[x]);
    case 16: {
      const unsigned v = Get16(row + 2 * x);
      const bool is565 = img.GreenMask == 0x07E0;
      const unsigned r = is565 ? v >> 11 : (v >> 10) & 31;
      const unsigned g = is565 ? (v >> 5) & 63 : (v >> 5) & 31;
      const unsigned b = v & 31;
      return ((r * 255 / 31) << 16) | ((is565 ? g * 255 / 63 : g * 255 / 31) << 8) | (b * 255 / 31);
    }
    case 24: return (uint32_t{row[3 * x + 2]} << 16) | (uint32_t{row[3 * x + 1]} << 8) | row[3 * x];
    default: return Get32(row + 4 * x) & 0x00FFFFFF;
  }
}

Decoded DecodeDibEntry(const Entry& e) {
  TDibImage img;
  size_t consumed = 0;
  try {
    // The header's height counts the colour image and the AND mask below it;
    // some writers give the image's own height instead, as the directory does.
    int divisor = 2;
    if (e.Size >= 12) {
      const int64_t headerHeight = std::abs(int64_t{static_cast<int32_t>(Get32(e.Data + 8))});
      if (Get32(e.Data) >= 40 && headerHeight == e.Height && e.Height != 256) divisor = 1;
    }
    img = ReadDib(e.Data, e.Size, divisor, &consumed);
  } catch (const EInvalidGraphic&) {
    InvalidIcon();
  }
  Decoded d;
  d.Width = img.Width;
  d.Height = img.Height;
  d.BitCount = img.BitCount;
  d.Pixels.resize(static_cast<size_t>(d.Width) * d.Height);

  const size_t maskRow = TDibImage::RowBytesFor(img.Width, 1);
  // Some 32-bit entries leave out the AND mask; their alpha says it all, and
  // without alpha the image is taken as opaque.
  const bool hasMask = consumed <= e.Size && maskRow * img.Height <= e.Size - consumed;
  const uint8_t* mask = e.Data + consumed;

  if (img.BitCount == 32) {
    for (int32_t y = 0; y < img.Height && !d.HasAlpha; ++y) {
      const uint8_t* row = img.ScanLine(y);
      for (int32_t x = 0; x < img.Width; ++x)
        if (row[4 * x + 3] != 0) {
          d.HasAlpha = true;
          break;
        }
    }
  }
  for (int32_t y = 0; y < img.Height; ++y) {
    const uint8_t* row = img.ScanLine(y);
    // The mask's rows run in the same order as the colour image's.
    const uint8_t* maskLine = mask + maskRow * static_cast<size_t>(img.TopDown ? y : img.Height - 1 - y);
    uint32_t* out = d.Pixels.data() + static_cast<size_t>(y) * d.Width;
    for (int32_t x = 0; x < img.Width; ++x) {
      const uint32_t rgb = RowColor(img, row, x);
      uint32_t alpha = 255;
      if (d.HasAlpha) {
        alpha = row[4 * x + 3];
      } else if (hasMask && ((maskLine[x >> 3] >> (7 - (x & 7))) & 1)) {
        // A set mask bit shows the background (and would invert it where the
        // colour is not black, which only cursors use): transparent here.
        alpha = 0;
      }
      out[x] = (alpha << 24) | rgb;
    }
  }
  return d;
}

// The entry closest to the standard size; among equals, the most colours;
// among those, the first.
const Entry& ChooseEntry(const std::vector<Entry>& entries) {
  const Entry* best = &entries.front();
  auto distance = [](const Entry& e) {
    return std::abs(e.Width - TIcon::StandardSize) + std::abs(e.Height - TIcon::StandardSize);
  };
  for (const Entry& e : entries) {
    const int d = distance(e), bd = distance(*best);
    if (d < bd || (d == bd && e.BitCount > best->BitCount)) best = &e;
  }
  return *best;
}

void ReadAll(TStream& Stream, std::vector<uint8_t>& Out) {
  const int64_t left = Stream.Size() - Stream.Position();
  if (left <= 0 || static_cast<uint64_t>(left) > kMaxFileSize) InvalidIcon();
  Out.resize(static_cast<size_t>(left));
  size_t have = 0;
  while (have < Out.size()) {
    const int32_t got = Stream.Read(Out.data() + have,
                                    static_cast<int32_t>(std::min<size_t>(Out.size() - have, size_t{1} << 30)));
    if (got <= 0) InvalidIcon();
    have += static_cast<size_t>(got);
  }
}

}  // namespace

void TIcon::Assign(const TPersistent* Source) {
  if (Source == nullptr) {
    file_.clear();
    pixels_.clear();
    width_ = height_ = 0;
    hasAlpha_ = false;
    entryCount_ = bitCount_ = 0;
    Changed(this);
    return;
  }
  if (const auto* icon = dynamic_cast<const TIcon*>(Source)) {
    if (icon == this) return;
    file_ = icon->file_;
    pixels_ = icon->pixels_;
    width_ = icon->width_;
    height_ = icon->height_;
    hasAlpha_ = icon->hasAlpha_;
    entryCount_ = icon->entryCount_;
    bitCount_ = icon->bitCount_;
    Changed(this);
    return;
  }
  TGraphic::Assign(Source);
}

void TIcon::SetWidth(int32_t Value) {
  if (Value != width_) throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::SetHeight(int32_t Value) {
  if (Value != height_) throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::LoadFromStream(TStream& Stream) {
  std::vector<uint8_t> file;
  ReadAll(Stream, file);
  const uint8_t* p = file.data();
  const size_t size = file.size();
  // ICONDIR: reserved 0, type 1 (icon) or 2 (cursor, the same layout).
  if (size < kDirHeaderSize || Get16(p) != 0 || (Get16(p + 2) != 1 && Get16(p + 2) != 2)) InvalidIcon();
  const size_t count = Get16(p + 4);
  if (count == 0 || kDirHeaderSize + count * kDirEntrySize > size) InvalidIcon();

  std::vector<Entry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    // ICONDIRENTRY: width, height (0 = 256), colour count, reserved, planes,
    // bit count, bytes in resource, image offset.
    const uint8_t* d = p + kDirHeaderSize + i * kDirEntrySize;
    const uint32_t bytes = Get32(d + 8), offset = Get32(d + 12);
    if (offset > size || bytes > size - offset || bytes < 8) InvalidIcon();
    Entry e{d[0] ? d[0] : 256, d[1] ? d[1] : 256, Get16(d + 6), p + offset, bytes};
    if (IsPng(e.Data, e.Size)) {
      e.BitCount = 32;
    } else if (e.Size >= 16) {
      e.BitCount = Get16(e.Data + 14);  // biBitCount: what the image really is
    }
    entries.push_back(e);
  }
  const Entry& chosen = ChooseEntry(entries);
  Decoded d = IsPng(chosen.Data, chosen.Size) ? DecodePng(chosen) : DecodeDibEntry(chosen);

  file_ = std::move(file);
  pixels_ = std::move(d.Pixels);
  width_ = d.Width;
  height_ = d.Height;
  hasAlpha_ = d.HasAlpha;
  bitCount_ = d.BitCount;
  entryCount_ = static_cast<int>(count);
  Changed(this);
}

void TIcon::SaveToStream(TStream& Stream) {
  size_t done = 0;
  while (done < file_.size()) {
    const auto n = static_cast<int32_t>(std::min<size_t>(file_.size() - done, size_t{1} << 30));
    Stream.WriteBuffer(file_.data() + done, n);
    done += static_cast<size_t>(n);
  }
}

void TIcon::Draw(TCanvas& Canvas, const TRect& Rect) {
  if (pixels_.empty() || Rect.Width() <= 0 || Rect.Height() <= 0) return;
  HDC dc = Canvas.Handle();
  TRect clip = Canvas.ClipRect();
  const int32_t x0 = std::max(Rect.Left, clip.Left), x1 = std::min(Rect.Right, clip.Right);
  const int32_t y0 = std::max(Rect.Top, clip.Top), y1 = std::min(Rect.Bottom, clip.Bottom);
  if (x1 <= x0 || y1 <= y0) return;
  const int64_t dw = Rect.Width(), dh = Rect.Height();
  std::vector<uint8_t> coverage(static_cast<size_t>(x1 - x0));
  // Nearest pixel; each run of one colour is blended in one call with the
  // pixels' alpha as coverage.
  for (int32_t y = y0; y < y1; ++y) {
    const int64_t sy = (y - Rect.Top) * int64_t{height_} / dh;
    const uint32_t* row = pixels_.data() + static_cast<size_t>(sy) * width_;
    int32_t x = x0;
    while (x < x1) {
      const uint32_t px = row[(x - Rect.Left) * int64_t{width_} / dw];
      if ((px >> 24) == 0) {
        ++x;
        continue;
      }
      const uint32_t rgb = px & 0x00FFFFFF;
      const int32_t start = x;
      size_t n = 0;
      while (x < x1) {
        const uint32_t q = row[(x - Rect.Left) * int64_t{width_} / dw];
        if ((q >> 24) == 0 || (q & 0x00FFFFFF) != rgb) break;
        coverage[n++] = static_cast<uint8_t>(q >> 24);
        ++x;
      }
      const COLORREF color = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
      GdiBlendCoverage(dc, start, y, coverage.data(), static_cast<int32_t>(n), 1, static_cast<int32_t>(n), color);
    }
  }
}

}  // namespace platform
