// The pin reads the placeholder picture while a new one is being built: the slow build (decoding and
// smooth scaling) must not hold up a read.

#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"

#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

struct MediaProcessingThreadProbe
{
    static void setOutputSize(MediaProcessingThread &thread, const QSize &size)
    {
        thread.setOutputSize(size);
    }
};

namespace {

// Waits are for conditions; their time-out only guards against a hang, however slow the machine.
constexpr auto kGuard = std::chrono::minutes(5);

// Holds a placeholder build until opened.
struct Gate
{
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool open = false;
};
Gate gate;

void holdBuild()
{
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.entered = true;
    gate.changed.notify_all();
    gate.changed.wait(lock, [] { return gate.open; });
}

QByteArray readFrame(MediaProcessingThread &thread)
{
    QByteArray bytes(1920 * 1080 * 3, '\0');
    bytes.resize(thread.readFrame(bytes.data(), bytes.size()));
    return bytes;
}

} // namespace

class TestPlaceholderBuild : public QObject
{
    Q_OBJECT

private slots:
    void readAnswersWhileANewPlaceholderIsBuilt()
    {
        MediaProcessingThread thread; // not started: every read is the placeholder
        const QSize before = thread.outputSize();
        const QByteArray old = readFrame(thread);
        QCOMPARE(old.size(), before.width() * before.height() * 3);

        Placeholder::setBuildHookForTesting(&holdBuild);
        std::thread builder([&] { MediaProcessingThreadProbe::setOutputSize(thread, QSize(640, 480)); });
        {
            std::unique_lock<std::mutex> lock(gate.mutex);
            QVERIFY(gate.changed.wait_for(lock, kGuard, [] { return gate.entered; }));
        }

        bool answered = false;
        QByteArray during;
        std::thread reader([&] {
            QByteArray bytes = readFrame(thread);
            std::lock_guard<std::mutex> lock(gate.mutex);
            during = bytes;
            answered = true;
            gate.changed.notify_all();
        });
        bool answeredWhileBuilding = false;
        {
            std::unique_lock<std::mutex> lock(gate.mutex);
            answeredWhileBuilding = gate.changed.wait_for(lock, kGuard, [&] { return answered; });
            gate.open = true;
            gate.changed.notify_all();
        }
        reader.join();
        builder.join();
        Placeholder::setBuildHookForTesting(nullptr);

        QVERIFY(answeredWhileBuilding);
        QCOMPARE(during, old);
        QCOMPARE(thread.outputSize(), QSize(640, 480));
        QCOMPARE(readFrame(thread).size(), 640 * 480 * 3);
    }
};

QTEST_GUILESS_MAIN(TestPlaceholderBuild)
#include "tst_PlaceholderBuild.moc"
