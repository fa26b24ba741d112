// The standard handles are pseudo handles naming the process's file descriptors 0 to 2; they are not kernel
// objects and need no closing, as on Windows.
#include "platform/windows/win32.h"

#include <unistd.h>

namespace {

// Distinct addresses that no kernel object handle can take.
char standardHandles[3];

int descriptorOf(HANDLE handle)
{
    for (int fd = 0; fd < 3; ++fd) {
        if (handle == &standardHandles[fd])
            return fd;
    }
    return -1;
}

} // namespace

HANDLE GetStdHandle(DWORD nStdHandle)
{
    switch (nStdHandle) {
    case STD_INPUT_HANDLE:
        return &standardHandles[0];
    case STD_OUTPUT_HANDLE:
        return &standardHandles[1];
    case STD_ERROR_HANDLE:
        return &standardHandles[2];
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode)
{
    const int fd = descriptorOf(hConsoleHandle);
    if (fd < 0 || !lpMode || isatty(fd) != 1) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Processed input and output, as a console starts.
    *lpMode = fd == 0 ? 0x1f7 : 0x3;
    return TRUE;
}
