// The capture thread with the product's own waits: 3000 ms for live view to start, 2000 ms between
// attempts. Slow by nature; the same behaviour with short waits is covered by the other capture tests.

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/driver/capture/CaptureTestSupport.h"

#include <QDeadlineTimer>
#include <QTest>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>

using namespace CaptureTest;

namespace {

// Seconds on the steady clock, which is the stand-in's.
double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Watches the camera's state events beside the capture thread, through a session-less reference of its own
// (the stand-in hands every event to every reference to the camera), and notes when each arrived.
class EventWatch
{
public:
    EventWatch()
    {
        if (EdsInitializeSDK() != EDS_ERR_OK)
            return;
        initialized = true;
        if (EdsGetCameraList(&list) == EDS_ERR_OK && EdsGetChildAtIndex(list, 0, &camera) == EDS_ERR_OK)
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventWatch::handler, this);
    }
    ~EventWatch()
    {
        for (EdsBaseRef ref : {camera, list}) {
            if (ref)
                EdsRelease(ref);
        }
        if (initialized)
            EdsTerminateSDK(); // waits for a handler still running
    }
    bool watching() const { return camera != nullptr; }
    // When each event of the kind arrived, in order.
    QList<double> times(EdsStateEvent event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        QList<double> found;
        for (const auto &each : seen) {
            if (each.first == event)
                found << each.second;
        }
        return found;
    }
    int count(EdsStateEvent event) { return int(times(event).size()); }

private:
    static EdsError handler(EdsStateEvent event, EdsUInt32, EdsVoid *context)
    {
        const double now = steadySeconds();
        auto *self = static_cast<EventWatch *>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->seen.append({event, now});
        return EDS_ERR_OK;
    }

    bool initialized = false;
    EdsCameraListRef list = nullptr;
    EdsCameraRef camera = nullptr;
    std::mutex mutex;
    QList<QPair<EdsStateEvent, double>> seen;
};

// When the capture thread's session is first seen open: an upper bound on when it opened.
bool waitForSession(double &seenAt)
{
    QDeadlineTimer guard(kGuardMs);
    for (;;) {
        EdsBool open = 0;
        if (EdsSimIsSessionOpen("usb:1", &open) == EDS_ERR_OK && open) {
            seenAt = steadySeconds();
            return true;
        }
        if (guard.hasExpired())
            return false;
        QThread::msleep(1);
    }
}

// Printed rather than logged: the capture thread's tests collect every log line.
void report(const char *text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

} // namespace

