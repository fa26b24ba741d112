// Frame delivery through the platform's filter graph: time stamps, pacing across pause, run and stop,
// the capture thread's life with the streaming runs, and what lands in the sample buffers.
#include "driver/capture/DeliveryClock.h"
#include "driver/capture/Placeholder.h"
#include "driver/filter/VideoType.h"
#include "tests/driver/filter/FilterTestSupport.h"

#include <QtTest>

#include <cstring>

using namespace FilterTest;

namespace {

const QString kWaiting = QStringLiteral("sleeping till graph running for video...");
const QString kStopWhileWaiting = QStringLiteral("exiting early from CMD_STOP thinger");
const REFERENCE_TIME k30fps = 333333;

bool isCameraFrame(const Sample &sample)
{
    return !sample.placeholder;
}

FILTER_STATE stateOf(IBaseFilter *filter)
{
    FILTER_STATE state = State_Stopped;
    filter->GetState(0, &state);
    return state;
}

} // namespace

class TestFilterDelivery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED)));
        captureLog();
    }
    void cleanupTestCase() { CoUninitialize(); }
    void init()
    {
        setUpCameras(false);
        saveSettings(30.0);
        clearLog();
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            printLog();
        QVERIFY(waitFor(nothingAlive));
    }

    // Run from stopped pauses first, so the very first sample may wait for the graph to run.
    void samplesAreStampedFromZeroAndAllSyncPoints()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(Placeholder::frame(QSize(960, 640))), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(5));
        QCOMPARE(graph.control()->Stop(), S_OK);

        const QVector<Sample> samples = graph.samples();
        QCOMPARE(samples.first().start, REFERENCE_TIME(0));
        QCOMPARE(samples.first().stop, k30fps);
        for (int i = 0; i < samples.size(); ++i) {
            const Sample &sample = samples[i];
            QVERIFY(sample.hasTimes);
            QVERIFY(sample.syncPoint);
            QCOMPARE(sample.stop - sample.start, k30fps);
            QCOMPARE(sample.bufferSize, LONG(1843200));
            QVERIFY(sample.placeholder);
            if (i > 0)
                QVERIFY(sample.start > samples[i - 1].start);
        }
    }

    void pausedDeliversNothingAndStopEndsTheWait()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Pause(), S_OK);
        QVERIFY(waitForLine(kWaiting, 3));
        QCOMPARE(graph.sampleCount(), 0);

        QCOMPARE(graph.control()->Stop(), S_OK);
        QCOMPARE(countLines(kStopWhileWaiting), 1);
        QCOMPARE(graph.sampleCount(), 0);
        QVERIFY(!graph.pin()->ThreadExists());
    }

    // A new run stamps from 0 again, and the camera's picture comes back once live view has started anew.
    void stopAndRunAgainRestartsStampsAndCamera()
    {
        setUpCameras(true);
        VCamGraph graph;
        QCOMPARE(graph.build(Placeholder::frame(QSize(960, 640))), S_OK);
        QThread *capture = graph.pin()->findChild<QThread *>();
        QVERIFY(capture != nullptr);

        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSample(0, isCameraFrame) >= 0);
        QCOMPARE(graph.control()->Stop(), S_OK);
        // The stopped run asked the capture thread to end.
        QVERIFY(waitFor([&] { return !capture->isRunning(); }));

        const int firstOfSecondRun = graph.sampleCount();
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(firstOfSecondRun + 1));
        const Sample first = graph.samples().at(firstOfSecondRun);
        QCOMPARE(first.start, REFERENCE_TIME(0));
        QCOMPARE(first.stop, k30fps);
        QVERIFY(graph.waitForSample(firstOfSecondRun, isCameraFrame) >= 0);
        QVERIFY(capture->isRunning());
    }

    // Stopping and running again at once, while the capture thread is still winding down, must not
    // lose the restart.
    void quickStopAndRunStillBringsTheCameraBack()
    {
        setUpCameras(true);
        VCamGraph graph;
        QCOMPARE(graph.build(Placeholder::frame(QSize(960, 640))), S_OK);
        for (int round = 0; round < 3; ++round) {
            QCOMPARE(graph.control()->Run(), S_OK);
            QCOMPARE(graph.control()->Stop(), S_OK);
        }
        const int from = graph.sampleCount();
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSample(from, isCameraFrame) >= 0);
    }

    void pauseAndRunAgainKeepsTheTimeOrigin()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(2));
        QCOMPARE(graph.control()->Pause(), S_OK);
        QVERIFY(waitForLine(kWaiting, 3));
        const int beforeRun = graph.sampleCount();
        const LONGLONG resumedAt = clock100ns(0);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(beforeRun + 1));

        const QVector<Sample> samples = graph.samples();
        const Sample &afterPause = samples.at(beforeRun);
        // The origin was taken no later than the first sample arrived; a restarted origin would put the
        // first sample after the pause at 0 instead.
        QVERIFY(afterPause.start >= resumedAt - samples.first().receivedAt);
        QVERIFY(afterPause.start > samples.at(beforeRun - 1).start);
        QCOMPARE(afterPause.stop - afterPause.start, k30fps);
    }

    void oddWidthComesOutStraight()
    {
        const QSize size(1366, 768);
        saveSettings(30.0, size);
        const QByteArray placeholder = Placeholder::frame(size);
        QCOMPARE(placeholder.size(), 1366 * 3 * 768);
        VCamGraph graph;
        QCOMPARE(graph.build(QByteArray(), nullptr, true), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(1));
        QCOMPARE(graph.control()->Stop(), S_OK);

        const QByteArray sample = graph.samples().first().bytes;
        QCOMPARE(sample.size(), 4100 * 768);
        for (int row = 0; row < 768; ++row) {
            QCOMPARE(sample.mid(row * 4100, 4098), placeholder.mid(row * 4098, 4098));
            QCOMPARE(sample.mid(row * 4100 + 4098, 2), QByteArray(2, '\0'));
        }
    }

    // The connection's image size decides the buffers: the frame fills a larger one as far as it goes,
    // and a smaller one with its first bytes.
    void buffersLargerAndSmallerThanAFrame_data()
    {
        QTest::addColumn<int>("imageBytes");
        QTest::newRow("larger") << 1843200 + 4096;
        QTest::newRow("smaller") << 1843200 / 2 + 5;
    }
    void buffersLargerAndSmallerThanAFrame()
    {
        QFETCH(int, imageBytes);
        CMediaType offered;
        QCOMPARE(VideoType::build(&offered, QSize(960, 640), k30fps), S_OK);
        reinterpret_cast<VIDEOINFOHEADER *>(offered.pbFormat)->bmiHeader.biSizeImage = DWORD(imageBytes);
        const QByteArray placeholder = Placeholder::frame(QSize(960, 640));
        VCamGraph graph;
        QCOMPARE(graph.build(QByteArray(), &offered, true), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(2));
        QCOMPARE(graph.control()->Stop(), S_OK);

        const QByteArray sample = graph.samples().at(1).bytes;
        QVERIFY(sample.size() >= imageBytes);
        const int copied = qMin(imageBytes, placeholder.size());
        QCOMPARE(sample.left(copied), placeholder.left(copied));
    }

    void formatSetOnAConnectedPinReconnects()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        IAMStreamConfig *config = graph.pin();
        CMediaType wanted;
        QCOMPARE(VideoType::build(&wanted, QSize(320, 240), 400000), S_OK);
        QCOMPARE(config->SetFormat(&wanted), S_OK);

        // The graph connected the pins afresh, with the type the pin offers.
        CMediaType connection;
        QCOMPARE(static_cast<IPin *>(graph.pin())->ConnectionMediaType(&connection), S_OK);
        QCOMPARE(VideoType::videoInfo(connection)->AvgTimePerFrame, k30fps);
        QCOMPARE(VideoType::videoInfo(connection)->bmiHeader.biWidth, LONG(960));
        QVERIFY(graph.sink()->inputPin() != nullptr);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(2));
    }

    // A format set while running cannot reconnect; delivery goes on at the interval it names, and even
    // an absurdly long one does not hold up the stop.
    void formatSetWhileRunningSetsThePace()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(1));

        CMediaType slower;
        QCOMPARE(VideoType::build(&slower, QSize(960, 640), 500000), S_OK);
        QCOMPARE(graph.pin()->SetFormat(&slower), S_OK);
        QVERIFY(graph.waitForSample(0, [](const Sample &s) { return s.stop - s.start == 500000; }) >= 0);

        CMediaType endless;
        const REFERENCE_TIME century = 100LL * 365 * 24 * 3600 * 10000000;
        QCOMPARE(VideoType::build(&endless, QSize(960, 640), century), S_OK);
        QCOMPARE(graph.pin()->SetFormat(&endless), S_OK);
        // The sample under way when the format changed still comes; the next one is stamped with the new
        // interval and the worker then waits that long before delivering it, unless told to stop.
        const int seen = graph.sampleCount();
        QVERIFY(graph.waitForSamples(seen + 1));
        QCOMPARE(graph.control()->Stop(), S_OK);
        QCOMPARE(stateOf(graph.filter()), State_Stopped);
    }
};

QTEST_GUILESS_MAIN(TestFilterDelivery)
#include "tst_FilterDelivery.moc"
