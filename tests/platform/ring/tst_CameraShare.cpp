// One holder of a camera's share on the whole machine: a waiter takes over when the holder lets go or dies
// (woken by the system, not by a poll), and the ring it maps is the same memory in every process.
#include "platform/ring/CameraShare.h"
#include "platform/ring/FrameRing.h"

#include <QCoreApplication>
#include <QProcess>
#include <QtTest>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

using vistrel::ring::CameraShare;
using Hold = CameraShare::Hold;

namespace {

// A time-out only guards against a hang, however slow the machine.
constexpr int kGuardMs = 300000;

std::unique_ptr<CameraShare> openShare(const std::string &key)
{
    std::string why;
    auto share = CameraShare::open(key, why);
    if (!share)
        qWarning("%s", why.c_str());
    return share;
}

// The lock belongs to a thread: each share here is held and waited for on a thread of its own.
Hold onThread(CameraShare &share, Hold (CameraShare::*call)())
{
    return std::async(std::launch::async,
                      [&] {
                          const Hold hold = (share.*call)();
                          share.release();
                          return hold;
                      })
        .get();
}

} // namespace

class TestCameraShare : public QObject
{
    Q_OBJECT

private slots:
    void oneHolderAtATime()
    {
        auto first = openShare("usb:1");
        auto second = openShare("usb:1");
        auto otherCamera = openShare("usb:2");
        QVERIFY(first && second && otherCamera);
        QCOMPARE(first->tryHold(), Hold::Taken);
        QCOMPARE(onThread(*second, &CameraShare::tryHold), Hold::Busy);
        QCOMPARE(onThread(*otherCamera, &CameraShare::tryHold), Hold::Taken);
        first->release();
        QCOMPARE(onThread(*second, &CameraShare::tryHold), Hold::Taken);
    }

    void releaseWakesTheWaiter()
    {
        auto holder = openShare("usb:1");
        auto waiter = openShare("usb:1");
        QVERIFY(holder && waiter);
        QCOMPARE(holder->tryHold(), Hold::Taken);
        auto waiting = std::async(std::launch::async, [&] {
            const Hold hold = waiter->waitToHold();
            waiter->release();
            return hold;
        });
        QCOMPARE(waiting.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
        holder->release();
        QCOMPARE(waiting.get(), Hold::Taken);
    }

    void interruptEndsTheWait()
    {
        auto holder = openShare("usb:1");
        auto waiter = openShare("usb:1");
        QVERIFY(holder && waiter);
        QCOMPARE(holder->tryHold(), Hold::Taken);
        auto waiting = std::async(std::launch::async, [&] { return waiter->waitToHold(); });
        waiter->interrupt();
        QCOMPARE(waiting.get(), Hold::Interrupted);
        QCOMPARE(waiter->waitToHold(), Hold::Interrupted);
    }

    void ringIsTheSameMemoryEverywhere()
    {
        auto a = openShare("usb:1");
        auto b = openShare("usb:1");
        QVERIFY(a && b);
        QCOMPARE(a->ringSize(), uint64_t(vistrel::ring::kRingSize));
        vistrel::ring::RingWriter writer(a->ring(), a->ringSize());
        QVERIFY(writer.prepare(CameraShare::processId()));
        std::memset(writer.begin(2, 2), 5, 12);
        writer.commit(0);
        vistrel::ring::RingFrame frame;
        QCOMPARE(vistrel::ring::RingReader(b->ring(), b->ringSize()).newest(0, frame),
                 vistrel::ring::RingReader::Result::Frame);
        QCOMPARE(int(frame.pixels[11]), 5);
    }

    void holderKilledWakesTheWaiter()
    {
        QProcess holder;
        holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        holder.start(QCoreApplication::applicationDirPath() + "/share-holder", {"usb:1"});
        while (!holder.canReadLine())
            QVERIFY(holder.state() != QProcess::NotRunning && holder.waitForReadyRead(kGuardMs));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("holding"));

        auto waiter = openShare("usb:1");
        QVERIFY(waiter);
        QCOMPARE(onThread(*waiter, &CameraShare::tryHold), Hold::Busy);
        auto waiting = std::async(std::launch::async, [&] {
            const Hold hold = waiter->waitToHold();
            const auto takenAt = std::chrono::steady_clock::now();
            waiter->release();
            return std::make_pair(hold, takenAt);
        });
        const auto killedAt = std::chrono::steady_clock::now();
        holder.kill(); // SIGKILL: nothing of the holder's runs any more
        const auto [hold, takenAt] = waiting.get();
        QCOMPARE(hold, Hold::TakenFromDead);
        qInfo("lock taken over %.1f ms after the holder was killed",
              std::chrono::duration<double, std::milli>(takenAt - killedAt).count());
        QVERIFY(holder.waitForFinished(kGuardMs));
        // Consistent again: the next holder takes it as a plain one.
        QCOMPARE(onThread(*waiter, &CameraShare::tryHold), Hold::Taken);
    }

    void namesKeepToSafeCharacters()
    {
        QCOMPARE(CameraShare::objectName("usb:1"), std::string("vistrel-camera-usb%3A1"));
        const std::string longKey(400, '\\');
        const std::string name = CameraShare::objectName(longKey);
        QVERIFY(name.size() <= 200);
        QVERIFY(name != CameraShare::objectName(longKey + "x"));
    }
};

QTEST_GUILESS_MAIN(TestCameraShare)
#include "tst_CameraShare.moc"
