#include "platform/dshow/PropertyBag.h"

#include "platform/dshow/RegistryKey.h"

#include <cstring>

namespace vistrel::dshow {

PropertyBag::PropertyBag(std::wstring keyPath) : m_keyPath(std::move(keyPath)) {}

HRESULT STDMETHODCALLTYPE PropertyBag::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPropertyBag)
        return E_NOINTERFACE;
    *ppv = static_cast<IPropertyBag *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE PropertyBag::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE PropertyBag::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE PropertyBag::Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    RegistryKey key;
    const LSTATUS opened = key.open(HKEY_CLASSES_ROOT, m_keyPath, KEY_READ);
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    DWORD type = REG_NONE;
    const std::optional<std::vector<BYTE>> raw = key.readRaw(pszPropName, &type);
    if (!raw)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        const std::optional<std::wstring> text = key.readString(pszPropName);
        BSTR value = SysAllocStringLen(text->c_str(), static_cast<UINT>(text->size()));
        if (!value)
            return E_OUTOFMEMORY;
        // The caller's variant is replaced: whatever it held before is its own to have cleared.
        VariantInit(pVar);
        pVar->vt = VT_BSTR;
        pVar->bstrVal = value;
        return S_OK;
    }
    if (type == REG_DWORD && raw->size() == sizeof(DWORD)) {
        VariantInit(pVar);
        pVar->vt = VT_I4;
        std::memcpy(&pVar->lVal, raw->data(), sizeof(DWORD));
        return S_OK;
    }
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE PropertyBag::Write(LPCOLESTR pszPropName, VARIANT *pVar)
{
    if (!pszPropName || !pVar)
        return E_POINTER;
    if (pVar->vt != VT_BSTR && pVar->vt != VT_I4)
        return E_INVALIDARG;
    RegistryKey key;
    LSTATUS status = key.open(HKEY_CLASSES_ROOT, m_keyPath, KEY_READ | KEY_WRITE);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);
    if (pVar->vt == VT_BSTR)
        status = key.setString(pszPropName, pVar->bstrVal ? std::wstring(pVar->bstrVal) : std::wstring());
    else
        status = key.setDword(pszPropName, static_cast<DWORD>(pVar->lVal));
    return HRESULT_FROM_WIN32(status);
}

} // namespace vistrel::dshow
