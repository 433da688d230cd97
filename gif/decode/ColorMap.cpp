#include "gif/decode/ColorMap.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"
#include "gif/decode/Items.h"
#include "gif/picture/GIFImage.h"

namespace gif {

using platform::TStream;

void TGIFColorMap::ClearEntries() {
  ColorEntries.reset();
  EntryCount = 0;
  EntryCapacity = 0;
  UsageSorted = false;
}

void TGIFColorMap::EnsureCapacity(int N) {
  if (N < EntryCapacity) return;
  int capacity = N <= 16 ? 16 : (N + 31) / 32 * 32;
  capacity = std::min(capacity, 256);
  auto block = std::make_unique<TGIFColor[]>(static_cast<size_t>(capacity));
  if (ColorEntries && EntryCapacity > 0)
    std::memcpy(block.get(), ColorEntries.get(),
                sizeof(TGIFColor) * static_cast<size_t>(std::min(EntryCapacity, capacity)));
  ColorEntries = std::move(block);
  EntryCapacity = capacity;
}

void TGIFColorMap::ReadEntries(TStream& Stream, int Count) {
  ClearEntries();
  EnsureCapacity(Count);
  ReadExact(Stream, ColorEntries.get(), Count * 3);
  EntryCount = Count;
}

void TGIFColorMap::WriteEntries(TStream& Stream) const {
  if (EntryCount == 0) return;
  Stream.WriteBuffer(ColorEntries.get(), EntryCount * 3);
  // Pad to the power of two that the size field announces.
  static constexpr TGIFColor kBlack{0, 0, 0};
  for (int i = EntryCount; i < (1 << BitDepth()); ++i) Stream.WriteBuffer(&kBlack, 3);
}

int TGIFColorMap::BitsForColors(int Count) {
  if (Count <= 0) return 0;
  for (int n = 1; n <= 8; ++n)
    if ((1 << n) >= Count) return n;
  return 8;
}

int TGIFColorMap::FindColor(uint32_t Color) const {
  const TGIFColor c = ColorToTriplet(Color);
  auto same = [&](int i) {
    const TGIFColor& e = ColorEntries[static_cast<size_t>(i)];
    return e.Red == c.Red && e.Green == c.Green && e.Blue == c.Blue;
  };
  if (UsageSorted) {
    // The first of equal entries is the most used one.
    for (int i = 0; i < EntryCount; ++i)
      if (same(i)) return i;
  } else {
    for (int i = EntryCount - 1; i >= 0; --i)
      if (same(i)) return i;
  }
  return -1;
}

int TGIFColorMap::AddColor(uint32_t Color) {
  const int found = FindColor(Color);
  if (found >= 0) return found;
  if (EntryCount >= 256) RaiseGIFError(msg::ColorTableOverflow);
  if (EntryCount >= EntryCapacity) EnsureCapacity(EntryCount + 1);
  ColorEntries[static_cast<size_t>(EntryCount)] = ColorToTriplet(Color);
  ++EntryCount;
  UsageSorted = false;
  NotifyChanged();
  return EntryCount - 1;
}

uint32_t TGIFColorMap::ColorAt(int Index) {
  if (Index < 0 || Index >= EntryCount) {
    ReportWarning(1, msg::InvalidColorIndex);
    if (EntryCount == 0) RaiseGIFError(msg::ColorTableEmpty);
    Index = 0;
  }
  return TripletToColor(ColorEntries[static_cast<size_t>(Index)]);
}

void TGIFColorMap::ImportFromPalette(platform::HPALETTE Palette) {
  ClearEntries();
  platform::PALETTEENTRY entries[256];
  const int n = static_cast<int>(platform::GetPaletteEntries(Palette, 0, 256, entries));
  if (n <= 0) return;
  EnsureCapacity(n);
  for (int i = 0; i < n; ++i)
    ColorEntries[static_cast<size_t>(i)] = {entries[i].peRed, entries[i].peGreen, entries[i].peBlue};
  EntryCount = n;
  NotifyChanged();
}

platform::HPALETTE TGIFColorMap::ExportToPalette() const {
  if (EntryCount == 0) return platform::HPALETTE{};
  std::vector<platform::PALETTEENTRY> entries(static_cast<size_t>(EntryCount));
  for (int i = 0; i < EntryCount; ++i) {
    const TGIFColor& c = ColorEntries[static_cast<size_t>(i)];
    entries[static_cast<size_t>(i)] = {c.Red, c.Green, c.Blue, platform::PC_NOCOLLAPSE};
  }
  return platform::CreatePalette(std::span<const platform::PALETTEENTRY>(entries), 0x300);
}

void TGIFColorMap::Assign(const platform::TPersistent* Source) {
  if (auto* source = dynamic_cast<const TGIFColorMap*>(Source)) {
    if (source == this) return;
    ClearEntries();
    EntryCapacity = source->EntryCapacity;
    EntryCount = source->EntryCount;
    UsageSorted = source->UsageSorted;
    if (EntryCapacity > 0) {
      ColorEntries = std::make_unique<TGIFColor[]>(static_cast<size_t>(EntryCapacity));  // zeroed
      std::memcpy(ColorEntries.get(), source->ColorEntries.get(),
                  sizeof(TGIFColor) * static_cast<size_t>(EntryCount));
    }
    NotifyChanged();
    return;
  }
  TPersistent::Assign(Source);
}

namespace {
struct UsagePair {
  int Count;
  int OldIndex;
};

// Quicksort by use count, largest first (Hoare partition on the middle pivot).
void SortPairs(UsagePair* pairs, int L, int R) {
  int I;
  do {
    I = L;
    int J = R;
    const int P = pairs[(L + R) / 2].Count;
    do {
      while (pairs[I].Count > P) ++I;
      while (pairs[J].Count < P) --J;
      if (I <= J) {
        std::swap(pairs[I], pairs[J]);
        ++I;
        --J;
      }
    } while (I <= J);
    if (L < J) SortPairs(pairs, L, J);
    L = I;
  } while (I < R);
}
}  // namespace

bool TGIFColorMap::SortByFrameUsage(TGIFSubImage& Frame, bool DropUnused) {
  if (EntryCount <= 1) return false;
  UsageSorted = true;
  std::array<UsagePair, 256> pairs{};
  for (int i = 0; i < EntryCount; ++i) pairs[static_cast<size_t>(i)] = {0, i};
  const uint8_t* pixels = Frame.Pixels.get();
  for (int32_t k = 0; pixels != nullptr && k < Frame.PixelBytes; ++k)
    if (pixels[k] < EntryCount) ++pairs[pixels[k]].Count;
  SortPairs(pairs.data(), 0, EntryCount - 1);
  bool unchanged = true;
  for (int k = 0; k < EntryCount; ++k)
    if (pairs[static_cast<size_t>(k)].OldIndex != k) unchanged = false;
  if (unchanged) return true;

  // Pixels beyond the table have no new index; they are left as they are.
  std::array<uint8_t, 256> remap{};
  for (int i = 0; i < 256; ++i) remap[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  for (int k = 0; k < EntryCount; ++k)
    remap[static_cast<size_t>(pairs[static_cast<size_t>(k)].OldIndex)] = static_cast<uint8_t>(k);
  uint8_t* out = Frame.Pixels.get();
  for (int32_t k = 0; out != nullptr && k < Frame.PixelBytes; ++k) out[k] = remap[out[k]];
  if (Frame.HasTransparency && Frame.ControlExtension != nullptr)
    Frame.ControlExtension->SetTransparentColorIndex(
        remap[Frame.ControlExtension->TransparentColorIndex()]);

  std::array<TGIFColor, 256> old{};
  std::memcpy(old.data(), ColorEntries.get(), sizeof(TGIFColor) * static_cast<size_t>(EntryCount));
  for (int i = 0; i < EntryCount; ++i)
    ColorEntries[remap[static_cast<size_t>(i)]] = old[static_cast<size_t>(i)];

  int used = EntryCount;
  for (int k = 0; k < EntryCount; ++k)
    if (pairs[static_cast<size_t>(k)].Count == 0) {
      used = k;
      break;
    }
  if (DropUnused) EntryCount = used;
  NotifyChanged();
  return true;
}

// --- global and local maps ---

TGIFGlobalColorMap::~TGIFGlobalColorMap() {
  ClearEntries();
  NotifyChanged();
}

void TGIFGlobalColorMap::ReportWarning(uint8_t Severity, const std::string& Message) {
  if (OwnerHeader != nullptr && OwnerHeader->OwnerImage != nullptr)
    OwnerHeader->OwnerImage->ReportWarning(this, Severity, Message);
}

bool TGIFGlobalColorMap::ReorderByUsage() {
  TGIFImage* image = OwnerHeader != nullptr ? OwnerHeader->OwnerImage : nullptr;
  if (image == nullptr || image->Frames->ItemCount() == 0) return false;
  return SortByFrameUsage(*image->Frames->FrameAt(0), image->Frames->ItemCount() == 1);
}

void TGIFGlobalColorMap::NotifyChanged() {
  if (OwnerHeader != nullptr && OwnerHeader->OwnerImage != nullptr)
    OwnerHeader->OwnerImage->SetPalette(platform::HPALETTE{});
}

TGIFLocalColorMap::~TGIFLocalColorMap() {
  ClearEntries();
  NotifyChanged();
}

void TGIFLocalColorMap::ReportWarning(uint8_t Severity, const std::string& Message) {
  if (OwnerFrame != nullptr && OwnerFrame->OwnerImage != nullptr)
    OwnerFrame->OwnerImage->ReportWarning(this, Severity, Message);
}

bool TGIFLocalColorMap::ReorderByUsage() {
  return OwnerFrame != nullptr && SortByFrameUsage(*OwnerFrame, true);
}

void TGIFLocalColorMap::NotifyChanged() {
  if (OwnerFrame != nullptr) OwnerFrame->SetFramePalette(platform::HPALETTE{});
}

}  // namespace gif
