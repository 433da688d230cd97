#include "gif/decode/Extensions.h"

#include <cstring>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Frame.h"

namespace gif {

using platform::TSeekOrigin;
using platform::TStream;

namespace {

template <class T>
std::unique_ptr<TGIFExtension> CreateOf(TGIFSubImage* Frame) {
  return std::make_unique<T>(Frame);
}

const TGIFExtensionClass* ResolveItself(const TGIFExtensionClass* Self, TStream&) { return Self; }

// Application blocks are refined by their identifier.
const TGIFExtensionClass* ResolveApplication(const TGIFExtensionClass* Self, TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t size = 0;
  if (Stream.Read(&size, 1) != 1) return nullptr;
  uint8_t identifier[11];
  if (size == 10) {
    return Stream.Read(identifier, 10) == 10 ? &TGIFUnknownAppExtension::Class : nullptr;
  }
  if (size == 11) {
    if (Stream.Read(identifier, 11) == 11) {
      const TGIFExtensionClass* found = AppExtensionRegistry().ClassForIdentifier(identifier);
      return found != nullptr ? found : &TGIFUnknownAppExtension::Class;
    }
  } else if (size > 11 && Self == &TGIFApplicationExtension::Class) {
    // A longer identifier block has no registered reader; it is kept raw.
    return &TGIFUnknownAppExtension::Class;
  }
  Stream.SetPosition(start);
  return Self;
}

constexpr TApplicationIdentifier Identifier(const char (&text)[12]) {
  TApplicationIdentifier id{};
  for (size_t i = 0; i < 11; ++i) id[i] = static_cast<uint8_t>(text[i]);
  return id;
}

constexpr TApplicationIdentifier kNetscape = Identifier("NETSCAPE2.0");
constexpr TApplicationIdentifier kAnimExts = Identifier("ANIMEXTS1.0");

// Plain pointers: freed by the module's shut-down, which may run from a
// static destructor, so they must not have destructors of their own.
TExtensionList* g_extension_registry = nullptr;
TAppExtensionList* g_app_extension_registry = nullptr;

}  // namespace

const TGIFExtensionClass TGIFGraphicControlExtension::Class{
    "TGIFGraphicControlExtension", &CreateOf<TGIFGraphicControlExtension>, &ResolveItself};
const TGIFExtensionClass TGIFCommentExtension::Class{"TGIFCommentExtension",
                                                     &CreateOf<TGIFCommentExtension>, &ResolveItself};
const TGIFExtensionClass TGIFTextExtension::Class{"TGIFTextExtension", &CreateOf<TGIFTextExtension>,
                                                  &ResolveItself};
// Blocks too short to carry an identifier are read by the raw class, which
// refuses them with the block size message.
const TGIFExtensionClass TGIFApplicationExtension::Class{"TGIFApplicationExtension",
                                                         &CreateOf<TGIFUnknownAppExtension>,
                                                         &ResolveApplication};
const TGIFExtensionClass TGIFUnknownAppExtension::Class{
    "TGIFUnknownAppExtension", &CreateOf<TGIFUnknownAppExtension>, &ResolveApplication};
const TGIFExtensionClass TGIFAppExtNSLoop::Class{"TGIFAppExtNSLoop", &CreateOf<TGIFAppExtNSLoop>,
                                                 &ResolveApplication};

// --- registries ---

TExtensionList::TExtensionList() {
  RegisterLabel(0x01, &TGIFTextExtension::Class);
  RegisterLabel(0xF9, &TGIFGraphicControlExtension::Class);
  RegisterLabel(0xFE, &TGIFCommentExtension::Class);
  RegisterLabel(0xFF, &TGIFApplicationExtension::Class);
}

void TExtensionList::RegisterLabel(uint8_t Label, const TGIFExtensionClass* Class) {
  entries_.push_back({Class, Label});
}

const TGIFExtensionClass* TExtensionList::ClassForLabel(uint8_t Label) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (it->Label == Label) return it->Class;
  return nullptr;
}

