#pragma once
// The X11 window backend: one X window per form, the application's hidden
// owner window, other programs' windows through EWMH, and the CLIPBOARD
// selection.

#include <memory>
#include <string>

#include "platform/ui/Backend.h"

namespace platform {

// nullptr and error set when the display cannot be opened; DisplayName
// nullptr means $DISPLAY.
std::unique_ptr<TWindowBackend> CreateX11Backend(const char* DisplayName, std::string& Error);

// The X selection target that carries a clipboard format: "image/gif" for
// "GIF Image", "image/bmp" for bitmaps, UTF8_STRING for text, else the
// format's registered name.
std::string ClipboardTarget(uint16_t Format);

}  // namespace platform
