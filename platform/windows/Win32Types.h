// Windows' basic types with Windows' widths: LONG, ULONG and DWORD stay 32-bit where long is 64-bit.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define CALLBACK
#define APIENTRY
#define WINAPIV
#define CONST const
#define VOID void

#define VISTREL_WIN32_API extern "C" __attribute__((visibility("default")))

typedef int BOOL;
typedef BOOL *PBOOL, *LPBOOL;
typedef unsigned char BYTE, UCHAR, BOOLEAN;
typedef BYTE *PBYTE, *LPBYTE;
typedef unsigned short WORD, USHORT;
typedef WORD *PWORD, *LPWORD;
typedef short SHORT;
typedef int INT;
typedef unsigned int UINT;
typedef UINT *PUINT;
typedef int32_t LONG;
typedef uint32_t ULONG, DWORD;
typedef LONG *PLONG, *LPLONG;
typedef ULONG *PULONG;
typedef DWORD *PDWORD, *LPDWORD;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG, DWORDLONG;
typedef LONGLONG INT64, LONG64;
typedef ULONGLONG UINT64, ULONG64, DWORD64;
typedef int32_t INT32;
typedef uint32_t UINT32;
typedef int16_t INT16;
typedef uint16_t UINT16;
typedef int8_t INT8;
typedef uint8_t UINT8;
typedef float FLOAT;
typedef double DOUBLE;

typedef intptr_t INT_PTR, LONG_PTR, SSIZE_T;
typedef uintptr_t UINT_PTR, ULONG_PTR, DWORD_PTR, SIZE_T;
typedef SIZE_T *PSIZE_T;
typedef ULONG_PTR *PULONG_PTR;

typedef void *PVOID, *LPVOID;
typedef const void *LPCVOID;

typedef char CHAR, CCHAR;
typedef CHAR *PCHAR, *LPSTR, *PSTR;
typedef const CHAR *LPCSTR, *PCSTR, *LPCCH, *PCCH;
typedef wchar_t WCHAR;
typedef WCHAR *PWCHAR, *LPWSTR, *PWSTR, *LPWCH;
typedef const WCHAR *LPCWSTR, *PCWSTR, *LPCWCH, *PCWCH;
typedef WCHAR OLECHAR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;
#ifdef UNICODE
typedef WCHAR TCHAR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;
#define TEXT(s) L##s
#else
typedef char TCHAR;
typedef LPSTR LPTSTR;
typedef LPCSTR LPCTSTR;
#define TEXT(s) s
#endif

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#ifndef NULL
#define NULL 0
#endif

#define MAX_PATH 260

// Handles are distinct pointer types, as with STRICT on Windows.
typedef void *HANDLE;
typedef HANDLE *PHANDLE, *LPHANDLE;
#define VISTREL_DECLARE_HANDLE(name)                                                                         \
    struct name##__                                                                                          \
    {                                                                                                        \
        int unused;                                                                                          \
    };                                                                                                       \
    typedef struct name##__ *name
VISTREL_DECLARE_HANDLE(HINSTANCE);
VISTREL_DECLARE_HANDLE(HKEY);
VISTREL_DECLARE_HANDLE(HWND);
typedef HINSTANCE HMODULE;
typedef HKEY *PHKEY;

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)

typedef union _LARGE_INTEGER {
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    };
    struct
    {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef union _ULARGE_INTEGER {
    struct
    {
        DWORD LowPart;
        DWORD HighPart;
    };
    struct
    {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;

typedef struct _FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
} FILETIME, *PFILETIME, *LPFILETIME;

typedef struct _SECURITY_ATTRIBUTES
{
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct tagRECT
{
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *PRECT, *LPRECT;
typedef const RECT *LPCRECT;

typedef struct tagPOINT
{
    LONG x;
    LONG y;
} POINT, *PPOINT, *LPPOINT;

typedef struct tagSIZE
{
    LONG cx;
    LONG cy;
} SIZE, *PSIZE, *LPSIZE;

#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
#define MAKELONG(a, b)                                                                                       \
    ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))
