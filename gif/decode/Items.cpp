#include "gif/decode/Items.h"

#include <cctype>
#include <cstring>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"

namespace gif {

using platform::TSeekOrigin;
using platform::TStream;

// --- stream helpers ---

void ReadExact(TStream& Stream, void* Buffer, int32_t Count) {
  if (Stream.Read(Buffer, Count) < Count) RaiseGIFError(msg::PrematureEnd);
}

uint8_t ReadByte(TStream& Stream) {
  uint8_t value = 0;
  Stream.Read(&value, 1);
  return value;
}

void WriteByte(TStream& Stream, uint8_t Value) { Stream.WriteBuffer(&Value, 1); }

void RaiseGIFError(const std::string& Message) { throw GIFException(Message); }

// --- items and lists ---

void TGIFItem::ReportWarning(uint8_t Severity, const std::string& Message) {
  if (OwnerImage != nullptr) OwnerImage->ReportWarning(this, Severity, Message);
}

void TGIFList::ReportWarning(uint8_t Severity, const std::string& Message) {
  if (OwnerImage != nullptr) OwnerImage->ReportWarning(this, Severity, Message);
}

void TGIFList::SaveToStream(TStream& Stream) {
  for (auto& item : ItemList) item->SaveToStream(Stream);
}

TGIFItem* TGIFList::ItemAt(int Index) const {
  if (Index < 0 || Index >= ItemCount()) return nullptr;
  return ItemList[static_cast<size_t>(Index)].get();
}

int TGIFList::AddItem(std::unique_ptr<TGIFItem> Item) {
  ItemList.push_back(std::move(Item));
  return ItemCount() - 1;
}

void TGIFList::DeleteItem(int Index) {
  if (Index < 0 || Index >= ItemCount()) return;
  // The item is freed while it is still in the list (its destructor may
  // look at its owner), then the entry goes.
  ItemList[static_cast<size_t>(Index)].reset();
  ItemList.erase(ItemList.begin() + Index);
}

void TGIFList::ClearItems() {
  // Front to back, as a frame's extensions must unlink in stream order.
  for (auto& item : ItemList) item.reset();
  ItemList.clear();
}

// --- header ---

void TLogicalScreenDescriptor::Decode(const uint8_t* b) {
  LogicalScreenWidth = GetLE16(b);
  LogicalScreenHeight = GetLE16(b + 2);
  PackedFields = b[4];
  BackgroundColorIndex = b[5];
  PixelAspectRatio = b[6];
}

void TLogicalScreenDescriptor::Encode(uint8_t* b) const {
  PutLE16(b, LogicalScreenWidth);
  PutLE16(b + 2, LogicalScreenHeight);
  b[4] = PackedFields;
  b[5] = BackgroundColorIndex;
  b[6] = PixelAspectRatio;
}

TGIFHeader::TGIFHeader(TGIFImage* OwnerImage)
    : TGIFItem(OwnerImage), GlobalColorMap(std::make_unique<TGIFGlobalColorMap>(this)) {}

TGIFHeader::~TGIFHeader() = default;

namespace {
bool IsSignature(const uint8_t* b) {
  return std::toupper(b[0]) == 'G' && std::toupper(b[1]) == 'I' && std::toupper(b[2]) == 'F';
}
}  // namespace

void TGIFHeader::LoadFromStream(TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t id[6];
  ReadExact(Stream, id, 6);
  if (!IsSignature(id)) {
    // Some files carry a 4-byte prefix in front of the signature.
    Stream.SetPosition(start + 4);
    ReadExact(Stream, id, 6);
    if (!IsSignature(id)) RaiseGIFError(msg::InvalidSignature);
  }
  // The version text is not examined: any version reads the same.
  uint8_t lsd[TLogicalScreenDescriptor::WireSize];
  ReadExact(Stream, lsd, sizeof lsd);
  Descriptor.Decode(lsd);
  if (Descriptor.PackedFields & 0x80)
    GlobalColorMap->ReadEntries(Stream, 2 << (Descriptor.PackedFields & 7));
  else
    GlobalColorMap->ClearEntries();
}

void TGIFHeader::PreparePackedFields() {
  const bool has_map = GlobalColorMap->EntryCount > 0;
  uint8_t packed = 0;
  if (has_map) packed |= 0x80;
  const int resolution = OwnerImage != nullptr ? OwnerImage->ColorResolution() : GlobalColorResolution();
  packed |= static_cast<uint8_t>((resolution & 7) << 4);
  if (has_map && GlobalColorMap->UsageSorted) packed |= 0x08;
  if (has_map) {
    packed |= static_cast<uint8_t>((GlobalColorMap->BitDepth() - 1) & 7);
  } else {
    const int depth = OwnerImage != nullptr ? OwnerImage->BitDepth() : GlobalBitDepth();
    packed |= static_cast<uint8_t>((depth - 1) & 7);
  }
  Descriptor.PackedFields = packed;
}

void TGIFHeader::SaveToStream(TStream& Stream) {
  const GIFVersionCode version = OwnerImage != nullptr ? OwnerImage->RequiredVersion() : VersionNone;
  if (version == VersionNone) RaiseGIFError(msg::UnsupportedVersion);
  PreparePackedFields();
  uint8_t bytes[6 + TLogicalScreenDescriptor::WireSize];
  std::memcpy(bytes, "GIF", 3);
  std::memcpy(bytes + 3, GIFVersionText[version], 3);
  Descriptor.Encode(bytes + 6);
  Stream.WriteBuffer(bytes, sizeof bytes);
  if (Descriptor.PackedFields & 0x80) GlobalColorMap->WriteEntries(Stream);
}

uint32_t TGIFHeader::BackgroundColorValue() {
  return GlobalColorMap->ColorAt(Descriptor.BackgroundColorIndex);
}

int TGIFHeader::GlobalBitDepth() const { return GlobalColorMap->BitDepth(); }

void TGIFHeader::AssignTo(platform::TPersistent* Dest) const {
  if (auto* header = dynamic_cast<TGIFHeader*>(Dest)) {
    header->GlobalColorMap->Assign(GlobalColorMap.get());
    header->Descriptor = Descriptor;
    return;
  }
  TGIFItem::AssignTo(Dest);
}

// --- trailer ---

void TGIFTrailer::LoadFromStream(TStream& Stream) {
  uint8_t b = 0;
  // A missing trailer is accepted silently: many files simply end.
  if (Stream.Read(&b, 1) == 1 && b != 0x3B) ReportWarning(1, msg::InvalidTrailer);
}

void TGIFTrailer::SaveToStream(TStream& Stream) { WriteByte(Stream, 0x3B); }

// --- frame list ---

TGIFSubImage* TGIFImageList::FrameAt(int Index) const {
  return static_cast<TGIFSubImage*>(ItemAt(Index));
}

namespace {
// Reads the next byte that is not 0x00; false at the end of the stream.
// Runs of 0x00 between blocks occur in real files and are skipped.
// Part * 100 / Whole rounded to the nearest integer, as MulDiv rounds.
uint8_t PercentOf(int64_t Part, int64_t Whole) {
  if (Whole <= 0) return 100;
  const int64_t percent = (Part * 200 + Whole) / (2 * Whole);
  return static_cast<uint8_t>(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

bool NextBlockByte(TStream& Stream, uint8_t& b) {
  do {
    if (Stream.Read(&b, 1) != 1) return false;
  } while (b == 0x00);
  return true;
}
}  // namespace

void TGIFImageList::LoadFromStream(TStream& Stream, platform::TObject* Parent) {
  auto* image = dynamic_cast<TGIFImage*>(Parent);
  if (image == nullptr) throw platform::EInvalidCast("Invalid class typecast");
  uint8_t b = 0;
  // A stream that simply ends keeps the frames read so far; no trailer is required.
  if (!NextBlockByte(Stream, b)) return;
  while (b != 0x3B) {
    Stream.Seek(-1, TSeekOrigin::soCurrent);
    if (b == 0x21 || b == 0x2C) {
      auto frame = std::make_unique<TGIFSubImage>(image);
      frame->LoadFromStream(Stream);  // on error the frame is freed here
      image->Progress(this, platform::TProgressStage::psRunning,
                      PercentOf(Stream.Position(), Stream.Size()),
                      false, platform::TRect{0, 0, 0, 0}, msg::Loading);
      AddItem(std::move(frame));
    } else {
      ReportWarning(1, msg::UnknownBlockType);
      return;
    }
    if (!NextBlockByte(Stream, b)) return;
  }
  Stream.Seek(-1, TSeekOrigin::soCurrent);
}

void TGIFImageList::SaveToStream(TStream& Stream) {
  const int n = ItemCount();
  for (int i = 0; i < n; ++i) {
    ItemList[static_cast<size_t>(i)]->SaveToStream(Stream);
    if (OwnerImage != nullptr)
      OwnerImage->Progress(this, platform::TProgressStage::psRunning,
                           PercentOf(i + 1, n), false,
                           platform::TRect{0, 0, 0, 0}, msg::Saving);
  }
}

}  // namespace gif
