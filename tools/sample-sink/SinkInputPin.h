// The sample sink's input pin. Its reference count is the sink's: the pin lives exactly as long as its
// filter.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"
#include "tools/sample-sink/SampleSink.h"

#include <mutex>

namespace vistrel::sink {

class SinkInputPin final : public IPin, public IMemInputPin
{
public:
    SinkInputPin(SampleSink &filter, const SampleSinkOptions &options);
    ~SinkInputPin();

    // Called by the filter when it stops: waits for a sample in progress and decommits the allocator.
    void stopStreaming();
    bool isConnected() const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin **pPin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO *pInfo) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION *pPinDir) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR *Id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes **ppEnum) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin **apPin, ULONG *nPin) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator **ppAllocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator *pAllocator, BOOL bReadOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES *pProps) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample *pSample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample **pSamples, LONG nSamples,
                                              LONG *nSamplesProcessed) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

private:
    bool accepts(const AM_MEDIA_TYPE &type) const;
    HRESULT deliver(IMediaSample *sample);

    SampleSink &m_filter;
    const SampleSinkOptions m_options;
    AM_MEDIA_TYPE m_offered{};
    bool m_hasOffered = false;

    // Serialises samples; the filter's stop waits on it for the one in progress.
    std::mutex m_receiveLock;
    mutable std::mutex m_lock;
    ComPtr<IPin> m_connected;
    AM_MEDIA_TYPE m_type{};
    ComPtr<IMemAllocator> m_allocator;
    bool m_flushing = false;
    bool m_endOfStream = false;
};

} // namespace vistrel::sink
