// Settings text and integer parsing must take any bytes without faults.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/rtl/IniFiles.h"
#include "platform/rtl/SysUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const char* key : {"label", "labelcolor", "buttonheight", ""}) {
    const std::string value = platform::ProfileStringFromText(text, "kelvane1", key, "dflt", 1024);
    if (value.size() > 1023) __builtin_trap();
  }
  int32_t value = 0;
  (void)platform::TryStrToInt(text.substr(0, 64), value);
  return 0;
}
