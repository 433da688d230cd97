#include "platform/shell/WindowServices.h"

#include "platform/ui/Backend.h"

namespace platform {

HWND FindWindow(const char* className, const char* windowName) {
  return Backend().FindWindow(className, windowName);
}

bool IsIconic(HWND window) { return window && Backend().IsIconic(window); }

bool ShowWindow(HWND window, int showCmd) { return window && Backend().ShowWindow(window, showCmd); }

bool BringWindowToTop(HWND window) { return window && Backend().BringWindowToTop(window); }

bool SetForegroundWindow(HWND window) { return window && Backend().SetForegroundWindow(window); }

}  // namespace platform
