// Any byte string either reads as a bitmap whose pixel store matches its
// size, or raises EInvalidGraphic; nothing else may happen.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/graphics/BmpCodec.h"
#include "platform/rtl/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  platform::TMemoryStream stream;
  stream.Write(Data, static_cast<int32_t>(Size));
  stream.SetPosition(0);
  try {
    const platform::TDibImage image = platform::ReadBmp(stream);
    if (image.Pixels.size() != image.RowBytes() * static_cast<size_t>(image.Height)) std::abort();
    platform::TMemoryStream out;
    platform::WriteBmp(image, out);
  } catch (const platform::EInvalidGraphic&) {
  }
  try {
    platform::ReadDib(Data, Size, 2);
  } catch (const platform::EInvalidGraphic&) {
  }
  return 0;
}
