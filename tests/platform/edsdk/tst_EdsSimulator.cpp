// The simulated cameras must be as strict as real ones, or the capture code's tests prove nothing.

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <chrono>
#include <mutex>
#include <thread>
#include <turbojpeg.h>

namespace {

// Waits are for conditions; their time-out only guards against a hang, however slow the machine.
constexpr int kGuardMs = 300000;

// The stand-in's clock: the steady clock, in nanoseconds.
EdsUInt64 steadyNow()
{
    return EdsUInt64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count());
}

QStringList takeCallLog()
{
    for (;;) {
        const EdsUInt32 needed = EdsSimGetCallLog(nullptr, 0, 0);
        QByteArray buffer(int(needed) + 4096, '\0');
        if (EdsSimGetCallLog(buffer.data(), EdsUInt32(buffer.size()), 1) <= EdsUInt32(buffer.size()))
            return QString::fromUtf8(buffer.constData()).split('\n', Qt::SkipEmptyParts);
    }
}

struct EventRecorder
{
    std::mutex mutex;
    QList<EdsStateEvent> events;
    QList<EdsUInt64> times; // when each event arrived, on the stand-in's clock
    std::thread::id thread;
    EdsCameraRef extendOnWarning = nullptr;
    int extensionsLeft = -1;     // how many warnings are answered with an extension; -1: all
    QList<EdsUInt64> extendedAt; // just before each extension was sent

    static EdsError handler(EdsStateEvent event, EdsUInt32, EdsVoid *context)
    {
        const EdsUInt64 now = steadyNow();
        auto *self = static_cast<EventRecorder *>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->events.append(event);
        self->times.append(now);
        self->thread = std::this_thread::get_id();
        if (event == kEdsStateEvent_WillSoonShutDown && self->extendOnWarning && self->extensionsLeft != 0) {
            if (self->extensionsLeft > 0)
                --self->extensionsLeft;
            self->extendedAt.append(steadyNow());
            EdsSendCommand(self->extendOnWarning, kEdsCameraCommand_ExtendShutDownTimer, 0);
        }
        return EDS_ERR_OK;
    }
    int count(EdsStateEvent event)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return int(events.count(event));
    }
};

// Decodes a JPEG, returning its size or an invalid size when it is not one.
QSize decodedSize(const void *data, EdsUInt64 length)
{
    tjhandle decoder = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0;
    QSize size;
    auto *bytes = static_cast<const unsigned char *>(data);
    if (tjDecompressHeader2(decoder, const_cast<unsigned char *>(bytes), (unsigned long)length, &width,
                            &height, &subsampling) == 0) {
        std::vector<unsigned char> rgb(size_t(width) * height * 3);
        if (tjDecompress2(decoder, bytes, (unsigned long)length, rgb.data(), width, 0, height, TJPF_RGB, 0) ==
            0)
            size = QSize(width, height);
    }
    tjDestroy(decoder);
    return size;
}

} // namespace

class TestEdsSimulator : public QObject
{
    Q_OBJECT

    EdsCameraListRef list = nullptr;
    EdsCameraRef camera = nullptr;
    EdsStreamRef stream = nullptr;
    EdsEvfImageRef image = nullptr;

    void openFirstCamera()
    {
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_OK);
        QCOMPARE(EdsCreateMemoryStream(0, &stream), EDS_ERR_OK);
        QCOMPARE(EdsCreateEvfImageRef(stream, &image), EDS_ERR_OK);
    }
    void setOutputDevice(EdsUInt32 device)
    {
        QCOMPARE(EdsSetPropertyData(camera, kEdsPropID_Evf_OutputDevice, 0, sizeof device, &device),
                 EDS_ERR_OK);
    }
    EdsError download() { return EdsDownloadEvfImage(camera, image); }
    // Downloads have side effects, so they are polled here rather than in QTRY_ macros, which re-evaluate.
    // Waits for a frame; the time-out only guards against a hang.
    bool downloadEventually()
    {
        QDeadlineTimer deadline(kGuardMs);
        while (!deadline.hasExpired()) {
            if (download() == EDS_ERR_OK)
                return true;
            QThread::msleep(2);
        }
        return false;
    }

