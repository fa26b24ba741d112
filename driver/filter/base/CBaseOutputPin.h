// An output pin that delivers media samples to the connected pin's IMemInputPin, from buffers of an
// allocator agreed on when the connection completes.
#pragma once

#include "driver/filter/base/CBasePin.h"

class CBaseOutputPin : public CBasePin
{
public:
    CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter *pFilter, CCritSec *pLock, HRESULT *phr, LPCWSTR pName);
    ~CBaseOutputPin() override;

    // Agrees on the allocator once both pins accepted the type.
    HRESULT CompleteConnect(IPin *pReceivePin) override;

    // Picks the allocator: the input pin's own if it takes our buffer sizes, else a new memory allocator.
    virtual HRESULT DecideAllocator(IMemInputPin *pPin, IMemAllocator **pAlloc);
    // Sets the buffer count and sizes on `pAlloc`; supplied by the derived pin.
    virtual HRESULT DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *ppropInputRequest) = 0;

    // A sample from the agreed allocator; blocks while all buffers are out.
    virtual HRESULT GetDeliveryBuffer(IMediaSample **ppSample, REFERENCE_TIME *pStartTime,
                                      REFERENCE_TIME *pEndTime, DWORD dwFlags);
    // Hands a filled sample to the connected input pin.
    virtual HRESULT Deliver(IMediaSample *pSample);

    // A new memory allocator (CLSID_MemoryAllocator).
    virtual HRESULT InitAllocator(IMemAllocator **ppAlloc);
    HRESULT CheckConnect(IPin *pPin) override;
    HRESULT BreakConnect() override;

    // Commit and decommit the allocator as streaming starts and ends.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Upstream calls that an output pin never receives.
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;

    // Calls passed on to the connected pin.
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

protected:
    IMemAllocator *m_pAllocator; // counted
    IMemInputPin *m_pInputPin;   // counted
};
