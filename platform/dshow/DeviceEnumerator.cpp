#include "platform/dshow/DeviceEnumerator.h"

#include "platform/dshow/DeviceMoniker.h"
#include "platform/dshow/FilterData.h"
#include "platform/dshow/RegistryKey.h"
#include "platform/dshow/SnapshotEnumerator.h"

#include <new>

namespace vistrel::dshow {

HRESULT DeviceEnumerator::create(IUnknown *outer, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto *enumerator = new (std::nothrow) DeviceEnumerator();
    if (!enumerator)
        return E_OUTOFMEMORY;
    const HRESULT hr = enumerator->QueryInterface(riid, ppv);
    enumerator->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE DeviceEnumerator::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ICreateDevEnum)
        return E_NOINTERFACE;
    *ppv = static_cast<ICreateDevEnum *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE DeviceEnumerator::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE DeviceEnumerator::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE DeviceEnumerator::CreateClassEnumerator(REFCLSID clsidDeviceClass,
                                                                  IEnumMoniker **ppEnumMoniker, DWORD dwFlags)
{
    if (!ppEnumMoniker)
        return E_POINTER;
    *ppEnumMoniker = nullptr;

    RegistryKey category;
    const LSTATUS opened = category.open(HKEY_CLASSES_ROOT, categoryInstancePath(clsidDeviceClass), KEY_READ);
    if (opened == ERROR_FILE_NOT_FOUND)
        return S_FALSE;
    // Anything else (an unreadable registry) is an error, not an empty category.
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    std::vector<ComPtr<IMoniker>> monikers;
    for (const std::wstring &name : category.subkeyNames()) {
        if (dwFlags & CDEF_MERIT_ABOVE_DO_NOT_USE) {
            RegistryKey entry;
            if (entry.open(category.get(), name, KEY_READ) != ERROR_SUCCESS)
                continue;
            DWORD type = REG_NONE;
            const auto raw = entry.readRaw(L"FilterData", &type);
            RegisteredFilter filter;
            if (!raw || type != REG_BINARY || !decodeFilterData(raw->data(), raw->size(), filter) ||
                filter.merit <= MERIT_DO_NOT_USE)
                continue;
        }
        auto *moniker = new (std::nothrow) DeviceMoniker(clsidDeviceClass, name);
        if (!moniker)
            return E_OUTOFMEMORY;
        monikers.push_back(adoptComPtr<IMoniker>(moniker));
    }
    if (monikers.empty())
        return S_FALSE;
    *ppEnumMoniker = new (std::nothrow) MonikerEnumerator(std::move(monikers));
    return *ppEnumMoniker ? S_OK : E_OUTOFMEMORY;
}

} // namespace vistrel::dshow
