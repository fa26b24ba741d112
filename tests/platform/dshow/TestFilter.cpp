#include "TestFilter.h"

#include "platform/dshow/SnapshotEnumerator.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

std::atomic<int> TestFilter::liveFilters{0};

AM_MEDIA_TYPE videoType(VIDEOINFOHEADER &format, LONG width, LONG height, const GUID &subtype)
{
    format = VIDEOINFOHEADER{};
    format.AvgTimePerFrame = 333333;
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    format.bmiHeader.biSizeImage = static_cast<DWORD>(((width * 3 + 3) & ~3) * height);
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.subtype = subtype;
    type.formattype = FORMAT_VideoInfo;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = format.bmiHeader.biSizeImage;
    type.cbFormat = sizeof(VIDEOINFOHEADER);
    type.pbFormat = reinterpret_cast<BYTE *>(&format);
    return type;
}

TestPin::TestPin(TestFilter &filter, PIN_DIRECTION direction) : m_filter(filter), m_direction(direction) {}

TestPin::~TestPin() = default;

HRESULT STDMETHODCALLTYPE TestPin::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IPin)
        return E_NOINTERFACE;
    *ppv = static_cast<IPin *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE TestPin::AddRef()
{
    return m_filter.AddRef();
}

ULONG STDMETHODCALLTYPE TestPin::Release()
{
    return m_filter.Release();
}

