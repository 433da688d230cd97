// The picture on the clipboard: copying offers a rendered bitmap (the form
// the caller puts on the clipboard) and the GIF bytes under "GIF Image";
// pasting prefers "GIF Image" and otherwise takes the bitmap form.

#include <new>
#include <vector>

#include "gif/picture/GIFImage.h"
#include "gif/picture/Settings.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Clipboard.h"
#include "platform/rtl/Streams.h"

namespace gif {

namespace {
// Registered at module start-up; a picture used before that registers it
// here (the same name always gives the same number).
uint16_t GIFFormat() {
  return GIFClipboardFormat != 0 ? GIFClipboardFormat : platform::RegisterClipboardFormat("GIF Image");
}
}  // namespace

void TGIFImage::LoadFromClipboardFormat(uint16_t Format, const std::vector<uint8_t>& Data,
                                        platform::HPALETTE Palette) {
  // "GIF Image" wins whatever Format says.
  std::vector<uint8_t> bytes;
  if (platform::GetClipboardData(GIFFormat(), bytes)) {
    platform::TMemoryStream stream;
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    stream.SetPosition(0);
    LoadFromStream(stream);
    return;
  }
  platform::TBitmap bitmap;
  bitmap.LoadFromClipboardFormat(Format, Data, Palette);
  Assign(&bitmap);
}

void TGIFImage::SaveToClipboardFormat(uint16_t& Format, std::vector<uint8_t>& Data, platform::HPALETTE& Palette) {
  if (GetEmpty()) return;  // an empty picture copies nothing
  RenderedBitmap()->SaveToClipboardFormat(Format, Data, Palette);

  platform::TMemoryStream stream;
  SaveToStream(stream);
  std::vector<uint8_t> block;
  try {
    block.assign(stream.Memory(), stream.Memory() + stream.Size());
  } catch (const std::bad_alloc&) {
    return;  // no memory for the GIF form: the bitmap alone goes on the clipboard
  }
  platform::SetClipboardData(GIFFormat(), std::move(block));
}

}  // namespace gif
