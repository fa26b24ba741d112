#include "tools/sample-sink/SampleSink.h"

#include "tools/sample-sink/SinkEnumerators.h"
#include "tools/sample-sink/SinkInputPin.h"

#include <chrono>
#include <cstring>
#include <cwchar>
#include <new>
#include <utility>

namespace vistrel::sink {

SampleSink *SampleSink::create(const SampleSinkOptions &options)
{
    try {
        return new SampleSink(options);
    } catch (...) {
        return nullptr;
    }
}

SampleSink::SampleSink(const SampleSinkOptions &options)
    : m_pin(std::make_unique<SinkInputPin>(*this, options))
{
}

SampleSink::~SampleSink()
{
    if (m_clock)
        m_clock->Release();
}

IPin *SampleSink::inputPin()
{
    return m_pin.get();
}

LONG SampleSink::samplesReceived() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_samples;
}

LONG SampleSink::endOfStreamCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_endOfStreams;
}

bool SampleSink::waitForSamples(LONG count, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_observed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_samples >= count; });
}

bool SampleSink::waitForEndOfStream(DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_observed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return m_endOfStreams > 0; });
}

FILTER_STATE SampleSink::state() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state;
}

void SampleSink::sampleDelivered()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_samples;
    }
    m_observed.notify_all();
}

void SampleSink::endOfStream()
{
    bool report = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_endOfStreams;
        // While paused, the report waits for the run, as a renderer's does.
        report = m_state == State_Running;
        m_completionPending = !report;
    }
    m_observed.notify_all();
    if (report)
        reportCompletion();
}

void SampleSink::beginFlush()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_completionPending = false;
}

void SampleSink::reportCompletion()
{
    IMediaEventSink *sink = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        sink = m_eventSink;
    }
    if (sink)
        sink->Notify(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter *>(this)));
}

HRESULT STDMETHODCALLTYPE SampleSink::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPersist && riid != IID_IMediaFilter && riid != IID_IBaseFilter)
        return E_NOINTERFACE;
    *ppv = static_cast<IBaseFilter *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SampleSink::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE SampleSink::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE SampleSink::GetClassID(CLSID *pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_VistrelSampleSink;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State_Stopped)
            return S_OK;
        m_state = State_Stopped;
        m_completionPending = false;
    }
    m_pin->stopStreaming();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::Pause()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State_Stopped)
        m_completionPending = false;
    m_state = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::Run(REFERENCE_TIME)
{
    bool report = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State_Running)
            return S_OK;
        m_state = State_Running;
        report = std::exchange(m_completionPending, false);
    }
    if (report)
        reportCompletion();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::GetState(DWORD, FILTER_STATE *State)
{
    if (!State)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *State = m_state;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::SetSyncSource(IReferenceClock *pClock)
{
    if (pClock)
        pClock->AddRef();
    IReferenceClock *previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        previous = std::exchange(m_clock, pClock);
    }
    if (previous)
        previous->Release();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::GetSyncSource(IReferenceClock **pClock)
{
    if (!pClock)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *pClock = m_clock;
    if (m_clock)
        m_clock->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::EnumPins(IEnumPins **ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = newPinEnumerator(m_pin.get());
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SampleSink::FindPin(LPCWSTR Id, IPin **ppPin)
{
    if (!ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    if (!Id)
        return E_POINTER;
    if (std::wcscmp(Id, L"In") != 0)
        return VFW_E_NOT_FOUND;
    *ppPin = m_pin.get();
    m_pin->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::QueryFilterInfo(FILTER_INFO *pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::memset(pInfo, 0, sizeof(*pInfo));
    std::lock_guard<std::mutex> lock(m_lock);
    std::wcsncpy(pInfo->achName, m_name.c_str(), MAX_FILTER_NAME - 1);
    pInfo->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName)
{
    IMediaEventSink *eventSink = nullptr;
    if (pGraph &&
        SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void **>(&eventSink))))
        eventSink->Release(); // kept uncounted, like the graph itself
    std::lock_guard<std::mutex> lock(m_lock);
    m_graph = pGraph;
    m_eventSink = pGraph ? eventSink : nullptr;
    m_name = pGraph && pName ? pName : L"";
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SampleSink::QueryVendorInfo(LPWSTR *pVendorInfo)
{
    if (pVendorInfo)
        *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

} // namespace vistrel::sink
