// Per-frame cost of the pin's side of the hand-off against a plain memcpy of the same bytes:
//  - readFrame, taking the oldest queued frame of a running capture thread;
//  - the pin's copy (readFrameWith + copyFrameRows into a sample laid out as the media type says),
//    with rows re-strided where width * 3 is not a multiple of 4.
// Prints medians of the thread's CPU time and their ratio.

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/FrameBuffer.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/filter/FrameRows.h"
#include "driver/filter/VideoType.h"
#include "platform/edsdk/EdsSimulator.h"
#include "settings/GlobalSettings.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <time.h>

// Puts prepared frames into the ready queue, as if the camera had just delivered them.
struct MediaProcessingThreadProbe
{
    static void queue(MediaProcessingThread &thread, const FrameBuffer &frame)
    {
        thread.readyFrames.append(frame);
    }
    // Puts the spare frames back in line and returns (sharing, not copying) the bytes of the frame that
    // readFrame will take next.
    static QByteArray requeueSpares(MediaProcessingThread &thread)
    {
        while (!thread.spareFrames.isEmpty())
            thread.readyFrames.append(thread.spareFrames.takeOldest());
        std::vector<FrameBuffer> ready;
        while (!thread.readyFrames.isEmpty())
            ready.push_back(thread.readyFrames.takeOldest());
        for (const FrameBuffer &frame : ready)
            thread.readyFrames.append(frame);
        return ready.empty() ? QByteArray() : ready.front().bytes();
    }
};

namespace {

constexpr int kFramesInFlight = 4;
constexpr int kWarmUpRounds = 10;

double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool lookedForCameras()
{
    std::vector<char> log(EdsSimGetCallLog(nullptr, 0, false) + 1024);
    EdsSimGetCallLog(log.data(), EdsUInt32(log.size()), false);
    return std::strstr(log.data(), "EdsGetCameraList") != nullptr;
}

void saveOutputSize(const QSize &size)
{
    GlobalSettings *settings = GlobalSettings::instance(nullptr);
    settings->set_customResolution(true);
    settings->set_videoResolution(size);
    settings->saveSettings();
    delete settings;
}

QByteArray patterned(int bytes, int seed)
{
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        data[i] = char((i * 31 + seed * 7) ^ (i >> 11));
    return data;
}

struct Result
{
    double baseline = 0;
    double measured = 0;
};

// Alternates a plain memcpy of the very bytes the next measured call will copy with that call, so both
// see the same machine load and the same caches. `prepare` runs untimed before each round and returns
// those bytes.
template <typename Prepare, typename Measured>
Result compare(int rounds, int bytes, char *dst, Prepare prepare, Measured measured)
{
    std::vector<double> plain;
    std::vector<double> timed;
    for (int i = 0; i < kWarmUpRounds + rounds; ++i) {
        const QByteArray source = prepare();
        if (source.size() < bytes)
            std::abort();
        double t0 = 0;
        double t1 = 0;
        double t2 = 0;
        double t3 = 0;
        if (i % 2 == 0) {
            t0 = cpuMilliseconds();
            std::memcpy(dst, source.constData(), size_t(bytes));
            t1 = cpuMilliseconds();
            t2 = cpuMilliseconds();
            measured();
            t3 = cpuMilliseconds();
        } else {
            t2 = cpuMilliseconds();
            measured();
            t3 = cpuMilliseconds();
            t0 = cpuMilliseconds();
            std::memcpy(dst, source.constData(), size_t(bytes));
            t1 = cpuMilliseconds();
        }
        if (i < kWarmUpRounds)
            continue; // caches, page faults and the processor's clock settle first
        plain.push_back(t1 - t0);
        timed.push_back(t3 - t2);
    }
    return {median(plain), median(timed)};
}

void printRow(const char *what, const QSize &size, const Result &result)
{
    const QByteArray name =
        QByteArray(what) + " " + QByteArray::number(size.width()) + "x" + QByteArray::number(size.height());
    std::printf("%-30s %12.3f %12.3f %8.3f\n", name.constData(), result.baseline, result.measured,
                result.measured / result.baseline);
}

} // namespace

int main(int argc, char **argv)
{
    // Settings go to a throw-away folder, never the user's.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // No camera: the capture thread idles between attempts, and this thread plays the camera.
    EdsSimReset("");
    CaptureTimings idle;
    idle.retryPauseMs = 50;
    CaptureTimings::setForTesting(idle);

    const QSize sizes[] = {{640, 480}, {960, 640}, {1920, 1080}, {1366, 768}, {1023, 683}};

    std::printf("%-30s %12s %12s %8s\n", "case", "memcpy ms", "measured ms", "ratio");
    for (const QSize &size : sizes) {
        saveOutputSize(size);
        EdsSimClearCallLog();
        MediaProcessingThread thread;
        thread.startCapture();
        // Frames are read only while the thread runs; it has its decoder once it looks for cameras.
        while (!lookedForCameras())
            QThread::msleep(1);

        const int frameBytes = size.width() * size.height() * 3;
        for (int i = 0; i < kFramesInFlight; ++i) {
            FrameBuffer frame = FrameBuffer::create();
            frame.bytes() = patterned(frameBytes, i);
            MediaProcessingThreadProbe::queue(thread, frame);
        }

        const SampleLayout layout{size.width(), size.height(), VideoType::strideFor(size.width()), false};
        const qint64 sampleBytes = layout.stride * layout.rows;
        std::vector<char> sample(static_cast<size_t>(sampleBytes));
        char *dst = sample.data();

        if (layout.stride == qint64(size.width()) * 3) {
            const Result read = compare(
                rounds, frameBytes, dst, [&] { return MediaProcessingThreadProbe::requeueSpares(thread); },
                [&] { thread.readFrame(dst, int(sampleBytes)); });
            printRow("readFrame", size, read);
        }

        BYTE *buffer = reinterpret_cast<BYTE *>(dst);
        const Result pin = compare(
            rounds, frameBytes, dst, [&] { return MediaProcessingThreadProbe::requeueSpares(thread); },
            [&] {
                // As the pin's FillBuffer does it.
                thread.readFrameWith([&](const QByteArray &frame) {
                    return int(copyFrameRows(frame, size, buffer, sampleBytes, layout));
                });
            });
        printRow(layout.stride == qint64(size.width()) * 3 ? "pin copy" : "pin copy, re-strided", size, pin);
    }
    CaptureTimings::setForTesting(CaptureTimings{});
    return 0;
}
