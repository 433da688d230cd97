#pragma once
// GIF89a extension blocks (graphic control, comment, plain text,
// application) and the two registries that pick the class reading a block:
// one by extension label, one by application identifier.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gif/decode/Items.h"
#include "platform/rtl/Lists.h"

namespace gif {

class TGIFExtension;

// The class of an extension: its name, a factory that creates it through
// its own constructor (null for the abstract application base), and its
// class-level ResolveClass, which may refine the class by reading on.
struct TGIFExtensionClass {
  const char* Name;
  std::unique_ptr<TGIFExtension> (*Create)(TGIFSubImage* Frame);
  const TGIFExtensionClass* (*ResolveClass)(const TGIFExtensionClass* Self,
                                            platform::TStream& Stream);
};

class TGIFExtension : public TGIFItem {
public:
  explicit TGIFExtension(TGIFSubImage* Frame);
  const char* ClassName() const noexcept override { return "TGIFExtension"; }

  GIFVersionCode RequiredVersion() const override { return Version89a; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
  virtual uint8_t ExtensionLabel() const = 0;

  // Null when no class is registered for the label that follows.
  static const TGIFExtensionClass* LookupExtensionClass(platform::TStream& Stream);
  static uint8_t ReadIntroducer(platform::TStream& Stream);

  TGIFSubImage* OwnerFrame;  // not owned
};

// Graphic Control Extension body, 6 bytes after the label.
struct TGraphicControlBlock {
  uint8_t BlockSize = 4;
  uint8_t PackedFields = 0;
  uint16_t DelayTime = 0;  // hundredths of a second
  uint8_t TransparentColorIndex = 0;
  uint8_t BlockTerminator = 0;

  static constexpr int WireSize = 6;
  void Decode(const uint8_t* Bytes);
  void Encode(uint8_t* Bytes) const;
};

class TGIFGraphicControlExtension : public TGIFExtension {
public:
  explicit TGIFGraphicControlExtension(TGIFSubImage* Frame);
  ~TGIFGraphicControlExtension() override;
  const char* ClassName() const noexcept override { return "TGIFGraphicControlExtension"; }
  static const TGIFExtensionClass Class;

  uint8_t ExtensionLabel() const override { return 0xF9; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;

  uint8_t DisposalMethod() const { return (Block.PackedFields >> 2) & 7; }
  bool UserInputFlag() const { return (Block.PackedFields & 2) != 0; }
  bool TransparentColorFlag() const { return (Block.PackedFields & 1) != 0; }
  uint16_t DelayTime() const { return Block.DelayTime; }
  uint8_t TransparentColorIndex() const { return Block.TransparentColorIndex; }
  void SetTransparentColorIndex(int Index);

  TGraphicControlBlock Block;
};

class TGIFCommentExtension : public TGIFExtension {
public:
  using TGIFExtension::TGIFExtension;
  const char* ClassName() const noexcept override { return "TGIFCommentExtension"; }
  static const TGIFExtensionClass Class;

  uint8_t ExtensionLabel() const override { return 0xFE; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;

  platform::TStringList CommentLines;  // one string per data sub-block
};

// Plain Text Extension header, 13 bytes after the label.
struct TPlainTextBlock {
  uint8_t BlockSize = 12;
  uint16_t TextGridLeftPosition = 0;
  uint16_t TextGridTopPosition = 0;
  uint16_t TextGridWidth = 0;
  uint16_t TextGridHeight = 0;
  uint8_t CharacterCellWidth = 0;
  uint8_t CharacterCellHeight = 0;
  uint8_t TextForegroundColorIndex = 0;
  uint8_t TextBackgroundColorIndex = 0;

  static constexpr int WireSize = 13;
  void Decode(const uint8_t* Bytes);
  void Encode(uint8_t* Bytes) const;
};

class TGIFTextExtension : public TGIFExtension {
public:
  using TGIFExtension::TGIFExtension;
  const char* ClassName() const noexcept override { return "TGIFTextExtension"; }
  static const TGIFExtensionClass Class;

