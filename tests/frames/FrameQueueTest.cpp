#include "driver/capture/FrameQueue.h"

#include <QtTest>

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
    void handsOverBetweenThreadsInOrder()
    {
        FrameQueue queue;
        const int count = 20000;
        std::thread producer([&queue] {
            for (int i = 0; i < count; ++i)
                queue.append(numbered(i));
        });

        int expected = 0;
        bool inOrder = true;
        QDeadlineTimer deadline(60000);
        while (expected < count && !deadline.hasExpired()) {
            const FrameBuffer frame = queue.takeOldest();
            if (frame.isNull()) {
                std::this_thread::yield();
                continue;
            }
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
#include "FrameQueueTest.moc"
