#include "platform/windows/BuiltinClassFactory.h"

namespace vistrel::win32 {

STDMETHODIMP BuiltinClassFactory::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory)
        return E_NOINTERFACE;
    *ppvObject = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) BuiltinClassFactory::AddRef()
{
    return ++m_refCount;
}

STDMETHODIMP_(ULONG) BuiltinClassFactory::Release()
{
    const ULONG count = --m_refCount;
    if (count == 0)
        delete this;
    return count;
}

STDMETHODIMP BuiltinClassFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    return m_create(pUnkOuter, riid, ppvObject);
}

// Built-in classes live in libraries that stay loaded, so there is nothing to lock.
STDMETHODIMP BuiltinClassFactory::LockServer(BOOL)
{
    return S_OK;
}

} // namespace vistrel::win32
