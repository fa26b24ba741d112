// Critical sections: recursive locks living inside the caller's CRITICAL_SECTION storage.
#include "platform/windows/win32.h"

#include <mutex>
#include <new>

namespace {

using Lock = std::recursive_mutex;
static_assert(sizeof(Lock) <= sizeof(CRITICAL_SECTION::opaque), "lock fits the critical section");
static_assert(alignof(Lock) <= 8, "lock alignment fits the critical section");

Lock *lockOf(LPCRITICAL_SECTION section)
{
    return std::launder(reinterpret_cast<Lock *>(section->opaque));
}

} // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    new (lpCriticalSection->opaque) Lock;
}

BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection, DWORD)
{
    InitializeCriticalSection(lpCriticalSection);
    return TRUE;
}

void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    lockOf(lpCriticalSection)->lock();
}

BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    return lockOf(lpCriticalSection)->try_lock() ? TRUE : FALSE;
}

void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    lockOf(lpCriticalSection)->unlock();
}

void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection)
{
    lockOf(lpCriticalSection)->~Lock();
}
