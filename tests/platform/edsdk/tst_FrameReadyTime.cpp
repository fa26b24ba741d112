// The camera stand-in's account of when each live-view frame became ready, which the latency probe
// measures against: it must follow the camera's own frame clock and refuse when there is none.

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <QtTest>

#include <chrono>

namespace {

EdsUInt64 steadyNow()
{
    return EdsUInt64(std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count());
}

} // namespace

class TestFrameReadyTime : public QObject
{
    Q_OBJECT

    EdsCameraListRef list = nullptr;
    EdsCameraRef camera = nullptr;

    void setOutputDevice(EdsUInt32 device)
    {
        QCOMPARE(EdsSetPropertyData(camera, kEdsPropID_Evf_OutputDevice, 0, sizeof device, &device),
                 EDS_ERR_OK);
    }

private slots:
    void init()
    {
        QCOMPARE(EdsSimReset("Canon EOS 90D:fps=25:startup=100"), EDS_ERR_OK);
        QCOMPARE(EdsInitializeSDK(), EDS_ERR_OK);
        QCOMPARE(EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(EdsGetChildAtIndex(list, 0, &camera), EDS_ERR_OK);
        QCOMPARE(EdsOpenSession(camera), EDS_ERR_OK);
    }

    void cleanup()
    {
        if (camera) {
            EdsCloseSession(camera);
            EdsRelease(camera);
        }
        if (list)
            EdsRelease(list);
        camera = nullptr;
        list = nullptr;
        EdsTerminateSDK();
    }

    void followsTheLiveViewClock()
    {
        EdsUInt64 ready = 0;
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 0, &ready), EDS_ERR_OBJECT_NOTREADY);

        const EdsUInt64 before = steadyNow();
        setOutputDevice(kEdsEvfOutputDevice_PC);
        const EdsUInt64 after = steadyNow();

        // Frame 0 comes the start-up delay after live view reached the computer.
        EdsUInt64 first = 0;
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 0, &first), EDS_ERR_OK);
        QVERIFY(first >= before + 100000000ull);
        QVERIFY(first <= after + 100000000ull);
        // Then one every 1/25 s: frame 50 two seconds later, to within rounding.
        EdsUInt64 fiftieth = 0;
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 50, &fiftieth), EDS_ERR_OK);
        QVERIFY(qAbs(qint64(fiftieth - first) - qint64(2000000000)) < 1000);

        // A frame reported ready is downloadable once its time has passed.
        QTRY_VERIFY_WITH_TIMEOUT(steadyNow() >= first, 300000);
        EdsStreamRef stream = nullptr;
        EdsEvfImageRef image = nullptr;
        QCOMPARE(EdsCreateMemoryStream(0, &stream), EDS_ERR_OK);
        QCOMPARE(EdsCreateEvfImageRef(stream, &image), EDS_ERR_OK);
        const EdsError downloaded = EdsDownloadEvfImage(camera, image);
        EdsRelease(image);
        EdsRelease(stream);
        QCOMPARE(downloaded, EDS_ERR_OK);

        // Live view back on the camera's screen: no frame clock any more.
        setOutputDevice(kEdsEvfOutputDevice_TFT);
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 0, &ready), EDS_ERR_OBJECT_NOTREADY);
    }

    void refusesBadArguments()
    {
        EdsUInt64 ready = 0;
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 0, nullptr), EDS_ERR_INVALID_POINTER);
        QCOMPARE(EdsSimGetFrameReadyTime("usb:9", 0, &ready), EDS_ERR_DEVICE_NOT_FOUND);
        setOutputDevice(kEdsEvfOutputDevice_PC);
        QCOMPARE(EdsSimSetFrameRate("usb:1", 0), EDS_ERR_OK);
        QCOMPARE(EdsSimGetFrameReadyTime("usb:1", 0, &ready), EDS_ERR_OBJECT_NOTREADY);
    }
};

QTEST_GUILESS_MAIN(TestFrameReadyTime)
#include "tst_FrameReadyTime.moc"
