#include "platform/graphics/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/rtl/Exceptions.h"

namespace platform {

namespace {

constexpr char kInvalidBitmap[] = "Bitmap image is not valid";

// Compression codes of the bitmap info header.
enum : uint32_t {
  BI_RGB = 0,
  BI_RLE8 = 1,
  BI_RLE4 = 2,
  BI_BITFIELDS = 3,
  BI_JPEG = 4,
  BI_PNG = 5,
  BI_ALPHABITFIELDS = 6,
};

constexpr size_t kFileHeaderSize = 14;
constexpr size_t kCoreHeaderSize = 12;
constexpr size_t kInfoHeaderSize = 40;
constexpr size_t kOs2V2HeaderSize = 64;
constexpr size_t kV4HeaderSize = 108;
constexpr uint32_t kLcsSrgb = 0x73524742;  // 'sRGB', the V4 header's colour space

// No decoded image may exceed this, whatever the header claims.
constexpr uint64_t kMaxPixelBytes = uint64_t{1} << 28;
// RLE can describe far more pixels than it stores; a real file's best case is
// about 128 pixels per byte (a full run in two bytes), so cap the decoded size
// by that ratio plus a little room for deltas and end-of-bitmap shortcuts.
constexpr uint64_t kRleBytesPerInputByte = 256;
constexpr uint64_t kRleSlack = uint64_t{1} << 20;

[[noreturn]] void InvalidBitmap() { throw EInvalidGraphic(kInvalidBitmap); }

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

struct Masks {
  uint32_t Red, Green, Blue, Alpha;
};
constexpr Masks kMasks555{0x7C00, 0x03E0, 0x001F, 0};
constexpr Masks kMasks565{0xF800, 0x07E0, 0x001F, 0};
constexpr Masks kMasks888{0x00FF0000, 0x0000FF00, 0x000000FF, 0};

// What the bitmap header says, checked for consistency but not yet against
// the amount of data.
struct DibHeader {
  size_t HeaderSize = 0;
  int32_t Width = 0;
  int32_t Height = 0;  // positive; TopDown tells the row order
  bool TopDown = false;
  uint16_t BitCount = 0;
  uint32_t Compression = BI_RGB;
  uint32_t SizeImage = 0;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  Masks FieldMasks{};
  bool HasAlphaMask = false;
  size_t MaskBytesAfterHeader = 0;  // bit fields that follow a 40-byte header
  size_t ColorEntrySize = 4;        // 3 for the core header's RGB triples
  uint64_t ColorEntries = 0;        // entries stored in the file

  bool IsRle() const { return Compression == BI_RLE8 || Compression == BI_RLE4; }
  size_t TableEnd() const {
    return HeaderSize + MaskBytesAfterHeader + static_cast<size_t>(ColorEntries) * ColorEntrySize;
  }
};

// Parses the header at Data (Size bytes available from there). The header's
// own size field must already fit.
DibHeader ParseHeader(const uint8_t* Data, size_t Size, int HeightDivisor) {
  if (Size < 4) InvalidBitmap();
  DibHeader h;
  h.HeaderSize = Get32(Data);
  if (h.HeaderSize > Size) InvalidBitmap();
  int64_t height = 0;
  if (h.HeaderSize == kCoreHeaderSize) {
    h.Width = Get16(Data + 4);
    height = Get16(Data + 6);
    h.BitCount = Get16(Data + 10);
    h.ColorEntrySize = 3;
  } else if (h.HeaderSize >= 16) {
    // OS/2 2.x headers may stop after any field from 16 bytes on; the missing
    // fields are zero.
    uint8_t info[kInfoHeaderSize] = {};
    std::memcpy(info, Data, std::min(h.HeaderSize, kInfoHeaderSize));
    h.Width = static_cast<int32_t>(Get32(info + 4));
    height = static_cast<int32_t>(Get32(info + 8));
    h.BitCount = Get16(info + 14);
    h.Compression = Get32(info + 16);
    h.SizeImage = Get32(info + 20);
    h.XPelsPerMeter = static_cast<int32_t>(Get32(info + 24));
    h.YPelsPerMeter = static_cast<int32_t>(Get32(info + 28));
    h.ColorEntries = Get32(info + 32);
    if (h.HeaderSize < kInfoHeaderSize && h.HeaderSize != 16) InvalidBitmap();
  } else {
    InvalidBitmap();
  }
  // OS/2 2.x uses 3 and 4 for Huffman and RLE24, which nobody writes.
  if (h.HeaderSize == kOs2V2HeaderSize && (h.Compression == 3 || h.Compression == 4)) InvalidBitmap();

  if (height < 0) {
    h.TopDown = true;
    height = -height;
  }
  height /= std::max(HeightDivisor, 1);
  if (h.Width <= 0 || height <= 0 || height > std::numeric_limits<int32_t>::max()) InvalidBitmap();
  h.Height = static_cast<int32_t>(height);

  switch (h.Compression) {
    case BI_RGB:
      if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 16 &&
          h.BitCount != 24 && h.BitCount != 32)
        InvalidBitmap();
      break;
    case BI_RLE8:
      if (h.BitCount != 8) InvalidBitmap();
      break;
    case BI_RLE4:
      if (h.BitCount != 4) InvalidBitmap();
      break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
      if (h.BitCount != 16 && h.BitCount != 32) InvalidBitmap();
      break;
    default:  // JPEG and PNG payloads are not bitmaps we can show
      InvalidBitmap();
  }