HRESULT STDMETHODCALLTYPE TestPin::Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt)
{
    if (!pReceivePin)
        return E_POINTER;
    if (m_direction != PINDIR_OUTPUT)
        return E_UNEXPECTED;
    if (m_peer)
        return VFW_E_ALREADY_CONNECTED;
    const AM_MEDIA_TYPE proposed = pmt ? *pmt : videoType(m_format, 64, 48);
    HRESULT hr = pReceivePin->ReceiveConnection(this, &proposed);
    if (FAILED(hr))
        return hr;
    m_type = proposed;
    if (pmt && pmt->cbFormat == sizeof(VIDEOINFOHEADER) && pmt->pbFormat) {
        std::memcpy(&m_format, pmt->pbFormat, sizeof(VIDEOINFOHEADER));
        m_type.pbFormat = reinterpret_cast<BYTE *>(&m_format);
    }
    m_peer = ComPtr<IPin>(pReceivePin);
    // Pins that take samples get an allocator agreed with them.
    m_input = queryComPtr<IMemInputPin>(m_peer, IID_IMemInputPin);
    if (m_input) {
        hr = m_input->GetAllocator(m_allocator.ReleaseAndGetAddressOf());
        ALLOCATOR_PROPERTIES request{2, static_cast<LONG>(m_format.bmiHeader.biSizeImage), 1, 0};
        ALLOCATOR_PROPERTIES actual{};
        if (SUCCEEDED(hr))
            hr = m_allocator->SetProperties(&request, &actual);
        if (SUCCEEDED(hr))
            hr = m_input->NotifyAllocator(m_allocator.Get(), FALSE);
        if (FAILED(hr)) {
            pReceivePin->Disconnect();
            Disconnect();
            return hr;
        }
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt)
{
    if (!pConnector || !pmt)
        return E_POINTER;
    if (m_direction != PINDIR_INPUT)
        return E_UNEXPECTED;
    if (m_peer)
        return VFW_E_ALREADY_CONNECTED;
    if (pmt->majortype != MEDIATYPE_Video)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_type = *pmt;
    m_type.pbFormat = nullptr;
    m_type.cbFormat = 0;
    m_peer = ComPtr<IPin>(pConnector);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::Disconnect()
{
    if (!m_peer)
        return S_FALSE;
    m_peer.Reset();
    m_input.Reset();
    m_allocator.Reset();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::ConnectedTo(IPin **pPin)
{
    if (!pPin)
        return E_POINTER;
    *pPin = ComPtr<IPin>(m_peer).Detach();
    return *pPin ? S_OK : VFW_E_NOT_CONNECTED;
}

HRESULT STDMETHODCALLTYPE TestPin::ConnectionMediaType(AM_MEDIA_TYPE *pmt)
{
    if (!pmt)
        return E_POINTER;
    *pmt = AM_MEDIA_TYPE{};
    if (!m_peer)
        return VFW_E_NOT_CONNECTED;
    *pmt = m_type;
    pmt->cbFormat = 0;
    pmt->pbFormat = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::QueryPinInfo(PIN_INFO *pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->pFilter = &m_filter;
    m_filter.AddRef();
    pInfo->dir = m_direction;
    std::wcscpy(pInfo->achName, m_direction == PINDIR_OUTPUT ? L"Out" : L"In");
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::QueryDirection(PIN_DIRECTION *pPinDir)
{
    if (!pPinDir)
        return E_POINTER;
    *pPinDir = m_direction;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::QueryId(LPWSTR *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestPin::QueryAccept(const AM_MEDIA_TYPE *)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::EnumMediaTypes(IEnumMediaTypes **)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestPin::QueryInternalConnections(IPin **, ULONG *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TestPin::EndOfStream()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::BeginFlush()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::EndFlush()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT TestPin::commitAllocator()
{
    return m_allocator ? m_allocator->Commit() : S_OK;
}

void TestPin::decommitAllocator()
{
    if (m_allocator)
        m_allocator->Decommit();
}

HRESULT TestPin::deliver(const std::vector<BYTE> &bytes, REFERENCE_TIME start, REFERENCE_TIME stop)
{
    if (!m_input || !m_allocator)
        return VFW_E_NOT_CONNECTED;
    ComPtr<IMediaSample> sample;
    HRESULT hr = m_allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE *data = nullptr;
    sample->GetPointer(&data);
    const LONG length = std::min<LONG>(sample->GetSize(), static_cast<LONG>(bytes.size()));
    std::memcpy(data, bytes.data(), static_cast<size_t>(length));
    sample->SetActualDataLength(length);
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    return m_input->Receive(sample.Get());
}

HRESULT TestPin::deliverEndOfStream()
{
    return m_peer ? m_peer->EndOfStream() : VFW_E_NOT_CONNECTED;
}

TestFilter::TestFilter(std::string name, PIN_DIRECTION direction, std::vector<std::string> *log)
    : m_name(std::move(name)), m_log(log), m_pin(*this, direction)
{
    ++liveFilters;
}

TestFilter::~TestFilter()
{
    --liveFilters;
}

bool TestFilter::notify(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (!m_graph)
        return false;
    ComPtr<IMediaEventSink> sink;
    if (FAILED(m_graph->QueryInterface(IID_IMediaEventSink, comOutput(sink))))
        return false;
    return SUCCEEDED(sink->Notify(code, param1, param2));
}

HRESULT STDMETHODCALLTYPE TestFilter::QueryInterface(REFIID riid, void **ppv)
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

ULONG STDMETHODCALLTYPE TestFilter::AddRef()
{
    return ++m_refs;
}

ULONG STDMETHODCALLTYPE TestFilter::Release()
{
    const ULONG count = --m_refs;
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE TestFilter::GetClassID(CLSID *pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = GUID_NULL;
    return S_OK;
}

HRESULT TestFilter::change(const char *what, FILTER_STATE next)
{
    if (m_log)
        m_log->push_back(m_name + "." + what);
    const HRESULT failure = std::exchange(m_failure, S_OK);
    if (FAILED(failure))
        return failure;
    if (next == State_Paused && m_state == State_Stopped) {
        const HRESULT hr = m_pin.commitAllocator();
        if (FAILED(hr))
            return hr;
    }
    if (next == State_Stopped)
        m_pin.decommitAllocator();
    m_state = next;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::Stop()
{
    return change("Stop", State_Stopped);
}

HRESULT STDMETHODCALLTYPE TestFilter::Pause()
{
    return change("Pause", State_Paused);
}

HRESULT STDMETHODCALLTYPE TestFilter::Run(REFERENCE_TIME)
{
    return change("Run", State_Running);
}

HRESULT STDMETHODCALLTYPE TestFilter::GetState(DWORD, FILTER_STATE *State)
{
    if (!State)
        return E_POINTER;
    *State = m_state;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::SetSyncSource(IReferenceClock *)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::GetSyncSource(IReferenceClock **pClock)
{
    if (!pClock)
        return E_POINTER;
    *pClock = nullptr;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::EnumPins(IEnumPins **ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = new vistrel::dshow::PinEnumerator({ComPtr<IPin>(&m_pin)});
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::FindPin(LPCWSTR, IPin **ppPin)
{
    if (ppPin)
        *ppPin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE TestFilter::QueryFilterInfo(FILTER_INFO *pInfo)
{
    if (!pInfo)
        return E_POINTER;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR)
{
    m_graph = pGraph;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestFilter::QueryVendorInfo(LPWSTR *)
{
    return E_NOTIMPL;
}
