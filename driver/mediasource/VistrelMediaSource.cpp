#include "driver/mediasource/VistrelMediaSource.h"

#include "driver/capture/MediaProcessingThread.h"
#include "driver/filter/MessageForwarding.h"
#include "driver/mediasource/CaptureRun.h"
#include "driver/mediasource/EventGenerator.h"
#include "driver/mediasource/StreamTypes.h"
#include "driver/mediasource/VistrelMediaStream.h"

#include <new>

CUnknown *WINAPI VistrelMediaSource::CreateInstance(LPUNKNOWN lpunk, HRESULT *phr)
{
    CheckPointer(phr, NULL);
    // A media source is never aggregated.
    if (lpunk != NULL) {
        *phr = CLASS_E_NOAGGREGATION;
        return NULL;
    }
    // As every filter does: the driver's log lines, the capture thread's among them, go to the host's
    // own handler, also in an application that opens the camera through Media Foundation only.
    qInstallMessageHandler(forwardingMessageHandler);
    VistrelMediaSource *source = new (std::nothrow) VistrelMediaSource(lpunk, phr);
    if (source == NULL) {
        *phr = E_OUTOFMEMORY;
        return NULL;
    }
    const HRESULT hr = source->initialize();
    if (FAILED(hr)) {
        delete source;
        *phr = hr;
        return NULL;
    }
    return source;
}

VistrelMediaSource::VistrelMediaSource(LPUNKNOWN lpunk, HRESULT *phr)
    : CUnknown(TEXT("Vistrel media source"), lpunk, phr)
{
}

VistrelMediaSource::~VistrelMediaSource()
{
    // A client that lets go without Shutdown still ends the threads.
    Shutdown();
}

HRESULT VistrelMediaSource::initialize()
{
    // The capture thread reads the stored size and rate as it is made; the types offered follow them.
    m_capture = std::make_unique<CaptureRun>();
    m_size = m_capture->thread().outputSize();
    m_fps = m_capture->thread().fps();

    HRESULT hr = MFCreateEventQueue(m_events.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = MFCreateAttributes(m_attributes.ReleaseAndGetAddressOf(), 1);
    if (SUCCEEDED(hr))
        hr = StreamTypes::createStreamDescriptor(m_size, m_fps, m_streamDescriptor.ReleaseAndGetAddressOf());
    IMFStreamDescriptor *streams[1] = {m_streamDescriptor.Get()};
    if (SUCCEEDED(hr))
        hr = MFCreatePresentationDescriptor(1, streams, m_descriptor.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = m_descriptor->SelectStream(0);
    return hr;
}

STDMETHODIMP VistrelMediaSource::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMFMediaSourceEx)
        return GetInterface(static_cast<IMFMediaSourceEx *>(this), ppv);
    if (riid == IID_IMFMediaSource)
        return GetInterface(static_cast<IMFMediaSource *>(this), ppv);
    if (riid == IID_IMFMediaEventGenerator)
        return GetInterface(static_cast<IMFMediaEventGenerator *>(this), ppv);
    if (riid == IID_IMFGetService)
        return GetInterface(static_cast<IMFGetService *>(this), ppv);
    if (riid == IID_IKsControl)
        return GetInterface(static_cast<IKsControl *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

ComPtr<IMFMediaEventQueue> VistrelMediaSource::eventQueue()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? ComPtr<IMFMediaEventQueue>() : m_events;
}

STDMETHODIMP VistrelMediaSource::GetEvent(DWORD dwFlags, IMFMediaEvent **ppEvent)
{
    return EventGenerator::getEvent(eventQueue(), dwFlags, ppEvent);
}

STDMETHODIMP VistrelMediaSource::BeginGetEvent(IMFAsyncCallback *pCallback, IUnknown *punkState)
{
    return EventGenerator::beginGetEvent(eventQueue(), pCallback, punkState);
}

STDMETHODIMP VistrelMediaSource::EndGetEvent(IMFAsyncResult *pResult, IMFMediaEvent **ppEvent)
{
    return EventGenerator::endGetEvent(eventQueue(), pResult, ppEvent);
}

STDMETHODIMP VistrelMediaSource::QueueEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                                            const PROPVARIANT *pvValue)
{
    return EventGenerator::queueEvent(eventQueue(), met, guidExtendedType, hrStatus, pvValue);
}

