// What sharing one camera between applications costs, in CPU time of the threads doing the work (the
// machine is shared, so wall-clock time would mostly measure who else ran):
//  - per frame: the lone instance's conversion; the holder's, decoding into the frame ring; a consumer's
//    read and scale of the ring's decoded picture; and, for comparison, a consumer that would decode the
//    JPEG itself (a ring carrying JPEGs);
//  - live: a holder publishing at 30 frames per second and 1, 2 and 4 consumers each taking the newest
//    picture at its own 30 frames per second, CPU per consumer and the time from publishing to a
//    consumer's scaled frame (what the ring adds to the latency);
//  - the ring's memory.
#include "bench/frames/CameraJpeg.h"
#include "driver/capture/FrameConverter.h"
#include "driver/capture/FrameScaler.h"
#include "driver/capture/RingPictureStore.h"
#include "platform/ring/FrameRing.h"

#include <QByteArray>
#include <QSize>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <thread>
#include <vector>

#include <time.h>

using namespace vistrel::ring;

namespace {

constexpr int kRounds = 60;
constexpr double kInterval = 1.0 / 30.0;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

uint64_t steadyNs()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename Work> double medianCpuMs(Work work)
{
    std::vector<double> times;
    for (int i = 0; i < kRounds; ++i) {
        const double start = threadCpuMs();
        work();
        times.push_back(threadCpuMs() - start);
    }
    return median(times);
}

struct Ring
{
    Ring()
        : block(static_cast<uint8_t *>(::operator new(kRingSize, std::align_val_t(4096)))),
          writer(block, kRingSize)
    {
        writer.prepare(1);
    }
    ~Ring() { ::operator delete(block, std::align_val_t(4096)); }
    uint8_t *block;
    RingWriter writer;
};

// A consumer's work for one new picture: read the ring's newest, scale it to its own size.
bool consumeNewest(const RingReader &reader, uint32_t &last, FrameScaler &scaler, QByteArray &frame,
                   const QSize &output, uint64_t *publishedAt = nullptr)
{
    RingFrame found;
    if (reader.newest(last, found) != RingReader::Result::Frame)
        return false;
    scaler.prepare(QSize(int(found.width), int(found.height)), output);
    scaler.scale(found.pixels, reinterpret_cast<uchar *>(frame.data()));
    if (!reader.unchanged(found))
        return false;
    last = found.number;
    if (publishedAt)
        *publishedAt = found.publishTimeNs;
    return true;
}

void perFrame(const QSize &camera, const QSize &output)
{
    const QByteArray jpeg = cameraJpeg(camera);
    const auto *bytes = reinterpret_cast<const uchar *>(jpeg.constData());
    FrameConverter converter;
    QByteArray frame;
    const double alone = medianCpuMs([&] { converter.convert(bytes, jpeg.size(), output, frame); });

    Ring ring;
    RingPictureStore store(ring.writer);
    const double holder = medianCpuMs([&] { converter.convert(bytes, jpeg.size(), output, frame, &store); });

    RingReader reader(ring.block, kRingSize);
    FrameScaler scaler;
    QByteArray consumerFrame(output.width() * output.height() * 3, '\0');
    const double consumer = medianCpuMs([&] {
        uint32_t none = 0;
        consumeNewest(reader, none, scaler, consumerFrame, output);
    });
    FrameConverter own;
    const double decoding = medianCpuMs([&] { own.convert(bytes, jpeg.size(), output, consumerFrame); });
    std::printf("%4dx%-4d -> %4dx%-4d  lone %6.2f ms  holder %6.2f ms  consumer (decoded ring) %6.2f ms  "
                "consumer (JPEG ring) %6.2f ms\n",
                camera.width(), camera.height(), output.width(), output.height(), alone, holder, consumer,
                decoding);
}

// A holder publishing at 30 frames per second and `consumers` threads taking the newest picture at theirs.
void live(const QSize &camera, const QSize &output, int consumers, double seconds)
{
    const QByteArray jpeg = cameraJpeg(camera);
    Ring ring;
    std::atomic<bool> done{false};
    std::thread holder([&] {
        FrameConverter converter;
        RingPictureStore store(ring.writer);
        QByteArray frame;
        const auto start = std::chrono::steady_clock::now();
        for (int n = 0; !done; ++n) {
            converter.convert(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size(), output, frame,
                              &store);
            std::this_thread::sleep_until(start + std::chrono::duration<double>(kInterval * (n + 1)));
        }
    });
    struct Result
    {
        double cpuMs = 0;
        int frames = 0;
        double latencySumMs = 0;
        double latencyMaxMs = 0;
    };
    std::vector<Result> results(static_cast<size_t>(consumers));
    std::vector<std::thread> threads;
    for (int c = 0; c < consumers; ++c) {
        threads.emplace_back([&, c] {
            RingReader reader(ring.block, kRingSize);
            FrameScaler scaler;
            QByteArray frame(output.width() * output.height() * 3, '\0');
            uint32_t last = 0;
            Result &result = results[size_t(c)];
            const double cpuStart = threadCpuMs();
            // Each consumer keeps its own clock, offset from the others, as applications do.
            const auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(7 * c);
            for (int n = 0; !done; ++n) {
                uint64_t publishedAt = 0;
                if (consumeNewest(reader, last, scaler, frame, output, &publishedAt)) {
                    const double ms = double(steadyNs() - publishedAt) / 1e6;
                    ++result.frames;
                    result.latencySumMs += ms;
                    result.latencyMaxMs = std::max(result.latencyMaxMs, ms);
                }
                std::this_thread::sleep_until(start + std::chrono::duration<double>(kInterval * (n + 1)));
            }
            result.cpuMs = threadCpuMs() - cpuStart;
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    done = true;
    for (std::thread &thread : threads)
        thread.join();
    holder.join();
    for (int c = 0; c < consumers; ++c) {
        const Result &r = results[size_t(c)];
        std::printf("%4dx%-4d -> %4dx%-4d  %d consumer(s): consumer %d  CPU %5.2f %% of a core  %5.1f new "
                    "frames/s  publish-to-frame mean %5.1f ms, worst %5.1f ms\n",
                    camera.width(), camera.height(), output.width(), output.height(), consumers, c + 1,
                    100.0 * r.cpuMs / (seconds * 1e3), r.frames / seconds,
                    r.frames ? r.latencySumMs / r.frames : 0.0, r.latencyMaxMs);
    }
}

} // namespace

int main(int argc, char **argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    std::printf("Per frame (medians of CPU time)\n");
    perFrame(QSize(960, 640), QSize(960, 640));
    perFrame(QSize(960, 640), QSize(1920, 1080));
    perFrame(QSize(1920, 1080), QSize(1920, 1080));
    perFrame(QSize(1920, 1080), QSize(1280, 720));
    std::printf("\nConsumers at 30 frames/s, %.0f s each (the holder's own cost not counted)\n", seconds);
    for (const QSize camera : {QSize(960, 640), QSize(1920, 1080)})
        for (int consumers : {1, 2, 4})
            live(camera, QSize(1920, 1080), consumers, seconds);
    std::printf("\nRing memory: %u bytes mapped (header %u, %u slots of %u); in use at 960x640: %u bytes\n",
                kRingSize, kSlotsOffset, kSlotCount, kSlotStride,
                kSlotsOffset + kSlotCount * (960u * 640u * 3u));
    return 0;
}
