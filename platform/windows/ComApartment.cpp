// Per-thread COM initialisation and task memory.
#include "platform/windows/ComApartment.h"

#include <cstdlib>

namespace {

struct Apartment
{
    int initCount = 0;
    DWORD model = COINIT_MULTITHREADED;
};

thread_local Apartment apartment;

constexpr DWORD kKnownCoInitFlags =
    COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;

} // namespace

namespace vistrel::win32 {

bool comInitializedOnThisThread()
{
    return apartment.initCount > 0;
}

} // namespace vistrel::win32

HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    if (pvReserved || (dwCoInit & ~kKnownCoInitFlags))
        return E_INVALIDARG;
    const DWORD model = dwCoInit & COINIT_APARTMENTTHREADED;
    if (apartment.initCount == 0) {
        apartment.model = model;
        apartment.initCount = 1;
        return S_OK;
    }
    if (apartment.model != model)
        return RPC_E_CHANGED_MODE;
    ++apartment.initCount;
    return S_FALSE;
}

HRESULT CoInitialize(LPVOID pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    if (apartment.initCount > 0)
        --apartment.initCount;
}

LPVOID CoTaskMemAlloc(SIZE_T cb)
{
    // Windows hands out a valid, freeable block for zero bytes.
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb)
{
    if (pv && cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb ? cb : 1);
}

void CoTaskMemFree(LPVOID pv)
{
    std::free(pv);
}
