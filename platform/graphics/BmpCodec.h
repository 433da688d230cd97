#pragma once
// Reading and writing the BMP file format into a neutral decoded DIB. The
// bitmap classes build on TDibImage; icons use the packed-DIB reader for their
// entries.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/rtl/Streams.h"

namespace platform {

struct TRGBQuad {
  uint8_t rgbBlue = 0;
  uint8_t rgbGreen = 0;
  uint8_t rgbRed = 0;
  uint8_t rgbReserved = 0;

  friend bool operator==(const TRGBQuad&, const TRGBQuad&) = default;
};

// A decoded device-independent bitmap in one of the layouts the BMP format
// stores without compression. What the reader guarantees:
// - BitCount is 1, 4, 8, 16, 24 or 32; Width and Height are > 0.
// - For BitCount <= 8 the colour table holds exactly 1 << BitCount entries
//   (the file's entries, padded with black), so every index is valid.
//   For more bits it is empty.
// - RLE4/RLE8 data are decoded to plain 4/8-bit rows.
// - Bit fields are normalised: 16-bit images are 5-5-5 (masks 0x7C00,
//   0x03E0, 0x001F) or 5-6-5 (0xF800, 0x07E0, 0x001F); 32-bit images are
//   blue, green, red, alpha bytes (masks 0x00FF0000, 0x0000FF00, 0x000000FF)
//   and AlphaMask is 0xFF000000 when the file declares alpha, else 0 (the
//   fourth byte is then unused). Any other 16- or 32-bit mask layout is
//   converted to 32 bits on reading.
// - Pixels holds Height rows of RowBytes() each (padded to 32 bits), in file
//   order: bottom-up unless TopDown. ScanLine(y) hides the order.
struct TDibImage {
  int32_t Width = 0;
  int32_t Height = 0;
  uint16_t BitCount = 0;
  bool TopDown = false;
  std::vector<TRGBQuad> ColorTable;
  uint32_t RedMask = 0;
  uint32_t GreenMask = 0;
  uint32_t BlueMask = 0;
  uint32_t AlphaMask = 0;
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  std::vector<uint8_t> Pixels;

  static size_t RowBytesFor(int32_t Width, uint16_t BitCount) {
    return ((static_cast<size_t>(Width) * BitCount + 31) / 32) * 4;
  }
  size_t RowBytes() const { return RowBytesFor(Width, BitCount); }
  // Row y counted from the top of the picture.
  uint8_t* ScanLine(int32_t y) { return Pixels.data() + RowIndex(y) * RowBytes(); }
  const uint8_t* ScanLine(int32_t y) const { return Pixels.data() + RowIndex(y) * RowBytes(); }

  // Sets up an empty (zeroed) image of the given format with the default
  // masks for 16/32 bits (5-5-5, B-G-R-x) and a black colour table.
  void Allocate(int32_t NewWidth, int32_t NewHeight, uint16_t NewBitCount);

private:
  size_t RowIndex(int32_t y) const {
    return TopDown ? static_cast<size_t>(y) : static_cast<size_t>(Height - 1 - y);
  }
};

// Reads a BMP file (BITMAPFILEHEADER followed by a packed DIB) from the
// stream's position and leaves the position after the pixel data. Core (12),
// info (40), V2/V3 (52/56), V4 (108) and V5 (124) headers; 1/4/8/16/24/32
// bits; RLE4, RLE8, bit fields; negative heights (top-down rows).
// Damaged or truncated data raise EInvalidGraphic "Bitmap image is not valid".
TDibImage ReadBmp(TStream& Stream);

// Reads a packed DIB (a bitmap header, colour table and pixels with no file
// header) from memory, as the clipboard and icon entries hold it. Pixels start
// right after the colour table. Same guarantees and errors as ReadBmp.
// HeightDivisor 2 is for icon entries, whose header height counts the AND
// mask too; ConsumedBytes (if given) receives the offset just past the pixels.
TDibImage ReadDib(const uint8_t* Data, size_t Size, int HeightDivisor = 1,
                  size_t* ConsumedBytes = nullptr);

// The same for a header and colour table apart from the pixels, as
// metafile records carry them.
TDibImage ReadDib(const uint8_t* Info, size_t InfoSize, const uint8_t* Bits, size_t BitsSize);

// Writes a BMP file: BITMAPFILEHEADER, 40-byte info header (5-6-5 16-bit
// images get their three bit-field masks after it), the colour table for
// <= 8 bits, and uncompressed rows bottom-up. A 32-bit image with an alpha
// channel (AlphaMask set) gets a 108-byte V4 header instead, the only one
// that can say so, so that saving keeps its transparency.
void WriteBmp(const TDibImage& Image, TStream& Stream);

}  // namespace platform
