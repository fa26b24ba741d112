#include "driver/filter/base/CClassFactory.h"

#include "driver/filter/base/CUnknown.h"

volatile LONG CClassFactory::m_cLocked = 0;

CClassFactory::CClassFactory(const CFactoryTemplate *pTemplate)
    : CBaseObject(NAME("Class Factory")), m_pTemplate(pTemplate), m_cRef(0)
{
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    *ppv = NULL;
    if (riid == IID_IUnknown || riid == IID_IClassFactory)
        return GetInterface(static_cast<IClassFactory *>(this), ppv);
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    const LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef > 0 ? static_cast<ULONG>(cRef) : 0;
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void **pv)
{
    CheckPointer(pv, E_POINTER);
    *pv = NULL;
    // An aggregated object can only hand its non-delegating IUnknown to the outer object.
    if (pUnkOuter != NULL && !IsEqualIID(riid, IID_IUnknown))
        return E_NOINTERFACE;

    HRESULT hr = S_OK;
    CUnknown *pObj = m_pTemplate->CreateInstance(pUnkOuter, &hr);
    if (pObj == NULL)
        return SUCCEEDED(hr) ? E_OUTOFMEMORY : hr;
    if (FAILED(hr)) {
        delete pObj;
        return hr;
    }
    // The temporary reference keeps the object alive through the query and frees it if the query fails.
    pObj->NonDelegatingAddRef();
    hr = pObj->NonDelegatingQueryInterface(riid, pv);
    pObj->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock)
{
    if (fLock) {
        InterlockedIncrement(&m_cLocked);
        return S_OK;
    }
    // An unlock without a lock is ignored: a negative count would hide the next client's lock.
    LONG current = InterlockedCompareExchange(&m_cLocked, 0, 0);
    while (current > 0) {
        const LONG seen = InterlockedCompareExchange(&m_cLocked, current - 1, current);
        if (seen == current)
            break;
        current = seen;
    }
    return S_OK;
}

BOOL CClassFactory::IsLocked()
{
    return InterlockedCompareExchange(&m_cLocked, 0, 0) > 0;
}
