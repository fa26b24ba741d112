#include "platform/dshow/DeviceMoniker.h"

#include "platform/dshow/PropertyBag.h"
#include "platform/dshow/RegistryKey.h"

#include <cstring>
#include <functional>
#include <new>

namespace vistrel::dshow {

namespace {

// MKSYS_NONE: not one of the system's own moniker kinds.
constexpr DWORD kNotASystemMoniker = 0;

template <class T> HRESULT clearOut(T **out)
{
    if (out)
        *out = nullptr;
    return E_NOTIMPL;
}

} // namespace

DeviceMoniker::DeviceMoniker(REFCLSID category, std::wstring instanceName)
    : m_category(category), m_instanceName(std::move(instanceName)),
      m_keyPath(categoryInstancePath(category) + L"\\" + m_instanceName)
{
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPersist && riid != IID_IPersistStream && riid != IID_IMoniker)
        return E_NOINTERFACE;
    *ppv = static_cast<IMoniker *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE DeviceMoniker::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE DeviceMoniker::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::GetClassID(CLSID *pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_CDeviceMoniker;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::IsDirty()
{
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Load(IStream *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Save(IStream *, BOOL)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::GetSizeMax(ULARGE_INTEGER *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::BindToObject(IBindCtx *, IMoniker *, REFIID riidResult,
                                                      void **ppvResult)
{
    if (!ppvResult)
        return E_POINTER;
    *ppvResult = nullptr;
    RegistryKey key;
    const LSTATUS opened = key.open(HKEY_CLASSES_ROOT, m_keyPath, KEY_READ);
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    const std::optional<std::wstring> text = key.readString(L"CLSID");
    if (!text)
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    CLSID clsid{};
    const HRESULT parsed = CLSIDFromString(text->c_str(), &clsid);
    if (FAILED(parsed))
        return parsed;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riidResult, ppvResult);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::BindToStorage(IBindCtx *, IMoniker *, REFIID riid, void **ppvObj)
{
    if (!ppvObj)
        return E_POINTER;
    *ppvObj = nullptr;
    if (riid != IID_IPropertyBag)
        return E_NOINTERFACE;
    RegistryKey key;
    const LSTATUS opened = key.open(HKEY_CLASSES_ROOT, m_keyPath, KEY_READ);
    if (opened != ERROR_SUCCESS)
        return HRESULT_FROM_WIN32(opened);
    auto *bag = new (std::nothrow) PropertyBag(m_keyPath);
    if (!bag)
        return E_OUTOFMEMORY;
    *ppvObj = static_cast<IPropertyBag *>(bag);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Reduce(IBindCtx *, DWORD, IMoniker **, IMoniker **ppmkReduced)
{
    return clearOut(ppmkReduced);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::ComposeWith(IMoniker *, BOOL, IMoniker **ppmkComposite)
{
    return clearOut(ppmkComposite);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Enum(BOOL, IEnumMoniker **ppenumMoniker)
{
    return clearOut(ppenumMoniker);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::IsEqual(IMoniker *pmkOtherMoniker)
{
    if (!pmkOtherMoniker)
        return E_POINTER;
    LPOLESTR other = nullptr;
    if (FAILED(pmkOtherMoniker->GetDisplayName(nullptr, nullptr, &other)) || !other)
        return S_FALSE;
    const bool same = displayName() == other;
    CoTaskMemFree(other);
    return same ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Hash(DWORD *pdwHash)
{
    if (!pdwHash)
        return E_POINTER;
    *pdwHash = static_cast<DWORD>(std::hash<std::wstring>()(displayName()));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::IsRunning(IBindCtx *, IMoniker *, IMoniker *)
{
    return S_FALSE;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::GetTimeOfLastChange(IBindCtx *, IMoniker *, FILETIME *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::Inverse(IMoniker **ppmk)
{
    return clearOut(ppmk);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::CommonPrefixWith(IMoniker *, IMoniker **ppmkPrefix)
{
    return clearOut(ppmkPrefix);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::RelativePathTo(IMoniker *, IMoniker **ppmkRelPath)
{
    return clearOut(ppmkRelPath);
}

std::wstring DeviceMoniker::displayName() const
{
    return L"@device:sw:" + guidString(m_category) + L"\\" + m_instanceName;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::GetDisplayName(IBindCtx *, IMoniker *, LPOLESTR *ppszDisplayName)
{
    if (!ppszDisplayName)
        return E_POINTER;
    const std::wstring name = displayName();
    const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
    *ppszDisplayName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*ppszDisplayName)
        return E_OUTOFMEMORY;
    std::memcpy(*ppszDisplayName, name.c_str(), bytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::ParseDisplayName(IBindCtx *, IMoniker *, LPOLESTR, ULONG *pchEaten,
                                                          IMoniker **ppmkOut)
{
    if (pchEaten)
        *pchEaten = 0;
    return clearOut(ppmkOut);
}

HRESULT STDMETHODCALLTYPE DeviceMoniker::IsSystemMoniker(DWORD *pdwMksys)
{
    if (!pdwMksys)
        return E_POINTER;
    *pdwMksys = kNotASystemMoniker;
    return S_FALSE;
}

} // namespace vistrel::dshow
