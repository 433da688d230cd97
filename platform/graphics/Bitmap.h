#pragma once
// TBitmap: a picture held in a GDI bitmap (a DIB section for the explicit
// pixel formats, a device bitmap for pfDevice), with its own canvas and
// palette, BMP reading and writing, and pixel-format conversion.

#include <cstdint>
#include <memory>

#include "platform/graphics/Graphic.h"

namespace platform {

enum class TPixelFormat : uint8_t { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TBitmapHandleType : uint8_t { bmDIB, bmDDB };
enum class TTransparentMode : uint8_t { tmAuto, tmFixed };

class TBitmapCanvas;

class TBitmap : public TGraphic {
 public:
  TBitmap();
  ~TBitmap() override;
  const char* ClassName() const noexcept override { return "TBitmap"; }

  // From a TBitmap: an independent copy (pixels, format, palette,
  // transparency); nullptr empties the bitmap. Others: EConvertError.
  void Assign(const TPersistent* Source) override;

  void Draw(TCanvas& Canvas, const TRect& Rect) override;
  bool GetEmpty() override;
  int32_t GetHeight() override { return height_; }
  int32_t GetWidth() override { return width_; }
  // The bitmap's own palette (owned); for <= 8 bits one is made from the
  // colour table when first asked for. 0 for true colour without one.
  HPALETTE GetPalette() override;
  // Takes ownership of Value; a <= 8-bit bitmap takes its entries into its
  // colour table too.
  void SetPalette(HPALETTE Value) override;
  // Keep the content at the top left; new area is filled with the canvas's
  // brush colour.
  void SetHeight(int32_t Value) override;
  void SetWidth(int32_t Value) override;
  void SetSize(int32_t NewWidth, int32_t NewHeight);

  // BMP files. Damaged data raise EInvalidGraphic "Bitmap image is not
  // valid" and leave the bitmap as it was. An empty bitmap writes nothing.
  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;
  // CF_DIB (and CF_BITMAP) as a packed DIB.
  void LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, HPALETTE Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, HPALETTE& Palette) override;

  TCanvas& Canvas();
  // The GDI bitmap, created for a non-empty bitmap; 0 while empty. Owned by
  // the TBitmap (see ReleaseHandle).
  HBITMAP Handle();
  // Takes ownership of Value (0 empties the bitmap).
  void SetHandle(HBITMAP Value);
  bool HandleAllocated() const { return handle_ != nullptr; }
  // Gives up the bitmap handle to the caller; the TBitmap becomes empty.
  HBITMAP ReleaseHandle();
  // Gives up the palette handle to the caller.
  HPALETTE ReleasePalette();
  TBitmapHandleType HandleType() const;
  void SetHandleType(TBitmapHandleType Value);

  TPixelFormat PixelFormat() const;
  // Converts the pixels; <= 8 bits keep the palette they have, else take a
  // standard one (black and white, the 16 VGA colours, the halftone
  // palette). pfCustom raises EInvalidGraphic "Invalid pixel format".
  void SetPixelFormat(TPixelFormat Value);
  bool Monochrome() const;
  void SetMonochrome(bool Value);
  // Row Row of the pixels (a device bitmap becomes a 32-bit DIB first).
  // Raises EInvalidGraphicOperation "Scan line index out of range".
  void* ScanLine(int32_t Row);

  // tmAuto: the colour of the bottom-left pixel; tmFixed: the colour set.
  TColor TransparentColor();
  void SetTransparentColor(TColor Value);
  TTransparentMode TransparentMode() const { return transparentMode_; }
  void SetTransparentMode(TTransparentMode Value);

  // Releases GDI resources where possible without losing the picture (no-op here).
  void Dormant() {}
  void FreeImage() {}

 private:
  friend class TBitmapCanvas;
  void Replace(HBITMAP NewHandle, HPALETTE NewPalette);
  void DetachCanvas();
  void Resize(int32_t NewWidth, int32_t NewHeight);
  void Convert(TPixelFormat Format);
  HBITMAP NewHandleLike(int32_t NewWidth, int32_t NewHeight, TPixelFormat Format, HPALETTE Palette) const;

  HBITMAP handle_ = nullptr;
  HPALETTE palette_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  TPixelFormat format_ = TPixelFormat::pfDevice;
  bool monochromeDDB_ = false;
  TColor transparentColor_ = clDefault;
  TTransparentMode transparentMode_ = TTransparentMode::tmAuto;
  std::unique_ptr<TBitmapCanvas> canvas_;
};

}  // namespace platform
