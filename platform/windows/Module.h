// Internal: module handles are the load addresses of ELF objects, as HMODULEs are of PE images.
#pragma once

#include "platform/windows/win32.h"

#include <string>

namespace vistrel::win32 {

std::string wideToUtf8(LPCWSTR text);
std::wstring utf8ToWide(const std::string &text);

// The module containing `address`, or null.
HMODULE moduleFromAddress(const void *address);

} // namespace vistrel::win32
