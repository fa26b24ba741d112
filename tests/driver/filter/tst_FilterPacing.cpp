// The pin's pacing through a clock the test steps: every wait the worker asks for is recorded and
// completes only when the test lets it, so the deadlines are checked exactly on a machine of any speed.
#include "driver/capture/DeliveryClock.h"
#include "tests/driver/filter/FilterTestSupport.h"

#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <vector>

using namespace FilterTest;

namespace {

const REFERENCE_TIME k30fps = 333333;
const LONGLONG kOrigin = 1000000000; // the stepped clock's first reading; never 0
const QString kWaiting = QStringLiteral("sleeping till graph running for video...");

// Time moves only by the waits the worker asks for and by what the test adds.
class SteppedClock : public DeliveryClock
{
public:
    LONGLONG now() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_now;
    }
    // Records the wait and lets its time pass, then holds the worker until the test releases it or a
    // command arrives, as the real wait ends early on one.
    void wait(HANDLE wakeUp, DWORD ms) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_waits.push_back(ms);
        m_now += LONGLONG(ms) * 10000;
        m_changed.notify_all();
        while (m_released == 0) {
            if (WaitForSingleObject(wakeUp, 0) == WAIT_OBJECT_0)
                return;
            m_changed.wait_for(lock, std::chrono::milliseconds(1));
        }
        --m_released;
    }

    void advance(LONGLONG by)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_now += by;
    }
    void releaseOne()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_released;
        m_changed.notify_all();
    }
    // Waits until the worker has asked for `count` waits in all; the last one, or -1 on time-out.
    LONGLONG waitForWait(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return int(m_waits.size()) >= count; }))
            return -1;
        return LONGLONG(m_waits[std::size_t(count) - 1]);
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    LONGLONG m_now = kOrigin;
    std::vector<DWORD> m_waits;
    int m_released = 0;
};

// Milliseconds from `now` to `deadline`, rounded up, as the pin waits them.
LONGLONG msUntil(LONGLONG deadline, LONGLONG now)
{
    const LONGLONG ahead = deadline - now;
    return ahead <= 0 ? 0 : ahead / 10000 + (ahead % 10000 != 0 ? 1 : 0);
}

} // namespace

class TestFilterPacing : public QObject
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
        DeliveryClock::setForTesting(nullptr);
        QVERIFY(waitFor(nothingAlive));
    }

    // On time, slightly late and more than an interval late, with the clock readings the worker sees.
    void waitsFollowTheDeadlines()
    {
        SteppedClock clock;
        DeliveryClock::setForTesting(&clock);
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);

        // The run starts at kOrigin; sample n is due at kOrigin + n intervals.
        QCOMPARE(clock.waitForWait(1), LONGLONG(34));
        clock.releaseOne();
        // On time: the wait is what is left of the slot, not a whole interval again.
        QCOMPARE(clock.waitForWait(2), msUntil(kOrigin + 2 * k30fps, kOrigin + 340000));
        QCOMPARE(clock.waitForWait(2), LONGLONG(33));

        // Slightly late: the third sample finishes 0.3 intervals after the fourth was due.
        clock.advance(kOrigin + 3 * k30fps + 100000 - clock.now());
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(3), LONGLONG(0));
        // The grid is kept: the fourth sample waits only for the rest of its slot.
        const LONGLONG fourthAt = clock.now();
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(4), msUntil(kOrigin + 4 * k30fps, fourthAt));

        // More than an interval late: no wait, and no burst after it either.
        clock.advance(3 * k30fps);
        const LONGLONG stalledAt = clock.now();
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(5), LONGLONG(0));
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(6), msUntil(stalledAt + k30fps, stalledAt));
        QCOMPARE(clock.waitForWait(6), LONGLONG(34));

        // Time stamps are the clock's readings since the first sample.
        QVERIFY(graph.waitForSamples(5));
        const QVector<Sample> samples = graph.samples();
        QCOMPARE(samples.at(0).start, REFERENCE_TIME(0));
        QCOMPARE(samples.at(1).start, REFERENCE_TIME(340000));
        QCOMPARE(samples.at(3).start, REFERENCE_TIME(fourthAt - kOrigin));
        for (const Sample &sample : samples)
            QCOMPARE(sample.stop - sample.start, k30fps);
        QCOMPARE(graph.control()->Stop(), S_OK);
    }

    // After waiting for the graph to run again, the schedule starts afresh rather than from the old grid.
    void pauseAndRunRestartsTheSchedule()
    {
        SteppedClock clock;
        DeliveryClock::setForTesting(&clock);
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QCOMPARE(clock.waitForWait(1), LONGLONG(34));
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(2), LONGLONG(33));

        QCOMPARE(graph.control()->Pause(), S_OK);
        // Lines from the run's start may be there already; wait for one from this pause.
        const int waitingBefore = countLines(kWaiting);
        clock.releaseOne();
        QVERIFY(waitForLine(kWaiting, waitingBefore + 1));
        // Half an interval later: on the old grid the next wait would be about 17 ms.
        clock.advance(k30fps / 2);
        QCOMPARE(graph.control()->Run(), S_OK);
        QCOMPARE(clock.waitForWait(3), LONGLONG(34));
        QCOMPARE(graph.control()->Stop(), S_OK);
    }

    void stopAndRunRestartsTheSchedule()
    {
        SteppedClock clock;
        DeliveryClock::setForTesting(&clock);
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QCOMPARE(clock.waitForWait(1), LONGLONG(34));
        clock.releaseOne();
        QCOMPARE(clock.waitForWait(2), LONGLONG(33));
        // The stop ends the held wait, as a command ends the real one.
        QCOMPARE(graph.control()->Stop(), S_OK);

        clock.advance(k30fps / 2);
        const int firstOfSecondRun = graph.sampleCount();
        QCOMPARE(graph.control()->Run(), S_OK);
        QCOMPARE(clock.waitForWait(3), LONGLONG(34));
        clock.releaseOne();
        QVERIFY(graph.waitForSamples(firstOfSecondRun + 1));
        QCOMPARE(graph.samples().at(firstOfSecondRun).start, REFERENCE_TIME(0));
        QCOMPARE(graph.control()->Stop(), S_OK);
    }

    // With the real clock only what holds at any speed: no sample starts before its deadline, since the
    // run's origin is taken no later than the first stamp and each wait is rounded up.
    void realClockNeverRunsAheadOfTheSchedule()
    {
        VCamGraph graph;
        QCOMPARE(graph.build(), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);
        QVERIFY(graph.waitForSamples(8));
        QCOMPARE(graph.control()->Stop(), S_OK);

        const QVector<Sample> samples = graph.samples();
        QCOMPARE(samples.first().start, REFERENCE_TIME(0));
        for (int n = 1; n < samples.size(); ++n) {
            QVERIFY2(samples[n].start >= n * k30fps,
                     qPrintable(QString("sample %1 at %2").arg(n).arg(samples[n].start)));
            QVERIFY(samples[n].start > samples[n - 1].start);
        }
    }
};

QTEST_GUILESS_MAIN(TestFilterPacing)
#include "tst_FilterPacing.moc"
