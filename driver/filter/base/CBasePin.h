// A pin: its name and direction, the pin it is connected to, the media type of the connection, and the
// negotiation that finds a type both pins accept. The pin lives inside its filter and shares the
// filter's reference count.
#pragma once

#include "driver/filter/base/BaseDefs.h"
#include "driver/filter/base/CBaseFilter.h"
#include "driver/filter/base/CCritSec.h"
#include "driver/filter/base/CMediaType.h"
#include "driver/filter/base/CUnknown.h"

class CBasePin : public CUnknown, public IPin, public IQualityControl
{
public:
    // `pLock` is the filter's state lock. A name that cannot be copied is reported through `phr`.
    CBasePin(LPCTSTR pObjectName, CBaseFilter *pFilter, CCritSec *pLock, HRESULT *phr, LPCWSTR pName,
             PIN_DIRECTION dir);
    ~CBasePin() override;

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;
    // The filter's count: a pin is alive exactly as long as its filter.
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

    // IPin
    STDMETHODIMP Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP Disconnect() override;
    STDMETHODIMP ConnectedTo(IPin **pPin) override;
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP QueryPinInfo(PIN_INFO *pInfo) override;
    STDMETHODIMP QueryDirection(PIN_DIRECTION *pPinDir) override;
    STDMETHODIMP QueryId(LPWSTR *Id) override;
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE *pmt) override;
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes **ppEnum) override;
    STDMETHODIMP QueryInternalConnections(IPin **apPin, ULONG *nPin) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override = 0;
    STDMETHODIMP EndFlush() override = 0;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IQualityControl
    STDMETHODIMP Notify(IBaseFilter *pSender, Quality q) override;
    STDMETHODIMP SetSink(IQualityControl *piqc) override;

    BOOL IsConnected() const { return m_Connected != NULL; }
    // The connected pin, not AddRef'd.
    IPin *GetConnected() { return m_Connected; }
    BOOL IsStopped() { return m_pFilter->IsStopped(); }

    // Changes whenever the set of offered media types changes, so that enumerators notice.
    virtual LONG GetMediaTypeVersion();
    void IncrementTypeVersion();

    // Called by the filter, under its state lock, as it leaves and enters the stopped state.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME tStart);

    // Negotiation steps a pin supplies or refines.
    virtual HRESULT CheckMediaType(const CMediaType *pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType *pmt);
    virtual HRESULT CheckConnect(IPin *pPin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin *pReceivePin);
    // The offered type at `iPosition`; the base offers none.
    virtual HRESULT GetMediaType(int iPosition, CMediaType *pMediaType);

    REFERENCE_TIME CurrentStopTime() { return m_tStop; }
    REFERENCE_TIME CurrentStartTime() { return m_tStart; }
    double CurrentRate() { return m_dRate; }

    LPWSTR Name() { return m_pName; }
    BOOL CanReconnectWhenActive() { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(bool bCanReconnect) { m_bCanReconnectWhenActive = bCanReconnect; }

protected:
    virtual HRESULT DisconnectInternal();
    HRESULT AttemptConnection(IPin *pReceivePin, const CMediaType *pmt);
    HRESULT TryMediaTypes(IPin *pReceivePin, const CMediaType *pmt, IEnumMediaTypes *pEnum);
    HRESULT AgreeMediaType(IPin *pReceivePin, const CMediaType *pmt);

    WCHAR *m_pName;
    IPin *m_Connected; // counted
    PIN_DIRECTION m_dir;
    CCritSec *m_pLock;
    bool m_bRunTimeError;
    bool m_bCanReconnectWhenActive;
    bool m_bTryMyTypesFirst;
    CBaseFilter *m_pFilter;    // not counted: the filter owns the pin
    IQualityControl *m_pQSink; // not counted, as the quality sink is set by its owner
    volatile LONG m_TypeVersion;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    double m_dRate;
};