  if (h.Compression == BI_BITFIELDS || h.Compression == BI_ALPHABITFIELDS) {
    const size_t count = h.Compression == BI_ALPHABITFIELDS ? 4 : 3;
    const uint8_t* masks = Data + kInfoHeaderSize;
    if (h.HeaderSize == kInfoHeaderSize) {
      h.MaskBytesAfterHeader = count * 4;
      if (Size < kInfoHeaderSize + h.MaskBytesAfterHeader) InvalidBitmap();
    } else if (h.HeaderSize < kInfoHeaderSize + count * 4) {
      InvalidBitmap();
    }
    h.FieldMasks = {Get32(masks), Get32(masks + 4), Get32(masks + 8), count == 4 ? Get32(masks + 12) : 0};
    h.HasAlphaMask = count == 4;
    if (h.HeaderSize >= 56) {
      h.FieldMasks.Alpha = Get32(masks + 12);
      h.HasAlphaMask = true;
    }
  } else if (h.BitCount == 16) {
    h.FieldMasks = kMasks555;
  } else if (h.BitCount == 32) {
    h.FieldMasks = kMasks888;
    // Writers of V4/V5 headers state the alpha byte even with plain RGB.
    if (h.HeaderSize >= 56 && Get32(Data + 52) == 0xFF000000u) {
      h.FieldMasks.Alpha = 0xFF000000u;
      h.HasAlphaMask = true;
    }
  }

