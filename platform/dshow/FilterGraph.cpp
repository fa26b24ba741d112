#include "platform/dshow/FilterGraph.h"

#include "platform/dshow/GraphOrder.h"
#include "platform/dshow/SnapshotEnumerator.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace vistrel::dshow {

namespace {

ComPtr<IBaseFilter> ownerOf(IPin *pin)
{
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)))
        return {};
    return adoptComPtr<IBaseFilter>(info.pFilter);
}

bool hasDirection(IPin *pin, PIN_DIRECTION wanted)
{
    PIN_DIRECTION direction = PINDIR_INPUT;
    return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

// Breaks every connection of the filter, at both ends.
void disconnectPins(IBaseFilter *filter)
{
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins)
        return;
    for (;;) {
        ComPtr<IPin> pin;
        ULONG fetched = 0;
        if (pins->Next(1, pin.ReleaseAndGetAddressOf(), &fetched) != S_OK || fetched != 1)
            break;
        ComPtr<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.ReleaseAndGetAddressOf())) && peer)
            peer->Disconnect();
        pin->Disconnect();
    }
}

} // namespace

HRESULT FilterGraph::create(IUnknown *outer, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto *graph = new (std::nothrow) FilterGraph();
    if (!graph)
        return E_OUTOFMEMORY;
    const HRESULT hr = graph->QueryInterface(riid, ppv);
    graph->Release();
    return hr;
}

FilterGraph::~FilterGraph() = default;

HRESULT STDMETHODCALLTYPE FilterGraph::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder)
        *ppv = static_cast<IGraphBuilder *>(this);
    else if (riid == IID_IMediaControl || riid == IID_IDispatch)
        *ppv = static_cast<IMediaControl *>(this);
    else if (riid == IID_IMediaEvent)
        *ppv = static_cast<IMediaEvent *>(this);
    else if (riid == IID_IMediaEventSink)
        *ppv = static_cast<IMediaEventSink *>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE FilterGraph::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE FilterGraph::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0) {
        // Filters may query and release the graph while leaving it; the extra count keeps that from
        // destroying it a second time.
        m_refs.increment();
        removeAll();
        delete this;
    }
    return count;
}

void FilterGraph::removeAll()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    stopAll();
    setState(State_Stopped);
    // Connected pins hold each other (and so their filters) alive: break every connection first.
    for (const Entry &entry : m_filters)
        disconnectPins(entry.filter.Get());
    for (const Entry &entry : m_filters)
        entry.filter->JoinFilterGraph(nullptr, nullptr);
    m_filters.clear();
}

bool FilterGraph::hasName(const std::wstring &name) const
{
    return std::any_of(m_filters.begin(), m_filters.end(),
                       [&name](const Entry &e) { return e.name == name; });
}

bool FilterGraph::contains(IBaseFilter *filter) const
{
    return std::any_of(m_filters.begin(), m_filters.end(),
                       [filter](const Entry &e) { return e.filter.Get() == filter; });
}

bool FilterGraph::pinInGraph(IPin *pin) const
{
    const ComPtr<IBaseFilter> owner = ownerOf(pin);
    return owner && contains(owner.Get());
}

