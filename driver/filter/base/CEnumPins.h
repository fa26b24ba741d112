// Enumerates a filter's pins. It holds a reference on the filter, and answers VFW_E_ENUM_OUT_OF_SYNC once
// the filter's pins have changed, until Reset.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CBaseObject.h"

class CBaseFilter;

class CEnumPins : public IEnumPins, public CBaseObject
{
public:
    // A new enumerator at the start, or a copy of `pEnumPins`' position. It starts with one reference.
    CEnumPins(CBaseFilter *pFilter, CEnumPins *pEnumPins);
    virtual ~CEnumPins();

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched) override;
    STDMETHODIMP Skip(ULONG cPins) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumPins **ppEnum) override;

private:
    BOOL AreWeOutOfSync();

    int m_Position;
    int m_PinCount;
    CBaseFilter *m_pFilter; // counted
    LONG m_Version;
    volatile LONG m_cRef;
};
