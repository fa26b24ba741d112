#include "tools/sample-sink/SinkInputPin.h"

#include "tools/sample-sink/MediaTypeCopies.h"
#include "tools/sample-sink/SinkEnumerators.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace vistrel::sink {

namespace {

constexpr wchar_t kPinName[] = L"In";

} // namespace

SinkInputPin::SinkInputPin(SampleSink &filter, const SampleSinkOptions &options)
    : m_filter(filter), m_options(options)
{
    if (options.offeredType && SUCCEEDED(copyMediaType(m_offered, *options.offeredType)))
        m_hasOffered = true;
}

SinkInputPin::~SinkInputPin()
{
    freeMediaTypeContents(m_type);
    if (m_hasOffered)
        freeMediaTypeContents(m_offered);
}

bool SinkInputPin::isConnected() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<bool>(m_connected);
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IPin)
        *ppv = static_cast<IPin *>(this);
    else if (riid == IID_IMemInputPin)
        *ppv = static_cast<IMemInputPin *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE SinkInputPin::AddRef()
{
    return m_filter.AddRef();
}

ULONG STDMETHODCALLTYPE SinkInputPin::Release()
{
    return m_filter.Release();
}

bool SinkInputPin::accepts(const AM_MEDIA_TYPE &type) const
{
    if (type.majortype != MEDIATYPE_Video)
        return false;
    if (m_options.subtype && type.subtype != *m_options.subtype)
        return false;
    if (m_options.formatType && type.formattype != *m_options.formatType)
        return false;
    // A format block must be there when announced, and a VideoInfo block must be whole.
    if (type.cbFormat > 0 && !type.pbFormat)
        return false;
    if (type.formattype == FORMAT_VideoInfo && (type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat))
        return false;
    return true;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::Connect(IPin *, const AM_MEDIA_TYPE *)
{
    // Connections are made from the output side.
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    if (m_filter.state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    PIN_DIRECTION direction = PINDIR_INPUT;
    if (FAILED(pConnector->QueryDirection(&direction)) || direction != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (!accepts(*pmt))
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_connected)
        return VFW_E_ALREADY_CONNECTED;
    AM_MEDIA_TYPE copy{};
    if (FAILED(copyMediaType(copy, *pmt)))
        return E_OUTOFMEMORY;
    freeMediaTypeContents(m_type);
    m_type = copy;
    m_connected = pConnector;
    m_endOfStream = false;
    m_flushing = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::Disconnect()
{
    if (m_filter.state() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    ComPtr<IPin> peer;
    ComPtr<IMemAllocator> allocator;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_connected)
            return S_FALSE;
        // Swapped out, not moved: mingw-w64's ComPtr copies on move assignment and would leave the pin
        // connected.
        peer.Swap(m_connected);
        allocator.Swap(m_allocator);
        freeMediaTypeContents(m_type);
        m_type = AM_MEDIA_TYPE{};
    }
    if (allocator)
        allocator->Decommit();
    // The references go only now, outside the lock: releasing the peer may release its whole filter.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::ConnectedTo(IPin **pPin)
{
    if (!pPin)
        return E_POINTER;
    *pPin = nullptr;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_connected)
        return VFW_E_NOT_CONNECTED;
    m_connected.CopyTo(pPin);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::ConnectionMediaType(AM_MEDIA_TYPE *pmt)
{
    if (!pmt)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_connected) {
        *pmt = AM_MEDIA_TYPE{};
        return VFW_E_NOT_CONNECTED;
    }
    return copyMediaType(*pmt, m_type);
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryPinInfo(PIN_INFO *pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->pFilter = &m_filter;
    m_filter.AddRef();
    pInfo->dir = PINDIR_INPUT;
    std::wcsncpy(pInfo->achName, kPinName, MAX_PIN_NAME - 1);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryDirection(PIN_DIRECTION *pPinDir)
{
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = PINDIR_INPUT;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryId(LPWSTR *Id)
{
    if (!Id)
        return E_POINTER;
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
    if (!*Id)
        return E_OUTOFMEMORY;
    std::memcpy(*Id, kPinName, sizeof(kPinName));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryAccept(const AM_MEDIA_TYPE *pmt)
{
    if (!pmt)
        return E_POINTER;
    return accepts(*pmt) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::EnumMediaTypes(IEnumMediaTypes **ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = newMediaTypeEnumerator(m_hasOffered ? &m_offered : nullptr);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::QueryInternalConnections(IPin **, ULONG *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::EndOfStream()
{
    // A stopped renderer ignores end of stream, as Windows' renderers do: a source stopped after the
    // sink (the graph stops downstream first) must not leave the next run refusing every sample.
    if (m_filter.state() == State_Stopped)
        return S_OK;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_connected)
            return VFW_E_NOT_CONNECTED;
        if (m_flushing)
            return S_FALSE;
        m_endOfStream = true;
    }
    m_filter.endOfStream();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::BeginFlush()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flushing = true;
        m_endOfStream = false;
    }
    m_filter.beginFlush();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::EndFlush()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_flushing = false;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::GetAllocator(IMemAllocator **ppAllocator)
{
    if (!ppAllocator)
        return E_POINTER;
    *ppAllocator = nullptr;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_allocator) {
        const HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IMemAllocator, comOutput(m_allocator));
        if (FAILED(hr))
            return hr;
    }
    m_allocator.CopyTo(ppAllocator);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::NotifyAllocator(IMemAllocator *pAllocator, BOOL)
{
    if (!pAllocator)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    m_allocator = pAllocator;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES *)
{
    return E_NOTIMPL;
}

HRESULT SinkInputPin::deliver(IMediaSample *sample)
{
    ReceivedSample received;
    BYTE *data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data)
        return E_POINTER;
    received.data = data;
    received.bufferSize = sample->GetSize();
    received.length = sample->GetActualDataLength();
    if (received.length < 0 || received.length > received.bufferSize)
        return VFW_E_BUFFER_OVERFLOW;
    const HRESULT timed = sample->GetTime(&received.start, &received.stop);
    received.hasStartTime = SUCCEEDED(timed);
    received.hasStopTime = timed == S_OK;
    received.syncPoint = sample->IsSyncPoint() == S_OK;
    received.discontinuity = sample->IsDiscontinuity() == S_OK;
    received.preroll = sample->IsPreroll() == S_OK;

    // A sample may announce a new type for itself and the samples after it.
    AM_MEDIA_TYPE *changed = nullptr;
    if (sample->GetMediaType(&changed) == S_OK && changed) {
        const bool acceptable = accepts(*changed);
        if (acceptable) {
            std::lock_guard<std::mutex> lock(m_lock);
            freeMediaTypeContents(m_type);
            m_type = *changed;
            CoTaskMemFree(changed);
        } else {
            deleteMediaTypeBlock(changed);
            return VFW_E_INVALIDMEDIATYPE;
        }
    }
    // The type changes only here and on disconnection, which needs the stopped state: no copy needed.
    received.mediaType = &m_type;

    if (m_options.onSample) {
        try {
            m_options.onSample(received);
        } catch (...) {
            return E_FAIL;
        }
    }
    m_filter.sampleDelivered();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::Receive(IMediaSample *pSample)
{
    if (!pSample)
        return E_POINTER;
    std::lock_guard<std::mutex> receiving(m_receiveLock);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_connected)
            return VFW_E_NOT_CONNECTED;
        if (m_flushing)
            return S_FALSE;
        if (m_endOfStream)
            return VFW_E_SAMPLE_REJECTED_EOS;
    }
    if (m_filter.state() == State_Stopped)
        return VFW_E_WRONG_STATE;
    return deliver(pSample);
}

HRESULT STDMETHODCALLTYPE SinkInputPin::ReceiveMultiple(IMediaSample **pSamples, LONG nSamples,
                                                        LONG *nSamplesProcessed)
{
    if (!nSamplesProcessed)
        return E_POINTER;
    *nSamplesProcessed = 0;
    if (nSamples > 0 && !pSamples)
        return E_POINTER;
    HRESULT hr = S_OK;
    while (*nSamplesProcessed < nSamples) {
        hr = Receive(pSamples[*nSamplesProcessed]);
        if (hr != S_OK)
            break;
        ++*nSamplesProcessed;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE SinkInputPin::ReceiveCanBlock()
{
    return S_FALSE;
}

void SinkInputPin::stopStreaming()
{
    ComPtr<IMemAllocator> allocator;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_endOfStream = false;
        m_flushing = false;
        allocator = m_allocator;
    }
    // A sender blocked in GetBuffer gets VFW_E_NOT_COMMITTED; a sample in progress is finished first.
    if (allocator)
        allocator->Decommit();
    std::lock_guard<std::mutex> receiving(m_receiveLock);
}

} // namespace vistrel::sink
