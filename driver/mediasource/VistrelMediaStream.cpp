#include "driver/mediasource/VistrelMediaStream.h"

#include "driver/mediasource/CaptureRun.h"
#include "driver/mediasource/EventGenerator.h"

#include <new>

HRESULT VistrelMediaStream::create(IMFMediaSource *source, IMFStreamDescriptor *descriptor,
                                   CaptureRun *capture, VistrelMediaStream **stream)
{
    if (stream == NULL)
        return E_POINTER;
    *stream = NULL;
    if (source == NULL || descriptor == NULL || capture == NULL)
        return E_POINTER;
    VistrelMediaStream *made = new (std::nothrow) VistrelMediaStream(descriptor, capture);
    if (made == NULL)
        return E_OUTOFMEMORY;
    made->NonDelegatingAddRef();
    HRESULT hr = MFCreateEventQueue(made->m_events.ReleaseAndGetAddressOf());
    made->m_wake = CreateEvent(NULL, FALSE, FALSE, NULL);
    if (SUCCEEDED(hr) && made->m_wake == NULL)
        hr = E_OUTOFMEMORY;
    if (FAILED(hr)) {
        made->NonDelegatingRelease();
        return hr;
    }
    made->m_source = source;
    made->m_delivery = std::thread([made] { made->deliveryLoop(); });
    *stream = made;
    return S_OK;
}

VistrelMediaStream::VistrelMediaStream(IMFStreamDescriptor *descriptor, CaptureRun *capture)
    : CUnknown(TEXT("Vistrel media stream"), NULL), m_source(NULL), m_descriptor(descriptor),
      m_capture(capture)
{
}

VistrelMediaStream::~VistrelMediaStream()
{
    shutdown();
    if (m_wake != NULL)
        CloseHandle(m_wake);
}

STDMETHODIMP VistrelMediaStream::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMFMediaStream2)
        return GetInterface(static_cast<IMFMediaStream2 *>(this), ppv);
    if (riid == IID_IMFMediaStream)
        return GetInterface(static_cast<IMFMediaStream *>(this), ppv);
    if (riid == IID_IMFMediaEventGenerator)
        return GetInterface(static_cast<IMFMediaEventGenerator *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ComPtr<IMFMediaEventQueue> VistrelMediaStream::eventQueue()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? ComPtr<IMFMediaEventQueue>() : m_events;
}

STDMETHODIMP VistrelMediaStream::GetEvent(DWORD dwFlags, IMFMediaEvent **ppEvent)
{
    return EventGenerator::getEvent(eventQueue(), dwFlags, ppEvent);
}

STDMETHODIMP VistrelMediaStream::BeginGetEvent(IMFAsyncCallback *pCallback, IUnknown *punkState)
{
    return EventGenerator::beginGetEvent(eventQueue(), pCallback, punkState);
}

STDMETHODIMP VistrelMediaStream::EndGetEvent(IMFAsyncResult *pResult, IMFMediaEvent **ppEvent)
{
    return EventGenerator::endGetEvent(eventQueue(), pResult, ppEvent);
}

STDMETHODIMP VistrelMediaStream::QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                                            const PROPVARIANT *pvValue)
{
    return EventGenerator::queueEvent(eventQueue(), met, guidExtendedType, hrStatus, pvValue);
}

STDMETHODIMP VistrelMediaStream::GetMediaSource(IMFMediaSource **ppMediaSource)
{
    CheckPointer(ppMediaSource, E_POINTER);
    *ppMediaSource = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    // The source forgets its stream at Shutdown, at the latest as it goes: a stream held alone after
    // that answers as shut down rather than handing out a source that is gone.
    if (m_state == State::Shutdown || m_source == NULL)
        return MF_E_SHUTDOWN;
    m_source->AddRef();
    *ppMediaSource = m_source;
    return S_OK;
}

STDMETHODIMP VistrelMediaStream::GetStreamDescriptor(IMFStreamDescriptor **ppStreamDescriptor)
{
    CheckPointer(ppStreamDescriptor, E_POINTER);
    *ppStreamDescriptor = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    return m_descriptor.CopyTo(ppStreamDescriptor);
}

