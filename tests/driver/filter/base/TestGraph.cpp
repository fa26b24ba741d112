#include "tests/driver/filter/base/TestGraph.h"

TestGraph::~TestGraph()
{
    if (m_control)
        m_control->Stop();
    m_events.Reset();
    m_control.Reset();
    m_graph.Reset();
    m_sinkFilter.Reset();
    m_sourceFilter.Reset();
}

HRESULT TestGraph::build(int pinCount, bool connect, const vistrel::sink::SampleSinkOptions &sinkOptions)
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  comOutput(m_graph));
    if (FAILED(hr))
        return hr;
    m_control = queryComPtr<IMediaControl>(m_graph, IID_IMediaControl);
    m_events = queryComPtr<IMediaEvent>(m_graph, IID_IMediaEvent);
    if (!m_control || !m_events)
        return E_NOINTERFACE;

    m_source = makeTestFilter(pinCount, &m_probes);
    m_sourceFilter = adoptComPtr<IBaseFilter>(static_cast<IBaseFilter *>(m_source));
    m_sink = SampleSink::create(sinkOptions);
    if (m_sink == nullptr)
        return E_OUTOFMEMORY;
    m_sinkFilter = adoptComPtr<IBaseFilter>(m_sink);

    hr = m_graph->AddFilter(m_sourceFilter.Get(), L"Source");
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(m_sinkFilter.Get(), L"Sink");
    if (SUCCEEDED(hr) && connect)
        hr = m_graph->ConnectDirect(pin(0), m_sink->inputPin(), NULL);
    return hr;
}

bool TestGraph::waitForEvent(LONG code, LONG_PTR *param1, DWORD timeoutMs)
{
    for (;;) {
        LONG eventCode = 0;
        LONG_PTR p1 = 0;
        LONG_PTR p2 = 0;
        if (FAILED(m_events->GetEvent(&eventCode, &p1, &p2, static_cast<LONG>(timeoutMs))))
            return false;
        m_events->FreeEventParams(eventCode, p1, p2);
        if (eventCode == code) {
            if (param1 != nullptr)
                *param1 = p1;
            return true;
        }
    }
}
