// A real filter graph for the tests: the test source filter connected to the platform's sample sink.
#pragma once

#include "platform/windows/ComPtr.h"
#include "tests/driver/filter/base/TestSourceFilter.h"
#include "tools/sample-sink/SampleSink.h"

#include <memory>
#include <vector>

using vistrel::sink::SampleSink;

class TestGraph
{
public:
    TestGraph() = default;
    ~TestGraph();
    TestGraph(const TestGraph &) = delete;
    TestGraph &operator=(const TestGraph &) = delete;

    // Builds the graph with a source of `pinCount` pins and a sink; connects the first pin when asked.
    HRESULT build(int pinCount, bool connect, const vistrel::sink::SampleSinkOptions &sinkOptions = {});

    // Takes events until one with `code` arrives; false on time-out.
    bool waitForEvent(LONG code, LONG_PTR *param1, DWORD timeoutMs);

    TestSourceFilter *source() const { return m_source; }
    TestSourcePin *pin(int index) const { return m_source->pin(index); }
    StreamProbe &probe(int index) const { return *m_probes.at(index); }
    SampleSink *sink() const { return m_sink; }
    IGraphBuilder *graph() const { return m_graph.Get(); }
    IMediaControl *control() const { return m_control.Get(); }

private:
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IMediaEvent> m_events;
    ComPtr<IBaseFilter> m_sourceFilter;
    ComPtr<IBaseFilter> m_sinkFilter;
    TestSourceFilter *m_source = nullptr; // held by m_sourceFilter
    SampleSink *m_sink = nullptr;         // held by m_sinkFilter
    std::vector<std::shared_ptr<StreamProbe>> m_probes;
};
