// A small hand-written filter for the runtime's tests: one pin of either direction, state changes written to
// a shared log, and (for an output pin) samples pushed on request through the downstream pin's allocator.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

class TestFilter;

class TestPin final : public IPin
{
public:
    TestPin(TestFilter &filter, PIN_DIRECTION direction);
    ~TestPin();

    // Output side: pushes one sample of `bytes` through the connection; the result of the receiver.
    HRESULT deliver(const std::vector<BYTE> &bytes, REFERENCE_TIME start, REFERENCE_TIME stop);
    HRESULT deliverEndOfStream();
    HRESULT commitAllocator();
    void decommitAllocator();
    IMemAllocator *allocator() const { return m_allocator.Get(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
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

private:
    TestFilter &m_filter;
    const PIN_DIRECTION m_direction;
    ComPtr<IPin> m_peer;
    ComPtr<IMemInputPin> m_input;
    ComPtr<IMemAllocator> m_allocator;
    AM_MEDIA_TYPE m_type{};
    VIDEOINFOHEADER m_format{};
};

class TestFilter final : public IBaseFilter
{
public:
    // One reference for the caller. `log` receives "<name>.<Stop|Pause|Run>" for every state change.
    TestFilter(std::string name, PIN_DIRECTION direction, std::vector<std::string> *log);

    TestPin *pin() { return &m_pin; }
    FILTER_STATE state() const { return m_state; }
    // Reports an event to the graph the filter has joined; false when it has joined none.
    bool notify(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Makes the next state change answer `result` (once).
    void failNextStateChange(HRESULT result) { m_failure = result; }

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

    static std::atomic<int> liveFilters;

private:
    ~TestFilter();
    HRESULT change(const char *what, FILTER_STATE next);

    std::atomic<ULONG> m_refs{1};
    const std::string m_name;
    std::vector<std::string> *m_log;
    TestPin m_pin;
    FILTER_STATE m_state = State_Stopped;
    HRESULT m_failure = S_OK;
    IFilterGraph *m_graph = nullptr; // weak, as filters keep their graph
};

// A VideoInfo RGB24 type of the given size, with its format block in `format`.
AM_MEDIA_TYPE videoType(VIDEOINFOHEADER &format, LONG width, LONG height,
                        const GUID &subtype = MEDIASUBTYPE_RGB24);
