// The pin's pacing deadlines, driven by clock readings the test chooses: no real time passes.
#include "driver/capture/DeliverySchedule.h"

#include <QtTest>

#include <limits>

namespace {

const LONGLONG k30fps = 333333;
const LONGLONG kStart = 5000000000; // any reading; the schedule has no origin of its own

} // namespace

class TestDeliverySchedule : public QObject
{
    Q_OBJECT

private slots:
    void firstSampleWaitsOneIntervalRoundedUp()
    {
        DeliverySchedule schedule;
        QCOMPARE(schedule.millisecondsToNext(kStart, k30fps), LONGLONG(34));
        QCOMPARE(schedule.nextDeadline(), kStart + k30fps);
    }

    // The second sample finishes `offset` after the first one's deadline; the run started at kStart.
    void secondSample_data()
    {
        QTest::addColumn<LONGLONG>("offset");
        QTest::addColumn<LONGLONG>("wait");
        QTest::addColumn<LONGLONG>("deadline");
        // Copy and delivery take time out of the wait instead of adding to the period.
        QTest::newRow("on time, 4 ms of work") << LONGLONG(40000) << LONGLONG(30) << kStart + 2 * k30fps;
        QTest::newRow("on time, no work") << LONGLONG(0) << LONGLONG(34) << kStart + 2 * k30fps;
        QTest::newRow("sub-millisecond left") << k30fps - 1 << LONGLONG(1) << kStart + 2 * k30fps;
        QTest::newRow("exactly due") << k30fps << LONGLONG(0) << kStart + 2 * k30fps;
        // Late by less than an interval: no wait, and the grid is kept so the next wait is shorter.
        QTest::newRow("slightly late") << k30fps + 100000 << LONGLONG(0) << kStart + 2 * k30fps;
        QTest::newRow("one interval late") << 2 * k30fps << LONGLONG(0) << kStart + 2 * k30fps;
        // More than an interval late: no burst; the schedule starts again from now.
        QTest::newRow("more than an interval late")
            << 2 * k30fps + 1 << LONGLONG(0) << kStart + 3 * k30fps + 1;
        QTest::newRow("stalled for a second")
            << LONGLONG(10000000) << LONGLONG(0) << kStart + k30fps + 10000000;
    }
    void secondSample()
    {
        QFETCH(LONGLONG, offset);
        QFETCH(LONGLONG, wait);
        QFETCH(LONGLONG, deadline);
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        QCOMPARE(schedule.millisecondsToNext(kStart + k30fps + offset, k30fps), wait);
        QCOMPARE(schedule.nextDeadline(), deadline);
    }

    void afterASlightDelayTheNextWaitCatchesUp()
    {
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        const LONGLONG late = kStart + 2 * k30fps + 200000;
        QCOMPARE(schedule.millisecondsToNext(late, k30fps), LONGLONG(0));
        // The third sample, finished at once, waits only what is left of its slot.
        QCOMPARE(schedule.millisecondsToNext(late, k30fps), LONGLONG(14));
        QCOMPARE(schedule.nextDeadline(), kStart + 3 * k30fps);
    }

    void afterARestartTheNextSampleIsDueNowAndTheOneAfterAnIntervalLater()
    {
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        const LONGLONG stalled = kStart + 5 * k30fps;
        QCOMPARE(schedule.millisecondsToNext(stalled, k30fps), LONGLONG(0));
        QCOMPARE(schedule.nextDeadline(), stalled);
        QCOMPARE(schedule.millisecondsToNext(stalled + 10000, k30fps), LONGLONG(33));
        QCOMPARE(schedule.nextDeadline(), stalled + k30fps);
    }

    // Waits honoured to the millisecond plus varying work never drift from start + n intervals.
    void longRunKeepsTheRate()
    {
        DeliverySchedule schedule;
        LONGLONG now = kStart;
        for (int n = 1; n <= 3000; ++n) {
            const LONGLONG wait = schedule.millisecondsToNext(now, k30fps);
            QCOMPARE(schedule.nextDeadline(), kStart + n * k30fps);
            QVERIFY(wait >= 0 && wait <= 34);
            now += wait * 10000 + (n * 7919) % 150000; // the wait, then up to 15 ms of work
        }
        // 3000 samples at 30 per second: 100 s, give or take the last sample's work.
        QVERIFY(now >= kStart + 3000 * k30fps);
        QVERIFY(now < kStart + 3000 * k30fps + 150000 + 10000);
    }

    void restartStartsFromTheNextSample()
    {
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        schedule.millisecondsToNext(kStart + k30fps, k30fps);
        schedule.restart();
        // Less than an interval after the old deadline: without the restart this would wait ~17 ms.
        const LONGLONG resumed = kStart + 2 * k30fps + k30fps / 2;
        QCOMPARE(schedule.millisecondsToNext(resumed, k30fps), LONGLONG(34));
        QCOMPARE(schedule.nextDeadline(), resumed + k30fps);
    }

    void intervalChangeTakesEffectAtTheNextDeadline()
    {
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        QCOMPARE(schedule.millisecondsToNext(kStart + k30fps, 500000), LONGLONG(50));
        QCOMPARE(schedule.nextDeadline(), kStart + k30fps + 500000);
    }

    void noIntervalNoWaitAndALaterIntervalStartsAfresh()
    {
        DeliverySchedule schedule;
        schedule.millisecondsToNext(kStart, k30fps);
        QCOMPARE(schedule.millisecondsToNext(kStart + 10 * k30fps, 0), LONGLONG(0));
        QCOMPARE(schedule.millisecondsToNext(kStart + 10 * k30fps, -5), LONGLONG(0));
        QCOMPARE(schedule.millisecondsToNext(kStart + 10 * k30fps, k30fps), LONGLONG(34));
        QCOMPARE(schedule.nextDeadline(), kStart + 11 * k30fps);
    }

    // Faster than a millisecond per frame: waits never exceed one millisecond, and a slow sample restarts.
    void tinyIntervalsWaitAtMostAMillisecond()
    {
        DeliverySchedule schedule;
        QCOMPARE(schedule.millisecondsToNext(kStart, 5000), LONGLONG(1));
        QCOMPARE(schedule.millisecondsToNext(kStart + 5000, 5000), LONGLONG(1));
        QCOMPARE(schedule.millisecondsToNext(kStart + 10000, 5000), LONGLONG(1));
        QCOMPARE(schedule.millisecondsToNext(kStart + 26000, 5000), LONGLONG(0));
        QCOMPARE(schedule.nextDeadline(), kStart + 26000);
    }

    void absurdIntervalDoesNotWrap()
    {
        const LONGLONG largest = std::numeric_limits<LONGLONG>::max();
        DeliverySchedule schedule;
        const LONGLONG wait = schedule.millisecondsToNext(kStart, largest - 10);
        QCOMPARE(schedule.nextDeadline(), largest);
        QCOMPARE(wait, (largest - kStart) / 10000 + 1);
        QVERIFY(schedule.millisecondsToNext(kStart + 1, largest - 10) > 0);
        QCOMPARE(schedule.nextDeadline(), largest);
    }
};

QTEST_GUILESS_MAIN(TestDeliverySchedule)
#include "tst_DeliverySchedule.moc"
