#include "gif/encode/Reduce.h"

#include <algorithm>
#include <array>
#include <span>
#include <utility>
#include <vector>

#include "gif/encode/ColorLookup.h"
#include "gif/encode/Dither.h"
#include "gif/encode/Quantizer.h"
#include "gif/picture/Settings.h"
#include "gif/render/DIB.h"
#include "platform/graphics/Bitmap.h"

namespace gif {

using platform::HPALETTE;
using platform::PALETTEENTRY;
using platform::TBitmap;
using platform::TPixelFormat;

namespace {

constexpr int32_t LargePictureLimit = 500000;  // pixels

HPALETTE GreyPalette(std::initializer_list<uint8_t> Levels) {
  std::vector<PALETTEENTRY> entries;
  for (uint8_t v : Levels) entries.push_back({v, v, v, platform::PC_NOCOLLAPSE});
  return RequireHandle(platform::CreatePalette(std::span<const PALETTEENTRY>(entries), 0x300));
}

std::vector<PALETTEENTRY> EntriesOf(HPALETTE Palette) {
  std::vector<PALETTEENTRY> entries(std::min<uint32_t>(platform::GetPaletteEntries(Palette, 0, 0, nullptr), 256));
  entries.resize(platform::GetPaletteEntries(Palette, 0, static_cast<uint32_t>(entries.size()), entries.data()));
  return entries;
}

// A palette this code made and has not handed to a bitmap yet.
struct PaletteGuard {
  HPALETTE handle{};
  ~PaletteGuard() {
    if (handle) ReleasePalette(handle);
  }
  HPALETTE Release() { return std::exchange(handle, HPALETTE{}); }
};

// The palette of a method, owned by the caller; none above method 8.
HPALETTE MethodPalette(uint8_t Method, TDIBReader& Reader, TBitmap& Source24, int32_t Bits) {
  switch (Method) {
    case ReduceSystem20:
      return RequireHandle(platform::CopyPalette(
          static_cast<HPALETTE>(platform::GetStockObject(platform::DEFAULT_PALETTE))));
    case ReduceHalftone: return NewHalftonePalette();
    case ReduceSystemGray4: return NewSystemGray4Palette();
    case ReduceBlackWhite: return NewBlackWhitePalette();
    case ReduceGray256: return NewGray256Palette();
    // The result bitmap owns the palette it is given and deletes it, so it
    // gets a copy of the shared one.
    case ReduceWeb216: return RequireHandle(platform::CopyPalette(WebPaletteHandle()));
    case ReduceOptimized:
      // 2 to 256 colours: a table of more than 256 is no GIF colour table.
      return QuantizedPalette(Reader, 1 << std::clamp<int32_t>(Bits, 1, 8), 8, false);
    case ReduceOptimizedSystem: return OptimizedPalette(Source24, 256, 8, true);
    default: return HPALETTE{};
  }
}

std::unique_ptr<TColorLookup> MethodLookup(uint8_t Method, HPALETTE Palette) {
  switch (Method) {
    case ReduceBlackWhite: return std::make_unique<TMonochromeLookup>(Palette);
    case ReduceGray256: return std::make_unique<TGrayScaleLookup>(Palette);
    case ReduceWeb216: return std::make_unique<TNetscapeColorLookup>(Palette);
    default: return std::make_unique<TFastColorLookup>(Palette);
  }
}

}  // namespace

TFastColorLookup::TFastColorLookup(HPALETTE Palette)
    : Entries(new PALETTEENTRY[256]()), CellCache(new int16_t[32768]) {
  const std::vector<PALETTEENTRY> entries = EntriesOf(Palette);
  ColorCount = static_cast<int32_t>(entries.size());
  std::copy(entries.begin(), entries.end(), Entries.get());
  FillCache();
}

bool TColorQuantizer::ScanImage(TDIBReader& Reader) {
  TBitmap& bitmap = *Reader.SourceBitmap;
  return ScanRows([&](int32_t y) -> const uint8_t* { return Reader.RowPointer(y); }, bitmap.GetWidth(),
                  bitmap.GetHeight());
}

HPALETTE QuantizedPalette(TDIBReader& Reader, int32_t Colors, int32_t Depth, bool WithSystemColors) {
  std::vector<PALETTEENTRY> system;
  if (WithSystemColors) {
    system = EntriesOf(static_cast<HPALETTE>(platform::GetStockObject(platform::DEFAULT_PALETTE)));
    system.resize(20);
  }
  TBitmap& bitmap = *Reader.SourceBitmap;
  const std::vector<PALETTEENTRY> entries =
      QuantizeEntries([&](int32_t y) -> const uint8_t* { return Reader.RowPointer(y); }, bitmap.GetWidth(),
                      bitmap.GetHeight(), Colors, Depth, WithSystemColors ? system.data() : nullptr);
  return RequireHandle(platform::CreatePalette(std::span<const PALETTEENTRY>(entries), 0x300));
}

HPALETTE OptimizedPalette(TBitmap& Bitmap, int32_t Colors, int32_t Depth, bool WithSystemColors) {
  TDIBReader reader(&Bitmap, TPixelFormat::pf24bit);
  return QuantizedPalette(reader, Colors, Depth, WithSystemColors);
}

HPALETTE NewGray256Palette() {
  std::vector<PALETTEENTRY> entries(256);
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    entries[static_cast<size_t>(i)] = {v, v, v, platform::PC_NOCOLLAPSE};
  }
  return RequireHandle(platform::CreatePalette(std::span<const PALETTEENTRY>(entries), 0x300));
}

