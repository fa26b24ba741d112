// The capture thread with the product's own waits: 3000 ms for live view to start, 2000 ms between
// attempts. Slow by nature; the same behaviour with short waits is covered by the other capture tests.

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/capture/CaptureTestSupport.h"

#include <QElapsedTimer>
#include <QTest>

#include <memory>

using namespace CaptureTest;

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
        QVERIFY(waitForLine("Retry", 2, 60000));
        QCOMPARE(countLines("Cameras found: 0"), countLines("Retry"));
        thread.reset();
        QCOMPARE(logLines().last(), QString("MediaProcessingThread exited"));
    }

    void stopDuringLiveViewStart()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0"), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForCall("EdsSetPropertyData usb:1", 1, 60000));
        // A warning during the start would ask for an extension, but stopping comes first.
        QCOMPARE(EdsSimSendStateEvent("usb:1", kEdsStateEvent_WillSoonShutDown, 0), EDS_ERR_OK);
        thread->stopCapture();
        QVERIFY(thread->wait(60000));
        QCOMPARE(countCalls("EdsSendCommand usb:1"), 0);
        QCOMPARE(countCalls("EdsDownloadEvfImage usb:1"), 0);
        QCOMPARE(countCalls("EdsSetPropertyData usb:1"), 1); // live view not handed back
        QCOMPARE(countCalls("EdsCloseSession usb:1"), 1);
        EdsUInt32 device = 0;
        QCOMPARE(EdsSimGetOutputDevice("usb:1", &device), EDS_ERR_OK);
        QCOMPARE(device, kEdsEvfOutputDevice_PC);
        QCOMPARE(countLines("Retry"), 0);
    }

    void keepsTheCameraFromPoweringOff()
    {
        // The stand-in warns 2 s before its 8 s idle time runs out; without the extension that the
        // warning triggers, the camera would be gone before the second warning.
        QCOMPARE(EdsSimReset("Canon EOS 90D:idle=8"), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForLine("Requesting extension true", 2, 60000));
        QCOMPARE(countLines("Retry"), 0);
        EdsBool open = 0;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_OK);
        QVERIFY(open);
    }

    void streamsAfterTheLiveViewStart()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D"), EDS_ERR_OK);
        auto thread = std::make_unique<MediaProcessingThread>();
        thread->startCapture();
        QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(thread->outputSize()), 60000));
    }
};

QTEST_GUILESS_MAIN(TestMediaProcessingThreadRealTimings)
#include "tst_MediaProcessingThreadRealTimings.moc"
