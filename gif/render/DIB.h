#pragma once
// Row access to bitmaps in a fixed pixel format. TDIBReader works on the
// bitmap itself through its scan lines; TDIBWriter works on a private DIB
// copy of the pixels and loads the copy back into the bitmap when it is
// destroyed, so a row costs only an address computation.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"

namespace gif {

class TDIB : public platform::TObject {
public:
  TDIB(platform::TBitmap* Bitmap, platform::TPixelFormat Format) : SourceBitmap(Bitmap), RowFormat(Format) {}
  const char* ClassName() const noexcept override { return "TDIB"; }
  // The address of row Row's first byte (rows from the top).
  virtual uint8_t* RowPointer(int32_t Row) = 0;

  platform::TBitmap* SourceBitmap;  // not owned; must outlive this object
  platform::TPixelFormat RowFormat;
};

class TDIBReader : public TDIB {
public:
  // Converts the bitmap to Format at once.
  TDIBReader(platform::TBitmap* Bitmap, platform::TPixelFormat Format);
  const char* ClassName() const noexcept override { return "TDIBReader"; }
  uint8_t* RowPointer(int32_t Row) override;
};

class TDIBWriter : public TDIB {
public:
  // Leaves the bitmap alone until the first row is asked for.
  TDIBWriter(platform::TBitmap* Bitmap, platform::TPixelFormat Format);
  // Writes the copy, if one was taken, back into the bitmap.
  ~TDIBWriter() override;
  TDIBWriter(const TDIBWriter&) = delete;
  TDIBWriter& operator=(const TDIBWriter&) = delete;
  const char* ClassName() const noexcept override { return "TDIBWriter"; }
  uint8_t* RowPointer(int32_t Row) override;

  // A BITMAPINFOHEADER and its colour table (or bit-field masks).
  std::unique_ptr<uint8_t[]> InfoBlock;
  size_t InfoBlockSize = 0;
  std::unique_ptr<uint8_t[]> PixelBlock;
  size_t PixelBlockSize = 0;

private:
  void CaptureBits();
  void EnsureBits();
  void StoreBits();
  void ReleaseBits();
};

// Bytes per row of Width pixels of BitCount bits, padded to Alignment bits.
constexpr int32_t RowBytes(int32_t Width, int32_t BitCount, int32_t Alignment = 32) {
  const int64_t bits = static_cast<int64_t>(Width) * BitCount + (Alignment - 1);
  return static_cast<int32_t>((bits & ~static_cast<int64_t>(Alignment - 1)) / 8);
}

// Bits per pixel of a row format: 1, 4, 8 or 24; raises GIFException
// "Unsupported PixelFormat" for any other.
int32_t FormatBitCount(platform::TPixelFormat Format);

void FillInfoHeader(platform::HBITMAP Bitmap, platform::BITMAPINFOHEADER& Header, platform::TPixelFormat Format);
void MeasureDIB(platform::HBITMAP Bitmap, size_t& InfoSize, size_t& ImageSize, platform::TPixelFormat Format);
bool ReadDIBits(platform::HBITMAP Bitmap, platform::HPALETTE Palette, void* InfoBlock,
                platform::TPixelFormat Format, void* Bits);
// Rewrites Count palette entries in place as colour-table entries
// (red, green, blue, flags -> blue, green, red, 0).
void PaletteToColorTable(void* Entries, size_t Count);

// For 8 bits: an empty 8-bit bitmap of the same size; otherwise a plain
// pixel-format change.
void SetBitmapFormat(platform::TBitmap* Bitmap, platform::TPixelFormat Format);
// Shut-down: frees the shared empty 8-bit bitmap.
void FreeEightBitTemplate();

// A failed GDI object creation becomes EOutOfResources with the system's
// text for the last error ("Out of system resources" when there is none).
[[noreturn]] void RaiseLastResourceError();
template <class THandle>
THandle RequireHandle(THandle Handle) {
  if (!Handle) RaiseLastResourceError();
  return Handle;
}

}  // namespace gif