HPALETTE NewBlackWhitePalette() { return GreyPalette({0, 255}); }

HPALETTE NewSystemGray4Palette() { return GreyPalette({0, 128, 192, 255}); }

HPALETTE NewHalftonePalette() {
  const platform::HDC dc = RequireHandle(platform::GetDC(nullptr));
  struct Release {
    platform::HDC dc;
    ~Release() { platform::ReleaseDC(nullptr, dc); }
  } release{dc};
  return RequireHandle(platform::CreateHalftonePalette(dc));
}

std::unique_ptr<TBitmap> ReduceToPalette(TBitmap& Source, uint8_t Method, uint8_t Mode, int32_t Bits) {
  auto result = std::make_unique<TBitmap>();
  if (Method == ReduceNone) {
    result->Assign(&Source);
    result->SetPixelFormat(TPixelFormat::pf24bit);
    return result;
  }

  const int32_t width = Source.GetWidth();
  const int32_t height = Source.GetHeight();
  // A large result first becomes 1-bit so that sizing it allocates little.
  if (int64_t{width} * height > LargePictureLimit) result->SetPixelFormat(TPixelFormat::pf1bit);
  result->SetWidth(width);
  result->SetHeight(height);
  SetBitmapFormat(result.get(), TPixelFormat::pf8bit);
  result->SetPalette(HPALETTE{});

  // Reading converts a bitmap to 24 bits; the caller's bitmap keeps its
  // format (and a 32-bit one its alpha), so other formats are read from a copy.
  TBitmap* source24 = &Source;
  std::unique_ptr<TBitmap> copy;
  if (Source.PixelFormat() != TPixelFormat::pf24bit) {
    copy = std::make_unique<TBitmap>();
    copy->Assign(&Source);
    source24 = copy.get();
  }
  TDIBReader reader(source24, TPixelFormat::pf24bit);

  PaletteGuard palette{MethodPalette(Method, reader, *source24, Bits)};
  if (!palette.handle) return result;
  const std::vector<PALETTEENTRY> entries = EntriesOf(palette.handle);
  const HPALETTE given = palette.Release();
  result->SetPalette(given);
  std::unique_ptr<TColorLookup> lookup = MethodLookup(Method, given);
  if (lookup->ColorCount == 0) return result;

  std::unique_ptr<TDitherEngine> engine;
  if (Mode == NoDither)
    engine = std::make_unique<TDitherEngine>(width, lookup.get());
  else if (Mode == FloydSteinbergDither)
    engine = std::make_unique<TFloydSteinbergEngine>(width, lookup.get());
  else
    return result;

  {
    TDIBWriter writer(result.get(), TPixelFormat::pf8bit);
    DitherRows(
        *engine, [&](int32_t y) -> const uint8_t* { return reader.RowPointer(y); },
        [&](int32_t y) { return writer.RowPointer(y); }, height);
  }  // the writer stores the mapped pixels here
  // The stored rows come with a full 256-entry colour table; the method's own
  // entries keep the frame's colour table as small as the palette.
  result->SetPalette(RequireHandle(platform::CreatePalette(std::span<const PALETTEENTRY>(entries), 0x300)));
  return result;
}

}  // namespace gif