STDMETHODIMP VistrelMediaSource::GetCharacteristics(DWORD *pdwCharacteristics)
{
    CheckPointer(pdwCharacteristics, E_POINTER);
    *pdwCharacteristics = 0;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    *pdwCharacteristics = MFMEDIASOURCE_IS_LIVE;
    return S_OK;
}

STDMETHODIMP
VistrelMediaSource::CreatePresentationDescriptor(IMFPresentationDescriptor **ppPresentationDescriptor)
{
    CheckPointer(ppPresentationDescriptor, E_POINTER);
    *ppPresentationDescriptor = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    // Each caller gets its own copy to select streams in; the stream descriptor, and with it the
    // chosen type, is shared.
    return m_descriptor->Clone(ppPresentationDescriptor);
}

HRESULT VistrelMediaSource::readSelection(IMFPresentationDescriptor *descriptor, bool *selected,
                                          StreamFormat *format)
{
    DWORD count = 0;
    HRESULT hr = descriptor->GetStreamDescriptorCount(&count);
    if (FAILED(hr))
        return hr;
    if (count != 1)
        return MF_E_INVALIDREQUEST;
    BOOL isSelected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    hr = descriptor->GetStreamDescriptorByIndex(0, &isSelected, stream.ReleaseAndGetAddressOf());
    DWORD identifier = 0;
    if (SUCCEEDED(hr))
        hr = stream->GetStreamIdentifier(&identifier);
    if (SUCCEEDED(hr) && identifier != 0)
        hr = MF_E_INVALIDSTREAMNUMBER;
    ComPtr<IMFMediaTypeHandler> handler;
    if (SUCCEEDED(hr))
        hr = stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
    ComPtr<IMFMediaType> type;
    // No current type: the first offered one, as the descriptor was handed out.
    if (SUCCEEDED(hr) && FAILED(handler->GetCurrentMediaType(type.ReleaseAndGetAddressOf())))
        hr = handler->GetMediaTypeByIndex(0, type.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = StreamTypes::formatOf(type.Get(), m_size, m_fps, format);
    if (FAILED(hr))
        return hr;
    *selected = isSelected != FALSE;
    return S_OK;
}

HRESULT VistrelMediaSource::queueSourceEvent(MediaEventType type, const PROPVARIANT *value)
{
    return m_events->QueueEventParamVar(type, GUID_NULL, S_OK, value);
}

STDMETHODIMP VistrelMediaSource::Start(IMFPresentationDescriptor *pPresentationDescriptor,
                                       const GUID *pguidTimeFormat, const PROPVARIANT *pvarStartPosition)
{
    CheckPointer(pPresentationDescriptor, E_POINTER);
    if (pguidTimeFormat != NULL && !IsEqualGUID(*pguidTimeFormat, GUID_NULL))
        return MF_E_UNSUPPORTED_TIME_FORMAT;
    // A live source cannot seek: a position is taken as "from now".
    if (pvarStartPosition != NULL && pvarStartPosition->vt != VT_EMPTY && pvarStartPosition->vt != VT_I8)
        return MF_E_UNSUPPORTED_TIME_FORMAT;

    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    bool selected = false;
    StreamFormat format;
    HRESULT hr = readSelection(pPresentationDescriptor, &selected, &format);
    if (FAILED(hr))
        return hr;
    if (!m_stream) {
        hr = VistrelMediaStream::create(static_cast<IMFMediaSource *>(this), m_streamDescriptor.Get(),
                                        m_capture.get(), m_stream.ReleaseAndGetAddressOf());
        if (FAILED(hr))
            return hr;
    }

    const bool fromStopped = m_state == State::Stopped;
    const LONGLONG startTime =
        pvarStartPosition != NULL && pvarStartPosition->vt == VT_I8 ? pvarStartPosition->hVal.QuadPart : 0;
    if (selected) {
        PROPVARIANT stream;
        PropVariantInit(&stream);
        stream.vt = VT_UNKNOWN;
        stream.punkVal = static_cast<IMFMediaStream *>(m_stream.Get());
        hr = queueSourceEvent(m_streamSelected ? MEUpdatedStream : MENewStream, &stream);
        m_capture->start();
    } else {
        m_stream->deselect();
        m_capture->stop();
    }
    PROPVARIANT time;
    PropVariantInit(&time);
    time.vt = VT_I8;
    time.hVal.QuadPart = startTime;
    if (SUCCEEDED(hr))
        hr = queueSourceEvent(MESourceStarted, &time);
    if (SUCCEEDED(hr) && selected)
        hr = m_stream->startRun(format, fromStopped || !m_streamSelected, startTime);
    m_streamSelected = selected;
    m_state = State::Started;
    return hr;
}

STDMETHODIMP VistrelMediaSource::Pause()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    if (m_state != State::Started)
        return MF_E_INVALID_STATE_TRANSITION;
    m_state = State::Paused;
    HRESULT hr = queueSourceEvent(MESourcePaused, NULL);
    if (SUCCEEDED(hr) && m_streamSelected)
        hr = m_stream->pauseRun();
    return hr;
}

