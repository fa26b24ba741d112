// Code-page conversion and the wide-string helpers of the Windows API.
#pragma once

#include "platform/windows/Win32Errors.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

VISTREL_WIN32_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar);
VISTREL_WIN32_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar);

VISTREL_WIN32_API int lstrlenA(LPCSTR lpString);
VISTREL_WIN32_API int lstrlenW(LPCWSTR lpString);
VISTREL_WIN32_API LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2);
VISTREL_WIN32_API LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);
VISTREL_WIN32_API int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
VISTREL_WIN32_API int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);

#ifdef UNICODE
#define lstrlen lstrlenW
#define lstrcpy lstrcpyW
#define lstrcpyn lstrcpynW
#define lstrcmp lstrcmpW
#define lstrcmpi lstrcmpiW
#else
#define lstrlen lstrlenA
#endif
