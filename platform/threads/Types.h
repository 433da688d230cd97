#pragma once
// The scalar and handle types of the Win32-style thread and message API.
// The widths are those of the system's 32-bit world; WPARAM/LPARAM are wide
// enough to carry a pointer.

#include <cstdint>

namespace platform {

using DWORD = uint32_t;
using UINT = uint32_t;
using LONG = int32_t;
using UINT_PTR = uintptr_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

// Opaque handles: only their identity matters, they are never dereferenced.
using HWND = struct HWND__*;
using HANDLE = struct HANDLE__*;

inline constexpr DWORD INFINITE = 0xFFFFFFFF;

}  // namespace platform