private slots:
    void init()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:startup=0"), EDS_ERR_OK);
        list = camera = stream = image = nullptr;
    }
    void cleanup()
    {
        for (EdsBaseRef ref : {image, stream, camera, list}) {
            if (ref)
                EdsRelease(ref);
        }
        while (EdsSimInitializeCount() > 0)
            EdsTerminateSDK();
        QCOMPARE(EdsSimLiveReferenceCount(), 0u);
    }

    void defaultConfigurationIsOneCamera()
    {
        QCOMPARE(EdsSimReset(nullptr), EDS_ERR_OK);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        EdsUInt32 count = 99;
        QCOMPARE(EdsGetChildCount(list, &count), EDS_ERR_OK);
        QCOMPARE(count, 1u);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        EdsDeviceInfo info;
        QCOMPARE(EdsGetDeviceInfo(camera, &info), EDS_ERR_OK);
        QCOMPARE(QString(info.szDeviceDescription), QString("Canon EOS 90D"));
    }

    void configurationSyntax_data()
    {
        QTest::addColumn<QString>("configuration");
        QTest::addColumn<QStringList>("expected"); // "model|port", or empty with valid false
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << "" << QStringList() << true;
        QTest::newRow("two of a model differ in port")
            << "Canon EOS 90D;Canon EOS 90D" << QStringList{"Canon EOS 90D|usb:1", "Canon EOS 90D|usb:2"}
            << true;
        QTest::newRow("all settings") << "Canon EOS R6:size=1024x680:fps=25:port=p9:idle=60:startup=10"
                                      << QStringList{"Canon EOS R6|p9"} << true;
        QTest::newRow("colon in a value") << "Canon EOS R6:port=usb:9" << QStringList() << false;
        QTest::newRow("port and size") << "Canon EOS R6:port=cam-a:size=640x480;Canon EOS M50"
                                       << QStringList{"Canon EOS R6|cam-a", "Canon EOS M50|usb:1"} << true;
        QTest::newRow("unknown key") << "Canon EOS R6:colour=red" << QStringList() << false;
        QTest::newRow("zero size") << "Canon EOS R6:size=0x480" << QStringList() << false;
        QTest::newRow("huge size") << "Canon EOS R6:size=100000x480" << QStringList() << false;
        QTest::newRow("negative rate") << "Canon EOS R6:fps=-1" << QStringList() << false;
        QTest::newRow("same port twice") << "A:port=p;B:port=p" << QStringList() << false;
        QTest::newRow("missing frames") << "A:frames=/nonexistent/x.jpg" << QStringList() << false;
    }
    void configurationSyntax()
    {
        QFETCH(QString, configuration);
        QFETCH(QStringList, expected);
        QFETCH(bool, valid);
        QCOMPARE(EdsSimReset("Before:port=before"), EDS_ERR_OK);
        QCOMPARE(EdsSimReset(configuration.toUtf8().constData()) == EDS_ERR_OK, valid);
        if (!valid)
            expected = QStringList{"Before|before"}; // a refused configuration changes nothing
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        EdsUInt32 count = 0;
        QCOMPARE(EdsGetChildCount(list, &count), EDS_ERR_OK);
        QStringList found;
        for (EdsUInt32 i = 0; i < count; ++i) {
            EdsCameraRef each = nullptr;
            EdsDeviceInfo info;
            QCOMPARE(EdsGetChildAtIndex(list, EdsInt32(i), &each), EDS_ERR_OK);
            QCOMPARE(EdsGetDeviceInfo(each, &info), EDS_ERR_OK);
            found << QString("%1|%2").arg(info.szDeviceDescription, info.szPortName);
            QCOMPARE(EdsRelease(each), 0u);
        }
        QCOMPARE(found, expected);
    }

    void strictness()
    {
        EdsCameraListRef early = nullptr;
        QCOMPARE(EdsGetCameraList(&early), EDS_ERR_INTERNAL_ERROR); // before EdsInitializeSDK
        QVERIFY(!early);
        QCOMPARE(EdsSimAddCameras("Canon EOS 90D"), EDS_ERR_OK);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(list, 2, &camera), EDS_ERR_INVALID_INDEX);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(nullptr), EDS_ERR_INVALID_POINTER);

        EdsDataType type;
        EdsUInt32 size = 0;
        QCOMPARE(EdsGetPropertySize(camera, kEdsPropID_Evf_OutputDevice, 0, &type, &size),
                 EDS_ERR_SESSION_NOT_OPEN);
        QCOMPARE(EdsSendCommand(camera, kEdsCameraCommand_ExtendShutDownTimer, 0), EDS_ERR_SESSION_NOT_OPEN);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_OK);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_SESSION_ALREADY_OPEN);
        EdsCameraRef same = nullptr;
        QCOMPARE(EdsGetChildAtIndex(list, 0, &same), EDS_ERR_OK);
        QCOMPARE(EdsOpenSession(same), EDS_ERR_DEVICE_BUSY); // one session per camera
        QCOMPARE(EdsRelease(same), 0u);

        QCOMPARE(EdsGetPropertySize(camera, kEdsPropID_Evf_OutputDevice, 0, &type, &size), EDS_ERR_OK);
        QCOMPARE(size, 4u);
        const EdsUInt32 pc = kEdsEvfOutputDevice_PC;
        QCOMPARE(EdsSetPropertyData(camera, kEdsPropID_Evf_OutputDevice, 0, 0, &pc), EDS_ERR_INVALID_LENGTH);

        // References are counted; a released one is refused, never dereferenced.
        QCOMPARE(EdsRetain(camera), 2u);
        QCOMPARE(EdsRelease(camera), 1u);
        QCOMPARE(EdsCloseSession(camera), EDS_ERR_OK);
        QCOMPARE(EdsRelease(camera), 0u);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_INVALID_HANDLE);
        QCOMPARE(EdsRelease(camera), 0xFFFFFFFFu);
        camera = nullptr;
        QCOMPARE(EdsOpenSession(list), EDS_ERR_INVALID_HANDLE); // wrong kind of reference
        QCOMPARE(EdsOpenSession(nullptr), EDS_ERR_INVALID_HANDLE);

        QCOMPARE(EdsTerminateSDK(), EDS_ERR_OK);
        EdsUInt32 count = 0;
        QCOMPARE(EdsGetChildCount(list, &count), EDS_ERR_INTERNAL_ERROR); // after EdsTerminateSDK
    }

    void liveViewNotReadyUntilComputerOutputAndBetweenFrames()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:fps=1:startup=0"), EDS_ERR_OK);
        openFirstCamera();
        QCOMPARE(download(), EDS_ERR_OBJECT_NOTREADY); // still on the camera's screen
        setOutputDevice(kEdsEvfOutputDevice_PC);
        EdsUInt32 device = 0;
        QCOMPARE(EdsSimGetOutputDevice("usb:1", &device), EDS_ERR_OK);
        QCOMPARE(device, kEdsEvfOutputDevice_PC);
        QVERIFY(downloadEventually());

        // Between frames, by the camera's own clock: a frame was just taken and the next one is not yet
        // due. Setting the rate restarts the count, so frame 0 is ready at once and frame 1 five seconds
        // later; the frame is a few bytes, so a download costs next to nothing. Only a download that ended
        // before frame 1 was due says anything; on a machine too busy for that, the round is tried again.
        QCOMPARE(EdsSimAddReplayFrame("usb:1", "frame", 5), EDS_ERR_OK);
        bool checked = false;
        QDeadlineTimer guard(kGuardMs);
        while (!checked && !guard.hasExpired()) {
            QCOMPARE(EdsSimSetFrameRate("usb:1", 0.2), EDS_ERR_OK);
            QCOMPARE(download(), EDS_ERR_OK); // frame 0, or a later one on a slow machine
            EdsUInt64 secondDue = 0;
            QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 1, &secondDue), EDS_ERR_OK);
            const EdsError between = download();
            if (steadyNow() < secondDue) {
                QCOMPARE(between, EDS_ERR_OBJECT_NOTREADY);
                checked = true;
            }
        }
        QVERIFY(checked);
        QVERIFY(downloadEventually()); // and the next frame comes by itself
        setOutputDevice(kEdsEvfOutputDevice_TFT);
        QCOMPARE(download(), EDS_ERR_OBJECT_NOTREADY);
    }

    void framesAreJpegsOfTheSetSize_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("default") << QSize(960, 640);
        QTest::newRow("odd") << QSize(641, 479);
        QTest::newRow("tiny") << QSize(8, 6);
    }
    void framesAreJpegsOfTheSetSize()
    {
        QFETCH(QSize, size);
        openFirstCamera();
        QCOMPARE(EdsSimSetLiveViewSize("usb:1", size.width(), size.height()), EDS_ERR_OK);
        setOutputDevice(kEdsEvfOutputDevice_PC);
        QByteArray frames[2];
        for (QByteArray &frame : frames) {
            QVERIFY(downloadEventually());
            void *pointer = nullptr;
            EdsUInt64 length = 0;
            QCOMPARE(EdsGetPointer(stream, &pointer), EDS_ERR_OK);
            QCOMPARE(EdsGetLength(stream, &length), EDS_ERR_OK);
            QCOMPARE(decodedSize(pointer, length), size);
            frame = QByteArray(static_cast<const char *>(pointer), int(length));
        }
        QVERIFY(frames[0] != frames[1]); // the picture moves
    }

    void replaysGivenFrames()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("a.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not really a jpeg");
        file.close();
        openFirstCamera();
        QCOMPARE(EdsSimReplayFrames("usb:1", dir.path().toUtf8().constData()), EDS_ERR_OK);
        QCOMPARE(EdsSimAddReplayFrame("usb:1", "second", 6), EDS_ERR_OK);
        setOutputDevice(kEdsEvfOutputDevice_PC);
        QSet<QByteArray> seen;
        while (seen.size() < 2) {
            QVERIFY(downloadEventually());
            void *pointer = nullptr;
            EdsUInt64 length = 0;
            QCOMPARE(EdsGetPointer(stream, &pointer), EDS_ERR_OK);
            QCOMPARE(EdsGetLength(stream, &length), EDS_ERR_OK);
            const QByteArray frame(static_cast<const char *>(pointer), int(length));
            QVERIFY2(frame == "not really a jpeg" || frame == "second", frame.constData());
            seen.insert(frame);
        }
    }

    void cameraWithoutFramesStaysNotReady()
    {
        openFirstCamera();
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 0), EDS_ERR_OK);
        setOutputDevice(kEdsEvfOutputDevice_PC);
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 1), EDS_ERR_OK);
        QVERIFY(downloadEventually());
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", 0), EDS_ERR_OK);
        EdsUInt32 before = 0, after = 0;
        QCOMPARE(EdsSimGetFramesDelivered("usb:1", &before), EDS_ERR_OK);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(download(), EDS_ERR_OBJECT_NOTREADY);
        QCOMPARE(EdsSimGetFramesDelivered("usb:1", &after), EDS_ERR_OK);
        QCOMPARE(after, before);
    }

    void stateEventsArriveOnAnotherThread()
    {
        EventRecorder recorder;
        openFirstCamera();
        QCOMPARE(
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventRecorder::handler, &recorder),
            EDS_ERR_OK);
        QCOMPARE(EdsSimSendStateEvent("usb:1", kEdsStateEvent_WillSoonShutDown, 5), EDS_ERR_OK);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_WillSoonShutDown), 1, kGuardMs);
        std::lock_guard<std::mutex> lock(recorder.mutex);
        QVERIFY(recorder.thread != std::this_thread::get_id());
    }

    void unplugSendsShutdownAndCallsFail()
    {
        EventRecorder recorder;
        openFirstCamera();
        QCOMPARE(
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventRecorder::handler, &recorder),
            EDS_ERR_OK);
        setOutputDevice(kEdsEvfOutputDevice_PC);
        QCOMPARE(EdsSimUnplugCamera("usb:1"), EDS_ERR_OK);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_Shutdown), 1, kGuardMs);
        QCOMPARE(download(), EDS_ERR_COMM_DISCONNECTED);
        EdsCameraListRef again = nullptr;
        EdsUInt32 count = 99;
        QCOMPARE(EdsGetCameraList(&again), EDS_ERR_OK);
        QCOMPARE(EdsGetChildCount(again, &count), EDS_ERR_OK);
        QCOMPARE(count, 0u);
        QCOMPARE(EdsRelease(again), 0u);
    }

    void powersOffWhenIdle()
    {
        EventRecorder recorder;
        openFirstCamera();
        QCOMPARE(
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventRecorder::handler, &recorder),
            EDS_ERR_OK);
        QCOMPARE(EdsSimSetIdlePowerOff("usb:1", 400), EDS_ERR_OK);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_Shutdown), 1, kGuardMs);
        std::lock_guard<std::mutex> lock(recorder.mutex);
        QCOMPARE(recorder.events,
                 (QList<EdsStateEvent>{kEdsStateEvent_WillSoonShutDown, kEdsStateEvent_Shutdown}));
    }

    void extendingTheShutDownTimerKeepsTheCameraOn()
    {
        EventRecorder recorder;
        openFirstCamera();
        recorder.extendOnWarning = camera;
        QCOMPARE(
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventRecorder::handler, &recorder),
            EDS_ERR_OK);
        QCOMPARE(EdsSimSetIdlePowerOff("usb:1", 2000), EDS_ERR_OK);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_WillSoonShutDown), 2, kGuardMs);
        QCOMPARE(recorder.count(kEdsStateEvent_Shutdown), 0);
        EdsBool open = 0;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_OK);
        QVERIFY(open);
    }

    // The idle clock armed by opening a session runs by itself: nothing but time passes, and the camera
    // warns, then powers off; one extension pushes the power-off back by a whole idle time. Every check
    // is a lower bound on the stand-in's clock, which holds however slow the machine is.
    void idleSessionWarnsPowersOffAndExtensionPushesItBack()
    {
        const EdsUInt64 idleNs = 1200ull * 1000000; // warning 300 ms (a quarter) before the power-off
        QCOMPARE(EdsSimSetIdlePowerOff("usb:1", 1200), EDS_ERR_OK); // before any session: not armed
        EventRecorder recorder;
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        // First the event thread is brought to rest with no clock armed: it has delivered an event, and
        // releasing a reference with a handler returns only once no handler runs, that is once the thread
        // waits again, with no deadline. Only a wake-up by the session's opening can start it again.
        {
            EventRecorder settling;
            EdsCameraRef probe = nullptr;
            QCOMPARE(EdsGetChildAtIndex(list, 0, &probe), EDS_ERR_OK);
            QCOMPARE(
                EdsSetCameraStateEventHandler(probe, kEdsStateEvent_All, &EventRecorder::handler, &settling),
                EDS_ERR_OK);
            QCOMPARE(EdsSimSendStateEvent("usb:1", kEdsStateEvent_JobStatusChanged, 0), EDS_ERR_OK);
            QTRY_COMPARE_WITH_TIMEOUT(settling.count(kEdsStateEvent_JobStatusChanged), 1, kGuardMs);
            QCOMPARE(EdsRelease(probe), 0u);
        }
        recorder.extendOnWarning = camera;
        recorder.extensionsLeft = 1;
        QCOMPARE(
            EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &EventRecorder::handler, &recorder),
            EDS_ERR_OK);
        const EdsUInt64 opened = steadyNow();
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_OK); // arms the clock, and nothing else happens
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_Shutdown), 1, kGuardMs);

        std::lock_guard<std::mutex> lock(recorder.mutex);
        QCOMPARE(recorder.events,
                 (QList<EdsStateEvent>{kEdsStateEvent_WillSoonShutDown, kEdsStateEvent_WillSoonShutDown,
                                       kEdsStateEvent_Shutdown}));
        QCOMPARE(recorder.extendedAt.size(), 1);
        QVERIFY(recorder.times[0] >= opened + idleNs * 3 / 4); // the first warning, a quarter before
        QVERIFY(recorder.extendedAt[0] >= recorder.times[0]);
        // Extended from inside the first warning's handler, before the clock could run out: both the second
        // warning and the power-off count from the extension, not from the opening.
        QVERIFY(recorder.times[1] >= recorder.extendedAt[0] + idleNs * 3 / 4);
        QVERIFY(recorder.times[2] >= recorder.extendedAt[0] + idleNs);
        QVERIFY(recorder.times[2] > opened + idleNs * 7 / 4);
        EdsBool open = 1;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_DEVICE_NOT_FOUND); // powered off: gone
        qInfo(
            "idle 1200 ms: warned %.0f ms after the opening, extended; warned again %.0f ms and powered off "
            "%.0f ms after the extension",
            double(recorder.times[0] - opened) / 1e6,
            double(recorder.times[1] - recorder.extendedAt[0]) / 1e6,
            double(recorder.times[2] - recorder.extendedAt[0]) / 1e6);
    }

    void injectedFailures()
    {
        QCOMPARE(EdsSimAddCameras("Canon EOS R6:port=second"), EDS_ERR_OK);
        QCOMPARE(EdsSimInjectError("EdsOpenSession", nullptr, EDS_ERR_DEVICE_BUSY, 1), EDS_ERR_OK);
        QCOMPARE(EdsSimInjectError("EdsInitializeSDK", nullptr, EDS_ERR_NOT_SUPPORTED, 1), EDS_ERR_OK);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_NOT_SUPPORTED);
        QCOMPARE(EdsSimInitializeCount(), 0u);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_DEVICE_BUSY); // once
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_OK);

        // Always, for one camera only.
        EdsCameraRef second = nullptr;
        QCOMPARE(EdsGetChildAtIndex(list, 1, &second), EDS_ERR_OK);
        QCOMPARE(EdsSimInjectError("EdsGetDeviceInfo", "second", EDS_ERR_COMM_DISCONNECTED, 0), EDS_ERR_OK);
        EdsDeviceInfo info;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(EdsGetDeviceInfo(second, &info), EDS_ERR_COMM_DISCONNECTED);
        QCOMPARE(EdsGetDeviceInfo(camera, &info), EDS_ERR_OK);
        EdsSimClearInjections();
        QCOMPARE(EdsGetDeviceInfo(second, &info), EDS_ERR_OK);
        QCOMPARE(EdsRelease(second), 0u);
    }

    void callLogNamesCallsAndCameras()
    {
        takeCallLog();
        openFirstCamera();
        EdsCameraRef stale = camera;
        QCOMPARE(EdsCloseSession(camera), EDS_ERR_OK);
        QCOMPARE(EdsRelease(camera), 0u);
        camera = nullptr;
        QCOMPARE(EdsCloseSession(stale), EDS_ERR_INVALID_HANDLE);
        const QStringList expected{
            "EdsInitializeSDK\t",     "EdsGetCameraList\t",      "EdsGetChildAtIndex\tusb:1",
            "EdsOpenSession\tusb:1",  "EdsCreateMemoryStream\t", "EdsCreateEvfImageRef\t",
            "EdsCloseSession\tusb:1", "EdsRelease\tusb:1",       "EdsCloseSession\t"};
        QCOMPARE(takeCallLog(), expected);
        QCOMPARE(takeCallLog(), QStringList()); // taking clears it
    }
};

QTEST_GUILESS_MAIN(TestEdsSimulator)
#include "tst_EdsSimulator.moc"
