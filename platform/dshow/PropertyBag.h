// The property bag of a device moniker: the values of the device's registry entry. Strings are read as
// VT_BSTR and 32-bit numbers as VT_I4; binary values (FilterData) are not offered, as SAFEARRAY is not
// available here, and answer E_NOTIMPL.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

#include <string>

namespace vistrel::dshow {

class PropertyBag final : public IPropertyBag, private LiveObject
{
public:
    explicit PropertyBag(std::wstring keyPath);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR pszPropName, VARIANT *pVar, IErrorLog *pErrorLog) override;
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR pszPropName, VARIANT *pVar) override;

private:
    RefCount m_refs;
    const std::wstring m_keyPath;
};

} // namespace vistrel::dshow
