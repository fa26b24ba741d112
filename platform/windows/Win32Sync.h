// Critical sections, events, semaphores, waits and interlocked arithmetic.
#pragma once

#include "platform/windows/Win32Errors.h"

// Opaque storage for a recursive lock; the layout is ours, only the API is Windows'.
typedef struct _RTL_CRITICAL_SECTION
{
    alignas(8) unsigned char opaque[48];
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

VISTREL_WIN32_API void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VISTREL_WIN32_API BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION lpCriticalSection,
                                                             DWORD dwSpinCount);
VISTREL_WIN32_API void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VISTREL_WIN32_API BOOL TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VISTREL_WIN32_API void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
VISTREL_WIN32_API void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

#define INFINITE 0xFFFFFFFF
#define WAIT_OBJECT_0 0x00000000L
#define WAIT_ABANDONED 0x00000080L
#define WAIT_ABANDONED_0 0x00000080L
#define WAIT_TIMEOUT 258L
#define WAIT_FAILED ((DWORD)0xFFFFFFFF)
#define MAXIMUM_WAIT_OBJECTS 64

VISTREL_WIN32_API HANDLE CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCWSTR lpName);
VISTREL_WIN32_API HANDLE CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCSTR lpName);
VISTREL_WIN32_API BOOL SetEvent(HANDLE hEvent);
VISTREL_WIN32_API BOOL ResetEvent(HANDLE hEvent);

VISTREL_WIN32_API HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                                          LONG lMaximumCount, LPCWSTR lpName);
VISTREL_WIN32_API HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES lpSemaphoreAttributes, LONG lInitialCount,
                                          LONG lMaximumCount, LPCSTR lpName);
VISTREL_WIN32_API BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount);

VISTREL_WIN32_API DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
VISTREL_WIN32_API DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll,
                                               DWORD dwMilliseconds);
VISTREL_WIN32_API BOOL CloseHandle(HANDLE hObject);

#ifdef UNICODE
#define CreateEvent CreateEventW
#define CreateSemaphore CreateSemaphoreW
#else
#define CreateEvent CreateEventA
#define CreateSemaphore CreateSemaphoreA
#endif

// Full barriers, as Windows' interlocked operations are.
inline LONG InterlockedIncrement(LONG volatile *addend)
{
    return __atomic_add_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile *addend)
{
    return __atomic_sub_fetch(addend, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchange(LONG volatile *target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile *addend, LONG value)
{
    return __atomic_fetch_add(addend, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile *destination, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(destination, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile *target, PVOID value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