STDMETHODIMP VistrelMediaSource::Stop()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    m_state = State::Stopped;
    m_capture->stop();
    HRESULT hr = queueSourceEvent(MESourceStopped, NULL);
    if (SUCCEEDED(hr) && m_stream && m_streamSelected)
        hr = m_stream->stopRun();
    return hr;
}

STDMETHODIMP VistrelMediaSource::Shutdown()
{
    ComPtr<VistrelMediaStream> stream;
    ComPtr<IMFMediaEventQueue> events;
    std::unique_ptr<CaptureRun> capture;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_state == State::Shutdown)
            return MF_E_SHUTDOWN;
        m_state = State::Shutdown;
        stream.Swap(m_stream);
        events.Swap(m_events);
        capture.swap(m_capture);
    }
    // The delivery thread reads the capture thread's frames: it ends first, then the capture thread.
    if (stream)
        stream->shutdown();
    if (events)
        events->Shutdown();
    capture.reset();
    return S_OK;
}

STDMETHODIMP VistrelMediaSource::GetSourceAttributes(IMFAttributes **ppAttributes)
{
    CheckPointer(ppAttributes, E_POINTER);
    *ppAttributes = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    return m_attributes.CopyTo(ppAttributes);
}

STDMETHODIMP VistrelMediaSource::GetStreamAttributes(DWORD dwStreamIdentifier, IMFAttributes **ppAttributes)
{
    CheckPointer(ppAttributes, E_POINTER);
    *ppAttributes = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_state == State::Shutdown)
        return MF_E_SHUTDOWN;
    if (dwStreamIdentifier != 0)
        return MF_E_INVALIDSTREAMNUMBER;
    // The stream descriptor carries the stream's attributes.
    IMFAttributes *attributes = m_streamDescriptor.Get();
    attributes->AddRef();
    *ppAttributes = attributes;
    return S_OK;
}

// Samples are in system memory; a Direct3D manager has nothing to do.
STDMETHODIMP VistrelMediaSource::SetD3DManager(IUnknown * /*pManager*/)
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? MF_E_SHUTDOWN : S_OK;
}

STDMETHODIMP VistrelMediaSource::GetService(REFGUID /*guidService*/, REFIID /*riid*/, LPVOID *ppvObject)
{
    CheckPointer(ppvObject, E_POINTER);
    *ppvObject = NULL;
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? MF_E_SHUTDOWN : MF_E_UNSUPPORTED_SERVICE;
}

namespace {

HRESULT noKsSet(ULONG *bytesReturned)
{
    if (bytesReturned != NULL)
        *bytesReturned = 0;
    return HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
}

} // namespace

STDMETHODIMP VistrelMediaSource::KsProperty(PKSPROPERTY /*Property*/, ULONG /*PropertyLength*/,
                                            LPVOID /*PropertyData*/, ULONG /*DataLength*/,
                                            ULONG *BytesReturned)
{
    const HRESULT answer = noKsSet(BytesReturned);
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? MF_E_SHUTDOWN : answer;
}

STDMETHODIMP VistrelMediaSource::KsMethod(PKSMETHOD /*Method*/, ULONG /*MethodLength*/, LPVOID /*MethodData*/,
                                          ULONG /*DataLength*/, ULONG *BytesReturned)
{
    const HRESULT answer = noKsSet(BytesReturned);
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? MF_E_SHUTDOWN : answer;
}

STDMETHODIMP VistrelMediaSource::KsEvent(PKSEVENT /*Event*/, ULONG /*EventLength*/, LPVOID /*EventData*/,
                                         ULONG /*DataLength*/, ULONG *BytesReturned)
{
    const HRESULT answer = noKsSet(BytesReturned);
    std::lock_guard<std::mutex> lock(m_lock);
    return m_state == State::Shutdown ? MF_E_SHUTDOWN : answer;
}
