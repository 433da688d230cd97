#include "platform/ui/Backend.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ui/headless/HeadlessBackend.h"
#include "platform/ui/x11/X11Backend.h"

namespace platform {

namespace {

std::unique_ptr<TWindowBackend>& Current() {
  static std::unique_ptr<TWindowBackend> backend;
  return backend;
}

// Desktop windows are told apart from our own handles by a tag bit that no
// handle of the message layer carries.
constexpr uintptr_t kForeignTag = uintptr_t(1) << 62;

}  // namespace

TWindowBackend& Backend() {
  auto& backend = Current();
  if (!backend) {
    const char* choice = std::getenv("PELLISTO_BACKEND");
    if (choice && std::strcmp(choice, "headless") == 0) {
      backend = std::make_unique<THeadlessBackend>();
    } else {
      std::string error;
      backend = CreateX11Backend(nullptr, error);
      if (!backend) {
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, error.c_str());
        std::exit(1);
      }
    }
  }
  return *backend;
}

bool HasBackend() { return Current() != nullptr; }

void SetBackend(std::unique_ptr<TWindowBackend> backend) { Current() = std::move(backend); }

void ResetBackend() { Current().reset(); }

HWND ForeignWindowHandle(uint64_t native) {
  return native ? reinterpret_cast<HWND>(kForeignTag | static_cast<uintptr_t>(native)) : nullptr;
}

bool IsForeignWindowHandle(HWND window) {
  return (reinterpret_cast<uintptr_t>(window) & kForeignTag) != 0;
}

uint64_t ForeignWindowNative(HWND window) {
  return IsForeignWindowHandle(window) ? (reinterpret_cast<uintptr_t>(window) & ~kForeignTag) : 0;
}

}  // namespace platform
