#include "platform/graphics/Metafile.h"
#include "tests/fuzz/PictureFuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  platform::TMetafile metafile;
  fuzz::LoadAndDraw(metafile, Data, Size);
  return 0;
}