  if (h.BitCount <= 8) {
    if (h.ColorEntries == 0 || h.HeaderSize == kCoreHeaderSize) h.ColorEntries = uint64_t{1} << h.BitCount;
  }
  // Larger images may still carry a palette (a hint for palette screens): it
  // is skipped over. Callers check that the table fits their data.
  return h;
}

// Number of bits in Mask below its lowest set bit, and the width of its run.
struct MaskShape {
  int Shift = 0;
  uint32_t Max = 0;
};
MaskShape ShapeOf(uint32_t Mask) {
  if (Mask == 0) return {};
  const int shift = std::countr_zero(Mask);
  return {shift, Mask >> shift};
}
uint8_t Extract(uint32_t Pixel, uint32_t Mask, MaskShape Shape) {
  if (Shape.Max == 0) return 0;
  const uint64_t v = (Pixel & Mask) >> Shape.Shift;
  return static_cast<uint8_t>((v * 255 + Shape.Max / 2) / Shape.Max);
}

// Copies plain rows out of the file. Rows keep their file order.
void CopyRows(const DibHeader& h, const uint8_t* Src, TDibImage& Image) {
  const size_t rowBytes = Image.RowBytes();
  std::memcpy(Image.Pixels.data(), Src, rowBytes * static_cast<size_t>(h.Height));
}

// Bit-field pixels in a layout other than 5-5-5, 5-6-5 or B-G-R-A become
// 32-bit B-G-R-A.
void ConvertFieldsTo32(const DibHeader& h, const uint8_t* Src, TDibImage& Image) {
  const size_t srcRow = TDibImage::RowBytesFor(h.Width, h.BitCount);
  const Masks& m = h.FieldMasks;
  const MaskShape r = ShapeOf(m.Red), g = ShapeOf(m.Green), b = ShapeOf(m.Blue), a = ShapeOf(m.Alpha);
  for (int32_t y = 0; y < h.Height; ++y) {
    const uint8_t* s = Src + srcRow * static_cast<size_t>(y);
    uint8_t* d = Image.Pixels.data() + Image.RowBytes() * static_cast<size_t>(y);
    for (int32_t x = 0; x < h.Width; ++x, d += 4) {
      const uint32_t px = h.BitCount == 16 ? Get16(s + 2 * static_cast<size_t>(x)) : Get32(s + 4 * static_cast<size_t>(x));
      d[0] = Extract(px, m.Blue, b);
      d[1] = Extract(px, m.Green, g);
      d[2] = Extract(px, m.Red, r);
      d[3] = m.Alpha ? Extract(px, m.Alpha, a) : 0;
    }
  }
}

// RLE8 / RLE4 into plain rows (row 0 is the first row of the file). Pixels a
// run or delta places outside the picture are dropped, as real decoders do;
// pixels no run reaches stay index 0. Data that end before the end-of-bitmap
// code with rows still to fill are damaged.
void DecodeRle(const DibHeader& h, const uint8_t* Src, size_t Len, TDibImage& Image) {
  const bool four = h.Compression == BI_RLE4;
  const size_t rowBytes = Image.RowBytes();
  int64_t x = 0, y = 0;
  size_t i = 0;
  auto put = [&](uint8_t index) {
    if (x < h.Width && y < h.Height) {
      uint8_t* row = Image.Pixels.data() + rowBytes * static_cast<size_t>(y);
      if (four) {
        uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                       : static_cast<uint8_t>((byte & 0x0F) | (index << 4));
      } else {
        row[x] = index;
      }
    }
    ++x;
  };
  while (y < h.Height) {
    if (Len - i < 2) InvalidBitmap();
    const uint8_t count = Src[i], value = Src[i + 1];
    i += 2;
    if (count > 0) {
      // An encoded run; a run never continues past the row in valid data, so
      // the rest is dropped rather than wrapped.
      const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, h.Width - x));
      for (int64_t k = 0; k < n; ++k) put(four ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      x += count - n;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++y;
        break;
      case 1:  // end of bitmap
        return;
      case 2:  // delta: move right and up
        if (Len - i < 2) InvalidBitmap();
        x += Src[i];
        y += Src[i + 1];
        i += 2;
        break;
      default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
        const size_t bytes = four ? (value + 1u) / 2 : value;
        const size_t padded = (bytes + 1) & ~size_t{1};
        if (Len - i < bytes) InvalidBitmap();
        for (unsigned k = 0; k < value; ++k) {
          const uint8_t b = Src[i + (four ? k / 2 : k)];
          put(four ? ((k & 1) ? b & 0x0F : b >> 4) : b);
        }
        // Some writers leave out the final pad byte at the very end.
        i = std::min(Len, i + padded);
        break;
      }
    }
  }
}

bool SameRgb(const Masks& a, const Masks& b) {
  return a.Red == b.Red && a.Green == b.Green && a.Blue == b.Blue;
}

// Whether the pixels can be stored as they are (see the header's promise on
// bit fields) or must be converted to 32-bit B-G-R-A.
bool KeepsLayout(const DibHeader& h) {
  const Masks& m = h.FieldMasks;
  if (h.BitCount == 16) return SameRgb(m, kMasks555) || SameRgb(m, kMasks565);
  if (h.BitCount == 32) return SameRgb(m, kMasks888) && (m.Alpha == 0 || m.Alpha == 0xFF000000u);
  return true;
}

