#pragma once
// GIF colour tables: the global one of the header and the local one of a
// frame. Entries are red, green, blue triplets in file order, so a table is
// read and written as one block.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/graphics/Gdi.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

namespace gif {

class TGIFHeader;
class TGIFSubImage;

struct TGIFColor {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
};
static_assert(sizeof(TGIFColor) == 3);

// Colour values are $00BBGGRR; the high byte is ignored.
inline TGIFColor ColorToTriplet(uint32_t Color) {
  return {static_cast<uint8_t>(Color), static_cast<uint8_t>(Color >> 8),
          static_cast<uint8_t>(Color >> 16)};
}
inline uint32_t TripletToColor(TGIFColor C) {
  return C.Red | (uint32_t{C.Green} << 8) | (uint32_t{C.Blue} << 16);
}

class TGIFColorMap : public platform::TPersistent {
public:
  TGIFColorMap() = default;
  ~TGIFColorMap() override = default;  // subclasses notify; see theirs
  TGIFColorMap(const TGIFColorMap&) = delete;
  TGIFColorMap& operator=(const TGIFColorMap&) = delete;
  const char* ClassName() const noexcept override { return "TGIFColorMap"; }

  void Assign(const platform::TPersistent* Source) override;

  virtual void ReportWarning(uint8_t Severity, const std::string& Message) = 0;
  virtual bool ReorderByUsage() = 0;
  virtual void NotifyChanged() = 0;

  void ClearEntries();
  void EnsureCapacity(int N);
  void ReadEntries(platform::TStream& Stream, int Count);
  void WriteEntries(platform::TStream& Stream) const;
  int BitDepth() const { return BitsForColors(EntryCount); }
  static int BitsForColors(int Count);
  int FindColor(uint32_t Color) const;
  int AddColor(uint32_t Color);
  uint32_t ColorAt(int Index);
  void ImportFromPalette(platform::HPALETTE Palette);
  platform::HPALETTE ExportToPalette() const;
  bool SortByFrameUsage(TGIFSubImage& Frame, bool DropUnused);

  const TGIFColor& operator[](int Index) const { return ColorEntries[Index]; }

  std::unique_ptr<TGIFColor[]> ColorEntries;  // EntryCapacity triplets
  int32_t EntryCount = 0;
  int32_t EntryCapacity = 0;
  bool UsageSorted = false;
};

class TGIFGlobalColorMap : public TGIFColorMap {
public:
  explicit TGIFGlobalColorMap(TGIFHeader* OwnerHeader) : OwnerHeader(OwnerHeader) {}
  ~TGIFGlobalColorMap() override;
  const char* ClassName() const noexcept override { return "TGIFGlobalColorMap"; }

  void ReportWarning(uint8_t Severity, const std::string& Message) override;
  bool ReorderByUsage() override;
  void NotifyChanged() override;

  TGIFHeader* OwnerHeader;  // not owned
};

class TGIFLocalColorMap : public TGIFColorMap {
public:
  explicit TGIFLocalColorMap(TGIFSubImage* OwnerFrame) : OwnerFrame(OwnerFrame) {}
  ~TGIFLocalColorMap() override;
  const char* ClassName() const noexcept override { return "TGIFLocalColorMap"; }

  void ReportWarning(uint8_t Severity, const std::string& Message) override;
  bool ReorderByUsage() override;
  void NotifyChanged() override;

  TGIFSubImage* OwnerFrame;  // not owned
};

}  // namespace gif
