#include "driver/filter/base/CUnknown.h"

// Without an outer object the owner is the object's own unknown, which forwards to the non-delegating
// entries; an outer object gets that same unknown as the inner object's identity.
CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk)
    : CBaseObject(pName), m_ownUnknown(this), m_pUnknown(pUnk != NULL ? pUnk : &m_ownUnknown), m_cRef(0)
{
}

CUnknown::CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT * /*phr*/) : CUnknown(pName, pUnk) {}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IUnknown)
        return GetInterface(&m_ownUnknown, ppv);
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef()
{
    const LONG lRef = InterlockedIncrement(&m_cRef);
    return lRef > 1 ? ULONG(lRef) : 1ul;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease()
{
    const LONG lRef = InterlockedDecrement(&m_cRef);
    if (lRef == 0) {
        // Keep the count above zero while the destructor runs, so that an AddRef/Release pair made by
        // the destructor itself cannot delete the object a second time.
        m_cRef++;
        delete this;
        return 0;
    }
    return lRef > 1 ? ULONG(lRef) : 1ul;
}

STDAPI GetInterface(LPUNKNOWN pUnk, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    CheckPointer(pUnk, E_POINTER);
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}
