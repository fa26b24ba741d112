// The system's filter graph manager (CLSID_FilterGraph), reduced to what capture needs: filters are added and
// connected directly (no intelligent connect, no reference clock), run, paused and stopped downstream first,
// and the events they report are queued for the application.
//
// IMediaControl and IMediaEvent keep their dispatch-based layout, but automation is not offered: the
// IDispatch methods and the file-rendering methods answer E_NOTIMPL.
#pragma once

#include "platform/dshow/GraphEvents.h"
#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"

#include <mutex>
#include <string>
#include <vector>

namespace vistrel::dshow {

class FilterGraph final : public IGraphBuilder,
                          public IMediaControl,
                          public IMediaEvent,
                          public IMediaEventSink,
                          private LiveObject
{
public:
    static HRESULT create(IUnknown *outer, REFIID riid, void **ppv);

    // IUnknown (all interfaces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IFilterGraph
    HRESULT STDMETHODCALLTYPE AddFilter(IBaseFilter *pFilter, LPCWSTR pName) override;
    HRESULT STDMETHODCALLTYPE RemoveFilter(IBaseFilter *pFilter) override;
    HRESULT STDMETHODCALLTYPE EnumFilters(IEnumFilters **ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindFilterByName(LPCWSTR pName, IBaseFilter **ppFilter) override;
    HRESULT STDMETHODCALLTYPE ConnectDirect(IPin *ppinOut, IPin *ppinIn, const AM_MEDIA_TYPE *pmt) override;
    HRESULT STDMETHODCALLTYPE Reconnect(IPin *ppin) override;
    HRESULT STDMETHODCALLTYPE Disconnect(IPin *ppin) override;
    HRESULT STDMETHODCALLTYPE SetDefaultSyncSource() override;

    // IGraphBuilder: Connect is a direct connection; nothing is rendered or inserted.
    HRESULT STDMETHODCALLTYPE Connect(IPin *ppinOut, IPin *ppinIn) override;
    HRESULT STDMETHODCALLTYPE Render(IPin *ppinOut) override;
    HRESULT STDMETHODCALLTYPE RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                              IBaseFilter **ppFilter) override;
    HRESULT STDMETHODCALLTYPE SetLogFile(DWORD_PTR hFile) override;
    HRESULT STDMETHODCALLTYPE Abort() override;
    HRESULT STDMETHODCALLTYPE ShouldOperationContinue() override;

    // IDispatch (IMediaControl, IMediaEvent)
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid,
                                            DISPID *rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS *pDispParams, VARIANT *pVarResult, EXCEPINFO *pExcepInfo,
                                     UINT *puArgErr) override;

    // IMediaControl
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetState(LONG msTimeout, OAFilterState *pfs) override;
    HRESULT STDMETHODCALLTYPE RenderFile(BSTR strFilename) override;
    HRESULT STDMETHODCALLTYPE AddSourceFilter(BSTR strFilename, IDispatch **ppUnk) override;
    HRESULT STDMETHODCALLTYPE get_FilterCollection(IDispatch **ppUnk) override;
    HRESULT STDMETHODCALLTYPE get_RegFilterCollection(IDispatch **ppUnk) override;
    HRESULT STDMETHODCALLTYPE StopWhenReady() override;

    // IMediaEvent
    HRESULT STDMETHODCALLTYPE GetEventHandle(OAEVENT *hEvent) override;
    HRESULT STDMETHODCALLTYPE GetEvent(LONG *lEventCode, LONG_PTR *lParam1, LONG_PTR *lParam2,
                                       LONG msTimeout) override;
    HRESULT STDMETHODCALLTYPE WaitForCompletion(LONG msTimeout, LONG *pEvCode) override;
    HRESULT STDMETHODCALLTYPE CancelDefaultHandling(LONG lEvCode) override;
    HRESULT STDMETHODCALLTYPE RestoreDefaultHandling(LONG lEvCode) override;
    HRESULT STDMETHODCALLTYPE FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;

    // IMediaEventSink
    HRESULT STDMETHODCALLTYPE Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

private:
    struct Entry
    {
        ComPtr<IBaseFilter> filter;
        std::wstring name;
    };

    FilterGraph() = default;
    ~FilterGraph();

    // All with m_lock held.
    bool hasName(const std::wstring &name) const;
    bool contains(IBaseFilter *filter) const;
    bool pinInGraph(IPin *pin) const;
    std::vector<ComPtr<IBaseFilter>> stateOrder() const;
    HRESULT pauseAll();
    HRESULT stopAll();
    void setState(FILTER_STATE state);
    void removeAll();

    RefCount m_refs;
    // Recursive: a filter may call back into the graph (Reconnect) while the graph calls it.
    mutable std::recursive_mutex m_lock;
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;
    GraphEvents m_events;
};

} // namespace vistrel::dshow
