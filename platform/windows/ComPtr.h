// An owning COM interface pointer for code on both platforms: on Windows the system's own
// (Microsoft::WRL::ComPtr), elsewhere ours with the same names. Code uses only what both offer:
// construction from a raw pointer (adds a reference), copy, move, assignment, Get, operator->, a test
// for null, GetAddressOf, ReleaseAndGetAddressOf, Detach, Reset, Swap and the two CopyTo forms.
// Not Attach: mingw-w64's adds a reference where Microsoft's does not; adoptComPtr below stands in. Nor
// does code count on move assignment emptying its source: mingw-w64's copies (the source keeps its
// pointer and reference); Swap or Reset empty it on both.
#pragma once

#include "platform/windows/win32.h"

#ifdef _WIN32
#include <wrl/client.h>
using Microsoft::WRL::ComPtr;
#else
#include "platform/windows/Win32ComPtr.h"
#endif

// Takes over a reference the caller already owns.
template <class T> ComPtr<T> adoptComPtr(T *p)
{
    ComPtr<T> result;
    *result.ReleaseAndGetAddressOf() = p;
    return result;
}

// The pointer's slot as the void ** out-parameter of QueryInterface and CoCreateInstance; what it held is
// released first.
template <class T> void **comOutput(ComPtr<T> &p)
{
    return reinterpret_cast<void **>(p.ReleaseAndGetAddressOf());
}

// The object's interface `iid` as a new pointer; null when `p` is null or the object has no such interface.
template <class U, class T> ComPtr<U> queryComPtr(const ComPtr<T> &p, REFIID iid)
{
    ComPtr<U> result;
    if (p)
        p.CopyTo(iid, comOutput(result));
    return result;
}
