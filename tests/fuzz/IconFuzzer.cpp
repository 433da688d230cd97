#include "platform/graphics/Icon.h"
#include "tests/fuzz/PictureFuzzer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  platform::TIcon icon;
  fuzz::LoadAndDraw(icon, Data, Size);
  return 0;
}
