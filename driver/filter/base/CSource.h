// A source filter: the filter's state lock and its array of output pins, to which each pin adds itself
// when it is constructed and from which it removes itself when it is destroyed.
#pragma once

#include "driver/filter/base/CBaseFilter.h"
#include "driver/filter/base/CCritSec.h"

class CSourceStream;

class CSource : public CBaseFilter
{
public:
    CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid, HRESULT *phr);
    CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid);
    ~CSource() override;

    int GetPinCount() override;
    CBasePin *GetPin(int n) override;

    // The filter's state lock.
    CCritSec *pStateLock() { return &m_cStateLock; }
    CCritSec *pLock() { return &m_cStateLock; }

    // Pin array maintenance, called by the pins themselves. E_OUTOFMEMORY when the array cannot grow;
    // RemovePin answers S_FALSE for a pin that is not in the array.
    HRESULT AddPin(CSourceStream *pStream);
    HRESULT RemovePin(CSourceStream *pStream);

    // Looks a pin up by its name (the Id that the pins' QueryId gives).
    STDMETHODIMP FindPin(LPCWSTR Id, IPin **ppPin) override;

    // The index of `iPin` in the array, or -1.
    int FindPinNumber(IPin *iPin);

protected:
    int m_iPins;
    CSourceStream **m_paStreams;
    CCritSec m_cStateLock;
};