STDMETHODIMP VistrelMediaStream::RequestSample(IUnknown *pToken)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Shutdown)
            return MF_E_SHUTDOWN;
        if (!m_selected)
            return MF_E_INVALIDREQUEST;
        // A stopped source refuses with the code the pipeline takes for a late request, not an error.
        if (m_state == State::Stopped)
            return MF_E_MEDIA_SOURCE_WRONGSTATE;
        // While paused the request waits for the next start.
        m_requests.emplace_back(pToken);
    }
    SetEvent(m_wake);
    return S_OK;
}

STDMETHODIMP VistrelMediaStream::SetStreamState(MF_STREAM_STATE value)
{
    if (value != MF_STREAM_STATE_STOPPED && value != MF_STREAM_STATE_PAUSED &&
        value != MF_STREAM_STATE_RUNNING)
        return E_INVALIDARG;
    // The same steps as the source's commands take, for this stream alone.
    if (value == MF_STREAM_STATE_PAUSED)
        return pauseRun();
    if (value == MF_STREAM_STATE_STOPPED)
        return stopRun();
    bool fromStopped = false;
    StreamFormat format;
    {
        // The capture run is the source's until its Shutdown, which marks this stream shut down first.
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Shutdown)
            return MF_E_SHUTDOWN;
        if (m_state == State::Started)
            return S_OK;
        // Never started by the source: no type has been chosen.
        if (!m_selected || m_format.sampleSize == 0)
            return MF_E_INVALIDREQUEST;
        fromStopped = m_state == State::Stopped;
        format = m_format;
        m_capture->start();
    }
    return startRun(format, fromStopped, 0);
}

STDMETHODIMP VistrelMediaStream::GetStreamState(MF_STREAM_STATE *value)
{
    CheckPointer(value, E_POINTER);
    *value = MF_STREAM_STATE_STOPPED;
    std::lock_guard<std::mutex> lock(m_lock);
    switch (m_state) {
    case State::Shutdown:
        return MF_E_SHUTDOWN;
    case State::Started:
        *value = MF_STREAM_STATE_RUNNING;
        break;
    case State::Paused:
        *value = MF_STREAM_STATE_PAUSED;
        break;
    case State::Stopped:
        break;
    }
    return S_OK;
}

HRESULT VistrelMediaStream::queueStreamEvent(MediaEventType type, const PROPVARIANT *value)
{
    return m_events->QueueEventParamVar(type, GUID_NULL, S_OK, value);
}

HRESULT VistrelMediaStream::startRun(const StreamFormat &format, bool fromStopped, LONGLONG startTime)
{
    HRESULT hr = S_OK;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Shutdown)
            return MF_E_SHUTDOWN;
        m_format = format;
        m_selected = true;
        if (fromStopped)
            m_hasOrigin = false;
        // After a pause the run goes on from now, not from deadlines that passed meanwhile.
        m_hasDeadline = false;
        m_schedule.restart();
        m_state = State::Started;
        PROPVARIANT time;
        PropVariantInit(&time);
        time.vt = VT_I8;
        time.hVal.QuadPart = startTime;
        hr = queueStreamEvent(MEStreamStarted, &time);
    }
    SetEvent(m_wake);
    return hr;
}

HRESULT VistrelMediaStream::pauseRun()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    if (m_state != State::Started)
        return MF_E_INVALID_STATE_TRANSITION;
    // Under the lock that every sample is queued under: nothing follows the paused event until a start.
    m_state = State::Paused;
    return queueStreamEvent(MEStreamPaused, NULL);
}

HRESULT VistrelMediaStream::stopRun()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    m_state = State::Stopped;
    dropRequests();
    return queueStreamEvent(MEStreamStopped, NULL);
}

void VistrelMediaStream::deselect()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return;
    m_selected = false;
    m_state = State::Stopped;
    dropRequests();
}

void VistrelMediaStream::dropRequests()
{
    // A dropped token is only released: the requester learns of it from the token's count.
    m_requests.clear();
}

void VistrelMediaStream::shutdown()
{
    std::deque<ComPtr<IUnknown>> dropped;
    ComPtr<IMFMediaEventQueue> events;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_state = State::Shutdown;
        m_source = NULL;
        dropped.swap(m_requests);
        events = m_events;
    }
    if (m_wake != NULL)
        SetEvent(m_wake);
    if (m_delivery.joinable() && m_delivery.get_id() != std::this_thread::get_id())
        m_delivery.join();
    if (events)
        events->Shutdown();
}
