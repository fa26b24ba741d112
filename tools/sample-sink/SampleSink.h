// A renderer for tests and for the capture client: one input pin ("In") that accepts video, hands every
// sample it receives to a callback and reports end of stream to the graph (EC_COMPLETE) while running.
//
// Samples are taken in the paused state as well as in the running state: the sink never holds a sample back
// (no preroll) and never blocks the sender. Stopping it decommits the allocator in use, which releases a
// sender waiting for a buffer.
#pragma once

#include "platform/dshow/dshow.h"
#include "tools/sample-sink/SinkObjects.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace vistrel::sink {

// {5D0C2B71-4A3E-4F6B-9B1E-2C7A610D9345}
inline constexpr GUID CLSID_VistrelSampleSink = {
    0x5d0c2b71, 0x4a3e, 0x4f6b, {0x9b, 0x1e, 0x2c, 0x7a, 0x61, 0x0d, 0x93, 0x45}};

// One received sample, valid only during the callback.
struct ReceivedSample
{
    const BYTE *data = nullptr;
    LONG length = 0;     // the sample's actual data length
    LONG bufferSize = 0; // the size of its buffer
    bool hasStartTime = false;
    bool hasStopTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    bool discontinuity = false;
    bool preroll = false;
    const AM_MEDIA_TYPE *mediaType = nullptr; // the type agreed on the connection
};

struct SampleSinkOptions
{
    // Called on the sender's thread, one sample at a time. An exception counts as a refused sample.
    std::function<void(const ReceivedSample &)> onSample;
    // When set, only this subtype / format type is accepted (besides MEDIATYPE_Video).
    std::optional<GUID> subtype;
    std::optional<GUID> formatType;
    // When set, the pin offers this type when asked for its preferred types; otherwise it offers none.
    const AM_MEDIA_TYPE *offeredType = nullptr;
};

class SinkInputPin;

class SampleSink final : public IBaseFilter, private LiveSinkObject
{
public:
    // A new sink with one reference for the caller, or null when memory runs out.
    static SampleSink *create(const SampleSinkOptions &options);

    // The input pin, without a reference of its own: valid as long as the sink is.
    IPin *inputPin();

    LONG samplesReceived() const;
    LONG endOfStreamCount() const;
    // Wait until at least `count` samples / one end of stream have arrived; false on time-out.
    bool waitForSamples(LONG count, DWORD timeoutMs) const;
    bool waitForEndOfStream(DWORD timeoutMs) const;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetClassID(CLSID *pClassID) override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD dwMilliSecsTimeout, FILTER_STATE *State) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock *pClock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock **pClock) override;

    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins **ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin **ppPin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO *pInfo) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR *pVendorInfo) override;

private:
    friend class SinkInputPin;

    explicit SampleSink(const SampleSinkOptions &options);
    ~SampleSink();

    // Called by the pin.
    FILTER_STATE state() const;
    void sampleDelivered();
    void endOfStream();
    void beginFlush();
    void reportCompletion();

    RefCount m_refs;
    std::unique_ptr<SinkInputPin> m_pin;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_observed;
    FILTER_STATE m_state = State_Stopped;
    IReferenceClock *m_clock = nullptr;
    // Not counted: the graph owns its filters, and a filter keeps only a weak pointer to its graph.
    IFilterGraph *m_graph = nullptr;
    IMediaEventSink *m_eventSink = nullptr;
    std::wstring m_name;
    LONG m_samples = 0;
    LONG m_endOfStreams = 0;
    bool m_completionPending = false;
};

} // namespace vistrel::sink
