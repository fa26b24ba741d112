// A moniker for one entry of a device category (CLSID\{category}\Instance\{name}): binds to the entry's
// property bag and to the filter it names. Only what device enumeration needs is implemented; the other
// moniker operations answer E_NOTIMPL.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

#include <string>

namespace vistrel::dshow {

class DeviceMoniker final : public IMoniker, private LiveObject
{
public:
    DeviceMoniker(REFCLSID category, std::wstring instanceName);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPersist, IPersistStream
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *pClassID) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(IStream *pStm) override;
    HRESULT STDMETHODCALLTYPE Save(IStream *pStm, BOOL fClearDirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER *pcbSize) override;

    // IMoniker
    HRESULT STDMETHODCALLTYPE BindToObject(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riidResult,
                                           void **ppvResult) override;
    HRESULT STDMETHODCALLTYPE BindToStorage(IBindCtx *pbc, IMoniker *pmkToLeft, REFIID riid,
                                            void **ppvObj) override;
    HRESULT STDMETHODCALLTYPE Reduce(IBindCtx *pbc, DWORD dwReduceHowFar, IMoniker **ppmkToLeft,
                                     IMoniker **ppmkReduced) override;
    HRESULT STDMETHODCALLTYPE ComposeWith(IMoniker *pmkRight, BOOL fOnlyIfNotGeneric,
                                          IMoniker **ppmkComposite) override;
    HRESULT STDMETHODCALLTYPE Enum(BOOL fForward, IEnumMoniker **ppenumMoniker) override;
    HRESULT STDMETHODCALLTYPE IsEqual(IMoniker *pmkOtherMoniker) override;
    HRESULT STDMETHODCALLTYPE Hash(DWORD *pdwHash) override;
    HRESULT STDMETHODCALLTYPE IsRunning(IBindCtx *pbc, IMoniker *pmkToLeft,
                                        IMoniker *pmkNewlyRunning) override;
    HRESULT STDMETHODCALLTYPE GetTimeOfLastChange(IBindCtx *pbc, IMoniker *pmkToLeft,
                                                  FILETIME *pFileTime) override;
    HRESULT STDMETHODCALLTYPE Inverse(IMoniker **ppmk) override;
    HRESULT STDMETHODCALLTYPE CommonPrefixWith(IMoniker *pmkOther, IMoniker **ppmkPrefix) override;
    HRESULT STDMETHODCALLTYPE RelativePathTo(IMoniker *pmkOther, IMoniker **ppmkRelPath) override;
    HRESULT STDMETHODCALLTYPE GetDisplayName(IBindCtx *pbc, IMoniker *pmkToLeft,
                                             LPOLESTR *ppszDisplayName) override;
    HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx *pbc, IMoniker *pmkToLeft, LPOLESTR pszDisplayName,
                                               ULONG *pchEaten, IMoniker **ppmkOut) override;
    HRESULT STDMETHODCALLTYPE IsSystemMoniker(DWORD *pdwMksys) override;

private:
    std::wstring displayName() const;

    RefCount m_refs;
    const GUID m_category;
    const std::wstring m_instanceName;
    const std::wstring m_keyPath;
};

} // namespace vistrel::dshow
