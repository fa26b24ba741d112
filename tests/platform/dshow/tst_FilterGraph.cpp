// The filter graph: state changes downstream first, direct connections, filter bookkeeping and the event
// queue.
#include "ComTestSupport.h"
#include "TestFilter.h"
#include "platform/windows/ComPtr.h"

#include <QtTest>

#include <future>
#include <string>
#include <vector>

Q_DECLARE_METATYPE(GUID)

namespace {

using Log = std::vector<std::string>;

ComPtr<IGraphBuilder> makeGraph()
{
    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, comOutput(graph));
    return graph;
}

// A source feeding a renderer, both in a graph and connected.
struct Chain
{
    Log log;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<TestFilter> source;
    ComPtr<TestFilter> renderer;

    bool build(bool rendererFirst)
    {
        graph = makeGraph();
        if (!graph)
            return false;
        control = queryComPtr<IMediaControl>(graph, IID_IMediaControl);
        source = adoptComPtr<TestFilter>(new TestFilter("source", PINDIR_OUTPUT, &log));
        renderer = adoptComPtr<TestFilter>(new TestFilter("renderer", PINDIR_INPUT, &log));
        if (rendererFirst) {
            graph->AddFilter(renderer.Get(), L"renderer");
            graph->AddFilter(source.Get(), L"source");
        } else {
            graph->AddFilter(source.Get(), L"source");
            graph->AddFilter(renderer.Get(), L"renderer");
        }
        return control && graph->ConnectDirect(source->pin(), renderer->pin(), nullptr) == S_OK;
    }
    Log take() { return std::exchange(log, {}); }
};

QStringList toStrings(const Log &log)
{
    QStringList list;
    for (const std::string &entry : log)
        list << QString::fromStdString(entry);
    return list;
}

} // namespace

class FilterGraphTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        QCOMPARE(TestFilter::liveFilters.load(), 0);
        QCOMPARE(VistrelDShowLiveObjects(), 0);
    }

    void stateChangesGoDownstreamFirst_data()
    {
        QTest::addColumn<bool>("rendererFirst");
        QTest::newRow("source added first") << false;
        QTest::newRow("renderer added first") << true;
    }
    void stateChangesGoDownstreamFirst()
    {
        QFETCH(bool, rendererFirst);
        Chain chain;
        QVERIFY(chain.build(rendererFirst));
        chain.take();

        // Run from Stopped pauses everything first.
        QCOMPARE(chain.control->Run(), S_OK);
        QCOMPARE(toStrings(chain.take()),
                 QStringList({"renderer.Pause", "source.Pause", "renderer.Run", "source.Run"}));
        OAFilterState state = -1;
        QCOMPARE(chain.control->GetState(0, &state), S_OK);
        QCOMPARE(state, OAFilterState(State_Running));

        QCOMPARE(chain.control->Pause(), S_OK);
        QCOMPARE(toStrings(chain.take()), QStringList({"renderer.Pause", "source.Pause"}));
        QCOMPARE(chain.control->Run(), S_OK);
        QCOMPARE(toStrings(chain.take()), QStringList({"renderer.Run", "source.Run"}));

        // Stop from Running pauses first.
        QCOMPARE(chain.control->Stop(), S_OK);
        QCOMPARE(toStrings(chain.take()),
                 QStringList({"renderer.Pause", "source.Pause", "renderer.Stop", "source.Stop"}));
        QCOMPARE(chain.control->Stop(), S_OK);
        QVERIFY(chain.take().empty());
    }

    void failedRunLeavesEverythingStopped()
    {
        Chain chain;
        QVERIFY(chain.build(false));
        QCOMPARE(chain.control->Pause(), S_OK);
        chain.source->failNextStateChange(E_UNEXPECTED);
        QCOMPARE(chain.control->Run(), E_UNEXPECTED);
        OAFilterState state = -1;
        QCOMPARE(chain.control->GetState(0, &state), S_OK);
        QCOMPARE(state, OAFilterState(State_Stopped));
        QCOMPARE(chain.source->state(), State_Stopped);
        QCOMPARE(chain.renderer->state(), State_Stopped);
    }

    void connectionRules()
    {
        Chain chain;
        QVERIFY(chain.build(false));
        ComPtr<TestFilter> outsider =
            adoptComPtr<TestFilter>(new TestFilter("outsider", PINDIR_INPUT, nullptr));
        QCOMPARE(chain.graph->ConnectDirect(chain.source->pin(), outsider->pin(), nullptr),
                 VFW_E_NOT_IN_GRAPH);
        QCOMPARE(chain.graph->ConnectDirect(chain.renderer->pin(), chain.source->pin(), nullptr),
                 VFW_E_INVALID_DIRECTION);
        QCOMPARE(chain.graph->ConnectDirect(nullptr, chain.source->pin(), nullptr), E_POINTER);

        // Reconnect lets go at both ends and connects the same pins again.
        QCOMPARE(chain.graph->Reconnect(chain.renderer->pin()), S_OK);
        ComPtr<IPin> peer;
        QCOMPARE(chain.source->pin()->ConnectedTo(peer.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(peer.Get(), static_cast<IPin *>(chain.renderer->pin()));
        peer.Reset();

        QCOMPARE(chain.control->Run(), S_OK);
        QCOMPARE(chain.graph->Reconnect(chain.source->pin()), VFW_E_NOT_STOPPED);
        QCOMPARE(chain.graph->ConnectDirect(chain.source->pin(), chain.renderer->pin(), nullptr),
                 VFW_E_NOT_STOPPED);
        QCOMPARE(chain.graph->RemoveFilter(chain.source.Get()), VFW_E_NOT_STOPPED);
        QCOMPARE(chain.control->Stop(), S_OK);

        QCOMPARE(chain.graph->Disconnect(chain.source->pin()), S_OK);
        QCOMPARE(chain.graph->Disconnect(chain.renderer->pin()), S_OK);
        QCOMPARE(chain.graph->Reconnect(chain.source->pin()), VFW_E_NOT_CONNECTED);
    }

    void filtersAreNamedFoundAndRemoved()
    {
        ComPtr<IGraphBuilder> graph = makeGraph();
        QVERIFY(graph);
        ComPtr<TestFilter> a = adoptComPtr<TestFilter>(new TestFilter("a", PINDIR_OUTPUT, nullptr));
        ComPtr<TestFilter> b = adoptComPtr<TestFilter>(new TestFilter("b", PINDIR_INPUT, nullptr));
        QCOMPARE(graph->AddFilter(a.Get(), L"Camera"), S_OK);
        QCOMPARE(graph->AddFilter(a.Get(), L"Again"), E_INVALIDARG);
        QCOMPARE(graph->AddFilter(b.Get(), L"Camera"), VFW_S_DUPLICATE_NAME);
        QCOMPARE(referenceCount(a.Get()), ULONG(2));

        IBaseFilter *found = sentinel<IBaseFilter>();
        QCOMPARE(graph->FindFilterByName(L"Camera", &found), S_OK);
        QCOMPARE(found, static_cast<IBaseFilter *>(a.Get()));
        found->Release();
        QCOMPARE(graph->FindFilterByName(L"Nothing", &found), VFW_E_NOT_FOUND);
        QVERIFY(found == nullptr);

        ComPtr<IEnumFilters> filters;
        QCOMPARE(graph->EnumFilters(filters.ReleaseAndGetAddressOf()), S_OK);
        IBaseFilter *listed[3] = {};
        ULONG fetched = 0;
        QCOMPARE(filters->Next(3, listed, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(2));
        for (ULONG i = 0; i < fetched; ++i)
            listed[i]->Release();
        filters.Reset();
        QCOMPARE(referenceCount(a.Get()), ULONG(2));

        QCOMPARE(graph->ConnectDirect(a->pin(), b->pin(), nullptr), S_OK);
        QCOMPARE(graph->RemoveFilter(b.Get()), S_OK);
        ComPtr<IPin> peer;
        QCOMPARE(a->pin()->ConnectedTo(peer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
        QCOMPARE(graph->RemoveFilter(b.Get()), VFW_E_NOT_FOUND);
        QCOMPARE(referenceCount(b.Get()), ULONG(1));
    }

    void eventsAreQueuedInOrder()
    {
        Chain chain;
        QVERIFY(chain.build(false));
        ComPtr<IMediaEvent> events = queryComPtr<IMediaEvent>(chain.graph, IID_IMediaEvent);
        QVERIFY(events);
        OAEVENT handle = 0;
        QCOMPARE(events->GetEventHandle(&handle), S_OK);
        QCOMPARE(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), DWORD(WAIT_TIMEOUT));

        QVERIFY(chain.source->notify(EC_USER + 1, 11, 12));
        QVERIFY(chain.renderer->notify(EC_ERRORABORT, E_FAIL, 0));
        QCOMPARE(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), DWORD(WAIT_OBJECT_0));

        LONG code = 0;
        LONG_PTR first = 0;
        LONG_PTR second = 0;
        QCOMPARE(events->GetEvent(&code, &first, &second, 0), S_OK);
        QCOMPARE(code, LONG(EC_USER + 1));
        QCOMPARE(first, LONG_PTR(11));
        QCOMPARE(second, LONG_PTR(12));
        QCOMPARE(events->GetEvent(&code, &first, &second, 0), S_OK);
        QCOMPARE(code, LONG(EC_ERRORABORT));
        QCOMPARE(first, LONG_PTR(E_FAIL));
        QCOMPARE(events->FreeEventParams(code, first, second), S_OK);

        QCOMPARE(events->GetEvent(&code, &first, &second, 0), E_ABORT);
        QCOMPARE(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), DWORD(WAIT_TIMEOUT));
    }

    void waitingForCompletion()
    {
        Chain chain;
        QVERIFY(chain.build(false));
        ComPtr<IMediaEvent> events = queryComPtr<IMediaEvent>(chain.graph, IID_IMediaEvent);
        QVERIFY(events);
        LONG code = -1;
        // Nothing can complete a stopped graph: the answer comes at once rather than never.
        QCOMPARE(events->WaitForCompletion(-1, &code), VFW_E_WRONG_STATE);
        QCOMPARE(events->WaitForCompletion(0, nullptr), E_POINTER);

        QCOMPARE(chain.control->Run(), S_OK);
        QCOMPARE(events->WaitForCompletion(0, &code), E_ABORT);
        auto waiting = std::async(std::launch::async, [&events] {
            LONG completed = 0;
            const HRESULT hr = events->WaitForCompletion(-1, &completed);
            return std::make_pair(hr, completed);
        });
        TestFilter *renderer = chain.renderer.Get();
        auto reporting =
            std::async(std::launch::async, [renderer] { renderer->notify(EC_COMPLETE, S_OK, 0); });
        QCOMPARE(waiting.wait_for(std::chrono::minutes(5)), std::future_status::ready);
        reporting.wait();
        QCOMPARE(waiting.get(), std::make_pair(S_OK, LONG(EC_COMPLETE)));
        QCOMPARE(chain.control->Stop(), S_OK);
    }

    void releasingARunningGraphFreesEverything()
    {
        Chain chain;
        QVERIFY(chain.build(false));
        QCOMPARE(chain.control->Run(), S_OK);
        chain.source.Reset();
        chain.renderer.Reset();
        chain.control.Reset();
        // The connection holds the two filters together; the graph must break it as it goes.
        chain.graph.Reset();
        QCOMPARE(TestFilter::liveFilters.load(), 0);
        QCOMPARE(toStrings(chain.log).mid(chain.log.size() - 2),
                 QStringList({"renderer.Stop", "source.Stop"}));
    }

    void queryInterface_data()
    {
        QTest::addColumn<GUID>("iid");
        QTest::addColumn<bool>("answered");
        QTest::newRow("IUnknown") << IID_IUnknown << true;
        QTest::newRow("IFilterGraph") << IID_IFilterGraph << true;
        QTest::newRow("IGraphBuilder") << IID_IGraphBuilder << true;
        QTest::newRow("IMediaControl") << IID_IMediaControl << true;
        QTest::newRow("IMediaEvent") << IID_IMediaEvent << true;
        QTest::newRow("IMediaEventSink") << IID_IMediaEventSink << true;
        QTest::newRow("IBaseFilter") << IID_IBaseFilter << false;
        QTest::newRow("IFilterMapper2") << IID_IFilterMapper2 << false;
    }
    void queryInterface()
    {
        QFETCH(GUID, iid);
        QFETCH(bool, answered);
        ComPtr<IGraphBuilder> graph = makeGraph();
        QVERIFY(graph);
        void *answer = sentinel<void>();
        QCOMPARE(graph->QueryInterface(iid, &answer), answered ? S_OK : E_NOINTERFACE);
        QCOMPARE(answer != nullptr, answered);
        if (answer) {
            // Every interface leads back to the same identity.
            ComPtr<IUnknown> identity;
            static_cast<IUnknown *>(answer)->QueryInterface(IID_IUnknown, comOutput(identity));
            QCOMPARE(identity.Get(), static_cast<IUnknown *>(graph.Get()));
            static_cast<IUnknown *>(answer)->Release();
        }
        QCOMPARE(referenceCount(graph.Get()), ULONG(1));
    }
};

QTEST_GUILESS_MAIN(FilterGraphTest)
#include "tst_FilterGraph.moc"