TDibImage DecodeDib(const DibHeader& h, const uint8_t* Dib, size_t DibSize, size_t PixelOffset,
                    size_t PixelLen) {
  if (PixelOffset > DibSize || PixelLen > DibSize - PixelOffset) InvalidBitmap();
  const bool keepLayout = KeepsLayout(h);
  const uint16_t outBits = keepLayout ? h.BitCount : 32;
  const uint64_t outBytes = TDibImage::RowBytesFor(h.Width, outBits) * static_cast<uint64_t>(h.Height);
  const uint64_t srcBytes = TDibImage::RowBytesFor(h.Width, h.BitCount) * static_cast<uint64_t>(h.Height);
  if (outBytes > kMaxPixelBytes) InvalidBitmap();
  if (h.IsRle()) {
    if (outBytes > PixelLen * kRleBytesPerInputByte + kRleSlack) InvalidBitmap();
  } else if (srcBytes > PixelLen) {
    InvalidBitmap();
  }

  TDibImage image;
  image.Allocate(h.Width, h.Height, outBits);
  image.TopDown = h.TopDown;
  image.XPelsPerMeter = h.XPelsPerMeter;
  image.YPelsPerMeter = h.YPelsPerMeter;
  if (outBits == 16 || outBits == 32) {
    image.RedMask = keepLayout ? h.FieldMasks.Red : kMasks888.Red;
    image.GreenMask = keepLayout ? h.FieldMasks.Green : kMasks888.Green;
    image.BlueMask = keepLayout ? h.FieldMasks.Blue : kMasks888.Blue;
    image.AlphaMask = outBits == 32 && h.FieldMasks.Alpha != 0 ? 0xFF000000u : 0;
  }
  if (h.BitCount <= 8) {
    // The table may be shorter than the header claims when the pixel offset
    // cuts it off; what is missing stays black.
    const size_t tableStart = h.HeaderSize + h.MaskBytesAfterHeader;
    const uint64_t fits = PixelOffset > tableStart ? (PixelOffset - tableStart) / h.ColorEntrySize : 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>({h.ColorEntries, fits, image.ColorTable.size()}));
    for (size_t k = 0; k < n; ++k) {
      const uint8_t* e = Dib + tableStart + k * h.ColorEntrySize;
      image.ColorTable[k] = {e[0], e[1], e[2], 0};
    }
  }

  const uint8_t* src = Dib + PixelOffset;
  if (h.IsRle())
    DecodeRle(h, src, PixelLen, image);
  else if (keepLayout)
    CopyRows(h, src, image);
  else
    ConvertFieldsTo32(h, src, image);
  return image;
}

void ReadExact(TStream& Stream, uint8_t* Buffer, size_t Count) {
  while (Count > 0) {
    const auto chunk = static_cast<int32_t>(std::min<size_t>(Count, size_t{1} << 30));
    const int32_t got = Stream.Read(Buffer, chunk);
    if (got <= 0) InvalidBitmap();
    Buffer += got;
    Count -= static_cast<size_t>(got);
  }
}

}  // namespace

void TDibImage::Allocate(int32_t NewWidth, int32_t NewHeight, uint16_t NewBitCount) {
  Width = NewWidth;
  Height = NewHeight;
  BitCount = NewBitCount;
  TopDown = false;
  Masks m{};
  if (BitCount == 16) m = kMasks555;
  if (BitCount == 32) m = kMasks888;
  RedMask = m.Red;
  GreenMask = m.Green;
  BlueMask = m.Blue;
  AlphaMask = 0;
  ColorTable.assign(BitCount <= 8 ? size_t{1} << BitCount : 0, TRGBQuad{});
  Pixels.assign(RowBytes() * static_cast<size_t>(std::max(Height, 0)), 0);
}

TDibImage ReadDib(const uint8_t* Data, size_t Size, int HeightDivisor, size_t* ConsumedBytes) {
  const DibHeader h = ParseHeader(Data, Size, HeightDivisor);
  const size_t offset = h.TableEnd();
  if (offset > Size) InvalidBitmap();
  size_t len = Size - offset;
  if (!h.IsRle()) {
    len = std::min<uint64_t>(len, TDibImage::RowBytesFor(h.Width, h.BitCount) * static_cast<uint64_t>(h.Height));
  } else if (h.SizeImage != 0 && h.SizeImage < len) {
    len = h.SizeImage;
  }
  TDibImage image = DecodeDib(h, Data, Size, offset, len);
  if (ConsumedBytes) *ConsumedBytes = offset + len;
  return image;
}

