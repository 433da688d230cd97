#pragma once
// Private to platform/threads: thread ids are ours, not the kernel's, so that
// a TThread knows its id before its thread runs.

#include "platform/threads/Types.h"

namespace platform::detail {

DWORD AllocateThreadId();
// Called first thing in a new thread: GetCurrentThreadId() returns id there.
void AdoptThreadId(DWORD id);

}  // namespace platform::detail
