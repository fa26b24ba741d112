// Libraries and modules: loading, symbol lookup, module paths and the DLL entry point's reasons.
#pragma once

#include "platform/windows/Win32Errors.h"

// Windows returns INT_PTR here; the generic function type lets callers cast to the real signature without
// -Wcast-function-type complaints.
typedef void(WINAPI *FARPROC)();

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// A library's own entry point (see DllEntry.h), declared here as windows.h declares it on Windows. It binds
// to the library's own definition and is not exported: several libraries in one process each get their own.
extern "C" __attribute__((visibility("hidden"))) BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason,
                                                                     LPVOID lpvReserved);

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))

VISTREL_WIN32_API HMODULE LoadLibraryA(LPCSTR lpLibFileName);
VISTREL_WIN32_API HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
VISTREL_WIN32_API FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
VISTREL_WIN32_API BOOL FreeLibrary(HMODULE hLibModule);
VISTREL_WIN32_API HMODULE GetModuleHandleA(LPCSTR lpModuleName);
VISTREL_WIN32_API HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
VISTREL_WIN32_API BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE *phModule);
VISTREL_WIN32_API BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE *phModule);
VISTREL_WIN32_API DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
VISTREL_WIN32_API DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
VISTREL_WIN32_API BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

VISTREL_WIN32_API void OutputDebugStringA(LPCSTR lpOutputString);
VISTREL_WIN32_API void OutputDebugStringW(LPCWSTR lpOutputString);

#ifdef UNICODE
#define LoadLibrary LoadLibraryW
#define GetModuleHandle GetModuleHandleW
#define GetModuleHandleEx GetModuleHandleExW
#define GetModuleFileName GetModuleFileNameW
#define OutputDebugString OutputDebugStringW
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#else
#define LoadLibrary LoadLibraryA
#define GetModuleHandle GetModuleHandleA
#define GetModuleHandleEx GetModuleHandleExA
#define GetModuleFileName GetModuleFileNameA
#define OutputDebugString OutputDebugStringA
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#endif
