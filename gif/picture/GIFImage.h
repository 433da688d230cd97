#pragma once
// TGIFImage: the picture class that the picture system creates for ".gif"
// files. It holds a decoded GIF as a header and a list of frames.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gif/decode/Frame.h"
#include "gif/decode/Items.h"
#include "gif/picture/Settings.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Graphic.h"
#include "platform/threads/Sync.h"

namespace gif {

class TGIFPainter;

using TGIFWarning = std::function<void(platform::TObject* Sender, uint8_t Severity, const std::string& Message)>;
using TGIFPainterEvent = std::function<void(platform::TObject* Sender)>;

class TGIFImage : public platform::TGraphic {
public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;
  const char* ClassName() const noexcept override { return "TGIFImage"; }

  // Draws (and animates) the picture into Rect; defined by the render part.
  void Draw(platform::TCanvas& Canvas, const platform::TRect& Rect) override;
  // Only this very picture equals it; the same content does not.
  bool Equals(platform::TGraphic* Other) override;
  bool GetEmpty() override;
  int32_t GetHeight() override;
  int32_t GetWidth() override;
  void SetHeight(int32_t Value) override;
  void SetWidth(int32_t Value) override;
  platform::HPALETTE GetPalette() override;
  void SetPalette(platform::HPALETTE Handle) override;
  void LoadFromStream(platform::TStream& Stream) override;
  void SaveToStream(platform::TStream& Stream) override;
  // From another GIF picture, a bitmap or any other picture; none clears.
  void Assign(const platform::TPersistent* Source) override;
  // Pasting prefers "GIF Image" on the clipboard, otherwise the bitmap form
  // given; copying offers a rendered bitmap and the GIF bytes (gif/encode).
  void LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data, platform::HPALETTE Palette) override;
  void SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, platform::HPALETTE& Palette) override;
  virtual void ReportWarning(platform::TObject* Sender, uint8_t Severity, const std::string& Message);

  void ClearImage();
  // A frame becomes owned by the picture; a bitmap is converted into a new
  // frame; anything else raises "Object type not supported for operation".
  int AppendFrame(std::unique_ptr<TGIFSubImage> Frame);
  int AppendFrame(platform::TPersistent* Source);
  GIFVersionCode RequiredVersion() const;
  int ColorResolution() const;
  int BitDepth() const;
  uint32_t BackgroundColorValue();
  bool UsesWebPalette() const;
  platform::TBitmap* EnsureBitmap();
  void DropBitmap();

  // Drawing and painters, defined by the render part.
  platform::TBitmap* RenderedBitmap();
  TGIFPainter* StartPainter(TGIFPainter** Ref, platform::TCanvas* Canvas, TGIFDrawFlags Flags,
                            const platform::TRect& Rect);
  void StopDrawPainter();
  void StopAllPainters();
  void PaintCachedBitmap(platform::TCanvas& Canvas, const platform::TRect& Rect, platform::TBitmap* Bitmap);
  void DetachPainters();
  // To a bitmap: a copy of RenderedBitmap().
  void AssignTo(platform::TPersistent* Dest) const override;

  bool DrawBusy = false;
  bool PaletteBusy = false;
  std::unique_ptr<TGIFImageList> Frames;
  std::unique_ptr<TGIFHeader> Header;
  platform::HPALETTE PaletteHandle{};
  platform::TThreadList<TGIFPainter> Painters;
  TGIFDrawFlags DrawFlags;
  uint8_t ReductionMethod;
  int32_t ReductionBits;
  uint8_t DitherMode;
  uint8_t EncoderKind;
  TGIFWarning WarningHandler;
  std::unique_ptr<platform::TBitmap> CachedBitmap;
  TGIFPainter* DrawPainter = nullptr;  // not owned
  uint8_t PainterPriority;
  int32_t SpeedPercent;
  uint32_t BackdropColor = 0x1FFFFFFF;  // clNone: taken from the picture
  TGIFPainterEvent StartHandler, FrameHandler, LoopHandler, EndHandler;
};

}  // namespace gif
