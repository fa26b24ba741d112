#include "platform/dshow/FilterMapper.h"

#include "platform/dshow/DeviceMoniker.h"
#include "platform/dshow/FilterData.h"
#include "platform/dshow/RegistryKey.h"

#include <new>

namespace vistrel::dshow {

namespace {

std::wstring instanceName(LPCOLESTR szInstance, REFCLSID filter)
{
    return szInstance && *szInstance ? std::wstring(szInstance) : guidString(filter);
}

// Instance names become one registry key name: no path separators, nothing empty.
bool isValidKeyName(const std::wstring &name)
{
    return !name.empty() && name.size() < 256 && name.find(L'\\') == std::wstring::npos;
}

} // namespace

HRESULT FilterMapper::create(IUnknown *outer, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto *mapper = new (std::nothrow) FilterMapper();
    if (!mapper)
        return E_OUTOFMEMORY;
    const HRESULT hr = mapper->QueryInterface(riid, ppv);
    mapper->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE FilterMapper::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IFilterMapper2)
        return E_NOINTERFACE;
    *ppv = static_cast<IFilterMapper2 *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FilterMapper::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE FilterMapper::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE FilterMapper::CreateCategory(REFCLSID, DWORD, LPCWSTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterMapper::UnregisterFilter(const CLSID *pclsidCategory, LPCOLESTR szInstance,
                                                         REFCLSID Filter)
{
    const CLSID &category = pclsidCategory ? *pclsidCategory : CLSID_LegacyAmFilterCategory;
    const std::wstring name = instanceName(szInstance, Filter);
    if (!isValidKeyName(name))
        return E_INVALIDARG;
    const std::wstring path = categoryInstancePath(category) + L"\\" + name;
    RegistryKey existing;
    const LSTATUS opened = existing.open(HKEY_CLASSES_ROOT, path, KEY_READ);
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    existing = RegistryKey();
    const LSTATUS deleted = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    if (deleted != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(deleted);
    // Whether the tree removal took the key itself depends on the registry implementation; make sure.
    const LSTATUS removed = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(removed);
}

HRESULT STDMETHODCALLTYPE FilterMapper::RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name,
                                                       IMoniker **ppMoniker, const CLSID *pclsidCategory,
                                                       LPCOLESTR szInstance, const REGFILTER2 *prf2)
{
    if (!Name || !prf2)
        return E_POINTER;
    if (ppMoniker && *ppMoniker)
        return E_NOTIMPL;
    const CLSID &category = pclsidCategory ? *pclsidCategory : CLSID_LegacyAmFilterCategory;
    const std::wstring name = instanceName(szInstance, clsidFilter);
    if (!isValidKeyName(name))
        return E_INVALIDARG;

    std::vector<BYTE> filterData;
    const HRESULT encoded = encodeFilterData(*prf2, filterData);
    if (FAILED(encoded))
        return encoded;

    RegistryKey entry;
    LSTATUS status = entry.create(HKEY_CLASSES_ROOT, categoryInstancePath(category) + L"\\" + name);
    if (status == ERROR_SUCCESS)
        status = entry.setString(L"FriendlyName", Name);
    if (status == ERROR_SUCCESS)
        status = entry.setString(L"CLSID", guidString(clsidFilter));
    if (status == ERROR_SUCCESS)
        status = entry.setBinary(L"FilterData", filterData);
    if (status != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(status);

    if (ppMoniker) {
        *ppMoniker = new (std::nothrow) DeviceMoniker(category, name);
        if (!*ppMoniker)
            return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterMapper::EnumMatchingFilters(IEnumMoniker **ppEnum, DWORD, BOOL, DWORD, BOOL,
                                                            DWORD, const GUID *, const REGPINMEDIUM *,
                                                            const CLSID *, BOOL, BOOL, DWORD, const GUID *,
                                                            const REGPINMEDIUM *, const CLSID *)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

} // namespace vistrel::dshow
