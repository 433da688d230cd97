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
class TCanvas;
}

namespace gif {

class TDIBReader;
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
  // From another frame or a bitmap; defined by the conversion part.
  void Assign(const platform::TPersistent* Source) override;
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
  bool HasBitmap() const { return FrameBitmap != nullptr; }
  // Defined by the render part.
  platform::TBitmap* RenderFrame();  // nullptr for an empty frame or a cancelled rendering
  bool MaskReady();
  void DrawFrame(platform::TCanvas& Canvas, const platform::TRect& Rect, bool Tiled, bool Transparent);
  platform::TRect ScaleFrameRect(const platform::TRect& Rect) const;
  // To a bitmap: a copy of the rendered frame.
  void AssignTo(platform::TPersistent* Dest) const override;

  // Steps of building a frame from a bitmap, defined by the conversion part.
  void CopyRows8(TDIBReader& Reader);
  void UnpackRows4(TDIBReader& Reader);
  void UnpackRows1(TDIBReader& Reader);
  void MatchPixelsByColor();

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
