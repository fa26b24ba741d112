// The simulated cameras must be as strict as real ones, or the capture code's tests prove nothing.

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <mutex>
#include <thread>
#include <turbojpeg.h>

namespace {

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
    std::thread::id thread;
    EdsCameraRef extendOnWarning = nullptr;

    static EdsError handler(EdsStateEvent event, EdsUInt32, EdsVoid *context)
    {
        auto *self = static_cast<EventRecorder *>(context);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->events.append(event);
        self->thread = std::this_thread::get_id();
        if (event == kEdsStateEvent_WillSoonShutDown && self->extendOnWarning)
            EdsSendCommand(self->extendOnWarning, kEdsCameraCommand_ExtendShutDownTimer, 0);
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
    bool downloadWithin(int milliseconds)
    {
        QDeadlineTimer deadline(milliseconds);
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
        QVERIFY(downloadWithin(10000));
        QCOMPARE(download(), EDS_ERR_OBJECT_NOTREADY); // the next frame is a second away
        QVERIFY(downloadWithin(10000));
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
            QVERIFY(downloadWithin(10000));
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
            QVERIFY(downloadWithin(10000));
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
        QVERIFY(downloadWithin(10000));
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
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_WillSoonShutDown), 1, 10000);
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
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_Shutdown), 1, 10000);
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
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_Shutdown), 1, 10000);
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
        QTRY_COMPARE_WITH_TIMEOUT(recorder.count(kEdsStateEvent_WillSoonShutDown), 2, 20000);
        QCOMPARE(recorder.count(kEdsStateEvent_Shutdown), 0);
        EdsBool open = 0;
        QCOMPARE(EdsSimIsSessionOpen("usb:1", &open), EDS_ERR_OK);
        QVERIFY(open);
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