class TestMediaProcessingThreadRealTimings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        captureLog();
        CaptureTimings::setForTesting(CaptureTimings{});
    }

    void init()
    {
        Settings settings;
        settings.deviceInfo = QVariantMap{{"cn", "Canon EOS 90D"}};
        saveSettings(settings);
        clearLog();
    }

    void cleanup()
    {
        QCOMPARE(EdsSimInitializeCount(), 0u);
        QCOMPARE(EdsSimLiveReferenceCount(), 0u);
    }

    void noCameraRetriesAndStops()
    {
        QCOMPARE(EdsSimReset(""), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForLine("Retry", 2, kGuardMs));
        QCOMPARE(countLines("Cameras found: 0"), countLines("Retry"));
        thread.reset();
        QCOMPARE(logLines().last(), QString("MediaProcessingThread exited"));
    }

    void stopDuringLiveViewStart()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0"), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForCall("EdsSetPropertyData usb:1", 1, kGuardMs));
        // A warning during the start would ask for an extension, but stopping comes first.
        QCOMPARE(EdsSimSendStateEvent("usb:1", kEdsStateEvent_WillSoonShutDown, 0), EDS_ERR_OK);
        thread->stopCapture();
        QVERIFY(thread->wait(kGuardMs));
        QCOMPARE(countCalls("EdsSendCommand usb:1"), 0);
        QCOMPARE(countCalls("EdsDownloadEvfImage usb:1"), 0);
        QCOMPARE(countCalls("EdsSetPropertyData usb:1"), 1); // live view not handed back
        QCOMPARE(countCalls("EdsCloseSession usb:1"), 1);
        EdsUInt32 device = 0;
        QCOMPARE(EdsSimGetOutputDevice("usb:1", &device), EDS_ERR_OK);
        QCOMPARE(device, kEdsEvfOutputDevice_PC);
        QCOMPARE(countLines("Retry"), 0);
    }

    // The stand-in's camera warns a quarter of its idle time (2 s of 8) before powering itself off while a
    // session is open and nothing extends it. Without the product's extension (every one refused here), it
    // is gone after its idle time. Checks are lower bounds on the stand-in's clock, true at any speed.
    void cameraPowersOffWithoutTheExtension()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:idle=8"), EDS_ERR_OK);
        QCOMPARE(EdsSimInjectError("EdsSendCommand", "usb:1", EDS_ERR_DEVICE_BUSY, 0), EDS_ERR_OK);
        EventWatch watch;
        QVERIFY(watch.watching());
        const double started = steadySeconds(); // before the session opened
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        double opened = 0;
        QVERIFY(waitForSession(opened));
        QTRY_COMPARE_WITH_TIMEOUT(watch.count(kEdsStateEvent_Shutdown), 1, kGuardMs);
        const QList<double> warned = watch.times(kEdsStateEvent_WillSoonShutDown);
        const double poweredOff = watch.times(kEdsStateEvent_Shutdown).first();
        QCOMPARE(warned.size(), 1);
        QVERIFY(warned.first() >= started + 6);
        QVERIFY(poweredOff >= started + 8);
        QVERIFY(poweredOff > warned.first());
        QVERIFY(waitForLine("Error requesting time extension", 1, kGuardMs)); // the product did ask
        EdsBool open = 1;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_DEVICE_NOT_FOUND); // powered off: gone
        thread.reset();
        report(qPrintable(QString("idle 8 s, extension refused: warned %1 s and powered off %2 s after the "
                                  "session was seen open")
                              .arg(warned.first() - opened, 0, 'f', 2)
                              .arg(poweredOff - opened, 0, 'f', 2)));
    }

    // With the product's extension, the same camera stays on for several idle periods: each warning is
    // answered, and the next warning comes an idle time after the extension instead of a power-off.
    void keepsTheCameraFromPoweringOff()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:idle=8"), EDS_ERR_OK);
        EventWatch watch;
        QVERIFY(watch.watching());
        const double started = steadySeconds();
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        double opened = 0;
        QVERIFY(waitForSession(opened));
        QTRY_VERIFY_WITH_TIMEOUT(watch.count(kEdsStateEvent_WillSoonShutDown) >= 4 ||
                                     watch.count(kEdsStateEvent_Shutdown) > 0,
                                 kGuardMs);
        QCOMPARE(watch.count(kEdsStateEvent_Shutdown), 0);
        const QList<double> warned = watch.times(kEdsStateEvent_WillSoonShutDown);
        // Each warning comes at least 6 s after the opening or the extension before it, so the fourth
        // comes three idle periods after the session opened, and the camera is still there.
        QVERIFY(warned.at(3) >= started + 3 * 8);
        QVERIFY(waitForLine("Requesting extension true", 3, kGuardMs));
        EdsBool open = 0;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_OK);
        QVERIFY(open);
        QCOMPARE(countLines("Retry"), 0);
        QCOMPARE(countLines("Error requesting time extension"), 0);
        thread.reset();
        QCOMPARE(watch.count(kEdsStateEvent_Shutdown), 0);
        QString times;
        for (double at : warned)
            times += QString(" %1").arg(at - opened, 0, 'f', 2);
        report(
            qPrintable(QString("idle 8 s, with the product's extension: warned at%1 s after the session was "
                               "seen open, no power-off")
                           .arg(times)));
    }

    void streamsAfterTheLiveViewStart()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D"), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(thread->outputSize()), kGuardMs));
    }
};

QTEST_GUILESS_MAIN(TestMediaProcessingThreadRealTimings)
#include "tst_MediaProcessingThreadRealTimings.moc"
