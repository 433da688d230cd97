// Rendering a frame's colour indices into a bitmap and a transparency mask,
// and drawing the rendered frame into a canvas rectangle.

#include "gif/render/FrameRender.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"
#include "gif/picture/GIFImage.h"
#include "gif/render/DIB.h"
#include "platform/graphics/Bitmap.h"
#include "platform/rtl/Exceptions.h"
#include "platform/rtl/SysUtils.h"

namespace gif {

using platform::HBITMAP;
using platform::HDC;
using platform::HPALETTE;
using platform::TBitmap;
using platform::TPixelFormat;
using platform::TPoint;
using platform::TProgressStage;
using platform::TRect;

namespace {

constexpr char kRendering[] = "Rendering...";
constexpr int32_t kDirectPixelLimit = 500000;

// Deletes or unselects what a drawing step made, however it ends.
template <class F>
struct TCleanup {
  F f;
  ~TCleanup() { f(); }
};
template <class F>
TCleanup(F) -> TCleanup<F>;

// Reports rendering progress on every 32nd row.
struct TRowProgress {
  TGIFImage* image;
  TGIFSubImage* frame;
  int32_t height;
  void operator()(int32_t Row) const {
    if (image != nullptr && (Row & 31) == 0)
      image->Progress(frame, TProgressStage::psRunning, static_cast<uint8_t>(platform::MulDiv(Row, 100, height)),
                      false, TRect{}, kRendering);
  }
};

inline void SetMaskBit(uint8_t* MaskRow, int32_t X) { MaskRow[X >> 3] |= static_cast<uint8_t>(0x80 >> (X & 7)); }

// Rows of indices copied unchanged; returns whether any pixel was transparent.
bool RenderDirectRows(const TGIFSubImage& Frame, TDIBWriter& Writer, int Transparent, uint8_t* Mask,
                      const TRowProgress& Progress) {
  const int32_t width = Frame.ImageDescriptor.ImageWidth;
  const int32_t height = Frame.ImageDescriptor.ImageHeight;
  const int32_t maskRow = MaskRowBytes(width);
  bool any = false;
  for (int32_t y = 0; y < height; ++y) {
    Progress(y);
    const uint8_t* src = Frame.Pixels.get() + static_cast<size_t>(y) * static_cast<size_t>(width);
    std::memcpy(Writer.RowPointer(y), src, static_cast<size_t>(width));
    if (Mask != nullptr) {
      uint8_t* m = Mask + static_cast<size_t>(y) * static_cast<size_t>(maskRow);
      for (int32_t x = 0; x < width; ++x)
        if (src[x] == Transparent) {
          SetMaskBit(m, x);
          any = true;
        }
    }
  }
  return any;
}

// The nearest of the six web levels (0, 51, ..., 255) to V, clamped. V / 51
// never lies exactly half-way, as 51 is odd.
inline int WebLevel(int V) { return V <= 0 ? 0 : std::min(5, (V + 25) / 51); }

// Floyd-Steinberg error diffusion to the 216-colour web palette with a
// serpentine scan; errors in fixed point, scaled by 1024.
bool RenderDitheredRows(const TGIFSubImage& Frame, TDIBWriter& Writer, int Transparent, uint8_t* Mask,
                        const TRowProgress& Progress) {
  const int32_t width = Frame.ImageDescriptor.ImageWidth;
  const int32_t height = Frame.ImageDescriptor.ImageHeight;
  const int32_t maskRow = MaskRowBytes(width);
  // Index colours; indices the colour map does not hold stay black.
  uint8_t colors[256][3] = {};
  if (const TGIFColorMap* map = Frame.EffectiveColorMap()) {
    const int n = std::min<int>(map->EntryCount, 256);
    for (int i = 0; i < n; ++i) {
      colors[i][0] = (*map)[i].Red;
      colors[i][1] = (*map)[i].Green;
      colors[i][2] = (*map)[i].Blue;
    }
  }
  const size_t span = static_cast<size_t>(width) + 2;  // entry x + 1 is pixel x
  std::vector<int> buffers(6 * span, 0);
  int* current[3] = {&buffers[0], &buffers[span], &buffers[2 * span]};
  int* next[3] = {&buffers[3 * span], &buffers[4 * span], &buffers[5 * span]};
  bool any = false;
  for (int32_t y = 0; y < height; ++y) {
    Progress(y);
    for (int* n : next) std::fill(n, n + span, 0);
    const uint8_t* src = Frame.Pixels.get() + static_cast<size_t>(y) * static_cast<size_t>(width);
    uint8_t* dst = Writer.RowPointer(y);
    uint8_t* m = Mask != nullptr ? Mask + static_cast<size_t>(y) * static_cast<size_t>(maskRow) : nullptr;
    const bool forward = (y & 1) == 0;
    const int dir = forward ? 1 : -1;
    for (int32_t i = 0; i < width; ++i) {
      const int32_t x = forward ? i : width - 1 - i;
      const uint8_t index = src[x];
      const uint8_t* c = colors[index];
      if (m != nullptr && index == Transparent) {
        // Kept out of the diffusion: its own colour's entry, no error spread.
        dst[x] = static_cast<uint8_t>(36 * WebLevel(c[0]) + 6 * WebLevel(c[1]) + WebLevel(c[2]));
        SetMaskBit(m, x);
        any = true;
        continue;
      }
      int level[3];
      const size_t at = static_cast<size_t>(x) + 1;
      for (int ch = 0; ch < 3; ++ch) {
        const int v = c[ch] + current[ch][at] / 1024;
        level[ch] = WebLevel(v);
        const int e = (v - 51 * level[ch]) * 1024;
        current[ch][at + dir] += 7 * e / 16;
        next[ch][at - dir] += 3 * e / 16;
        next[ch][at] += 5 * e / 16;
        next[ch][at + dir] += e / 16;
      }
      dst[x] = static_cast<uint8_t>(36 * level[0] + 6 * level[1] + level[2]);
    }
    for (int ch = 0; ch < 3; ++ch) std::swap(current[ch], next[ch]);
  }
  return any;
}

std::unique_ptr<TBitmap> RenderPixels(TGIFSubImage& Frame, bool Dithered) {
  const int32_t width = Frame.ImageDescriptor.ImageWidth;
  const int32_t height = Frame.ImageDescriptor.ImageHeight;
  auto bitmap = std::make_unique<TBitmap>();
  // A large device bitmap would be made only to be converted at once.
  if (int64_t{width} * height > kDirectPixelLimit) bitmap->SetPixelFormat(TPixelFormat::pf1bit);
  bitmap->SetWidth(width);
  bitmap->SetHeight(height);
  if (!Dithered) SetBitmapFormat(bitmap.get(), TPixelFormat::pf8bit);
  bitmap->SetPalette(platform::CopyPalette(Frame.FramePalette()));
  if (Frame.IsEmptyFrame()) return bitmap;

  const bool buildMask = Frame.MaskStale && Frame.HasTransparency;
  Frame.MaskStale = false;
  int transparent = -1;
  std::unique_ptr<uint8_t[]> mask;
  if (buildMask) {
    transparent = Frame.ControlExtension != nullptr ? Frame.ControlExtension->TransparentColorIndex() : -1;
    mask.reset(new uint8_t[static_cast<size_t>(MaskRowBytes(width)) * static_cast<size_t>(height)]());
  }
  const TRowProgress progress{Frame.OwnerImage, &Frame, height};
  {
    TDIBWriter writer(bitmap.get(), TPixelFormat::pf8bit);
    const bool any = Dithered ? RenderDitheredRows(Frame, writer, transparent, mask.get(), progress)
                              : RenderDirectRows(Frame, writer, transparent, mask.get(), progress);
    if (buildMask && any) {
      if (Frame.MaskHandle) platform::DeleteObject(Frame.MaskHandle);
      Frame.MaskHandle = RequireHandle(platform::CreateBitmap(width, height, 1, 1, mask.get()));
    }
  }
  return bitmap;
}

}  // namespace

TBitmap* TGIFSubImage::RenderFrame() {
  if (FrameBitmap || IsEmptyFrame()) return FrameBitmap.get();
  TGIFImage* image = OwnerImage;
  try {
    if (image != nullptr) image->Progress(this, TProgressStage::psStarting, 0, false, TRect{}, kRendering);
    std::unique_ptr<TBitmap> bitmap;
    try {
      bitmap = RenderPixels(*this, image != nullptr && image->UsesWebPalette());
    } catch (...) {
      if (image != nullptr)
        image->Progress(this, TProgressStage::psEnding, 0, image->PaletteModified(), TRect{}, kRendering);
      throw;
    }
    if (image != nullptr)
      image->Progress(this, TProgressStage::psEnding, 100, image->PaletteModified(), TRect{}, kRendering);
    FrameBitmap = std::move(bitmap);
  } catch (const platform::EAbort&) {
    // Cancelled: no bitmap; the next request starts over.
    FrameBitmap.reset();
    return nullptr;
  }
  return FrameBitmap.get();
}

bool TGIFSubImage::MaskReady() {
  if (MaskStale && HasTransparency) {
    ReleaseBitmap();
    RenderFrame();
  }
  return MaskHandle != nullptr;
}

TRect TGIFSubImage::ScaleFrameRect(const TRect& R) const {
  const TImageDescriptor& d = ImageDescriptor;
  int32_t w = OwnerImage != nullptr ? OwnerImage->GetWidth() : 0;
  int32_t h = OwnerImage != nullptr ? OwnerImage->GetHeight() : 0;
  // A picture without a screen size would divide by zero: the frame's own
  // extent stands in for it.
  if (w <= 0) w = std::max(1, d.ImageLeftPosition + d.ImageWidth);
  if (h <= 0) h = std::max(1, d.ImageTopPosition + d.ImageHeight);
  const int32_t rw = R.Right - R.Left;
  const int32_t rh = R.Bottom - R.Top;
  return TRect{R.Left + platform::MulDiv(d.ImageLeftPosition, rw, w),
               R.Top + platform::MulDiv(d.ImageTopPosition, rh, h),
               R.Left + platform::MulDiv(d.ImageLeftPosition + d.ImageWidth, rw, w),
               R.Top + platform::MulDiv(d.ImageTopPosition + d.ImageHeight, rh, h)};
}

namespace {

void PaintFrame(TGIFSubImage& Frame, platform::TCanvas& Canvas, const TRect& R, bool Tiled, bool Transparent) {
  const TImageDescriptor& d = Frame.ImageDescriptor;
  std::vector<TRect> targets;
  if (Tiled) {
    const int32_t sw = Frame.OwnerImage != nullptr ? Frame.OwnerImage->GetWidth() : 0;
    const int32_t sh = Frame.OwnerImage != nullptr ? Frame.OwnerImage->GetHeight() : 0;
    for (const TPoint& p : TilePositions(R, d.ImageLeftPosition, d.ImageTopPosition, sw > 0 ? sw : d.ImageWidth,
                                         sh > 0 ? sh : d.ImageHeight))
      targets.push_back(platform::Bounds(p.X, p.Y, d.ImageWidth, d.ImageHeight));
  } else {
    targets.push_back(R);
  }
  if (Transparent && Frame.HasTransparency && Frame.MaskReady()) {
    TBitmap* bitmap = Frame.RenderFrame();
    if (bitmap == nullptr) return;
    const HDC maskDC = RequireHandle(platform::CreateCompatibleDC(nullptr));
    const HBITMAP old = platform::SelectObject(maskDC, Frame.MaskHandle);
    TCleanup cleanup{[&] {
      platform::SelectObject(maskDC, old);
      platform::DeleteDC(maskDC);
    }};
    const HDC src = bitmap->Canvas().Handle();
    const HDC dst = Canvas.Handle();
    for (const TRect& t : targets)
      MaskedStretchBlt(dst, t.Left, t.Top, t.Width(), t.Height(), src, 0, 0, d.ImageWidth, d.ImageHeight, maskDC, 0,
                       0);
    Canvas.Changed();
    return;
  }
  TBitmap* bitmap = Frame.RenderFrame();
  if (bitmap == nullptr) return;
  for (const TRect& t : targets) Canvas.StretchDraw(t, bitmap);
}

}  // namespace

void TGIFSubImage::DrawFrame(platform::TCanvas& Canvas, const TRect& Rect, bool Tiled, bool Transparent) {
  try {
    if (Tiled)
      PaintFrame(*this, Canvas, Rect, true, Transparent);
    else
      PaintFrame(*this, Canvas, ScaleFrameRect(Rect), false, Transparent);
  } catch (...) {
    // A frame that cannot be drawn leaves the rectangle as it was.
  }
}

void TGIFSubImage::AssignTo(platform::TPersistent* Dest) const {
  if (auto* bitmap = dynamic_cast<TBitmap*>(Dest)) {
    // Rendering fills the frame's caches; the frame's content stays the same.
    bitmap->Assign(const_cast<TGIFSubImage*>(this)->RenderFrame());
    return;
  }
  TGIFItem::AssignTo(Dest);
}

std::vector<TPoint> TilePositions(const TRect& R, int32_t OffsetX, int32_t OffsetY, int32_t StepX, int32_t StepY) {
  StepX = std::max(StepX, 1);
  StepY = std::max(StepY, 1);
  std::vector<TPoint> tiles;
  for (int64_t x = int64_t{R.Left} + OffsetX; x < R.Right; x += StepX)
    for (int64_t y = int64_t{R.Top} + OffsetY; y < R.Bottom; y += StepY)
      tiles.push_back({static_cast<int32_t>(x), static_cast<int32_t>(y)});
  return tiles;
}

bool MaskedStretchBlt(HDC DstDC, int32_t DstX, int32_t DstY, int32_t DstW, int32_t DstH, HDC SrcDC, int32_t SrcX,
                      int32_t SrcY, int32_t SrcW, int32_t SrcH, HDC MaskDC, int32_t MaskX, int32_t MaskY) {
  using namespace platform;
  if (Win32Platform == VER_PLATFORM_WIN32_NT && DstW == SrcW && DstH == SrcH) {
    // MaskBlt wants the mask as a bitmap that no DC holds.
    const HBITMAP placeholder = RequireHandle(CreateCompatibleBitmap(SrcDC, 1, 1));
    const HBITMAP mask = SelectObject(MaskDC, placeholder);
    TCleanup cleanup{[&] {
      SelectObject(MaskDC, mask);
      DeleteObject(placeholder);
    }};
    // 1 bits keep the destination, 0 bits copy the source.
    MaskBlt(DstDC, DstX, DstY, DstW, DstH, SrcDC, SrcX, SrcY, mask, MaskX, MaskY, MAKEROP4(0x00AA0029, SRCCOPY));
    return true;
  }
  const HDC memDC = RequireHandle(CreateCompatibleDC(nullptr));
  HBITMAP memBitmap{};
  HBITMAP oldBitmap{};
  HPALETTE oldPalette{};
  bool paletteSelected = false;
  TCleanup releaseMem{[&] {
    if (paletteSelected) SelectPalette(memDC, oldPalette, true);
    if (oldBitmap) SelectObject(memDC, oldBitmap);
    if (memBitmap) DeleteObject(memBitmap);
    DeleteDC(memDC);
  }};
  memBitmap = RequireHandle(CreateCompatibleBitmap(DstDC, SrcW, SrcH));
  oldBitmap = SelectObject(memDC, memBitmap);
  {
    // The mask inverted: 1 where the source shows.
    const HDC invDC = RequireHandle(CreateCompatibleDC(nullptr));
    HBITMAP inverted{};
    HBITMAP oldInv{};
    TCleanup releaseInv{[&] {
      if (oldInv) SelectObject(invDC, oldInv);
      if (inverted) DeleteObject(inverted);
      DeleteDC(invDC);
    }};
    inverted = RequireHandle(CreateBitmap(SrcW, SrcH, 1, 1, nullptr));
    oldInv = SelectObject(invDC, inverted);
    BitBlt(invDC, 0, 0, SrcW, SrcH, MaskDC, MaskX, MaskY, NOTSRCCOPY);
    // The source's current palette, found by selecting another one for a moment.
    HPALETTE srcPalette = SelectPalette(SrcDC, SystemPalette16(), false);
    SelectPalette(SrcDC, srcPalette, false);
    if (!srcPalette) srcPalette = SystemPalette16();
    oldPalette = SelectPalette(memDC, srcPalette, true);
    paletteSelected = true;
    RealizePalette(memDC);
    // Source where opaque, black where transparent.
    BitBlt(memDC, 0, 0, SrcW, SrcH, invDC, 0, 0, SRCCOPY);
    BitBlt(memDC, 0, 0, SrcW, SrcH, SrcDC, SrcX, SrcY, SRCAND);
  }
  const COLORREF oldText = SetTextColor(DstDC, 0x000000);
  const COLORREF oldBk = SetBkColor(DstDC, 0xFFFFFF);
  // Black where opaque, the destination kept where transparent; then the
  // source ORed in.
  StretchBlt(DstDC, DstX, DstY, DstW, DstH, MaskDC, MaskX, MaskY, SrcW, SrcH, SRCAND);
  StretchBlt(DstDC, DstX, DstY, DstW, DstH, memDC, 0, 0, SrcW, SrcH, SRCPAINT);
  SetTextColor(DstDC, oldText);
  SetBkColor(DstDC, oldBk);
  return true;
}

}  // namespace gif
