// Sleep, the performance counter and tick counts, all from the monotonic clock.
#include "platform/windows/win32.h"

#include <chrono>
#include <thread>

namespace {

// Nanoseconds; fine-grained enough for frame time stamps.
constexpr LONGLONG kCounterFrequency = 1000000000LL;

LONGLONG monotonicNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

void Sleep(DWORD dwMilliseconds)
{
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

BOOL QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount)
{
    if (!lpPerformanceCount) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    lpPerformanceCount->QuadPart = monotonicNanoseconds();
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency)
{
    if (!lpFrequency) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    lpFrequency->QuadPart = kCounterFrequency;
    return TRUE;
}

ULONGLONG GetTickCount64()
{
    return ULONGLONG(monotonicNanoseconds() / 1000000);
}

DWORD GetTickCount()
{
    return DWORD(GetTickCount64()); // wraps after 49.7 days, as on Windows
}
