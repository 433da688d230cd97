#include "gif/render/DIB.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "gif/decode/Items.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Streams.h"

namespace gif {

using platform::BITMAPINFOHEADER;
using platform::HBITMAP;
using platform::HPALETTE;
using platform::TPixelFormat;

namespace {
constexpr char kBitmapNotValid[] = "Bitmap image is not valid";
constexpr char kUnsupportedFormat[] = "Unsupported PixelFormat";
constexpr char kNoMemory[] = "Failed to allocate memory for GIF DIB";
constexpr char kNoDIBFromBitmap[] = "Failed to create DIB from Bitmap";
constexpr char kNoDIB[] = "Image has no DIB";
constexpr char kScanLineRange[] = "Scan line index out of range";
constexpr char kOutOfResources[] = "Out of system resources";

// Owned, but a plain pointer: a static destructor would free it before the
// module's shut-down (FreeEightBitTemplate) runs, which then freed it again.
platform::TBitmap* g_eight_bit_template = nullptr;
}  // namespace

int32_t FormatBitCount(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf24bit: return 24;
    default: RaiseGIFError(kUnsupportedFormat);
  }
}

void FillInfoHeader(HBITMAP Bitmap, BITMAPINFOHEADER& Header, TPixelFormat Format) {
  platform::DIBSECTION section{};
  const int got = platform::GetObject(Bitmap, sizeof section, &section);
  if (got == 0) RaiseGIFError(kBitmapNotValid);
  if (got < 64 || section.dsBmih.biSize < 40) {
    Header = BITMAPINFOHEADER{};
    Header.biSize = 40;
    Header.biWidth = section.dsBm.bmWidth;
    Header.biHeight = section.dsBm.bmHeight;
  } else {
    Header = section.dsBmih;
  }
  Header.biBitCount = static_cast<uint16_t>(FormatBitCount(Format));
  Header.biPlanes = 1;
  const int64_t rows = Header.biHeight < 0 ? -int64_t{Header.biHeight} : Header.biHeight;
  Header.biSizeImage = static_cast<uint32_t>(RowBytes(Header.biWidth, Header.biBitCount, 32) * rows);
}

void MeasureDIB(HBITMAP Bitmap, size_t& InfoSize, size_t& ImageSize, TPixelFormat Format) {
  BITMAPINFOHEADER header;
  FillInfoHeader(Bitmap, header, Format);
  if (header.biBitCount <= 8) {
    InfoSize = 40 + 4 * (size_t{1} << header.biBitCount);
  } else {
    InfoSize = 40;
    if ((header.biCompression & 3) != 0) InfoSize += 12;  // three colour masks
  }
  ImageSize = header.biSizeImage;
}

bool ReadDIBits(HBITMAP Bitmap, HPALETTE Palette, void* InfoBlock, TPixelFormat Format, void* Bits) {
  auto* header = static_cast<BITMAPINFOHEADER*>(InfoBlock);
  FillInfoHeader(Bitmap, *header, Format);
  platform::HDC dc = platform::CreateCompatibleDC(nullptr);
  HPALETTE old{};
  if (Palette) {
    old = platform::SelectPalette(dc, Palette, false);
    platform::RealizePalette(dc);
  }
  const int32_t rows = header->biHeight < 0 ? -header->biHeight : header->biHeight;
  const int copied = platform::GetDIBits(dc, Bitmap, 0, static_cast<uint32_t>(rows), Bits,
                                         static_cast<platform::BITMAPINFO*>(InfoBlock), platform::DIB_RGB_COLORS);
  if (Palette) platform::SelectPalette(dc, old, false);
  platform::DeleteDC(dc);
  return copied != 0;
}

void PaletteToColorTable(void* Entries, size_t Count) {
  auto* bytes = static_cast<uint8_t*>(Entries);
  for (size_t i = 0; i < Count; ++i, bytes += 4) {
    const uint8_t red = bytes[0];
    bytes[0] = bytes[2];
    bytes[2] = red;
    bytes[3] = 0;
  }
}

void SetBitmapFormat(platform::TBitmap* Bitmap, TPixelFormat Format) {
  if (Format != TPixelFormat::pf8bit) {
    Bitmap->SetPixelFormat(Format);
    return;
  }
  const int32_t width = Bitmap->GetWidth();
  const int32_t height = Bitmap->GetHeight();
  if (!g_eight_bit_template) {
    g_eight_bit_template = new platform::TBitmap();
    g_eight_bit_template->SetPixelFormat(TPixelFormat::pf8bit);
  }
  Bitmap->Assign(g_eight_bit_template);
  Bitmap->SetWidth(width);
  Bitmap->SetHeight(height);
}

