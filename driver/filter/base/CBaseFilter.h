// A filter: its state (stopped, paused, running) and how state changes reach its pins, the graph it has
// joined, its reference clock, and the pin enumeration of IBaseFilter. Derived filters supply the pins.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CCritSec.h"
#include "driver/filter/base/CUnknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup
{
    friend class CBasePin;

public:
    // `pLock` is the filter's state lock, owned by the derived filter; only its address is kept here.
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec *pLock, REFCLSID clsid);
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec *pLock, REFCLSID clsid, HRESULT *phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IPersist
    STDMETHODIMP GetClassID(CLSID *pClsID) override;

    // IMediaFilter
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE *State) override;
    STDMETHODIMP SetSyncSource(IReferenceClock *pClock) override;
    STDMETHODIMP GetSyncSource(IReferenceClock **pClock) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    BOOL IsActive();
    BOOL IsStopped();

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins **ppEnum) override;
    STDMETHODIMP FindPin(LPCWSTR Id, IPin **ppPin) override;
    STDMETHODIMP QueryFilterInfo(FILTER_INFO *pInfo) override;
    STDMETHODIMP JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override;
    STDMETHODIMP QueryVendorInfo(LPWSTR *pVendorInfo) override;

    // Reports an event to the graph's event sink; E_NOTIMPL when the filter is in no graph that takes
    // events. EC_COMPLETE carries this filter as its second parameter.
    HRESULT NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);

    // The graph this filter has joined (not counted: the graph holds the filter, not the other way).
    IFilterGraph *GetFilterGraph() { return m_pGraph; }

    // Asks the graph to reconnect `pPin`; E_NOINTERFACE when the filter is in no graph.
    HRESULT ReconnectPin(IPin *pPin, const AM_MEDIA_TYPE *pmt);

    // Changes whenever pins are added or removed, so that pin enumerators notice.
    virtual LONG GetPinVersion();
    void IncrementPinVersion();

    virtual int GetPinCount() = 0;
    virtual CBasePin *GetPin(int n) = 0;

    // IAMovieSetup: registers the filter described by GetSetupData with the filter mapper.
    STDMETHODIMP Register() override;
    STDMETHODIMP Unregister() override;
    virtual const AMOVIESETUP_FILTER *GetSetupData() { return NULL; }

protected:
    // The state is written under the state lock but read by GetState without it (a streaming thread asks
    // for the state while a state change holds the lock and waits for that thread): atomic accesses.
    FILTER_STATE LoadState() const;
    void StoreState(FILTER_STATE state);

    FILTER_STATE m_State;
    IReferenceClock *m_pClock; // counted
    REFERENCE_TIME m_tStart;
    CLSID m_clsid;
    CCritSec *m_pLock;
    WCHAR *m_pName;
    IFilterGraph *m_pGraph;   // not counted: the graph owns us
    IMediaEventSink *m_pSink; // not counted: part of the graph
    volatile LONG m_PinVersion;

private:
    HRESULT ActivatePins();
};
