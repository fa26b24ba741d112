#include "driver/capture/FrameBuffer.h"

#include <QtTest>

#include <thread>
#include <vector>

class FrameBufferTest : public QObject
{
    Q_OBJECT

private slots:
    void nullAndNewHandles()
    {
        const FrameBuffer none;
        QVERIFY(none.isNull());
        QVERIFY(!none);
        QCOMPARE(none.size(), 0);
        QCOMPARE(none.useCount(), 0L);

        const quint64 before = FrameBuffer::createdCount();
        const FrameBuffer fresh = FrameBuffer::create();
        QVERIFY(!fresh.isNull());
        QVERIFY(fresh.bytes().isEmpty());
        QCOMPARE(FrameBuffer::createdCount(), before + 1);
        QVERIFY(!fresh.sharesBytesWith(none));
        QVERIFY(!none.sharesBytesWith(FrameBuffer()));
    }

    void copiesShareTheBytes()
    {
        FrameBuffer first = FrameBuffer::create();
        FrameBuffer second = first;
        QVERIFY(second.sharesBytesWith(first));
        QCOMPARE(first.useCount(), 2L);

        // Writing through one handle must not detach: the other sees the same storage.
        second.bytes().resize(12);
        second.bytes()[5] = 'x';
        QCOMPARE(first.size(), 12);
        QCOMPARE(first.bytes().at(5), 'x');
        QCOMPARE(first.bytes().constData(), second.bytes().constData());

        second.reset();
        QVERIFY(second.isNull());
        QCOMPARE(first.useCount(), 1L);
        QCOMPARE(first.bytes().at(5), 'x');

        FrameBuffer moved = std::move(first);
        QCOMPARE(moved.useCount(), 1L);
        QCOMPARE(moved.size(), 12);
    }

    // Handles are copied and dropped on the capture and streaming threads at once; the count must
    // come back exactly, or bytes are freed early or never.
    void countsHoldAcrossThreads()
    {
        FrameBuffer shared = FrameBuffer::create();
        shared.bytes() = QByteArray(1000, 'q');

        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([shared] {
                std::vector<FrameBuffer> held;
                for (int i = 0; i < 20000; ++i) {
                    held.push_back(shared);
                    if (held.size() > 7)
                        held.erase(held.begin(), held.begin() + 4);
                }
            });
        }
        for (std::thread &thread : threads)
            thread.join();

        QCOMPARE(shared.useCount(), 1L);
        QCOMPARE(shared.bytes(), QByteArray(1000, 'q'));
    }
};

QTEST_GUILESS_MAIN(FrameBufferTest)
#include "tst_FrameBuffer.moc"
