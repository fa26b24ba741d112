#include "driver/filter/base/BaseDefs.h"

#include <cstring>
#include <cwchar>

HRESULT AMGetWideString(LPCWSTR source, LPWSTR *ppDestination)
{
    CheckPointer(ppDestination, E_POINTER);
    *ppDestination = NULL;
    CheckPointer(source, E_POINTER);
    const size_t bytes = (std::wcslen(source) + 1) * sizeof(WCHAR);
    LPWSTR copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy == NULL)
        return E_OUTOFMEMORY;
    std::memcpy(copy, source, bytes);
    *ppDestination = copy;
    return S_OK;
}
