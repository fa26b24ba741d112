// Threads, the last-error value, sleeping and clocks.
#pragma once

#include "platform/windows/Win32Errors.h"

typedef DWORD(WINAPI *PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

#define CREATE_SUSPENDED 0x00000004
#define STILL_ACTIVE 259L
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7fffffff

VISTREL_WIN32_API HANDLE CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId);
VISTREL_WIN32_API DWORD ResumeThread(HANDLE hThread);
VISTREL_WIN32_API BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode);
VISTREL_WIN32_API DWORD GetCurrentThreadId();
VISTREL_WIN32_API DWORD GetThreadId(HANDLE Thread);
VISTREL_WIN32_API BOOL SetThreadPriority(HANDLE hThread, int nPriority);
VISTREL_WIN32_API int GetThreadPriority(HANDLE hThread);
VISTREL_WIN32_API DWORD GetCurrentProcessId();

VISTREL_WIN32_API DWORD GetLastError();
VISTREL_WIN32_API void SetLastError(DWORD dwErrCode);

VISTREL_WIN32_API void Sleep(DWORD dwMilliseconds);
VISTREL_WIN32_API BOOL QueryPerformanceCounter(LARGE_INTEGER *lpPerformanceCount);
VISTREL_WIN32_API BOOL QueryPerformanceFrequency(LARGE_INTEGER *lpFrequency);
VISTREL_WIN32_API DWORD GetTickCount();
VISTREL_WIN32_API ULONGLONG GetTickCount64();
