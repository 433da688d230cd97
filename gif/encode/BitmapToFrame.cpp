// Filling frames from other frames and from bitmaps, and a picture from
// other pictures.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "gif/decode/Extensions.h"
#include "gif/decode/Frame.h"
#include "gif/encode/Reduce.h"
#include "gif/picture/GIFImage.h"
#include "gif/picture/Settings.h"
#include "gif/render/DIB.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Canvas.h"
#include "platform/graphics/Icon.h"
#include "platform/rtl/SysUtils.h"

namespace gif {

using platform::TBitmap;
using platform::TPixelFormat;
using platform::TProgressStage;
using platform::TRect;

namespace {

constexpr char Converting[] = "Converting...";
constexpr char Copying[] = "Copying...";
constexpr char FrameTooLarge[] = "Bitmap too large for a GIF frame";

// Progress is reported every 32 rows.
constexpr int32_t ProgressRowMask = 31;

bool NeedsReduction(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return false;
    // A device bitmap has the screen's depth: palette indices on a palette
    // screen, true colour otherwise.
    case TPixelFormat::pfDevice: return !PaletteDevice;
    default: return true;
  }
}

// Reports one step of the conversion to the owning picture, if any.
void Report(TGIFSubImage& Frame, TProgressStage Stage, int32_t Percent, bool Redraw) {
  if (Frame.OwnerImage)
    Frame.OwnerImage->Progress(&Frame, Stage, static_cast<uint8_t>(Percent), Redraw, TRect{}, Converting);
}

// The running report of the row steps, before rows 0, 32, 64, ...
void ReportRow(TGIFSubImage& Frame, int32_t Row) {
  if ((Row & ProgressRowMask) == 0)
    Report(Frame, TProgressStage::psRunning, platform::MulDiv(Row, 100, Frame.ImageDescriptor.ImageHeight),
           false);
}
}  // namespace

void TGIFSubImage::CopyRows8(TDIBReader& Reader) {
  const int32_t width = ImageDescriptor.ImageWidth;
  for (int32_t y = 0; y < ImageDescriptor.ImageHeight; ++y) {
    ReportRow(*this, y);
    std::memcpy(Pixels.get() + static_cast<size_t>(y) * width, Reader.RowPointer(y), static_cast<size_t>(width));
  }
}

void TGIFSubImage::UnpackRows4(TDIBReader& Reader) {
  const int32_t width = ImageDescriptor.ImageWidth;
  for (int32_t y = 0; y < ImageDescriptor.ImageHeight; ++y) {
    ReportRow(*this, y);
    const uint8_t* src = Reader.RowPointer(y);
    uint8_t* dst = Pixels.get() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t b = src[x >> 1];
      dst[x] = (x & 1) ? (b & 0x0F) : (b >> 4);
    }
  }
}

void TGIFSubImage::UnpackRows1(TDIBReader& Reader) {
  const int32_t width = ImageDescriptor.ImageWidth;
  for (int32_t y = 0; y < ImageDescriptor.ImageHeight; ++y) {
    ReportRow(*this, y);
    const uint8_t* src = Reader.RowPointer(y);
    uint8_t* dst = Pixels.get() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) dst[x] = (src[x >> 3] >> (7 - (x & 7))) & 1;
  }
}

void TGIFSubImage::MatchPixelsByColor() {
  // Recent colours and their indices; most images repeat colours in runs.
  struct Slot {
    uint32_t Color = 0;
    int32_t Index = -1;
  };
  std::array<Slot, 8> cache{};
  size_t last = 0;

  // The 24-bit rows give the same colours as reading each pixel through the
  // canvas, at a fraction of the cost.
  TDIBReader reader(FrameBitmap.get(), TPixelFormat::pf24bit);
  const int32_t width = ImageDescriptor.ImageWidth;
  for (int32_t y = 0; y < ImageDescriptor.ImageHeight; ++y) {
    ReportRow(*this, y);
    const uint8_t* src = reader.RowPointer(y);
    uint8_t* dst = Pixels.get() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x, src += 3) {
      const uint32_t color = src[2] | (uint32_t{src[1]} << 8) | (uint32_t{src[0]} << 16);
      int32_t index = -1;
      size_t s = last;
      for (int tried = 0; tried < 8; ++tried, s = (s + 7) & 7) {
        if (cache[s].Index < 0) break;
        if (cache[s].Color == color) {
          index = cache[s].Index;
          last = s;
          break;
        }
      }
      if (index < 0) {
        index = LocalColorMap->AddColor(color);
        last = (last + 1) & 7;
        cache[last] = {color, index};
      }
      dst[x] = static_cast<uint8_t>(index);
    }
  }
}