HRESULT STDMETHODCALLTYPE FilterGraph::AddFilter(IBaseFilter *pFilter, LPCWSTR pName)
{
    if (!pFilter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (contains(pFilter))
        return E_INVALIDARG;

    const bool named = pName && *pName;
    std::wstring base = named ? std::wstring(pName) : std::wstring(L"Filter");
    if (base.size() > MAX_FILTER_NAME - 6)
        base.resize(MAX_FILTER_NAME - 6);
    std::wstring name = base;
    for (int n = 1; hasName(name) && n < 10000; ++n) {
        wchar_t suffix[8];
        std::swprintf(suffix, 8, L" %04d", n);
        name = base + suffix;
    }
    if (hasName(name))
        return VFW_E_DUPLICATE_NAME;

    const HRESULT hr = pFilter->JoinFilterGraph(static_cast<IGraphBuilder *>(this), name.c_str());
    if (FAILED(hr))
        return hr;
    m_filters.push_back({ComPtr<IBaseFilter>(pFilter), name});
    return named && name != base ? VFW_S_DUPLICATE_NAME : S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::RemoveFilter(IBaseFilter *pFilter)
{
    if (!pFilter)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const auto it = std::find_if(m_filters.begin(), m_filters.end(),
                                 [pFilter](const Entry &e) { return e.filter.Get() == pFilter; });
    if (it == m_filters.end())
        return VFW_E_NOT_FOUND;
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    const ComPtr<IBaseFilter> filter = it->filter;
    m_filters.erase(it);
    disconnectPins(filter.Get());
    filter->JoinFilterGraph(nullptr, nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::EnumFilters(IEnumFilters **ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    std::vector<ComPtr<IBaseFilter>> snapshot;
    for (const Entry &entry : m_filters)
        snapshot.push_back(entry.filter);
    *ppEnum = new (std::nothrow) FilterEnumerator(std::move(snapshot));
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE FilterGraph::FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter)
{
    if (!ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    if (!pName)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (const Entry &entry : m_filters) {
        if (entry.name == pName) {
            *ppFilter = ComPtr<IBaseFilter>(entry.filter).Detach();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE FilterGraph::ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt)
{
    if (!ppinOut || !ppinIn)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!pinInGraph(ppinOut) || !pinInGraph(ppinIn))
        return VFW_E_NOT_IN_GRAPH;
    if (!hasDirection(ppinOut, PINDIR_OUTPUT) || !hasDirection(ppinIn, PINDIR_INPUT))
        return VFW_E_INVALID_DIRECTION;
    // The pins negotiate between themselves; the output pin drives.
    return ppinOut->Connect(ppinIn, pmt);
}

HRESULT STDMETHODCALLTYPE FilterGraph::Reconnect(IPin *ppin)
{
    if (!ppin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_state != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (!pinInGraph(ppin))
        return VFW_E_NOT_IN_GRAPH;
    ComPtr<IPin> peer;
    if (FAILED(ppin->ConnectedTo(peer.ReleaseAndGetAddressOf())) || !peer)
        return VFW_E_NOT_CONNECTED;
    const bool isOutput = hasDirection(ppin, PINDIR_OUTPUT);
    IPin *output = isOutput ? ppin : peer.Get();
    IPin *input = isOutput ? peer.Get() : ppin;
    // Both ends let go, then the pins agree on a type afresh (synchronously, unlike Windows).
    HRESULT hr = output->Disconnect();
    if (FAILED(hr))
        return hr;
    hr = input->Disconnect();
    if (FAILED(hr))
        return hr;
    return output->Connect(input, nullptr);
}

HRESULT STDMETHODCALLTYPE FilterGraph::Disconnect(IPin *ppin)
{
    if (!ppin)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    return ppin->Disconnect();
}

HRESULT STDMETHODCALLTYPE FilterGraph::SetDefaultSyncSource()
{
    // No reference clock here: every filter runs without one.
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    for (const Entry &entry : m_filters)
        entry.filter->SetSyncSource(nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Connect(IPin *ppinOut, IPin *ppinIn)
{
    return ConnectDirect(ppinOut, ppinIn, nullptr);
}

HRESULT STDMETHODCALLTYPE FilterGraph::Render(IPin *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::RenderFile(LPCWSTR, LPCWSTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::AddSourceFilter(LPCWSTR, LPCWSTR, IBaseFilter **ppFilter)
{
    if (ppFilter)
        *ppFilter = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::SetLogFile(DWORD_PTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Abort()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::ShouldOperationContinue()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetTypeInfoCount(UINT *pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo)
{
    if (ppTInfo)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *,
                                              EXCEPINFO *, UINT *)
{
    return E_NOTIMPL;
}

std::vector<ComPtr<IBaseFilter>> FilterGraph::stateOrder() const
{
    std::vector<ComPtr<IBaseFilter>> filters;
    for (const Entry &entry : m_filters)
        filters.push_back(entry.filter);
    return downstreamFirst(filters);
}

void FilterGraph::setState(FILTER_STATE state)
{
    m_state = state;
    m_events.setRunning(state == State_Running);
}

HRESULT FilterGraph::pauseAll()
{
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter> &filter : stateOrder()) {
        const HRESULT hr = filter->Pause();
        if (FAILED(hr))
            return hr;
        if (hr != S_OK)
            result = hr;
    }
    return result;
}

HRESULT FilterGraph::stopAll()
{
    HRESULT result = S_OK;
    for (const ComPtr<IBaseFilter> &filter : stateOrder()) {
        const HRESULT hr = filter->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Run()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_state == State_Running)
        return S_OK;
    HRESULT result = S_OK;
    if (m_state == State_Stopped) {
        result = pauseAll();
        if (FAILED(result)) {
            // Nothing is left half started.
            stopAll();
            setState(State_Stopped);
            return result;
        }
        setState(State_Paused);
    }
    for (const ComPtr<IBaseFilter> &filter : stateOrder()) {
        const HRESULT hr = filter->Run(0);
        if (FAILED(hr)) {
            stopAll();
            setState(State_Stopped);
            return hr;
        }
        if (hr != S_OK)
            result = hr;
    }
    setState(State_Running);
    return result;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Pause()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_state == State_Paused)
        return S_OK;
    const HRESULT hr = pauseAll();
    if (FAILED(hr)) {
        stopAll();
        setState(State_Stopped);
        return hr;
    }
    setState(State_Paused);
    return hr;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Stop()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (m_state == State_Stopped)
        return S_OK;
    HRESULT result = S_OK;
    if (m_state == State_Running) {
        const HRESULT hr = pauseAll();
        if (FAILED(hr))
            result = hr;
    }
    const HRESULT hr = stopAll();
    if (FAILED(hr) && SUCCEEDED(result))
        result = hr;
    setState(State_Stopped);
    return FAILED(result) ? result : S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetState(LONG msTimeout, OAFilterState *pfs)
{
    if (!pfs)
        return E_POINTER;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    *pfs = m_state;
    HRESULT result = S_OK;
    for (const Entry &entry : m_filters) {
        FILTER_STATE state = State_Stopped;
        const HRESULT hr = entry.filter->GetState(static_cast<DWORD>(msTimeout), &state);
        if (hr == VFW_S_STATE_INTERMEDIATE)
            result = hr;
    }
    return result;
}

HRESULT STDMETHODCALLTYPE FilterGraph::RenderFile(BSTR)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::AddSourceFilter(BSTR, IDispatch **ppUnk)
{
    if (ppUnk)
        *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::get_FilterCollection(IDispatch **ppUnk)
{
    if (ppUnk)
        *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::get_RegFilterCollection(IDispatch **ppUnk)
{
    if (ppUnk)
        *ppUnk = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::StopWhenReady()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    const HRESULT hr = Pause();
    if (FAILED(hr))
        return hr;
    return Stop();
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetEventHandle(OAEVENT *hEvent)
{
    if (!hEvent)
        return E_POINTER;
    *hEvent = reinterpret_cast<OAEVENT>(m_events.handle());
    return m_events.handle() ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE FilterGraph::GetEvent(LONG *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2,
                                                LONG msTimeout)
{
    // A negative time-out is INFINITE, as on Windows.
    return m_events.take(lEventCode, lParam1, lParam2, static_cast<DWORD>(msTimeout));
}

HRESULT STDMETHODCALLTYPE FilterGraph::WaitForCompletion(LONG msTimeout, LONG *pEvCode)
{
    return m_events.waitForCompletion(static_cast<DWORD>(msTimeout), pEvCode);
}

HRESULT STDMETHODCALLTYPE FilterGraph::CancelDefaultHandling(LONG)
{
    // Every event already reaches the application unchanged.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::RestoreDefaultHandling(LONG)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::FreeEventParams(LONG, LONG_PTR, LONG_PTR)
{
    // Event parameters here are plain values; nothing to free.
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FilterGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    m_events.post(EventCode, EventParam1, EventParam2);
    return S_OK;
}

} // namespace vistrel::dshow
