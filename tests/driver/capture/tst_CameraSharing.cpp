// Several capture threads on one camera, as two filters in one application have: one holds the camera's
// session and shares its picture through the camera's frame ring, the others deliver that picture, and
// one of them takes the session over when the holder goes.
#include "driver/capture/CaptureTimings.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/driver/capture/CaptureTestSupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <memory>

using namespace CaptureTest;

namespace {

std::unique_ptr<MediaProcessingThread> startedThread()
{
    auto thread = std::make_unique<MediaProcessingThread>();
    thread->startCapture();
    return thread;
}

QByteArray placeholderOf(MediaProcessingThread &thread)
{
    return Placeholder::frame(thread.outputSize());
}

const QString sharing = "Camera in use by another application, sharing its picture";

} // namespace

class TestCameraSharing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { captureLog(); }

    void init()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0"), EDS_ERR_OK);
        CaptureTimings fast;
        fast.liveViewStartMs = 20;
        fast.retryPauseMs = 100;
        CaptureTimings::setForTesting(fast);
        Settings settings;
        settings.deviceInfo = QVariantMap{{"cn", "Canon EOS 90D"}, {"cp", "usb:1"}, {"nr", QSize(960, 640)}};
        saveSettings(settings);
        clearLog();
        clearCallLog();
    }

    void cleanup()
    {
        QCOMPARE(EdsSimInitializeCount(), 0u);
        QCOMPARE(EdsSimLiveReferenceCount(), 0u);
        CaptureTimings::setForTesting(CaptureTimings{});
    }

    void everyInstanceGetsTheCamerasPicture()
    {
        auto holder = startedThread();
        QVERIFY(waitForCameraFrame(*holder, placeholderOf(*holder)));
        // Another size: each instance scales the shared picture to its own.
        Settings small;
        small.customResolution = true;
        small.videoResolution = QSize(640, 480);
        saveSettings(small);
        auto second = startedThread();
        auto third = startedThread();
        QCOMPARE(third->outputSize(), QSize(640, 480));
        QVERIFY(waitForCameraFrame(*second, placeholderOf(*second)));
        QVERIFY(waitForCameraFrame(*third, placeholderOf(*third)));
        QCOMPARE(countLines(sharing), 2);
        // One session, one live view, one keeper of the camera.
        QCOMPARE(countCalls("EdsOpenSession usb:1"), 1);
        QCOMPARE(countCalls("EdsSetCameraStateEventHandler usb:1"), 1);
        QCOMPARE(readFrame(*third).size(), 640 * 480 * 3);
    }

    void consumerStartedBeforeTheFirstFrame()
    {
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 0), EDS_ERR_OK);
        auto holder = startedThread();
        QVERIFY(waitForCall("EdsDownloadEvfImage usb:1"));
        auto consumer = startedThread();
        QVERIFY(waitForLine(sharing));
        QCOMPARE(readFrame(*consumer), placeholderOf(*consumer));
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 1), EDS_ERR_OK);
        QVERIFY(waitForCameraFrame(*consumer, placeholderOf(*consumer)));
    }

    void consumerTakesOverWhenTheHolderGoes()
    {
        auto holder = startedThread();
        QVERIFY(waitForCameraFrame(*holder, placeholderOf(*holder)));
        auto consumer = startedThread();
        QVERIFY(waitForCameraFrame(*consumer, placeholderOf(*consumer)));
        holder.reset();
        QVERIFY(waitForLine("Taking the camera over"));
        QVERIFY(waitForLine("First camera frame after taking the camera over"));
        QCOMPARE(countCalls("EdsOpenSession usb:1"), 2);
        // The picture goes on moving: frames come from the new holder's own session.
        const QByteArray before = readFrame(*consumer);
        QVERIFY(before != placeholderOf(*consumer));
        QVERIFY(waitForCameraFrame(*consumer, before));
    }

    void stoppedConsumerLeavesTheHolderAlone()
    {
        auto holder = startedThread();
        QVERIFY(waitForCameraFrame(*holder, placeholderOf(*holder)));
        auto consumer = startedThread();
        QVERIFY(waitForLine(sharing));
        consumer->stopCapture();
        QVERIFY(consumer->wait(kGuardMs));
        consumer.reset();
        const QByteArray before = readFrame(*holder);
        QVERIFY(waitForCameraFrame(*holder, before));
        QCOMPARE(countLines("Taking the camera over"), 0);
    }

    void instanceChoosingAnotherCameraOpensThatOne()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0;Canon EOS R6:startup=0"), EDS_ERR_OK);
        auto first = startedThread();
        QVERIFY(waitForCameraFrame(*first, placeholderOf(*first)));
        Settings other;
        other.deviceInfo = QVariantMap{{"cn", "Canon EOS R6"}, {"cp", "usb:2"}, {"nr", QSize(960, 640)}};
        saveSettings(other);
        auto second = startedThread();
        QVERIFY(waitForCameraFrame(*second, placeholderOf(*second)));
        QCOMPARE(countCalls("EdsOpenSession usb:1"), 1);
        QCOMPARE(countCalls("EdsOpenSession usb:2"), 1);
        QCOMPARE(countLines(sharing), 0);
    }

    void damagedRingIsIgnoredWithOneLine()
    {
        auto holder = startedThread();
        QVERIFY(waitForCameraFrame(*holder, placeholderOf(*holder)));
        auto consumer = startedThread();
        QVERIFY(waitForCameraFrame(*consumer, placeholderOf(*consumer)));

        // Another layout version, as a newer driver of another application might leave it.
        QFile ring(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/vistrel-cameras/vistrel-camera-usb%3A1.ring");
        QVERIFY(ring.open(QIODevice::ReadWrite));
        QVERIFY(ring.seek(4));
        const quint32 otherVersion = 2;
        QCOMPARE(ring.write(reinterpret_cast<const char *>(&otherVersion), 4), qint64(4));
        ring.close();

        const QString complaint = "Shared frame ring ignored: layout version 2, this driver reads 1";
        // The consumer looks at the ring when its pin asks for a frame.
        for (QDeadlineTimer guard(kGuardMs); countLines(complaint) == 0 && !guard.hasExpired();)
            readFrame(*consumer);
        QCOMPARE(countLines(complaint), 1);
        for (int i = 0; i < 4; ++i)
            readFrame(*consumer); // what was queued before
        const QByteArray last = readFrame(*consumer);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(readFrame(*consumer), last); // its last frame again, not the ring's
        QCOMPARE(countLines(complaint), 1);
    }
};

QTEST_GUILESS_MAIN(TestCameraSharing)
#include "tst_CameraSharing.moc"
