// The standard handles and whether one of them is a console (a terminal here).
#pragma once

#include "platform/windows/Win32Errors.h"

#define STD_INPUT_HANDLE ((DWORD)-10)
#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define STD_ERROR_HANDLE ((DWORD)-12)

VISTREL_WIN32_API HANDLE GetStdHandle(DWORD nStdHandle);
// Succeeds only for a standard handle that is a terminal, as Windows' fails for a pipe or a file.
VISTREL_WIN32_API BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);
