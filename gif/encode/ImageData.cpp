#include "gif/encode/ImageData.h"

#include <memory>

#include "gif/decode/ColorMap.h"
#include "gif/decode/Frame.h"
#include "gif/encode/Encoders.h"
#include "gif/picture/GIFImage.h"

namespace gif {

void WriteImageData(TGIFSubImage& Frame, platform::TStream& Stream) {
  int codeSize = 0;
  int32_t colors = 0;
  if (Frame.LocalColorMap->EntryCount > 0) {
    colors = Frame.LocalColorMap->EntryCount;
    codeSize = Frame.LocalColorMap->BitDepth();
  } else {
    codeSize = Frame.OwnerImage != nullptr ? Frame.OwnerImage->BitDepth() : 0;
    colors = 1 << codeSize;
  }
  const bool rle = Frame.OwnerImage != nullptr && Frame.OwnerImage->EncoderKind == 1;
  std::unique_ptr<TGIFEncoder> encoder;
  if (rle)
    encoder = std::make_unique<TRLEEncoder>();
  else
    encoder = std::make_unique<TLZWEncoder>();
  const TImageDescriptor& d = Frame.ImageDescriptor;
  // Pixels covers the descriptor's size whenever it is set (the frame keeps
  // PixelBytes = width x height); a frame without them writes only the end code.
  const bool sized = Frame.Pixels && Frame.PixelBytes == int32_t(d.ImageWidth) * d.ImageHeight;
  encoder->Encode(Stream, static_cast<uint8_t>(codeSize), d.ImageWidth, d.ImageHeight,
                  (d.PackedFields & 0x40) != 0, sized ? Frame.Pixels.get() : nullptr, colors);
}

}  // namespace gif
