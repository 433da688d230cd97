#include "gif/picture/GIFImage.h"

#include "gif/decode/ColorMap.h"
#include "gif/decode/Extensions.h"

namespace gif {

using platform::TProgressStage;
using platform::TRect;
using platform::TStream;

namespace {
// The module starts with the program and shuts down at its end. It lives
// here so that every program that links the picture class runs it.
struct ModuleLifetime {
  ModuleLifetime() { GIFModuleStartup(); }
  ~ModuleLifetime() { GIFModuleShutdown(); }
} g_module_lifetime;
}  // namespace

TGIFImage::TGIFImage()
    : Frames(std::make_unique<TGIFImageList>(this)),
      Header(std::make_unique<TGIFHeader>(this)),
      DrawFlags(DefaultDrawFlags),
      ReductionMethod(DefaultReductionMethod),
      ReductionBits(DefaultReductionBits),
      DitherMode(DefaultDitherMode),
      EncoderKind(DefaultEncoderKind),
      PainterPriority(DefaultPainterPriority),
      SpeedPercent(DefaultSpeedPercent) {
  ClearImage();
}

TGIFImage::~TGIFImage() {
  StopAllPainters();
  DetachPainters();
  ClearImage();
  // Frames first: their colour maps and extensions still look at the header.
  Frames.reset();
  Header.reset();
}

void TGIFImage::ClearImage() {
  StopAllPainters();
  DropBitmap();
  Frames->ClearItems();
  Header->GlobalColorMap->ClearEntries();
  Header->Descriptor.LogicalScreenHeight = 0;
  Header->Descriptor.LogicalScreenWidth = 0;
  Header->PreparePackedFields();
  SetPalette(platform::HPALETTE{});
}

void TGIFImage::LoadFromStream(TStream& Stream) {
  Progress(this, TProgressStage::psStarting, 0, false, TRect{}, msg::Loading);
  try {
    ClearImage();
    Header->LoadFromStream(Stream);
    Frames->LoadFromStream(Stream, this);
    TGIFTrailer trailer(this);
    trailer.LoadFromStream(Stream);
  } catch (...) {
    Progress(this, TProgressStage::psEnding, 0, true, TRect{}, msg::Loading);
    throw;
  }
  Progress(this, TProgressStage::psEnding, 100, true, TRect{}, msg::Loading);
}

void TGIFImage::SaveToStream(TStream& Stream) {
  Progress(this, TProgressStage::psStarting, 0, false, TRect{}, msg::Saving);
  try {
    Header->SaveToStream(Stream);
    Frames->SaveToStream(Stream);
    TGIFTrailer trailer(this);
    trailer.SaveToStream(Stream);
  } catch (...) {
    Progress(this, TProgressStage::psEnding, 0, true, TRect{}, msg::Saving);
    throw;
  }
  Progress(this, TProgressStage::psEnding, 100, true, TRect{}, msg::Saving);
}

void TGIFImage::ReportWarning(platform::TObject* Sender, uint8_t Severity, const std::string& Message) {
  if (WarningHandler) WarningHandler(Sender, Severity, Message);
}

bool TGIFImage::Equals(platform::TGraphic* Other) { return Other == this; }

bool TGIFImage::GetEmpty() { return Frames->ItemCount() == 0; }

int32_t TGIFImage::GetWidth() { return Header->Descriptor.LogicalScreenWidth; }

int32_t TGIFImage::GetHeight() { return Header->Descriptor.LogicalScreenHeight; }

namespace {
// The logical screen is 16 bits wide in the format; other sizes cannot be stored.
void CheckScreenValue(int32_t Value) {
  if (Value < 0 || Value > 0xFFFF) throw platform::EInvalidGraphicOperation("Invalid image size");
}
}  // namespace

void TGIFImage::SetWidth(int32_t Value) {
  CheckScreenValue(Value);
  for (int i = 0; i < Frames->ItemCount(); ++i) {
    const TGIFSubImage* frame = Frames->FrameAt(i);
    if (int32_t{frame->BoundValue(1)} + frame->BoundValue(3) > Value) RaiseGIFError(msg::WidthTooSmall);
  }
  Header->Descriptor.LogicalScreenWidth = static_cast<uint16_t>(Value);
  DropBitmap();
  Changed(this);
}

void TGIFImage::SetHeight(int32_t Value) {
  CheckScreenValue(Value);
  for (int i = 0; i < Frames->ItemCount(); ++i) {
    const TGIFSubImage* frame = Frames->FrameAt(i);
    if (int32_t{frame->BoundValue(2)} + frame->BoundValue(4) > Value) RaiseGIFError(msg::HeightTooSmall);
  }
  Header->Descriptor.LogicalScreenHeight = static_cast<uint16_t>(Value);
  DropBitmap();
  Changed(this);
}

int TGIFImage::AppendFrame(std::unique_ptr<TGIFSubImage> Frame) {
  if (!Frame) RaiseGIFError(msg::ObjectNotSupported);
  TGIFSubImage* frame = Frame.get();
  frame->OwnerImage = this;
  frame->ExtensionList->OwnerImage = this;
  const int index = Frames->AddItem(std::move(Frame));
  auto& screen = Header->Descriptor;
  bool grown = false;
  const int32_t right = int32_t{frame->BoundValue(1)} + frame->BoundValue(3);
  if (right > screen.LogicalScreenWidth) {
    screen.LogicalScreenWidth = static_cast<uint16_t>(right);
    ReportWarning(this, 1, msg::WidthTooSmall);
    grown = true;
  }
  const int32_t bottom = int32_t{frame->BoundValue(2)} + frame->BoundValue(4);
  if (bottom > screen.LogicalScreenHeight) {
    screen.LogicalScreenHeight = static_cast<uint16_t>(bottom);
    ReportWarning(this, 1, msg::HeightTooSmall);
    grown = true;
  }
  if (grown) {
    ReportWarning(frame, 1, msg::ImageExceedsScreen);
    DropBitmap();
    Changed(this);
  }
  return index;
}

int TGIFImage::AppendFrame(platform::TPersistent* Source) {
  if (auto* frame = dynamic_cast<TGIFSubImage*>(Source)) {
    // The picture takes the frame over.
    return AppendFrame(std::unique_ptr<TGIFSubImage>(frame));
  }
  if (dynamic_cast<platform::TBitmap*>(Source) == nullptr) RaiseGIFError(msg::ObjectNotSupported);
  auto frame = std::make_unique<TGIFSubImage>(this);
  frame->Assign(Source);
  return AppendFrame(std::move(frame));
}

GIFVersionCode TGIFImage::RequiredVersion() const {
  GIFVersionCode version = VersionNone;
  for (int i = 0; i < Frames->ItemCount(); ++i) {
    const GIFVersionCode v = Frames->FrameAt(i)->RequiredVersion();
    if (v > version) version = v;
    if (v > Version87a) break;
  }
  return version;
}

int TGIFImage::ColorResolution() const {
  int result = Header->GlobalColorResolution();
  for (int i = 0; i < Frames->ItemCount(); ++i)
    result = std::max(result, Frames->FrameAt(i)->LocalColorResolution());
  return result;
}

int TGIFImage::BitDepth() const {
  int result = Header->GlobalBitDepth();
  for (int i = 0; i < Frames->ItemCount(); ++i) result = std::max(result, Frames->FrameAt(i)->LocalBitDepth());
  return result;
}

uint32_t TGIFImage::BackgroundColorValue() { return Header->BackgroundColorValue(); }

bool TGIFImage::UsesWebPalette() const {
  if (!(DrawFlags & DrawWebPalette)) return false;
  if (DrawFlags & DrawWebPaletteOnPaletteDisplay) return PaletteDeviceDraw;
  return true;
}

platform::HPALETTE TGIFImage::GetPalette() {
  if (PaletteBusy) RaiseGIFError(msg::NoColorTable);
  PaletteBusy = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{PaletteBusy};
  if (CachedBitmap && CachedBitmap->GetPalette()) return CachedBitmap->GetPalette();
  if (PaletteHandle) return PaletteHandle;
  if (UsesWebPalette()) {
    PaletteHandle = WebPaletteHandle();
    return PaletteHandle;
  }
  if (Header->GlobalColorMap->EntryCount > 0) {
    PaletteHandle = Header->GlobalColorMap->ExportToPalette();
    return PaletteHandle;
  }
  if (Frames->ItemCount() > 0) return Frames->FrameAt(0)->FramePalette();
  return platform::HPALETTE{};
}

void TGIFImage::SetPalette(platform::HPALETTE Handle) {
  if (Handle == PaletteHandle) return;
  if (PaletteHandle) ReleasePalette(PaletteHandle);
  const bool changed = CachedBitmap && CachedBitmap->GetPalette() != Handle;
  if (changed) DropBitmap();
  PaletteHandle = Handle;
  if (changed) {
    SetPaletteModified(true);
    Changed(this);
  }
}

platform::TBitmap* TGIFImage::EnsureBitmap() {
  if (CachedBitmap) return CachedBitmap.get();
  CachedBitmap = std::make_unique<platform::TBitmap>();
  CachedBitmap->OnChange = [this](platform::TObject*) { Changed(this); };
  CachedBitmap->SetPalette(platform::CopyPalette(GetPalette()));
  CachedBitmap->SetHeight(GetHeight());
  CachedBitmap->SetWidth(GetWidth());
  return CachedBitmap.get();
}

}  // namespace gif
