// State changes of a source filter and the life of its pins' worker threads, in a real graph.
#include "platform/dshow/RuntimeObjects.h"
#include "tests/driver/filter/base/TestGraph.h"

#include <QtTest>

namespace {
const DWORD kWaitMs = 300000;

FILTER_STATE stateOf(IBaseFilter *filter)
{
    FILTER_STATE state = static_cast<FILTER_STATE>(-1);
    filter->GetState(0, &state);
    return state;
}

// A source with `pins` pins, each connected straight to a sink of its own, outside any graph.
struct DirectlyConnected
{
    std::vector<std::shared_ptr<StreamProbe>> probes;
    TestSourceFilter *filter = nullptr;
    std::vector<SampleSink *> sinks;

    explicit DirectlyConnected(int pins)
    {
        filter = makeTestFilter(pins, &probes);
        for (int i = 0; i < pins; i++) {
            sinks.push_back(SampleSink::create({}));
            filter->pin(i)->Connect(sinks.back()->inputPin(), NULL);
        }
    }
    ~DirectlyConnected()
    {
        if (filter != nullptr) {
            filter->Stop();
            for (int i = 0; i < filter->GetPinCount(); i++) {
                filter->pin(i)->Disconnect();
                sinks[i]->inputPin()->Disconnect();
            }
            filter->Release();
        }
        for (SampleSink *sink : sinks)
            sink->Release();
    }
};
} // namespace

