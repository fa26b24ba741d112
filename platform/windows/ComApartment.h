// Internal: the calling thread's COM state, for the runtime's own checks.
#pragma once

#include "platform/windows/win32.h"

namespace vistrel::win32 {

bool comInitializedOnThisThread();

} // namespace vistrel::win32
