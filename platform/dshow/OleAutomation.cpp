#include "platform/dshow/dshow.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

// A BSTR's byte count sits in the 32 bits before its first character.
constexpr size_t kPrefix = sizeof(DWORD);
// Keep the characters aligned for wchar_t even though the prefix is only 4 bytes wide.
constexpr size_t kHeader = alignof(OLECHAR) > kPrefix ? alignof(OLECHAR) : kPrefix;

} // namespace

extern "C" {

BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui)
{
    const size_t bytes = static_cast<size_t>(ui) * sizeof(OLECHAR);
    if (bytes > 0x7fffffffu)
        return nullptr;
    auto *block = static_cast<unsigned char *>(std::malloc(kHeader + bytes + sizeof(OLECHAR)));
    if (!block)
        return nullptr;
    BSTR text = reinterpret_cast<BSTR>(block + kHeader);
    const DWORD byteCount = static_cast<DWORD>(bytes);
    std::memcpy(block + kHeader - kPrefix, &byteCount, kPrefix);
    if (strIn)
        std::memcpy(text, strIn, bytes);
    else
        std::memset(text, 0, bytes);
    text[ui] = 0;
    return text;
}

BSTR SysAllocString(const OLECHAR *psz)
{
    if (!psz)
        return nullptr;
    return SysAllocStringLen(psz, static_cast<UINT>(std::wcslen(psz)));
}

void SysFreeString(BSTR bstrString)
{
    if (bstrString)
        std::free(reinterpret_cast<unsigned char *>(bstrString) - kHeader);
}

UINT SysStringLen(BSTR pbstr)
{
    if (!pbstr)
        return 0;
    DWORD byteCount = 0;
    std::memcpy(&byteCount, reinterpret_cast<unsigned char *>(pbstr) - kPrefix, kPrefix);
    return byteCount / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG *pvarg)
{
    if (!pvarg)
        return;
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG *pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    switch (pvarg->vt) {
    case VT_BSTR:
        SysFreeString(pvarg->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        if (pvarg->punkVal)
            pvarg->punkVal->Release();
        break;
    default:
        break;
    }
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

} // extern "C"
