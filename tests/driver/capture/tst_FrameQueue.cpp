#include "driver/capture/FrameQueue.h"

#include <QtTest>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

FrameBuffer numbered(int number)
{
    FrameBuffer frame = FrameBuffer::create();
    frame.bytes() = QByteArray::number(number);
    return frame;
}

int numberOf(const FrameBuffer &frame)
{
    return frame.isNull() ? -1 : frame.bytes().toInt();
}

} // namespace

class FrameQueueTest : public QObject
{
    Q_OBJECT

private slots:
    void keepsOrderOldestFirst()
    {
        FrameQueue queue;
        QVERIFY(queue.isEmpty());
        QVERIFY(queue.takeOldest().isNull());

        for (int i = 0; i < 5; ++i)
            queue.append(numbered(i));
        QCOMPARE(queue.size(), 5);
        QVERIFY(!queue.isEmpty());

        QCOMPARE(numberOf(queue.takeOldest()), 0);
        QCOMPARE(numberOf(queue.takeOldest()), 1);
        queue.append(numbered(9));
        QCOMPARE(numberOf(queue.takeOldest()), 2);
        QCOMPARE(numberOf(queue.takeOldest()), 3);
        QCOMPARE(numberOf(queue.takeOldest()), 4);
        QCOMPARE(numberOf(queue.takeOldest()), 9);
        QVERIFY(queue.isEmpty());
        QVERIFY(queue.takeOldest().isNull());
    }

    void ignoresNullAndClears()
    {
        FrameQueue queue;
        queue.append(FrameBuffer());
        QVERIFY(queue.isEmpty());

        FrameBuffer kept = numbered(1);
        queue.append(kept);
        queue.append(numbered(2));
        QCOMPARE(kept.useCount(), 2L);
        queue.clear();
        QVERIFY(queue.isEmpty());
        QCOMPARE(queue.size(), 0);
        // The queue gave up its handle; the bytes live on with ours.
        QCOMPARE(kept.useCount(), 1L);
    }

    // The capture thread appends while the streaming thread takes: every frame arrives once, in order.
    // As in the product, the queue holds a handful of frames: the producer waits while it is full, the
    // consumer while it is empty. Both wait on a condition, not on a clock, so a busy machine only makes
    // the test slower. The queue is used outside the test's own lock, which serves the waits only.
    void handsOverBetweenThreadsInOrder()
    {
        FrameQueue queue;
        const int count = 20000;
        const int capacity = 8;
        std::mutex mutex;
        std::condition_variable changed;
        const auto notify = [&] {
            {
                std::lock_guard<std::mutex> lock(mutex);
            }
            changed.notify_all();
        };
        std::thread producer([&] {
            for (int i = 0; i < count; ++i) {
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    changed.wait(lock, [&] { return queue.size() < capacity; });
                }
                queue.append(numbered(i));
                notify();
            }
        });

        int expected = 0;
        bool inOrder = true;
        while (expected < count) {
            const FrameBuffer frame = queue.takeOldest();
            if (frame.isNull()) {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return !queue.isEmpty(); });
                continue;
            }
            notify();
            inOrder = inOrder && numberOf(frame) == expected;
            ++expected;
        }
        producer.join();
        QVERIFY(inOrder);
        QCOMPARE(expected, count);
        QVERIFY(queue.isEmpty());
    }
};

QTEST_GUILESS_MAIN(FrameQueueTest)
#include "tst_FrameQueue.moc"
