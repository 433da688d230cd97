#pragma once
// One frame of a GIF picture: its Image Descriptor, local colour table,
// pixel indices, the extensions that precede its image block, and the
// rendering state that the render part derives from them.

#include <cstdint>
#include <memory>
#include <string>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Items.h"
#include "platform/graphics/Gdi.h"

namespace platform {
class TBitmap;
}

namespace gif {

class TGIFExtensionList;
class TGIFGraphicControlExtension;

// The Image Descriptor of the GIF89a standard, 10 bytes on the wire.
struct TImageDescriptor {
  uint8_t ImageSeparator = 0x2C;
  uint16_t ImageLeftPosition = 0;
  uint16_t ImageTopPosition = 0;
  uint16_t ImageWidth = 0;
  uint16_t ImageHeight = 0;
  uint8_t PackedFields = 0;

  static constexpr int WireSize = 10;
  void Decode(const uint8_t* Bytes);
  void Encode(uint8_t* Bytes) const;
};

class TGIFSubImage : public TGIFItem {
public:
  explicit TGIFSubImage(TGIFImage* OwnerImage);
  ~TGIFSubImage() override;
  TGIFSubImage(const TGIFSubImage&) = delete;
  TGIFSubImage& operator=(const TGIFSubImage&) = delete;
  const char* ClassName() const noexcept override { return "TGIFSubImage"; }

  GIFVersionCode RequiredVersion() const override;
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
  virtual void LoadFromNamedFile(const std::string& FileName);

  void ResetFrame();
  void AllocatePixels();
  bool IsEmptyFrame() const;
  uint16_t BoundValue(int Which) const;
  void SetBoundValue(int Which, uint16_t Value);
  bool IsInterlaced() const { return (ImageDescriptor.PackedFields & 0x40) != 0; }
  TGIFColorMap* EffectiveColorMap() const;
  int LocalBitDepth() const { return LocalColorMap->BitDepth(); }
  int LocalColorResolution() const { return LocalBitDepth() - 1; }
  void PreparePackedFields();
  void DecodePixels(platform::TStream& Stream);

  // Rendering state kept here; the render part fills it.
  void ReleaseBitmap();
  void ReleaseMask();
  void SetFramePalette(platform::HPALETTE Handle);
  platform::HPALETTE FramePalette();

  std::unique_ptr<platform::TBitmap> FrameBitmap;
  platform::HBITMAP MaskHandle{};
  bool MaskStale = true;
  platform::HPALETTE PaletteHandle{};
  std::unique_ptr<uint8_t[]> Pixels;  // ImageWidth x ImageHeight indices, rows from the top
  int32_t PixelBytes = 0;
  std::unique_ptr<TGIFLocalColorMap> LocalColorMap;
  TImageDescriptor ImageDescriptor;
  std::unique_ptr<TGIFExtensionList> ExtensionList;
  bool HasTransparency = false;
  TGIFGraphicControlExtension* ControlExtension = nullptr;  // lives in ExtensionList
};

}  // namespace gif