TAppExtensionList::TAppExtensionList() {
  RegisterIdentifier(kNetscape, &TGIFAppExtNSLoop::Class);
  RegisterIdentifier(kAnimExts, &TGIFAppExtNSLoop::Class);
}

void TAppExtensionList::RegisterIdentifier(const TApplicationIdentifier& Identifier,
                                           const TGIFExtensionClass* Class) {
  entries_.push_back({Class, Identifier});
}

const TGIFExtensionClass* TAppExtensionList::ClassForIdentifier(const uint8_t* Identifier) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
    if (std::memcmp(it->Identifier.data(), Identifier, 11) == 0) return it->Class;
  return nullptr;
}

TExtensionList& ExtensionRegistry() {
  if (g_extension_registry == nullptr) g_extension_registry = new TExtensionList;
  return *g_extension_registry;
}

TAppExtensionList& AppExtensionRegistry() {
  if (g_app_extension_registry == nullptr) g_app_extension_registry = new TAppExtensionList;
  return *g_app_extension_registry;
}

void FreeExtensionRegistries() {
  delete g_extension_registry;
  g_extension_registry = nullptr;
  delete g_app_extension_registry;
  g_app_extension_registry = nullptr;
}

// --- base extension ---

TGIFExtension::TGIFExtension(TGIFSubImage* Frame)
    : TGIFItem(Frame != nullptr ? Frame->OwnerImage : nullptr), OwnerFrame(Frame) {}

uint8_t TGIFExtension::ReadIntroducer(TStream& Stream) {
  uint8_t b[2];
  ReadExact(Stream, b, 2);
  if (b[0] != 0x21) RaiseGIFError(msg::InvalidExtensionIntroducer);
  return b[1];
}

void TGIFExtension::LoadFromStream(TStream& Stream) {
  if (ReadIntroducer(Stream) != ExtensionLabel()) RaiseGIFError(msg::ExtensionLabelMismatch);
}

void TGIFExtension::SaveToStream(TStream& Stream) {
  const uint8_t b[2] = {0x21, ExtensionLabel()};
  Stream.WriteBuffer(b, 2);
}

const TGIFExtensionClass* TGIFExtension::LookupExtensionClass(TStream& Stream) {
  const int64_t start = Stream.Position();
  uint8_t label = 0;
  if (Stream.Read(&label, 1) != 1) return nullptr;
  const TGIFExtensionClass* cls = ExtensionRegistry().ClassForLabel(label);
  while (cls != nullptr) {
    const TGIFExtensionClass* next = cls->ResolveClass(cls, Stream);
    if (next == cls) break;
    cls = next;
  }
  Stream.SetPosition(start);
  return cls;
}

// --- graphic control ---

void TGraphicControlBlock::Decode(const uint8_t* b) {
  BlockSize = b[0];
  PackedFields = b[1];
  DelayTime = GetLE16(b + 2);
  TransparentColorIndex = b[4];
  BlockTerminator = b[5];
}

void TGraphicControlBlock::Encode(uint8_t* b) const {
  b[0] = BlockSize;
  b[1] = PackedFields;
  PutLE16(b + 2, DelayTime);
  b[4] = TransparentColorIndex;
  b[5] = BlockTerminator;
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* Frame) : TGIFExtension(Frame) {
  if (OwnerFrame != nullptr && OwnerFrame->ControlExtension == nullptr) OwnerFrame->ControlExtension = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
  if (OwnerFrame == nullptr) return;
  if (TransparentColorFlag()) OwnerFrame->HasTransparency = false;
  if (OwnerFrame->ControlExtension == this) OwnerFrame->ControlExtension = nullptr;
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  uint8_t b[TGraphicControlBlock::WireSize];
  if (Stream.Read(b, sizeof b) < static_cast<int32_t>(sizeof b)) {
    // Kept, but without its values: a block cut short by the end of the file.
    ReportWarning(1, msg::PrematureEnd);
    return;
  }
  // Block size and terminator are kept as read: writers get them wrong.
  Block.Decode(b);
  if (TransparentColorFlag() && OwnerFrame != nullptr) OwnerFrame->HasTransparency = true;
}

void TGIFGraphicControlExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  uint8_t b[TGraphicControlBlock::WireSize];
  Block.Encode(b);
  Stream.WriteBuffer(b, sizeof b);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Index) {
  TGIFColorMap* map = OwnerFrame != nullptr ? OwnerFrame->EffectiveColorMap() : nullptr;
  if (map != nullptr && map->EntryCount > 0 && Index >= map->EntryCount) {
    ReportWarning(1, msg::InvalidColorIndex);
    Index = 0;
  }
  Block.TransparentColorIndex = static_cast<uint8_t>(Index);
}

// --- sub-block strings ---

void ReadSubBlockStrings(TStream& Stream, platform::TStringList& Lines) {
  Lines.Clear();
  uint8_t size = 0;
  char data[255];
  while (Stream.Read(&size, 1) == 1 && size != 0) {
    ReadExact(Stream, data, size);
    // A zero byte ends the text of its sub-block.
    Lines.Add(std::string(data, strnlen(data, size)));
  }
}

void WriteSubBlockStrings(TStream& Stream, const platform::TStringList& Lines) {
  for (int32_t i = 0; i < Lines.Count(); ++i) {
    const std::string& line = Lines[i];
    size_t done = 0;
    while (done < line.size()) {
      const size_t n = std::min<size_t>(255, line.size() - done);
      WriteByte(Stream, static_cast<uint8_t>(n));
      Stream.WriteBuffer(line.data() + done, static_cast<int32_t>(n));
      done += n;
    }
  }
  WriteByte(Stream, 0);
}

// --- comment and plain text ---

void TGIFCommentExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  ReadSubBlockStrings(Stream, CommentLines);
}

void TGIFCommentExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  WriteSubBlockStrings(Stream, CommentLines);
}

void TPlainTextBlock::Decode(const uint8_t* b) {
  BlockSize = b[0];
  TextGridLeftPosition = GetLE16(b + 1);
  TextGridTopPosition = GetLE16(b + 3);
  TextGridWidth = GetLE16(b + 5);
  TextGridHeight = GetLE16(b + 7);
  CharacterCellWidth = b[9];
  CharacterCellHeight = b[10];
  TextForegroundColorIndex = b[11];
  TextBackgroundColorIndex = b[12];
}

void TPlainTextBlock::Encode(uint8_t* b) const {
  b[0] = BlockSize;
  PutLE16(b + 1, TextGridLeftPosition);
  PutLE16(b + 3, TextGridTopPosition);
  PutLE16(b + 5, TextGridWidth);
  PutLE16(b + 7, TextGridHeight);
  b[9] = CharacterCellWidth;
  b[10] = CharacterCellHeight;
  b[11] = TextForegroundColorIndex;
  b[12] = TextBackgroundColorIndex;
}

void TGIFTextExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  uint8_t b[TPlainTextBlock::WireSize];
  ReadExact(Stream, b, sizeof b);  // the block size is not tested
  PlainTextBlock.Decode(b);
  ReadSubBlockStrings(Stream, TextLines);
}

void TGIFTextExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  uint8_t b[TPlainTextBlock::WireSize];
  PlainTextBlock.Encode(b);
  Stream.WriteBuffer(b, sizeof b);
  WriteSubBlockStrings(Stream, TextLines);
}

// --- application ---

namespace {
// The stream ending where a byte is required is reported like any short read.
uint8_t RequireByte(TStream& Stream) {
  uint8_t b = 0;
  if (Stream.Read(&b, 1) != 1) RaiseGIFError(msg::PrematureEnd);
  return b;
}
}  // namespace

void TGIFApplicationExtension::LoadFromStream(TStream& Stream) {
  TGIFExtension::LoadFromStream(Stream);
  const uint8_t size = RequireByte(Stream);
  ExtraIdentifierBytes.clear();
  if (size == 10) {
    IdentifierBlock.fill(0);
    ReadExact(Stream, IdentifierBlock.data(), 10);
  } else if (size < 11) {
    RaiseGIFError(msg::UnsupportedAppBlockSize);
  } else {
    ReadExact(Stream, IdentifierBlock.data(), 11);
    if (size > 11) {
      ExtraIdentifierBytes.resize(size - 11u);
      ReadExact(Stream, ExtraIdentifierBytes.data(), size - 11);
    }
  }
  LoadApplicationData(Stream);
}

