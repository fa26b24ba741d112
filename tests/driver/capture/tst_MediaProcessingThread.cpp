// The capture thread against the simulated cameras: which SDK calls it makes, in which order, what it
// logs, and what the pin receives.

#include "camera/EdsBinding.h"
#include "driver/capture/CaptureTimings.h"
#include "driver/capture/FrameBuffer.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/driver/capture/CaptureTestSupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace CaptureTest;

struct MediaProcessingThreadProbe
{
    static int readyCount(MediaProcessingThread &thread) { return thread.readyFrames.size(); }
};

namespace {

const QByteArray sentinel(1, char(0xAB));

std::unique_ptr<MediaProcessingThread> startedThread()
{
    auto thread = std::make_unique<MediaProcessingThread>();
    thread->startCapture();
    return thread;
}

EdsUInt32 framesDelivered(const char *port = "usb:1")
{
    EdsUInt32 frames = 0;
    EdsSimGetFramesDelivered(port, &frames);
    return frames;
}

QStringList withoutDownloads(const QStringList &calls)
{
    QStringList kept;
    for (const QString &call : calls) {
        if (!call.startsWith("EdsDownloadEvfImage") && call != "EdsGetPointer" && call != "EdsGetLength")
            kept << call;
    }
    return kept;
}

// Stops the camera's frames and waits until the pin gets the last one again and again: a download after
// the stop means any frame fetched before it has been published, and at most 3 wait in the queue.
bool freezeCamera(MediaProcessingThread &thread)
{
    EdsSimSetDeliversFrames("usb:1", 0);
    clearCallLog();
    if (!waitForCall("EdsDownloadEvfImage usb:1"))
        return false;
    for (int i = 0; i < 4; ++i)
        readFrame(thread);
    return true;
}

QVariantMap cameraNamed(const QString &name)
{
    return QVariantMap{{"cn", name}, {"cp", "usb:1"}, {"nr", QSize(960, 640)}};
}

} // namespace