TDibImage ReadDib(const uint8_t* Info, size_t InfoSize, const uint8_t* Bits, size_t BitsSize) {
  const DibHeader h = ParseHeader(Info, InfoSize, 1);
  const size_t tableEnd = h.TableEnd();
  if (tableEnd > InfoSize + BitsSize) InvalidBitmap();
  // One block as in a packed DIB; a colour table cut short stays black.
  std::vector<uint8_t> dib(tableEnd + BitsSize, 0);
  std::memcpy(dib.data(), Info, std::min(InfoSize, tableEnd));
  if (BitsSize) std::memcpy(dib.data() + tableEnd, Bits, BitsSize);
  size_t len = BitsSize;
  if (!h.IsRle())
    len = std::min<uint64_t>(len, TDibImage::RowBytesFor(h.Width, h.BitCount) * static_cast<uint64_t>(h.Height));
  return DecodeDib(h, dib.data(), dib.size(), tableEnd, len);
}

TDibImage ReadBmp(TStream& Stream) {
  const int64_t start = Stream.Position();
  const int64_t total = Stream.Size();
  if (start < 0 || total < start) InvalidBitmap();
  const auto available = static_cast<uint64_t>(total - start);

  // BITMAPFILEHEADER, then the size field of the bitmap header.
  uint8_t fileHeader[kFileHeaderSize + 4];
  if (available < sizeof fileHeader) InvalidBitmap();
  ReadExact(Stream, fileHeader, sizeof fileHeader);
  if (fileHeader[0] != 'B' || fileHeader[1] != 'M') InvalidBitmap();
  const uint32_t offBits = Get32(fileHeader + 10);
  const uint32_t headerSize = Get32(fileHeader + kFileHeaderSize);
  // Headers end at V5; anything much larger is not a header.
  if (headerSize < kCoreHeaderSize || headerSize > 4096 || headerSize > available - kFileHeaderSize)
    InvalidBitmap();

  // The header plus room for bit-field masks that may follow a 40-byte one.
  const size_t dibAvailable = static_cast<size_t>(available - kFileHeaderSize);
  std::vector<uint8_t> dib(std::min<size_t>(dibAvailable, size_t{headerSize} + 16));
  std::memcpy(dib.data(), fileHeader + kFileHeaderSize, 4);
  ReadExact(Stream, dib.data() + 4, dib.size() - 4);
  size_t haveBytes = dib.size();
  const DibHeader h = ParseHeader(dib.data(), dib.size(), 1);
  if (h.ColorEntries * h.ColorEntrySize > dibAvailable) InvalidBitmap();

  // The pixel offset is relative to the file header. Writers that leave it 0
  // (or point into the headers) get the data right after the colour table;
  // one pointing into the colour table means the table is shorter.
  const size_t tableStart = h.HeaderSize + h.MaskBytesAfterHeader;
  size_t pixelOffset = h.TableEnd();
  if (offBits >= kFileHeaderSize + tableStart) pixelOffset = offBits - kFileHeaderSize;
  if (pixelOffset > dibAvailable) InvalidBitmap();

  size_t pixelLen = dibAvailable - pixelOffset;
  if (!h.IsRle()) {
    const uint64_t need = TDibImage::RowBytesFor(h.Width, h.BitCount) * static_cast<uint64_t>(h.Height);
    if (need > pixelLen) InvalidBitmap();
    pixelLen = static_cast<size_t>(need);
  } else if (h.SizeImage != 0 && h.SizeImage < pixelLen) {
    pixelLen = h.SizeImage;
  }
  const size_t dibSize = std::max(pixelOffset + pixelLen, haveBytes);
  if (dibSize - haveBytes > kMaxPixelBytes * 2) InvalidBitmap();
  dib.resize(dibSize);
  ReadExact(Stream, dib.data() + haveBytes, dibSize - haveBytes);
  TDibImage image = DecodeDib(h, dib.data(), dib.size(), pixelOffset, pixelLen);
  // Leave the stream just after the pixel data, even if we read a little
  // further for masks that turned out not to be there.
  Stream.SetPosition(start + static_cast<int64_t>(kFileHeaderSize + pixelOffset + pixelLen));
  return image;
}

