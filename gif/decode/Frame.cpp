#include "gif/decode/Frame.h"

#include <cstring>
#include <new>

#include "gif/decode/Extensions.h"
#include "gif/picture/Settings.h"
#include "gif/encode/ImageData.h"
#include "gif/picture/GIFImage.h"
#include "platform/graphics/Bitmap.h"

namespace gif {

using platform::TStream;

void TImageDescriptor::Decode(const uint8_t* b) {
  ImageSeparator = b[0];
  ImageLeftPosition = GetLE16(b + 1);
  ImageTopPosition = GetLE16(b + 3);
  ImageWidth = GetLE16(b + 5);
  ImageHeight = GetLE16(b + 7);
  PackedFields = b[9];
}

void TImageDescriptor::Encode(uint8_t* b) const {
  b[0] = ImageSeparator;
  PutLE16(b + 1, ImageLeftPosition);
  PutLE16(b + 3, ImageTopPosition);
  PutLE16(b + 5, ImageWidth);
  PutLE16(b + 7, ImageHeight);
  b[9] = PackedFields;
}

TGIFSubImage::TGIFSubImage(TGIFImage* OwnerImage)
    : TGIFItem(OwnerImage),
      LocalColorMap(std::make_unique<TGIFLocalColorMap>(this)),
      ExtensionList(std::make_unique<TGIFExtensionList>(OwnerImage)) {}

TGIFSubImage::~TGIFSubImage() {
  ResetFrame();
  ExtensionList.reset();
  LocalColorMap.reset();  // its last notification may release PaletteHandle
  if (PaletteHandle) {
    ReleasePalette(PaletteHandle);
    PaletteHandle = platform::HPALETTE{};
  }
}

GIFVersionCode TGIFSubImage::RequiredVersion() const {
  if (LocalColorMap->UsageSorted) return Version89a;
  for (int i = 0; i < ExtensionList->ItemCount(); ++i)
    if (ExtensionList->ItemAt(i)->RequiredVersion() == Version89a) return Version89a;
  return Version87a;
}

void TGIFSubImage::ResetFrame() {
  ExtensionList->ClearItems();
  LocalColorMap->ClearEntries();
  Pixels.reset();
  PixelBytes = 0;
  ImageDescriptor.ImageWidth = 0;
  ImageDescriptor.ImageHeight = 0;
  HasTransparency = false;
  ControlExtension = nullptr;
  ReleaseBitmap();
  ReleaseMask();
}

void TGIFSubImage::AllocatePixels() {
  Pixels.reset();
  PixelBytes = int32_t{ImageDescriptor.ImageWidth} * ImageDescriptor.ImageHeight;
  if (PixelBytes <= 0) return;
  try {
    Pixels.reset(new uint8_t[static_cast<size_t>(PixelBytes)]);
  } catch (const std::bad_alloc&) {
    PixelBytes = 0;
    throw platform::EOutOfMemory("Out of memory");
  }
}

bool TGIFSubImage::IsEmptyFrame() const {
  return !(Pixels && PixelBytes > 0 && ImageDescriptor.ImageHeight > 0 &&
           ImageDescriptor.ImageWidth > 0);
}

uint16_t TGIFSubImage::BoundValue(int Which) const {
  switch (Which) {
    case 1: return ImageDescriptor.ImageLeftPosition;
    case 2: return ImageDescriptor.ImageTopPosition;
    case 3: return ImageDescriptor.ImageWidth;
    case 4: return ImageDescriptor.ImageHeight;
    default: return 0;
  }
}

void TGIFSubImage::SetBoundValue(int Which, uint16_t Value) {
  switch (Which) {
    case 1: ImageDescriptor.ImageLeftPosition = Value; break;
    case 2: ImageDescriptor.ImageTopPosition = Value; break;
    case 3: ImageDescriptor.ImageWidth = Value; break;
    case 4: ImageDescriptor.ImageHeight = Value; break;
    default: break;
  }
}

TGIFColorMap* TGIFSubImage::EffectiveColorMap() const {
  if (LocalColorMap->EntryCount > 0) return LocalColorMap.get();
  if (OwnerImage != nullptr && OwnerImage->Header->GlobalColorMap->EntryCount > 0)
    return OwnerImage->Header->GlobalColorMap.get();
  return LocalColorMap.get();
}

void TGIFSubImage::LoadFromStream(TStream& Stream) {
  ResetFrame();
  ExtensionList->LoadFromStream(Stream, this);
  uint8_t next = 0;
  if (Stream.Read(&next, 1) != 1) return;  // extensions only, at the end of the stream
  Stream.Seek(-1, platform::TSeekOrigin::soCurrent);
  if (next == 0x3B || next == 0x00) return;  // extensions only, no image block

  // Image Descriptor; any byte that reaches here starts an image block.
  uint8_t bytes[TImageDescriptor::WireSize];
  ReadExact(Stream, bytes, sizeof bytes);
  ImageDescriptor.Decode(bytes);
  if (ImageDescriptor.ImageHeight == 0 || ImageDescriptor.ImageWidth == 0) {
    // Some writers leave the size 0 meaning "the whole screen".
    ImageDescriptor.ImageHeight = OwnerImage != nullptr ? OwnerImage->Header->Descriptor.LogicalScreenHeight : 0;
    ImageDescriptor.ImageWidth = OwnerImage != nullptr ? OwnerImage->Header->Descriptor.LogicalScreenWidth : 0;
    ReportWarning(1, msg::ImageExceedsScreen);
  }
  if (ImageDescriptor.PackedFields & 0x80)
    LocalColorMap->ReadEntries(Stream, 2 << (ImageDescriptor.PackedFields & 7));
  if (OwnerImage != nullptr) {
    int64_t total = int64_t{ImageDescriptor.ImageWidth} * ImageDescriptor.ImageHeight;
    for (int i = 0; i < OwnerImage->Frames->ItemCount(); ++i) total += OwnerImage->Frames->FrameAt(i)->PixelBytes;
    if (total > MaxPicturePixels) RaiseGIFError(msg::ImageTooLarge);
  }
  DecodePixels(Stream);
}

void TGIFSubImage::LoadFromNamedFile(const std::string& FileName) {
  platform::TFileStream stream(FileName, platform::fmOpenRead);
  LoadFromStream(stream);
}

void TGIFSubImage::PreparePackedFields() {
  uint8_t packed = ImageDescriptor.PackedFields & 0x58;  // interlace and reserved bits stay
  if (LocalColorMap->EntryCount > 0) {
    packed |= 0x80;
    if (LocalColorMap->UsageSorted) packed |= 0x20;
    packed |= static_cast<uint8_t>(LocalColorResolution() & 7);
  }
  ImageDescriptor.PackedFields = packed;
}

void TGIFSubImage::SaveToStream(TStream& Stream) {
  ExtensionList->SaveToStream(Stream);
  if (IsEmptyFrame()) return;
  PreparePackedFields();
  uint8_t bytes[TImageDescriptor::WireSize];
  ImageDescriptor.Encode(bytes);
  Stream.WriteBuffer(bytes, sizeof bytes);
  LocalColorMap->WriteEntries(Stream);
  WriteImageData(*this, Stream);
}

// --- rendering state ---

void TGIFSubImage::ReleaseBitmap() { FrameBitmap.reset(); }

void TGIFSubImage::ReleaseMask() {
  if (MaskHandle) {
    platform::DeleteObject(MaskHandle);
    MaskHandle = platform::HBITMAP{};
  }
  MaskStale = true;
}

void TGIFSubImage::SetFramePalette(platform::HPALETTE Handle) {
  if (Handle == PaletteHandle) return;
  if (PaletteHandle) ReleasePalette(PaletteHandle);
  bool dropped = false;
  if (FrameBitmap && FrameBitmap->GetPalette() != Handle) {
    FrameBitmap.reset();
    dropped = true;
  }
  PaletteHandle = Handle;
  if (dropped && OwnerImage != nullptr) {
    OwnerImage->SetPaletteModified(true);
    OwnerImage->Changed(this);
  }
}

platform::HPALETTE TGIFSubImage::FramePalette() {
  if (FrameBitmap && FrameBitmap->GetPalette()) return FrameBitmap->GetPalette();
  if (PaletteHandle) return PaletteHandle;
  if (OwnerImage != nullptr && OwnerImage->UsesWebPalette()) {
    PaletteHandle = WebPaletteHandle();
  } else if (LocalColorMap->EntryCount > 0) {
    PaletteHandle = LocalColorMap->ExportToPalette();
  } else {
    return OwnerImage != nullptr ? OwnerImage->GetPalette() : platform::HPALETTE{};
  }
  return PaletteHandle;
}

}  // namespace gif