void FreeEightBitTemplate() {
  delete g_eight_bit_template;
  g_eight_bit_template = nullptr;
}

void RaiseLastResourceError() {
  const uint32_t code = platform::GetLastError();
  char text[256] = {};
  if (code != 0 &&
      platform::FormatMessage(platform::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0x400, text, sizeof text,
                              nullptr) != 0)
    throw platform::EOutOfResources(text);
  throw platform::EOutOfResources(kOutOfResources);
}

// ---- TDIBReader ----

TDIBReader::TDIBReader(platform::TBitmap* Bitmap, TPixelFormat Format) : TDIB(Bitmap, Format) {
  Bitmap->SetPixelFormat(Format);
}

uint8_t* TDIBReader::RowPointer(int32_t Row) { return static_cast<uint8_t*>(SourceBitmap->ScanLine(Row)); }

// ---- TDIBWriter ----

TDIBWriter::TDIBWriter(platform::TBitmap* Bitmap, TPixelFormat Format) : TDIB(Bitmap, Format) {}

TDIBWriter::~TDIBWriter() {
  try {
    StoreBits();
  } catch (...) {
    // A destructor cannot report; the bitmap keeps its old pixels.
  }
  ReleaseBits();
}

void TDIBWriter::CaptureBits() {
  const HBITMAP handle = SourceBitmap->Handle();
  if (!handle) RaiseGIFError(kBitmapNotValid);
  ReleaseBits();
  try {
    MeasureDIB(handle, InfoBlockSize, PixelBlockSize, RowFormat);
    InfoBlock.reset(new uint8_t[InfoBlockSize]());
    PixelBlock.reset(new (std::nothrow) uint8_t[PixelBlockSize == 0 ? 1 : PixelBlockSize]);
    if (!PixelBlock) throw platform::EOutOfMemory(kNoMemory);
    const HPALETTE palette = SourceBitmap->Palette();
    if (!ReadDIBits(handle, palette, InfoBlock.get(), RowFormat, PixelBlock.get())) RaiseGIFError(kNoDIBFromBitmap);
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(InfoBlock.get());
    if (header->biBitCount <= 8 && palette) {
      uint16_t count = 0;
      if (platform::GetObject(palette, sizeof count, &count) != 0 && count != 0) {
        uint32_t colors = header->biClrUsed != 0 ? header->biClrUsed : (1u << header->biBitCount);
        // The colour table holds 2^bits entries at most.
        colors = std::min<uint32_t>(colors, 1u << header->biBitCount);
        const uint32_t taken = colors != 0 && colors < count ? colors : count;
        uint8_t* table = InfoBlock.get() + 40;
        const uint32_t copied = platform::GetPaletteEntries(palette, 0, std::min(taken, colors),
                                                            reinterpret_cast<platform::PALETTEENTRY*>(table));
        PaletteToColorTable(table, copied);
        if (colors > copied) std::memset(table + 4 * copied, 0, 4 * size_t{colors - copied});
      }
    }
  } catch (...) {
    ReleaseBits();
    throw;
  }
}

void TDIBWriter::EnsureBits() {
  if (!PixelBlock) CaptureBits();
}

uint8_t* TDIBWriter::RowPointer(int32_t Row) {
  EnsureBits();
  if (!PixelBlock) RaiseGIFError(kNoDIB);
  if (Row < 0 || Row >= SourceBitmap->GetHeight()) throw platform::EInvalidGraphicOperation(kScanLineRange);
  platform::GdiFlush();
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(InfoBlock.get());
  const int32_t stored = header->biHeight <= 0 ? Row : header->biHeight - Row - 1;
  return PixelBlock.get() + static_cast<size_t>(stored) * static_cast<size_t>(RowBytes(header->biWidth, header->biBitCount, 32));
}

void TDIBWriter::StoreBits() {
  if (!InfoBlock || !PixelBlock) return;
  const size_t total = 14 + InfoBlockSize + PixelBlockSize;
  platform::TMemoryStream stream;
  stream.SetSize(static_cast<int64_t>(total));
  uint8_t file[14] = {'B', 'M'};
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  put32(2, static_cast<uint32_t>(total));
  put32(10, static_cast<uint32_t>(14 + InfoBlockSize));
  stream.WriteBuffer(file, sizeof file);
  stream.WriteBuffer(InfoBlock.get(), static_cast<int32_t>(InfoBlockSize));
  stream.WriteBuffer(PixelBlock.get(), static_cast<int32_t>(PixelBlockSize));
  stream.SetPosition(0);
  SourceBitmap->LoadFromStream(stream);
}

void TDIBWriter::ReleaseBits() {
  InfoBlock.reset();
  PixelBlock.reset();
  InfoBlockSize = 0;
  PixelBlockSize = 0;
}

}  // namespace gif