  uint8_t ExtensionLabel() const override { return 0x01; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;

  platform::TStringList TextLines;  // one string per data sub-block
  TPlainTextBlock PlainTextBlock;
};

using TApplicationIdentifier = std::array<uint8_t, 11>;  // identifier + authentication code

class TGIFApplicationExtension : public TGIFExtension {
public:
  using TGIFExtension::TGIFExtension;
  const char* ClassName() const noexcept override { return "TGIFApplicationExtension"; }
  static const TGIFExtensionClass Class;

  uint8_t ExtensionLabel() const override { return 0xFF; }
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
  virtual void SaveApplicationData(platform::TStream& Stream) = 0;
  virtual void LoadApplicationData(platform::TStream& Stream) = 0;

  TApplicationIdentifier IdentifierBlock{};
  // Bytes after the 11 identifier bytes of a block longer than 11, kept so
  // that such a block is written back as it was read.
  std::vector<uint8_t> ExtraIdentifierBytes;
};

// One data sub-block held raw.
class TGIFBlock : public platform::TObject {
public:
  explicit TGIFBlock(uint8_t BlockSize)
      : BlockSize(BlockSize), BlockData(std::make_unique<uint8_t[]>(BlockSize)) {}
  const char* ClassName() const noexcept override { return "TGIFBlock"; }
  void ReadBlockData(platform::TStream& Stream);
  void WriteBlock(platform::TStream& Stream) const;

  uint8_t BlockSize;
  std::unique_ptr<uint8_t[]> BlockData;
};

class TGIFUnknownAppExtension : public TGIFApplicationExtension {
public:
  using TGIFApplicationExtension::TGIFApplicationExtension;
  const char* ClassName() const noexcept override { return "TGIFUnknownAppExtension"; }
  static const TGIFExtensionClass Class;

  void SaveApplicationData(platform::TStream& Stream) override;
  void LoadApplicationData(platform::TStream& Stream) override;

  std::vector<std::unique_ptr<TGIFBlock>> DataBlocks;
};

// The animation loop block of "NETSCAPE2.0" (and "ANIMEXTS1.0").
class TGIFAppExtNSLoop : public TGIFApplicationExtension {
public:
  explicit TGIFAppExtNSLoop(TGIFSubImage* Frame);
  const char* ClassName() const noexcept override { return "TGIFAppExtNSLoop"; }
  static const TGIFExtensionClass Class;

  void SaveApplicationData(platform::TStream& Stream) override;
  void LoadApplicationData(platform::TStream& Stream) override;

  uint16_t LoopCount = 0;  // 0 repeats without end
};

class TGIFExtensionList : public TGIFList {
public:
  using TGIFList::TGIFList;
  const char* ClassName() const noexcept override { return "TGIFExtensionList"; }
  TGIFExtension* ExtensionAt(int Index) const;
  // Parent must be the frame that owns the extensions.
  void LoadFromStream(platform::TStream& Stream, platform::TObject* Parent) override;
};

// Registry of extension labels; a later registration of a label wins.
class TExtensionList {
public:
  TExtensionList();
  void RegisterLabel(uint8_t Label, const TGIFExtensionClass* Class);
  const TGIFExtensionClass* ClassForLabel(uint8_t Label) const;

private:
  struct Entry {
    const TGIFExtensionClass* Class;
    uint8_t Label;
  };
  std::vector<Entry> entries_;
};

// Registry of application identifiers, compared as 11 raw bytes.
class TAppExtensionList {
public:
  TAppExtensionList();
  void RegisterIdentifier(const TApplicationIdentifier& Identifier, const TGIFExtensionClass* Class);
  const TGIFExtensionClass* ClassForIdentifier(const uint8_t* Identifier) const;

private:
  struct Entry {
    const TGIFExtensionClass* Class;
    TApplicationIdentifier Identifier;
  };
  std::vector<Entry> entries_;
};

// Created on first use; freed by FreeExtensionRegistries at module shut-down.
TExtensionList& ExtensionRegistry();
TAppExtensionList& AppExtensionRegistry();
void FreeExtensionRegistries();

void ReadSubBlockStrings(platform::TStream& Stream, platform::TStringList& Lines);
void WriteSubBlockStrings(platform::TStream& Stream, const platform::TStringList& Lines);

}  // namespace gif