void WriteBmp(const TDibImage& Image, TStream& Stream) {
  const uint16_t bits = Image.BitCount;
  if (Image.Width <= 0 || Image.Height <= 0 ||
      (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32))
    throw EInvalidGraphic(kInvalidBitmap);
  const size_t rowBytes = Image.RowBytes();
  const uint64_t imageBytes = rowBytes * static_cast<uint64_t>(Image.Height);
  if (Image.Pixels.size() < imageBytes || imageBytes > std::numeric_limits<uint32_t>::max() - 4096)
    throw EInvalidGraphic(kInvalidBitmap);

  const bool fields565 = bits == 16 && Image.RedMask == kMasks565.Red && Image.GreenMask == kMasks565.Green &&
                         Image.BlueMask == kMasks565.Blue;
  const bool alpha = bits == 32 && Image.AlphaMask != 0;
  const size_t headerSize = alpha ? kV4HeaderSize : kInfoHeaderSize;
  const size_t maskBytes = fields565 ? 12 : 0;
  const size_t colors = bits <= 8 ? size_t{1} << bits : 0;
  const size_t offBits = kFileHeaderSize + headerSize + maskBytes + colors * 4;

  std::vector<uint8_t> head(offBits, 0);
  uint8_t* p = head.data();
  p[0] = 'B';
  p[1] = 'M';
  Put32(p + 2, static_cast<uint32_t>(offBits + imageBytes));
  Put32(p + 10, static_cast<uint32_t>(offBits));
  p += kFileHeaderSize;
  Put32(p, static_cast<uint32_t>(headerSize));
  Put32(p + 4, static_cast<uint32_t>(Image.Width));
  Put32(p + 8, static_cast<uint32_t>(Image.Height));
  Put16(p + 12, 1);
  Put16(p + 14, bits);
  Put32(p + 16, fields565 || alpha ? BI_BITFIELDS : BI_RGB);
  Put32(p + 20, static_cast<uint32_t>(imageBytes));
  Put32(p + 24, static_cast<uint32_t>(Image.XPelsPerMeter));
  Put32(p + 28, static_cast<uint32_t>(Image.YPelsPerMeter));
  if (alpha) {
    Put32(p + 40, kMasks888.Red);
    Put32(p + 44, kMasks888.Green);
    Put32(p + 48, kMasks888.Blue);
    Put32(p + 52, 0xFF000000u);
    Put32(p + 56, kLcsSrgb);
  }
  p += headerSize;
  if (fields565) {
    Put32(p, kMasks565.Red);
    Put32(p + 4, kMasks565.Green);
    Put32(p + 8, kMasks565.Blue);
    p += 12;
  }
  for (size_t k = 0; k < colors && k < Image.ColorTable.size(); ++k) {
    const TRGBQuad& c = Image.ColorTable[k];
    p[4 * k] = c.rgbBlue;
    p[4 * k + 1] = c.rgbGreen;
    p[4 * k + 2] = c.rgbRed;
  }
  Stream.WriteBuffer(head.data(), static_cast<int32_t>(head.size()));

  // Bottom-up rows, written in blocks so large pictures need few writes.
  constexpr size_t kBlock = size_t{1} << 20;
  std::vector<uint8_t> block;
  block.reserve(std::min<size_t>(kBlock + rowBytes, imageBytes));
  for (int32_t y = Image.Height - 1; y >= 0; --y) {
    const uint8_t* row = Image.ScanLine(y);
    block.insert(block.end(), row, row + rowBytes);
    if (block.size() >= kBlock || y == 0) {
      Stream.WriteBuffer(block.data(), static_cast<int32_t>(block.size()));
      block.clear();
    }
  }
}

}  // namespace platform
