#pragma once
// The GIF stream as a sequence of items: the error type and stream helpers
// shared by all GIF code, the item and list bases, the header (signature,
// version, Logical Screen Descriptor, global colour table), the frame list
// with its block dispatch loop, and the trailer.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rtl/Exceptions.h"
#include "platform/rtl/Object.h"
#include "platform/rtl/Streams.h"

namespace gif {

class TGIFImage;
class TGIFSubImage;
class TGIFGlobalColorMap;

class GIFException : public platform::EInvalidGraphic {
public:
  using EInvalidGraphic::EInvalidGraphic;
  const char* ClassName() const noexcept override { return "GIFException"; }
};

// The string table of the GIF code: every message a user can meet.
namespace msg {
inline constexpr char PrematureEnd[] = "Premature end of data";
inline constexpr char InvalidSignature[] = "Invalid GIF signature";
inline constexpr char UnsupportedVersion[] = "Unsupported GIF version";
inline constexpr char UnknownBlockType[] = "Unknown GIF block type";
inline constexpr char InvalidTrailer[] = "Invalid Image trailer";
inline constexpr char ColorTableOverflow[] = "Color table overflow";
inline constexpr char InvalidColorIndex[] = "Invalid color index";
inline constexpr char ColorTableEmpty[] = "Color table is empty";
inline constexpr char ImageExceedsScreen[] = "Image exceeds Logical Screen size";
inline constexpr char BitBufferUnderrun[] = "Decoder bit buffer under-run";
inline constexpr char CircularTableEntry[] = "Circular decoder table entry";
inline constexpr char CodeSizeTooLarge[] = "Invalid LZW code size";
inline constexpr char ImageTooLarge[] = "Image is too large";
inline constexpr char InvalidExtensionIntroducer[] = "Invalid extension introducer";
inline constexpr char UnknownExtensionType[] = "Unknown extension type";
inline constexpr char ExtensionLabelMismatch[] =
    "Internal error: Extension Instance does not match Extension Label";
inline constexpr char UnsupportedAppBlockSize[] = "Unsupported Application Extension block size";
inline constexpr char InvalidData[] = "Invalid GIF data";
inline constexpr char ObjectNotSupported[] = "Object type not supported for operation";
inline constexpr char WidthTooSmall[] = "Image width too small for contained frames";
inline constexpr char HeightTooSmall[] = "Image height too small for contained frames";
inline constexpr char NoColorTable[] = "No global or local color table defined";
inline constexpr char Loading[] = "Loading...";
inline constexpr char Saving[] = "Saving...";
}  // namespace msg

enum GIFVersionCode : uint8_t { VersionNone = 0, Version87a = 1, Version89a = 2 };

// Indexed by GIFVersionCode; VersionNone has no text.
inline constexpr const char* GIFVersionText[3] = {nullptr, "87a", "89a"};

// One Read of Count bytes; fewer raises GIFException "Premature end of data".
void ReadExact(platform::TStream& Stream, void* Buffer, int32_t Count);
// One Read of one byte; at the end of the stream it yields 0. Callers that
// must tell the end apart use Stream.Read and test its result.
uint8_t ReadByte(platform::TStream& Stream);
void WriteByte(platform::TStream& Stream, uint8_t Value);
[[noreturn]] void RaiseGIFError(const std::string& Message);

// Little-endian 16-bit fields of the wire format.
inline uint16_t GetLE16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline void PutLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

class TGIFItem : public platform::TPersistent {
public:
  explicit TGIFItem(TGIFImage* OwnerImage) : OwnerImage(OwnerImage) {}
  const char* ClassName() const noexcept override { return "TGIFItem"; }

  virtual GIFVersionCode RequiredVersion() const { return Version87a; }
  virtual void ReportWarning(uint8_t Severity, const std::string& Message);
  virtual void SaveToStream(platform::TStream& Stream) = 0;
  virtual void LoadFromStream(platform::TStream& Stream) = 0;

  TGIFImage* OwnerImage;  // not owned
};

// A list of items that it frees when they are deleted or cleared.
class TGIFList : public platform::TPersistent {
public:
  explicit TGIFList(TGIFImage* OwnerImage) : OwnerImage(OwnerImage) {}
  ~TGIFList() override { ClearItems(); }
  TGIFList(const TGIFList&) = delete;
  TGIFList& operator=(const TGIFList&) = delete;
  const char* ClassName() const noexcept override { return "TGIFList"; }

  virtual void ReportWarning(uint8_t Severity, const std::string& Message);
  virtual void SaveToStream(platform::TStream& Stream);
  virtual void LoadFromStream(platform::TStream& Stream, platform::TObject* Parent) = 0;

  TGIFItem* ItemAt(int Index) const;
  int ItemCount() const { return static_cast<int>(ItemList.size()); }
  TGIFItem* FirstItem() const { return ItemAt(0); }
  int AddItem(std::unique_ptr<TGIFItem> Item);
  void DeleteItem(int Index);
  void ClearItems();

  TGIFImage* OwnerImage;  // not owned

protected:
  std::vector<std::unique_ptr<TGIFItem>> ItemList;
};

// The Logical Screen Descriptor of the GIF89a standard, 7 bytes on the wire.
struct TLogicalScreenDescriptor {
  uint16_t LogicalScreenWidth = 0;
  uint16_t LogicalScreenHeight = 0;
  uint8_t PackedFields = 0;
  uint8_t BackgroundColorIndex = 0;
  uint8_t PixelAspectRatio = 0;

  static constexpr int WireSize = 7;
  void Decode(const uint8_t* Bytes);
  void Encode(uint8_t* Bytes) const;
  bool operator==(const TLogicalScreenDescriptor&) const = default;
};

class TGIFHeader : public TGIFItem {
public:
  explicit TGIFHeader(TGIFImage* OwnerImage);
  ~TGIFHeader() override;
  const char* ClassName() const noexcept override { return "TGIFHeader"; }

  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
  void PreparePackedFields();
  uint32_t BackgroundColorValue();
  int GlobalBitDepth() const;
  int GlobalColorResolution() const { return GlobalBitDepth() - 1; }

  TLogicalScreenDescriptor Descriptor;
  std::unique_ptr<TGIFGlobalColorMap> GlobalColorMap;

protected:
  void AssignTo(platform::TPersistent* Dest) const override;
};

class TGIFTrailer : public TGIFItem {
public:
  using TGIFItem::TGIFItem;
  const char* ClassName() const noexcept override { return "TGIFTrailer"; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
};

class TGIFImageList : public TGIFList {
public:
  using TGIFList::TGIFList;
  const char* ClassName() const noexcept override { return "TGIFImageList"; }

  TGIFSubImage* FrameAt(int Index) const;
  void LoadFromStream(platform::TStream& Stream, platform::TObject* Parent) override;
  void SaveToStream(platform::TStream& Stream) override;
};

}  // namespace gif
