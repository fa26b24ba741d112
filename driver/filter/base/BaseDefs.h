// Small helpers shared by the filter framework classes.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/win32.h"

// Early return for a null argument; every COM method starts its ladder with these.
#define CheckPointer(p, ret)                                                                                 \
    {                                                                                                        \
        if ((p) == NULL)                                                                                     \
            return (ret);                                                                                    \
    }

// Pointer validation is left to the pointer checks above; these exist for code written with them.
#define ValidateReadPtr(p, cb) ((void)0)
#define ValidateWritePtr(p, cb) ((void)0)
#define ValidateReadWritePtr(p, cb) ((void)0)

// Object names are a debugging aid only; release builds carry none.
#define NAME(_x_) ((LPCTSTR)NULL)

// The longest stream time there is.
#define MAX_TIME 0x7FFFFFFFFFFFFFFFLL

// A Win32 error code as a failure HRESULT (0x80070000 combined with the code).
inline HRESULT AmHresultFromWin32(DWORD error)
{
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, error);
}

// A copy of `source` in COM task memory for the caller to free with CoTaskMemFree. E_POINTER for a null
// out-parameter, E_OUTOFMEMORY when nothing could be allocated.
HRESULT AMGetWideString(LPCWSTR source, LPWSTR *ppDestination);
