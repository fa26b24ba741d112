// The system's filter mapper (CLSID_FilterMapper2), for registering filters in a category:
// HKEY_CLASSES_ROOT\CLSID\{category}\Instance\{instance} with "FriendlyName", "CLSID" and "FilterData"
// (see FilterData.h). Categories are not created and filters are not matched here: CreateCategory and
// EnumMatchingFilters answer E_NOTIMPL.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

namespace vistrel::dshow {

class FilterMapper final : public IFilterMapper2, private LiveObject
{
public:
    static HRESULT create(IUnknown *outer, REFIID riid, void **ppv);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE CreateCategory(REFCLSID clsidCategory, DWORD dwCategoryMerit,
                                             LPCWSTR Description) override;
    // Removes the entry; HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is none. A null category means
    // the legacy DirectShow filter category, and a null instance name the filter's CLSID, as on Windows.
    HRESULT STDMETHODCALLTYPE UnregisterFilter(const CLSID *pclsidCategory, LPCOLESTR szInstance,
                                               REFCLSID Filter) override;
    // Writes (or rewrites) the entry. When ppMoniker is given, it receives a moniker for the entry; placing
    // the entry at a moniker passed in is not supported (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE RegisterFilter(REFCLSID clsidFilter, LPCWSTR Name, IMoniker **ppMoniker,
                                             const CLSID *pclsidCategory, LPCOLESTR szInstance,
                                             const REGFILTER2 *prf2) override;
    HRESULT STDMETHODCALLTYPE EnumMatchingFilters(IEnumMoniker **ppEnum, DWORD dwFlags, BOOL bExactMatch,
                                                  DWORD dwMerit, BOOL bInputNeeded, DWORD cInputTypes,
                                                  const GUID *pInputTypes, const REGPINMEDIUM *pMedIn,
                                                  const CLSID *pPinCategoryIn, BOOL bRender,
                                                  BOOL bOutputNeeded, DWORD cOutputTypes,
                                                  const GUID *pOutputTypes, const REGPINMEDIUM *pMedOut,
                                                  const CLSID *pPinCategoryOut) override;

private:
    FilterMapper() = default;

    RefCount m_refs;
};

} // namespace vistrel::dshow