void TGIFSubImage::Assign(const platform::TPersistent* Source) {
  if (Source == this) return;

  if (auto* source = dynamic_cast<const TGIFSubImage*>(Source)) {
    ResetFrame();
    if (source->IsEmptyFrame()) return;
    ImageDescriptor = source->ImageDescriptor;
    HasTransparency = source->HasTransparency;
    AllocatePixels();
    if (Pixels && source->Pixels)
      std::memcpy(Pixels.get(), source->Pixels.get(),
                  static_cast<size_t>(std::min(PixelBytes, source->PixelBytes)));
    LocalColorMap->Assign(source->LocalColorMap.get());
    if (source->ExtensionList->ItemCount() > 0) {
      // Through their wire form: the copies are new objects of this frame,
      // and loading them links the graphic control extension again.
      platform::TMemoryStream stream;
      source->ExtensionList->SaveToStream(stream);
      stream.SetPosition(0);
      ExtensionList->LoadFromStream(stream, this);
    }
    if (source->FrameBitmap) {
      FrameBitmap = std::make_unique<TBitmap>();
      FrameBitmap->Assign(source->FrameBitmap.get());
    }
    return;
  }

  auto* bitmap = const_cast<TBitmap*>(dynamic_cast<const TBitmap*>(Source));
  if (!bitmap) {
    TGIFItem::Assign(Source);  // refuses with the platform's assignment error
    return;
  }

  ResetFrame();
  if (bitmap->GetEmpty()) return;
  if (bitmap->GetWidth() > 0xFFFF || bitmap->GetHeight() > 0xFFFF) RaiseGIFError(FrameTooLarge);

  TPixelFormat format = bitmap->PixelFormat();
  if (NeedsReduction(format)) {
    const uint8_t method = OwnerImage ? OwnerImage->ReductionMethod : DefaultReductionMethod;
    const uint8_t mode = OwnerImage ? OwnerImage->DitherMode : DefaultDitherMode;
    const int32_t bits = OwnerImage ? OwnerImage->ReductionBits : DefaultReductionBits;
    FrameBitmap = ReduceToPalette(*bitmap, method, mode, bits);
    format = FrameBitmap->PixelFormat();
  } else {
    FrameBitmap = std::make_unique<TBitmap>();
    FrameBitmap->Assign(bitmap);
  }
  ImageDescriptor.ImageWidth = static_cast<uint16_t>(FrameBitmap->GetWidth());
  ImageDescriptor.ImageHeight = static_cast<uint16_t>(FrameBitmap->GetHeight());
  AllocatePixels();

  Report(*this, TProgressStage::psStarting, 0, false);
  try {
    if (format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit) {
      TDIBReader reader(FrameBitmap.get(), format);
      LocalColorMap->ImportFromPalette(FrameBitmap->GetPalette());
      if (format == TPixelFormat::pf1bit)
        UnpackRows1(reader);
      else if (format == TPixelFormat::pf4bit)
        UnpackRows4(reader);
      else
        CopyRows8(reader);
    } else {
      MatchPixelsByColor();
    }
  } catch (...) {
    const bool redraw = OwnerImage && OwnerImage->PaletteModified();
    Report(*this, TProgressStage::psEnding, 0, redraw);
    throw;
  }
  Report(*this, TProgressStage::psEnding, 100, OwnerImage && OwnerImage->PaletteModified());
}

namespace {
// Draws Graphic into an 8-bit Bitmap of its size.
void DrawInto(TBitmap& Bitmap, platform::TGraphic& Graphic) {
  Bitmap.SetHeight(Graphic.GetHeight());
  Bitmap.SetWidth(Graphic.GetWidth());
  SetBitmapFormat(&Bitmap, TPixelFormat::pf8bit);
  Bitmap.Canvas().Draw(0, 0, &Graphic);
}

// Icons and metafiles draw themselves better than they convert.
bool DrawsFirst(const platform::TGraphic& Graphic) {
  return dynamic_cast<const platform::TIcon*>(&Graphic) != nullptr ||
         std::string_view(Graphic.ClassName()) == "TMetafile";
}
}  // namespace

void TGIFImage::Assign(const platform::TPersistent* Source) {
  if (Source == this) return;
  if (!Source) {
    ClearImage();
    return;
  }

  if (auto* source = dynamic_cast<const TGIFImage*>(Source)) {
    ClearImage();
    OnProgress = source->OnProgress;
    WarningHandler = source->WarningHandler;
    struct Detach {
      TGIFImage& image;
      ~Detach() {
        image.OnProgress = nullptr;
        image.WarningHandler = nullptr;
      }
    } detach{*this};
    Progress(this, TProgressStage::psStarting, 0, false, TRect{}, Copying);
    try {
      Header->Assign(source->Header.get());
      PainterPriority = source->PainterPriority;
      BackdropColor = source->BackdropColor;
      DrawFlags = source->DrawFlags;
      ReductionMethod = source->ReductionMethod;
      DitherMode = source->DitherMode;
      const int n = source->Frames->ItemCount();
      for (int i = 0; i < n; ++i) {
        auto frame = std::make_unique<TGIFSubImage>(this);
        frame->Assign(source->Frames->FrameAt(i));
        AppendFrame(std::move(frame));
        Progress(this, TProgressStage::psRunning, static_cast<uint8_t>(platform::MulDiv(i + 1, 100, n)), false,
                 TRect{}, Copying);
      }
    } catch (...) {
      Progress(this, TProgressStage::psEnding, 0, false, TRect{}, Copying);
      throw;
    }
    Progress(this, TProgressStage::psEnding, 100, false, TRect{}, Copying);
    return;
  }

  if (dynamic_cast<const TBitmap*>(Source)) {
    ClearImage();
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(Source);
    AppendFrame(std::move(frame));
    return;
  }

  if (auto* graphic = const_cast<platform::TGraphic*>(dynamic_cast<const platform::TGraphic*>(Source))) {
    ClearImage();
    TBitmap bitmap;
    if (DrawsFirst(*graphic)) {
      try {
        DrawInto(bitmap, *graphic);
      } catch (const platform::Exception&) {
        bitmap.Assign(graphic);
      }
    } else {
      try {
        bitmap.Assign(graphic);
      } catch (const platform::Exception&) {
        DrawInto(bitmap, *graphic);
      }
    }
    auto frame = std::make_unique<TGIFSubImage>(this);
    frame->Assign(&bitmap);
    AppendFrame(std::move(frame));
    return;
  }

  platform::TGraphic::Assign(Source);
}

}  // namespace gif