class TestFrameworkStreaming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        QCOMPARE(CBaseObject::ObjectsActive(), 0);
        QCOMPARE(VistrelDShowLiveObjects(), 0);
        QCOMPARE(vistrel::sink::objectsAlive(), 0);
    }

    void pausingAnUnconnectedFilterStartsNoWorker()
    {
        TestGraph graph;
        QCOMPARE(graph.build(1, false), S_OK);
        QCOMPARE(graph.control()->Pause(), S_OK);
        QCOMPARE(stateOf(graph.source()), State_Paused);
        QVERIFY(!graph.pin(0)->ThreadExists());
        QCOMPARE(graph.probe(0).threadCreates.load(), 0);
        QCOMPARE(graph.probe(0).fills.load(), 0);
        QCOMPARE(graph.control()->Stop(), S_OK);
        QCOMPARE(stateOf(graph.source()), State_Stopped);
    }

    void pauseRunStopUsesOneWorkerThread()
    {
        TestGraph graph;
        QCOMPARE(graph.build(1, true), S_OK);
        StreamProbe &probe = graph.probe(0);

        QCOMPARE(graph.control()->Pause(), S_OK);
        QVERIFY(graph.pin(0)->ThreadExists());
        QCOMPARE(probe.threadCreates.load(), 1);
        // The loop delivers in the paused state too; the sink takes samples while paused.
        QVERIFY(graph.sink()->waitForSamples(1, kWaitMs));

        QCOMPARE(graph.control()->Run(), S_OK);
        QCOMPARE(graph.control()->Pause(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        const LONG seen = graph.sink()->samplesReceived();
        QVERIFY(graph.sink()->waitForSamples(seen + 3, kWaitMs));
        QCOMPARE(probe.threadCreates.load(), 1);
        QCOMPARE(probe.fillThreadId.load(), probe.createThreadId.load());
        QCOMPARE(probe.threadDestroys.load(), 0);

        QCOMPARE(graph.control()->Stop(), S_OK);
        QVERIFY(!graph.pin(0)->ThreadExists());
        QCOMPARE(probe.threadCreates.load(), 1);
        QCOMPARE(probe.threadDestroys.load(), 1);

        // Every pause from stopped starts a fresh worker, every stop ends it.
        for (int cycle = 2; cycle <= 3; cycle++) {
            QCOMPARE(graph.control()->Run(), S_OK);
            QCOMPARE(graph.control()->Stop(), S_OK);
            QCOMPARE(probe.threadCreates.load(), cycle);
            QCOMPARE(probe.threadDestroys.load(), cycle);
        }
    }

    void runFromStoppedPausesFirst()
    {
        TestGraph graph;
        QCOMPARE(graph.build(1, true), S_OK);
        QCOMPARE(graph.source()->Run(0), S_OK);
        QCOMPARE(graph.probe(0).runCalls.load(), 1);
        QVERIFY(graph.probe(0).workerExistedAtRun.load());
        QCOMPARE(graph.probe(0).threadCreates.load(), 1);
        QCOMPARE(stateOf(graph.source()), State_Running);
        QCOMPARE(graph.source()->Stop(), S_OK);
        QCOMPARE(graph.probe(0).threadDestroys.load(), 1);
    }

    void endOfStreamKeepsTheWorkerUntilStop()
    {
        TestGraph graph;
        QCOMPARE(graph.build(1, true), S_OK);
        graph.probe(0).samplesBeforeEnd = 3;
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.sink()->waitForEndOfStream(kWaitMs));
        QCOMPARE(graph.sink()->samplesReceived(), 3);
        QCOMPARE(graph.sink()->endOfStreamCount(), 1);
        QVERIFY(graph.pin(0)->ThreadExists());
        QCOMPARE(graph.probe(0).threadDestroys.load(), 0);
        QCOMPARE(graph.control()->Stop(), S_OK);
        QVERIFY(!graph.pin(0)->ThreadExists());
        QCOMPARE(graph.probe(0).threadDestroys.load(), 1);
    }

    void fillFailureAbortsTheStream_data()
    {
        QTest::addColumn<HRESULT>("failure");
        QTest::newRow("E_FAIL") << E_FAIL;
        QTest::newRow("VFW_E_RUNTIME_ERROR") << VFW_E_RUNTIME_ERROR;
        QTest::newRow("unexpected success code") << HRESULT(2);
    }

    void fillFailureAbortsTheStream()
    {
        QFETCH(HRESULT, failure);
        TestGraph graph;
        QCOMPARE(graph.build(1, true), S_OK);
        graph.probe(0).samplesBeforeEnd = 2;
        graph.probe(0).endResult = failure;
        QCOMPARE(graph.control()->Run(), S_OK);
        LONG_PTR reported = 0;
        QVERIFY(graph.waitForEvent(EC_ERRORABORT, &reported, kWaitMs));
        QCOMPARE(static_cast<HRESULT>(reported), failure);
        QVERIFY(graph.sink()->waitForEndOfStream(kWaitMs));
        QCOMPARE(graph.sink()->samplesReceived(), 2);
        QVERIFY(graph.pin(0)->ThreadExists());
        QCOMPARE(graph.control()->Stop(), S_OK);
        QCOMPARE(graph.probe(0).threadDestroys.load(), 1);
    }

    // While delivering, the loop answers pause and run itself and refuses other commands; between runs the
    // worker procedure answers, and a pause or run starts the loop again.
    void workerAnswersCommandsInAndBetweenDeliveryRuns()
    {
        TestGraph graph;
        QCOMPARE(graph.build(1, true), S_OK);
        TestSourcePin *pin = graph.pin(0);
        QCOMPARE(graph.control()->Pause(), S_OK);
        QVERIFY(graph.sink()->waitForSamples(1, kWaitMs));
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(CSourceStream::CMD_RUN)), S_OK);
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(CSourceStream::CMD_PAUSE)), S_OK);
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(CSourceStream::CMD_INIT)), E_UNEXPECTED);
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(42)), E_UNEXPECTED);
        const LONG delivered = graph.sink()->samplesReceived();
        QVERIFY(graph.sink()->waitForSamples(delivered + 2, kWaitMs));

        graph.probe(0).samplesBeforeEnd = 0; // the next fill ends the stream
        QVERIFY(graph.sink()->waitForEndOfStream(kWaitMs));
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(42)), E_NOTIMPL);
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(CSourceStream::CMD_STOP)), S_OK);
        QCOMPARE(static_cast<HRESULT>(pin->CallWorker(CSourceStream::CMD_PAUSE)), S_OK);
        QTRY_VERIFY_WITH_TIMEOUT(graph.sink()->endOfStreamCount() >= 2, int(kWaitMs));
        QCOMPARE(graph.probe(0).threadCreates.load(), 1);
        QCOMPARE(graph.control()->Stop(), S_OK);
        QCOMPARE(graph.probe(0).threadDestroys.load(), 1);
    }

    void commandsWithoutAWorkerFail()
    {
        std::vector<std::shared_ptr<StreamProbe>> probes;
        TestSourceFilter *filter = makeTestFilter(1, &probes);
        for (DWORD command : {CSourceStream::CMD_INIT, CSourceStream::CMD_PAUSE, CSourceStream::CMD_RUN,
                              CSourceStream::CMD_STOP, CSourceStream::CMD_EXIT})
            QCOMPARE(static_cast<HRESULT>(filter->pin(0)->CallWorker(command)), E_FAIL);
        filter->Release();
    }

    // A worker whose start fails must not stay behind: the filter stays stopped and can be paused again.
    void failedWorkerStartLeavesNothingBehind()
    {
        DirectlyConnected setup(1);
        StreamProbe &probe = *setup.probes[0];
        probe.onThreadCreateResult = E_OUTOFMEMORY;
        QCOMPARE(setup.filter->Pause(), E_OUTOFMEMORY);
        QCOMPARE(stateOf(setup.filter), State_Stopped);
        QVERIFY(!setup.filter->pin(0)->ThreadExists());
        QCOMPARE(probe.threadDestroys.load(), 1);
        IMediaSample *sample = reinterpret_cast<IMediaSample *>(0xdeadbeef);
        QVERIFY(FAILED(setup.filter->pin(0)->GetDeliveryBuffer(&sample, NULL, NULL, AM_GBF_NOWAIT)));
        QVERIFY(sample == NULL);

        probe.onThreadCreateResult = S_OK;
        QCOMPARE(setup.filter->Pause(), S_OK);
        QVERIFY(setup.filter->pin(0)->ThreadExists());
        QCOMPARE(probe.threadCreates.load(), 2);
        QCOMPARE(setup.filter->Stop(), S_OK);
        QCOMPARE(probe.threadDestroys.load(), 2);
    }

    // When a later pin refuses to start, the earlier ones are stopped again: the filter stays stopped, and a
    // stop would not reach them.
    void failedPinActivationStopsEarlierPins()
    {
        DirectlyConnected setup(2);
        setup.probes[1]->activeResultOverride = E_ACCESSDENIED;
        QCOMPARE(setup.filter->Pause(), E_ACCESSDENIED);
        QCOMPARE(stateOf(setup.filter), State_Stopped);
        QVERIFY(!setup.filter->pin(0)->ThreadExists());
        QCOMPARE(setup.probes[0]->threadCreates.load(), 1);
        QCOMPARE(setup.probes[0]->threadDestroys.load(), 1);
    }

    // The last release of a filter that is still paused ends its worker before the pins go.
    void releasingAPausedFilterEndsItsWorker()
    {
        std::vector<std::shared_ptr<StreamProbe>> probes;
        TestSourceFilter *filter = makeTestFilter(1, &probes);
        SampleSink *sink = SampleSink::create({});
        QCOMPARE(filter->pin(0)->Connect(sink->inputPin(), NULL), S_OK);
        QCOMPARE(filter->Pause(), S_OK);
        QVERIFY(filter->pin(0)->ThreadExists());
        // Only the sink's end lets go; our pin still holds the sink's pin when the filter is released.
        QCOMPARE(sink->inputPin()->Disconnect(), S_OK);
        filter->Release();
        QCOMPARE(probes[0]->threadCreates.load(), 1);
        QCOMPARE(probes[0]->threadDestroys.load(), 1);
        sink->Release();
    }
};

QTEST_GUILESS_MAIN(TestFrameworkStreaming)
#include "tst_FilterBaseStreaming.moc"
