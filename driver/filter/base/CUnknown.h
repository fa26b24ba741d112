// COM identity with aggregation: the non-delegating IUnknown that owns the reference count, and the
// delegating entries that every interface of the object forwards to the owner (the outer object when
// aggregated, else the object itself).
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CBaseObject.h"

struct INonDelegatingUnknown
{
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, LPVOID *ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};
typedef INonDelegatingUnknown *PNDUNKNOWN;

class CUnknown : public INonDelegatingUnknown, public CBaseObject
{
public:
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk);
    CUnknown(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT *phr);
    virtual ~CUnknown() {}

    // The IUnknown that every delegating entry reaches.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

private:
    // The object's own IUnknown when it is not aggregated. It is a real IUnknown that forwards to the
    // non-delegating entries, rather than the non-delegating interface viewed as an IUnknown: calling
    // through an interface the object does not have is undefined, and the sanitizers stop on it.
    class OwnUnknown final : public IUnknown
    {
    public:
        explicit OwnUnknown(CUnknown *object) : m_object(object) {}
        STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
        {
            return m_object->NonDelegatingQueryInterface(riid, ppv);
        }
        STDMETHODIMP_(ULONG) AddRef() override { return m_object->NonDelegatingAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_object->NonDelegatingRelease(); }

    private:
        CUnknown *const m_object;
    };

    OwnUnknown m_ownUnknown;
    const LPUNKNOWN m_pUnknown;

protected:
    volatile LONG m_cRef;
};

// Hands out `pUnk` through `ppv` with one reference added.
STDAPI GetInterface(LPUNKNOWN pUnk, void **ppv);

// The three IUnknown entries of a class derived from CUnknown, all forwarded to the owner.
#define DECLARE_IUNKNOWN                                                                                     \
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override                                            \
    {                                                                                                        \
        return GetOwner()->QueryInterface(riid, ppv);                                                        \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) AddRef() override                                                                   \
    {                                                                                                        \
        return GetOwner()->AddRef();                                                                         \
    }                                                                                                        \
    STDMETHODIMP_(ULONG) Release() override                                                                  \
    {                                                                                                        \
        return GetOwner()->Release();                                                                        \
    }
