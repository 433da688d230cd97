// Any byte string either loads as a GIF picture whose frames hold exactly
// their described pixels, or raises an exception of the platform family;
// nothing else may happen.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "gif/picture/GIFImage.h"
#include "platform/rtl/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  // Keep single runs small; the limit itself is what is being exercised.
  gif::MaxPicturePixels = int64_t{1} << 24;
  platform::TMemoryStream stream;
  stream.Write(Data, static_cast<int32_t>(Size));
  stream.SetPosition(0);
  gif::TGIFImage image;
  int warnings = 0;
  image.WarningHandler = [&](platform::TObject*, uint8_t, const std::string&) { ++warnings; };
  try {
    image.LoadFromStream(stream);
  } catch (const platform::Exception&) {
  }
  for (int i = 0; i < image.Frames->ItemCount(); ++i) {
    const gif::TGIFSubImage& f = *image.Frames->FrameAt(i);
    if (f.Pixels && f.PixelBytes != int32_t{f.ImageDescriptor.ImageWidth} * f.ImageDescriptor.ImageHeight) std::abort();
    if (f.HasTransparency && f.ControlExtension == nullptr) std::abort();
  }
  return 0;
}