class TestMediaProcessingThread : public QObject
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
        eds::setLibraryFolderForTesting({});
        Placeholder::setSourceForTesting({});
        Settings settings;
        settings.deviceInfo = cameraNamed("Canon EOS 90D");
        saveSettings(settings);
        clearLog();
    }

    void cleanup()
    {
        // Every run ends with the SDK terminated and every reference released.
        QCOMPARE(EdsSimInitializeCount(), 0u);
        QCOMPARE(EdsSimLiveReferenceCount(), 0u);
        CaptureTimings::setForTesting(CaptureTimings{});
    }

    void outputSizeFromSettings_data()
    {
        QTest::addColumn<bool>("custom");
        QTest::addColumn<QSize>("resolution");
        QTest::addColumn<QVariant>("nr"); // invalid: no "nr" entry
        QTest::addColumn<QSize>("expected");
        QTest::addColumn<bool>("complaint");
        QTest::newRow("camera size") << false << QSize(640, 480) << QVariant(QSize(1024, 680))
                                     << QSize(1024, 680) << false;
        QTest::newRow("no nr") << false << QSize(640, 480) << QVariant() << QSize(960, 640) << false;
        QTest::newRow("custom") << true << QSize(641, 479) << QVariant(QSize(1024, 680)) << QSize(641, 479)
                                << false;
        QTest::newRow("custom 0x0") << true << QSize(0, 0) << QVariant() << QSize(960, 640) << true;
        QTest::newRow("custom negative") << true << QSize(-640, 480) << QVariant() << QSize(960, 640) << true;
        QTest::newRow("custom absurd") << true << QSize(100000, 480) << QVariant() << QSize(960, 640) << true;
        QTest::newRow("damaged nr") << false << QSize() << QVariant("large") << QSize(960, 640) << true;
        QTest::newRow("nr 0x0") << false << QSize() << QVariant(QSize(0, 0)) << QSize(960, 640) << true;
    }
    void outputSizeFromSettings()
    {
        QFETCH(bool, custom);
        QFETCH(QSize, resolution);
        QFETCH(QVariant, nr);
        QFETCH(QSize, expected);
        QFETCH(bool, complaint);
        Settings settings;
        settings.customResolution = custom;
        settings.videoResolution = resolution;
        settings.deviceInfo = cameraNamed("Canon EOS 90D");
        if (nr.isValid())
            settings.deviceInfo["nr"] = nr;
        else
            settings.deviceInfo.remove("nr");
        saveSettings(settings);
        clearLog();
        MediaProcessingThread thread;
        QCOMPARE(thread.outputSize(), expected);
        int complaints = 0;
        for (const QString &line : logLines())
            complaints += line.startsWith("Output size") ? 1 : 0;
        QCOMPARE(complaints, complaint ? 1 : 0);
        QCOMPARE(readFrame(thread).size(), expected.width() * expected.height() * 3); // the placeholder
    }

    void frameRateKeptAsRead_data()
    {
        QTest::addColumn<double>("fps");
        QTest::newRow("29.97") << 29.97;
        QTest::newRow("zero") << 0.0;
        QTest::newRow("negative") << -5.0;
        QTest::newRow("not a number") << std::nan("");
        QTest::newRow("infinite") << HUGE_VAL;
    }
    void frameRateKeptAsRead()
    {
        QFETCH(double, fps);
        Settings settings;
        settings.fps = fps;
        saveSettings(settings);
        auto thread = startedThread();
        if (std::isnan(fps))
            QVERIFY(std::isnan(thread->fps()));
        else
            QCOMPARE(thread->fps(), fps);
        QVERIFY(waitForLine("Cameras found: 1"));
    }

    void normalSessionCallSequence()
    {
        auto thread = startedThread();
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QVERIFY(waitForCameraFrame(*thread, placeholder));
        thread->stopCapture();
        QVERIFY(thread->wait(kGuardMs));
        const QStringList expected{"EdsInitializeSDK",
                                   "EdsGetCameraList",
                                   "EdsGetChildCount",
                                   "EdsGetChildAtIndex usb:1",
                                   "EdsGetDeviceInfo usb:1",
                                   "EdsSetCameraStateEventHandler usb:1",
                                   "EdsOpenSession usb:1",
                                   "EdsGetPropertySize usb:1",
                                   "EdsSetPropertyData usb:1",
                                   "EdsCreateMemoryStream",
                                   "EdsCreateEvfImageRef",
                                   "EdsRelease",
                                   "EdsRelease",
                                   "EdsCloseSession usb:1",
                                   "EdsRelease usb:1",
                                   "EdsRelease",
                                   "EdsTerminateSDK"};
        const QStringList calls = callLog();
        QCOMPARE(withoutDownloads(calls), expected);
        QVERIFY(calls.contains("EdsGetPointer"));
        const QStringList shutDown{"Releasing image and stream...", "Stop viewfinder...", "Close session..."};
        QVERIFY(logLines().join('\n').contains(shutDown.join('\n')));
        QCOMPARE(countLines("Retry"), 0);
        EdsUInt32 device = 0;
        QCOMPARE(EdsSimGetOutputDevice("usb:1", &device), EDS_ERR_OK);
        QCOMPARE(device, kEdsEvfOutputDevice_PC); // stopping does not hand live view back
        QCOMPARE(readFrame(*thread), placeholder);
    }

    void noCameraRetries()
    {
        QCOMPARE(EdsSimReset(""), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForLine("Retry", 2));
        QVERIFY(countLines("Cameras found: 0") >= 2);
        QCOMPARE(countCalls("EdsOpenSession"), 0);
        QCOMPARE(readFrame(*thread), Placeholder::frame(thread->outputSize()));
    }

    void choosesTheSavedCamera_data()
    {
        QTest::addColumn<QString>("cameras");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QStringList>("expectedCalls"); // from the first EdsGetChildAtIndex to EdsOpenSession
        QTest::newRow("saved one absent: first used")
            << "Canon EOS 90D;Canon EOS 80D"
            << "Canon EOS R6"
            << QStringList{"EdsGetChildAtIndex usb:1", "EdsGetDeviceInfo usb:1",
                           "EdsRelease usb:1",         "EdsGetChildAtIndex usb:2",
                           "EdsGetDeviceInfo usb:2",   "EdsRelease usb:2",
                           "EdsGetChildAtIndex usb:1", "EdsSetCameraStateEventHandler usb:1",
                           "EdsOpenSession usb:1"};
        QTest::newRow("saved one second: first released without a session")
            << "Canon EOS 90D;Canon EOS R6"
            << "Canon EOS R6"
            << QStringList{"EdsGetChildAtIndex usb:1", "EdsGetDeviceInfo usb:1",
                           "EdsRelease usb:1",         "EdsGetChildAtIndex usb:2",
                           "EdsGetDeviceInfo usb:2",   "EdsSetCameraStateEventHandler usb:2",
                           "EdsOpenSession usb:2"};
        QTest::newRow("case matters")
            << "Canon EOS r6;Canon EOS R6"
            << "Canon EOS R6"
            << QStringList{"EdsGetChildAtIndex usb:1", "EdsGetDeviceInfo usb:1",
                           "EdsRelease usb:1",         "EdsGetChildAtIndex usb:2",
                           "EdsGetDeviceInfo usb:2",   "EdsSetCameraStateEventHandler usb:2",
                           "EdsOpenSession usb:2"};
    }
    void choosesTheSavedCamera()
    {
        QFETCH(QString, cameras);
        QFETCH(QString, saved);
        QFETCH(QStringList, expectedCalls);
        QCOMPARE(EdsSimReset(cameras.toUtf8().constData()), EDS_ERR_OK);
        Settings settings;
        settings.deviceInfo = cameraNamed(saved);
        saveSettings(settings);
        auto thread = startedThread();
        QVERIFY(waitForCall(expectedCalls.last()));
        thread.reset();
        QStringList calls = callLog();
        const int first = int(calls.indexOf("EdsGetChildAtIndex usb:1"));
        QVERIFY(first > 0);
        QCOMPARE(calls.mid(first, expectedCalls.size()), expectedCalls);
        QCOMPARE(countCalls("EdsOpenSession usb:1") + countCalls("EdsOpenSession usb:2"), 1);
    }

    void cameraChoiceFailures()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D;Canon EOS R6"), EDS_ERR_OK);
        Settings settings;
        settings.deviceInfo = cameraNamed("Canon EOS R6");
        saveSettings(settings);
        // The first index fails once: the second camera is still found.
        QCOMPARE(EdsSimInjectError("EdsGetChildAtIndex", nullptr, EDS_ERR_INVALID_INDEX, 1), EDS_ERR_OK);
        QCOMPARE(EdsSimInjectError("EdsGetDeviceInfo", "usb:2", EDS_ERR_COMM_DISCONNECTED, 1), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForLine("EdsGetChildAtIndex failed (1)"));
        QVERIFY(waitForLine("EdsGetDeviceInfo failed"));
        QVERIFY(waitForCall("EdsOpenSession usb:1")); // no match this time: the first camera
        thread.reset();
        clearLog();
        clearCallLog();

        // Nothing can be taken from the list: it is released and the attempt retried.
        QCOMPARE(EdsSimInjectError("EdsGetChildAtIndex", nullptr, EDS_ERR_INVALID_INDEX, 0), EDS_ERR_OK);
        thread = startedThread();
        QVERIFY(waitForLine("Retry"));
        thread.reset();
        QCOMPARE(countLines("EdsGetChildAtIndex failed (2)"), countLines("Cameras found: 2"));
        QCOMPARE(countCalls("EdsOpenSession usb:1") + countCalls("EdsOpenSession usb:2"), 0);
        EdsSimClearInjections();
    }

    void sessionFailuresAreLoggedAndRetried_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("streams"); // whether the camera streams afterwards
        QTest::newRow("list") << "EdsGetCameraList"
                              << "Canon camera list failed" << true;
        QTest::newRow("count") << "EdsGetChildCount"
                               << "Canon camera count error" << true;
        QTest::newRow("open") << "EdsOpenSession"
                              << "EdsOpenSession failed" << true;
        QTest::newRow("handler") << "EdsSetCameraStateEventHandler"
                                 << "EdsSetCameraStateEventHandler() failed (for keep alive)" << true;
        // The session goes on, but the camera never sends live view to the computer.
        QTest::newRow("set output") << "EdsSetPropertyData"
                                    << "EdsSetPropertyData(kEdsPropID_Evf_OutputDevice) failed" << false;
        QTest::newRow("image") << "EdsCreateEvfImageRef"
                               << "EdsCreateEvfImageRef error" << true;
        QTest::newRow("pointer") << "EdsGetPointer"
                                 << "EdsGetPointer() failed" << true;
        QTest::newRow("length") << "EdsGetLength"
                                << "EdsGetLength for stream failed" << true;
        QTest::newRow("download") << "EdsDownloadEvfImage"
                                  << "Retry" << true;
    }
    void sessionFailuresAreLoggedAndRetried()
    {
        QFETCH(QString, call);
        QFETCH(QString, line);
        QFETCH(bool, streams);
        QCOMPARE(EdsSimInjectError(call.toUtf8().constData(), nullptr, EDS_ERR_DEVICE_BUSY, 1), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForLine(line));
        if (streams)
            QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(thread->outputSize())));
        else
            QVERIFY(waitForCall("EdsDownloadEvfImage usb:1", 20));
    }

    void failedPropertySizeStillSwitchesLiveView()
    {
        QCOMPARE(EdsSimInjectError("EdsGetPropertySize", nullptr, EDS_ERR_DEVICE_BUSY, 0), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(thread->outputSize())));
        QCOMPARE(countLines("EdsGetPropertySize(kEdsPropID_Evf_OutputDevice) failed"), 1);
        // The stand-in refuses any size but the property's 4 bytes.
        QCOMPARE(countLines("EdsSetPropertyData(kEdsPropID_Evf_OutputDevice) failed"), 0);
        thread->startCapture(); // hands live view back with the same size
        QVERIFY(waitForCall("EdsOpenSession usb:1", 2));
        QCOMPARE(countLines("EdsSetPropertyData(kEdsEvfOutputDevice_TFT) failed"), 0);
        EdsSimClearInjections();
    }

    void handlesOfFailedCallsAreNotReleased()
    {
        QCOMPARE(EdsSimInjectError("EdsCreateMemoryStream", nullptr, EDS_ERR_MEM_ALLOC_FAILED, 1),
                 EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForLine("Retry"));
        thread.reset();
        QVERIFY(logLines().contains("Error EdsCreateMemoryStream"));
        QVERIFY(logLines().contains("EdsCreateEvfImageRef error")); // no stream to make it from
        const QStringList calls = callLog();
        const int from = int(calls.indexOf("EdsCreateMemoryStream"));
        int to = int(calls.indexOf("EdsGetCameraList", from));
        if (to < 0)
            to = int(calls.size());
        QVERIFY(from > 0);
        // Only the camera and the list: no stream or image was handed out.
        QCOMPARE(calls.mid(from, to - from).filter("EdsRelease"),
                 (QStringList{"EdsRelease usb:1", "EdsRelease"}));
    }

    void unplugMidStream()
    {
        auto thread = startedThread();
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QVERIFY(waitForCameraFrame(*thread, placeholder));
        QCOMPARE(EdsSimUnplugCamera("usb:1"), EDS_ERR_OK);
        QVERIFY(waitForLine("Retry"));
        const QString log = logLines().join('\n');
        QVERIFY(log.contains("Received event 0"));
        QVERIFY(log.contains("Releasing image and stream...\nStop viewfinder...\n"));
        QVERIFY(log.contains("Close session...\n"));
        QVERIFY(log.indexOf("Close session...") < log.indexOf("Retry"));
        // The pin keeps the last picture: whatever was still queued, then that frame again and again.
        for (int i = 0; i < 4; ++i)
            readFrame(*thread);
        const QByteArray last = readFrame(*thread);
        QVERIFY(last != placeholder);
        QVERIFY(waitForLine("Retry", 2));
        QCOMPARE(readFrame(*thread), last);
    }

    void startCaptureWhileRunningRestartsAtOnce()
    {
        auto thread = startedThread();
        QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(thread->outputSize())));
        clearCallLog();
        thread->startCapture();
        QVERIFY(waitForCall("EdsOpenSession usb:1"));
        const QStringList calls = callLog();
        const int handBack = int(calls.indexOf("EdsSetPropertyData usb:1"));
        const int close = int(calls.indexOf("EdsCloseSession usb:1"));
        QVERIFY(handBack >= 0 && handBack < close);
        QVERIFY(close < calls.indexOf("EdsOpenSession usb:1"));
        QCOMPARE(countLines("Retry"), 0);
        QCOMPARE(calls.filter("EdsInitializeSDK").size(), 0); // the same run goes on
    }

    void keepAlive()
    {
        CaptureTimings timings = CaptureTimings::current();
        timings.keepAliveIntervalMs = 200;
        CaptureTimings::setForTesting(timings);
        auto thread = startedThread();
        // No frame read yet: the clock has not started, nothing is periodic.
        QVERIFY(waitForCall("EdsGetPointer"));
        const EdsUInt32 before = framesDelivered();
        QTRY_VERIFY_WITH_TIMEOUT(framesDelivered() >= before + 20, kGuardMs);
        QCOMPARE(countCalls("EdsSendCommand usb:1"), 0);

        // A warning from the camera is answered at once.
        QCOMPARE(EdsSimSendStateEvent("usb:1", kEdsStateEvent_WillSoonShutDown, 7), EDS_ERR_OK);
        QVERIFY(waitForLine("Received event 7"));
        QVERIFY(waitForLine("Requesting extension true"));
        QVERIFY(waitForCall("EdsSendCommand usb:1"));
        QCOMPARE(countLines("Requesting extension false"), 0);

        // Once the pin reads frames, extensions follow the clock.
        QTRY_VERIFY_WITH_TIMEOUT((readFrame(*thread), countLines("Requesting extension false") >= 2),
                                 kGuardMs);
        QVERIFY(countCalls("EdsSendCommand usb:1") >= 3);
    }

    void destructorDuringRetryPause()
    {
        QCOMPARE(EdsSimReset(""), EDS_ERR_OK);
        CaptureTimings timings = CaptureTimings::current();
        timings.retryPauseMs = 500;
        CaptureTimings::setForTesting(timings);
        auto thread = startedThread();
        QVERIFY(waitForLine("Retry"));
        thread.reset(); // returns only after the pause and the clean-up
        QCOMPARE(logLines().last(), QString("MediaProcessingThread exited"));
        QCOMPARE(callLog().last(), QString("EdsTerminateSDK"));
    }

    void sdkInitFailure()
    {
        QCOMPARE(EdsSimInjectError("EdsInitializeSDK", nullptr, EDS_ERR_INTERNAL_ERROR, 1), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(thread->wait(kGuardMs));
        QCOMPARE(countLines("Canon SDK init failed"), 1);
        QCOMPARE(callLog(), QStringList{"EdsInitializeSDK"});
        QCOMPARE(readFrame(*thread), Placeholder::frame(thread->outputSize()));
    }

    void missingSdkLibrary()
    {
        QTemporaryDir empty;
        eds::setLibraryFolderForTesting(empty.path().toStdString());
        auto thread = startedThread();
        QVERIFY(thread->wait(kGuardMs));
        const QStringList lines = logLines();
        QCOMPARE(lines.filter("Canon SDK library could not be loaded").size(), 1);
        QVERIFY(lines.contains("Canon SDK init failed"));
        QCOMPARE(callLog(), QStringList());
        QVERIFY(!readFrame(*thread).isEmpty()); // the placeholder
    }

    void cameraFasterThanPin()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0:fps=500:size=320x240"), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForCall("EdsGetPointer"));
        const quint64 created = FrameBuffer::createdCount();
        const EdsUInt32 start = framesDelivered();
        while (framesDelivered() < start + 60) {
            QVERIFY(MediaProcessingThreadProbe::readyCount(*thread) <= 3);
            QThread::yieldCurrentThread();
        }
        QCOMPARE(MediaProcessingThreadProbe::readyCount(*thread), 3);
        // Frames circulate instead of being made anew.
        QVERIFY(FrameBuffer::createdCount() - created <= 4);
    }

    void pinFasterThanCamera()
    {
        auto thread = startedThread();
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QVERIFY(waitForCameraFrame(*thread, placeholder));
        QVERIFY(freezeCamera(*thread));
        const QByteArray repeated = readFrame(*thread);
        QVERIFY(repeated != placeholder);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(readFrame(*thread), repeated);
    }

    void readFrameCopiesAtMostMaxBytes_data()
    {
        QTest::addColumn<int>("delta"); // maxBytes minus the frame's size
        QTest::newRow("smaller") << -7;
        QTest::newRow("exact") << 0;
        QTest::newRow("larger") << 64;
    }
    void readFrameCopiesAtMostMaxBytes()
    {
        QFETCH(int, delta);
        auto thread = startedThread();
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QVERIFY(waitForCameraFrame(*thread, placeholder));
        QVERIFY(freezeCamera(*thread));
        const QByteArray frame = readFrame(*thread);
        QCOMPARE(frame.size(), 960 * 640 * 3);
        const int maxBytes = frame.size() + delta;
        QByteArray destination = sentinel.repeated(frame.size() + 128);
        QCOMPARE(thread->readFrame(destination.data(), maxBytes), qMin(maxBytes, frame.size()));
        const int copied = qMin(maxBytes, frame.size());
        QCOMPARE(destination.left(copied), frame.left(copied));
        QCOMPARE(destination.mid(copied), sentinel.repeated(destination.size() - copied));

        // Nothing to copy into, nothing copied, and no frame consumed.
        QCOMPARE(thread->readFrame(nullptr, maxBytes), 0);
        QCOMPARE(thread->readFrame(destination.data(), 0), 0);
        QCOMPARE(thread->readFrame(destination.data(), -1), 0);
    }

    void placeholderBeforeFirstFrameAndAfterRun()
    {
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 0), EDS_ERR_OK);
        auto thread = startedThread();
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QVERIFY(waitForCall("EdsDownloadEvfImage usb:1"));
        QCOMPARE(readFrame(*thread), placeholder);
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 1), EDS_ERR_OK);
        QVERIFY(waitForCameraFrame(*thread, placeholder));
        thread->stopCapture();
        QVERIFY(thread->wait(kGuardMs));
        QCOMPARE(readFrame(*thread), placeholder);
    }

    void nothingCopiedWithoutPlaceholder()
    {
        Placeholder::setSourceForTesting("/nonexistent/placeholder.png");
        MediaProcessingThread thread;
        QByteArray destination = sentinel.repeated(64);
        QCOMPARE(thread.readFrame(destination.data(), destination.size()), 0);
        QCOMPARE(destination, sentinel.repeated(64));
        Placeholder::setSourceForTesting({});
    }

    void frameSizeFollowsOutputSize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smaller, stretched") << QSize(640, 480);
        QTest::newRow("width not a multiple of 4") << QSize(641, 479);
        QTest::newRow("camera size") << QSize(960, 640);
    }
    void frameSizeFollowsOutputSize()
    {
        QFETCH(QSize, size);
        Settings settings;
        settings.customResolution = true;
        settings.videoResolution = size;
        saveSettings(settings);
        auto thread = startedThread();
        QVERIFY(waitForCameraFrame(*thread, Placeholder::frame(size)));
        QCOMPARE(readFrame(*thread).size(), size.width() * size.height() * 3);
    }

    void damagedFramesAreSkipped()
    {
        const QByteArray damaged("\xFF\xD8 not a real JPEG");
        QCOMPARE(EdsSimAddReplayFrame("usb:1", damaged.constData(), EdsUInt32(damaged.size())), EDS_ERR_OK);
        auto thread = startedThread();
        QVERIFY(waitForCall("EdsGetPointer", 5));
        const QByteArray placeholder = Placeholder::frame(thread->outputSize());
        QCOMPARE(readFrame(*thread), placeholder);
        QCOMPARE(MediaProcessingThreadProbe::readyCount(*thread), 0);
        QCOMPARE(countLines("Retry"), 0); // a bad frame does not end the session
    }
};

QTEST_GUILESS_MAIN(TestMediaProcessingThread)
#include "tst_MediaProcessingThread.moc"
