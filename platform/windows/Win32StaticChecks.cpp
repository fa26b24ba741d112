// Windows' widths and layouts, which structures shared with other code depend on.
#include "platform/windows/win32.h"

static_assert(sizeof(BYTE) == 1, "BYTE is 8-bit");
static_assert(sizeof(WORD) == 2, "WORD is 16-bit");
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(LONG) == 4, "LONG, ULONG, DWORD are 32-bit");
static_assert(sizeof(HRESULT) == 4, "HRESULT is 32-bit");
static_assert(sizeof(BOOL) == 4 && sizeof(UINT) == 4 && sizeof(INT) == 4, "BOOL, UINT, INT are 32-bit");
static_assert(sizeof(LONGLONG) == 8 && sizeof(ULONGLONG) == 8, "LONGLONG is 64-bit");
static_assert(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER is 64-bit");
static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");
static_assert(sizeof(FILETIME) == 8, "FILETIME is 8 bytes");
static_assert(sizeof(RECT) == 16, "RECT is 16 bytes");
static_assert(sizeof(HANDLE) == sizeof(void *) && sizeof(SIZE_T) == sizeof(void *), "pointer-sized types");
static_assert(static_cast<LONG>(0x80000000u) < 0, "HRESULT failure codes are negative");
static_assert(FAILED(E_FAIL) && SUCCEEDED(S_FALSE), "HRESULT tests");
static_assert(MAKE_HRESULT(1, FACILITY_WIN32, 0x490) == E_PROP_ID_UNSUPPORTED, "HRESULT composition");
static_assert(KEY_READ == 0x20019 && KEY_WRITE == 0x20006 && KEY_ALL_ACCESS == 0xF003F,
              "registry access masks");
static_assert(HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) == (HRESULT)0x8007007EL &&
                  HRESULT_FROM_WIN32(ERROR_SUCCESS) == S_OK,
              "Win32 errors as HRESULTs");
