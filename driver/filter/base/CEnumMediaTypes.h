// Enumerates the media types a pin offers (its GetMediaType positions). It holds a reference on the pin,
// and answers VFW_E_ENUM_OUT_OF_SYNC once the pin's types have changed, until Reset.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CBaseObject.h"

class CBasePin;

class CEnumMediaTypes : public IEnumMediaTypes, public CBaseObject
{
public:
    // A new enumerator at the start, or a copy of `pEnumMediaTypes`' position. It starts with one
    // reference.
    CEnumMediaTypes(CBasePin *pPin, CEnumMediaTypes *pEnumMediaTypes);
    virtual ~CEnumMediaTypes();

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // Each type handed out is a new AM_MEDIA_TYPE in COM task memory, for the caller to DeleteMediaType.
    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cMediaTypes) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumMediaTypes **ppEnum) override;

private:
    BOOL AreWeOutOfSync();

    int m_Position;
    CBasePin *m_pPin; // counted
    LONG m_Version;
    volatile LONG m_cRef;
};
