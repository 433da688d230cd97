#pragma once
// Top-level windows of any program on the desktop: find one by class name
// and caption, and restore, raise and activate it. They act through the
// window backend in use (X11: EWMH requests and our own client messages to
// another Pellisto application's owner window).

#include "platform/shell/Shell.h"  // the SW_ show commands
#include "platform/threads/Types.h"

namespace platform {

// The topmost window whose class name matches ClassName (letter case
// ignored) and whose caption is exactly WindowName; a null argument
// matches any. nullptr when there is none.
HWND FindWindow(const char* ClassName, const char* WindowName);
// For an application's owner window these speak of its main window.
bool IsIconic(HWND Window);
// Returns whether the window was visible before.
bool ShowWindow(HWND Window, int ShowCmd);
bool BringWindowToTop(HWND Window);
bool SetForegroundWindow(HWND Window);

}  // namespace platform
