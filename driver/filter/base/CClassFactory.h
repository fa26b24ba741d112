// The class factory handed out for one template entry, with the server-wide lock count.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CBaseObject.h"
#include "driver/filter/base/CFactoryTemplate.h"

class CClassFactory : public IClassFactory, public CBaseObject
{
public:
    // Starts with no reference; the template must outlive the factory.
    explicit CClassFactory(const CFactoryTemplate *pTemplate);
    virtual ~CClassFactory() {}

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void **pv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

    // Whether any client holds the server locked.
    static BOOL IsLocked();

private:
    const CFactoryTemplate *const m_pTemplate;
    volatile LONG m_cRef;
    static volatile LONG m_cLocked;
};
