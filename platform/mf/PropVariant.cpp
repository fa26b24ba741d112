// PROPVARIANT's copy and release for the types attribute stores and events carry. Strings, GUIDs and byte
// vectors live in COM task memory, as on Windows, so that callers may free what they are handed.
#include "platform/mf/mfidl.h"

#include <cstring>
#include <cwchar>

namespace {

template <class T> T *taskMemCopy(const T *source, size_t count)
{
    auto *copy = static_cast<T *>(CoTaskMemAlloc(count == 0 ? 1 : count * sizeof(T)));
    if (copy != nullptr && count != 0)
        std::memcpy(copy, source, count * sizeof(T));
    return copy;
}

// The types whose value sits in the PROPVARIANT itself: nothing to copy or free beside it.
bool holdsValueInPlace(VARTYPE vt)
{
    switch (vt) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_ERROR:
    case VT_FILETIME:
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT PropVariantClear(PROPVARIANT *pvar)
{
    if (pvar == nullptr)
        return S_OK;
    switch (pvar->vt) {
    case VT_LPWSTR:
        CoTaskMemFree(pvar->pwszVal);
        break;
    case VT_LPSTR:
        CoTaskMemFree(pvar->pszVal);
        break;
    case VT_CLSID:
        CoTaskMemFree(pvar->puuid);
        break;
    case VT_BLOB:
        CoTaskMemFree(pvar->blob.pBlobData);
        break;
    case VT_VECTOR | VT_UI1:
        CoTaskMemFree(pvar->caub.pElems);
        break;
    case VT_UNKNOWN:
        if (pvar->punkVal != nullptr)
            pvar->punkVal->Release();
        break;
    default:
        if (!holdsValueInPlace(pvar->vt))
            return DISP_E_BADVARTYPE;
        break;
    }
    PropVariantInit(pvar);
    return S_OK;
}

HRESULT PropVariantCopy(PROPVARIANT *pvarDest, const PROPVARIANT *pvarSrc)
{
    if (pvarDest == nullptr || pvarSrc == nullptr)
        return E_INVALIDARG;
    PROPVARIANT copy = *pvarSrc;
    switch (pvarSrc->vt) {
    case VT_LPWSTR:
        if (pvarSrc->pwszVal != nullptr) {
            copy.pwszVal = taskMemCopy(pvarSrc->pwszVal, std::wcslen(pvarSrc->pwszVal) + 1);
            if (copy.pwszVal == nullptr)
                return E_OUTOFMEMORY;
        }
        break;
    case VT_LPSTR:
        if (pvarSrc->pszVal != nullptr) {
            copy.pszVal = taskMemCopy(pvarSrc->pszVal, std::strlen(pvarSrc->pszVal) + 1);
            if (copy.pszVal == nullptr)
                return E_OUTOFMEMORY;
        }
        break;
    case VT_CLSID:
        if (pvarSrc->puuid != nullptr) {
            copy.puuid = taskMemCopy(pvarSrc->puuid, 1);
            if (copy.puuid == nullptr)
                return E_OUTOFMEMORY;
        }
        break;
    case VT_BLOB:
        copy.blob.pBlobData = taskMemCopy(pvarSrc->blob.pBlobData, pvarSrc->blob.cbSize);
        if (copy.blob.pBlobData == nullptr)
            return E_OUTOFMEMORY;
        break;
    case VT_VECTOR | VT_UI1:
        copy.caub.pElems = taskMemCopy(pvarSrc->caub.pElems, pvarSrc->caub.cElems);
        if (copy.caub.pElems == nullptr)
            return E_OUTOFMEMORY;
        break;
    case VT_UNKNOWN:
        if (pvarSrc->punkVal != nullptr)
            pvarSrc->punkVal->AddRef();
        break;
    default:
        if (!holdsValueInPlace(pvarSrc->vt))
            return DISP_E_BADVARTYPE;
        break;
    }
    *pvarDest = copy;
    return S_OK;
}
