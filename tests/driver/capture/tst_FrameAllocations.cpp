// Once streaming has settled, frames circulate between the capture thread and the pin without
// any heap allocation: no new frame buffers, no queue nodes, no copy callbacks on the heap.

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/FrameBuffer.h"
#include "driver/capture/MediaProcessingThread.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/driver/capture/AllocationCounter.h"
#include "tests/driver/capture/CaptureTestSupport.h"

#include <QtTest>

#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <vector>

// Drives the hand-off directly, as the capture thread would for each downloaded JPEG.
struct MediaProcessingThreadProbe
{
    static void publish(MediaProcessingThread &thread, const QByteArray &jpeg)
    {
        thread.convertAndPublish(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size());
    }
};

namespace {

QByteArray encodeJpeg(const QSize &size)
{
    std::vector<uchar> rgb(size_t(size.width()) * size_t(size.height()) * 3);
    for (size_t i = 0; i < rgb.size(); ++i)
        rgb[i] = uchar((i * 7) ^ (i >> 9));
    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (tjCompress2(compressor.get(), rgb.data(), size.width(), size.width() * 3, size.height(), TJPF_RGB,
                    &jpeg, &length, TJSAMP_422, 85, 0) != 0)
        return {};
    QByteArray bytes(reinterpret_cast<const char *>(jpeg), int(length));
    tjFree(jpeg);
    return bytes;
}

} // namespace

class TestFrameAllocations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        CaptureTest::captureLog();
        // Short pauses only so that the thread ends quickly at the end of each case.
        CaptureTimings fast;
        fast.liveViewStartMs = 20;
        fast.retryPauseMs = 50;
        CaptureTimings::setForTesting(fast);
    }

    void cleanupTestCase() { CaptureTimings::setForTesting(CaptureTimings{}); }

    void steadyStateAllocatesNothing_data()
    {
        QTest::addColumn<QSize>("cameraSize");
        QTest::addColumn<QSize>("outputSize");
        QTest::newRow("same size") << QSize(960, 640) << QSize(960, 640);
        QTest::newRow("upscaled") << QSize(960, 640) << QSize(1920, 1080);
        QTest::newRow("downscaled") << QSize(960, 640) << QSize(640, 480);
        QTest::newRow("odd width, upscaled") << QSize(960, 640) << QSize(1366, 767);
        QTest::newRow("odd width, downscaled") << QSize(1023, 683) << QSize(333, 201);
        QTest::newRow("large, same size") << QSize(1920, 1080) << QSize(1920, 1080);
    }

    void steadyStateAllocatesNothing()
    {
        QFETCH(QSize, cameraSize);
        QFETCH(QSize, outputSize);
        if (!AllocationCounter::isAvailable())
            QSKIP("the sanitizer in this build owns the allocator");

        // No camera: the thread idles in its retry loop while this thread plays both the camera
        // side and the pin.
        QCOMPARE(EdsSimReset(""), EDS_ERR_OK);
        CaptureTest::Settings settings;
        settings.customResolution = true;
        settings.videoResolution = outputSize;
        CaptureTest::saveSettings(settings);
        CaptureTest::clearLog();

        const QByteArray jpeg = encodeJpeg(cameraSize);
        QVERIFY(!jpeg.isEmpty());
        const int frameBytes = outputSize.width() * outputSize.height() * 3;
        std::vector<char> sample(size_t(frameBytes) + 64);

        MediaProcessingThread thread;
        QCOMPARE(thread.outputSize(), outputSize);
        thread.startCapture();
        // The decoder exists once the first attempt has looked for cameras.
        QVERIFY(CaptureTest::waitForLine("Cameras found: 0"));

        int lastCopied = 0;
        // A copy routine that carries as much as the pin's does (buffer, size, layout).
        const auto copyLikeThePin = [&] {
            char *buffer = sample.data();
            const int size = int(sample.size());
            const QSize expected = outputSize;
            const int rowBytes = outputSize.width() * 3;
            lastCopied = thread.readFrameWith([&](const QByteArray &frame) {
                const int count = qMin(size, frame.size());
                if (frame.size() == expected.width() * expected.height() * 3 && rowBytes > 0)
                    std::memcpy(buffer, frame.constData(), size_t(count));
                return count;
            });
        };
        // Camera faster than the pin (the ready queue is trimmed), then the pin faster than the
        // camera (the current frame is repeated), through both ways of reading.
        const auto round = [&] {
            for (int i = 0; i < 4; ++i)
                MediaProcessingThreadProbe::publish(thread, jpeg);
            for (int i = 0; i < 3; ++i)
                lastCopied = thread.readFrame(sample.data(), int(sample.size()));
            for (int i = 0; i < 3; ++i)
                copyLikeThePin();
            MediaProcessingThreadProbe::publish(thread, jpeg);
            copyLikeThePin();
            lastCopied = thread.readFrame(sample.data(), int(sample.size()));
        };

        for (int i = 0; i < 2; ++i)
            round();
        QCOMPARE(lastCopied, frameBytes);

        const quint64 buffersBefore = FrameBuffer::createdCount();
        size_t newCalls = 0;
        size_t largeBlocks = 0;
        {
            AllocationCounter counter(size_t(qMin(frameBytes, cameraSize.width() * cameraSize.height() * 3)));
            // Over a hundred frames pass through each queue: enough to wrap any internal block of a
            // queue several times.
            for (int i = 0; i < 25; ++i)
                round();
            newCalls = counter.newCalls();
            largeBlocks = counter.largeBlocks();
        }
        QCOMPARE(lastCopied, frameBytes);
        QCOMPARE(FrameBuffer::createdCount(), buffersBefore);
        QCOMPARE(newCalls, size_t(0));
        QCOMPARE(largeBlocks, size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestFrameAllocations)
#include "tst_FrameAllocations.moc"