void TGIFApplicationExtension::SaveToStream(TStream& Stream) {
  TGIFExtension::SaveToStream(Stream);
  WriteByte(Stream, static_cast<uint8_t>(11 + ExtraIdentifierBytes.size()));
  Stream.WriteBuffer(IdentifierBlock.data(), 11);
  if (!ExtraIdentifierBytes.empty())
    Stream.WriteBuffer(ExtraIdentifierBytes.data(), static_cast<int32_t>(ExtraIdentifierBytes.size()));
  SaveApplicationData(Stream);
}

void TGIFBlock::ReadBlockData(TStream& Stream) { ReadExact(Stream, BlockData.get(), BlockSize); }

void TGIFBlock::WriteBlock(TStream& Stream) const {
  WriteByte(Stream, BlockSize);
  Stream.WriteBuffer(BlockData.get(), BlockSize);
}

void TGIFUnknownAppExtension::LoadApplicationData(TStream& Stream) {
  DataBlocks.clear();
  uint8_t size = 0;
  // The end of the stream ends the blocks without a report.
  while (Stream.Read(&size, 1) == 1 && size != 0) {
    auto block = std::make_unique<TGIFBlock>(size);
    block->ReadBlockData(Stream);
    DataBlocks.push_back(std::move(block));
  }
}

void TGIFUnknownAppExtension::SaveApplicationData(TStream& Stream) {
  for (const auto& block : DataBlocks) block->WriteBlock(Stream);
  WriteByte(Stream, 0);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* Frame) : TGIFApplicationExtension(Frame) {
  IdentifierBlock = kNetscape;
}

void TGIFAppExtNSLoop::LoadApplicationData(TStream& Stream) {
  if (RequireByte(Stream) != 3) RaiseGIFError(msg::InvalidData);
  if (RequireByte(Stream) != 1) RaiseGIFError(msg::InvalidData);
  uint8_t b[2];
  ReadExact(Stream, b, 2);
  LoopCount = GetLE16(b);
  if (RequireByte(Stream) != 0) RaiseGIFError(msg::InvalidData);
}

void TGIFAppExtNSLoop::SaveApplicationData(TStream& Stream) {
  uint8_t b[5] = {3, 1, 0, 0, 0};
  PutLE16(b + 2, LoopCount);
  Stream.WriteBuffer(b, sizeof b);
}

// --- extension list ---

TGIFExtension* TGIFExtensionList::ExtensionAt(int Index) const {
  return static_cast<TGIFExtension*>(ItemAt(Index));
}

void TGIFExtensionList::LoadFromStream(TStream& Stream, platform::TObject* Parent) {
  auto* frame = dynamic_cast<TGIFSubImage*>(Parent);
  if (frame == nullptr) throw platform::EInvalidCast("Invalid class typecast");
  uint8_t b = 0;
  if (Stream.Read(&b, 1) != 1) return;
  while (b != 0x2C && b != 0x3B) {
    if (b != 0x21) {
      ReportWarning(1, msg::InvalidExtensionIntroducer);
      break;
    }
    const TGIFExtensionClass* cls = TGIFExtension::LookupExtensionClass(Stream);
    // An extension that no class reads refuses the whole file.
    if (cls == nullptr || cls->Create == nullptr) RaiseGIFError(msg::UnknownExtensionType);
    Stream.Seek(-1, TSeekOrigin::soCurrent);
    std::unique_ptr<TGIFExtension> extension = cls->Create(frame);
    extension->LoadFromStream(Stream);  // freed here when it raises
    AddItem(std::move(extension));
    if (Stream.Read(&b, 1) != 1) return;
  }
  Stream.Seek(-1, TSeekOrigin::soCurrent);
}

}  // namespace gif
