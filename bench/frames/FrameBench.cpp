// Per-frame cost of converting a camera JPEG into an output frame, against the cost of decoding
// the same JPEG alone (header + decode to RGB with fast DCT). Prints one table row per case with
// the medians of the thread's CPU time and their ratio.

#include "driver/capture/FrameConverter.h"

#include <QByteArray>
#include <QSize>
#include <QtDebug>

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include <time.h>

namespace {

// Time this thread spent on the CPU, in milliseconds. The machine is shared, so wall-clock time
// would mostly measure who else was running; CPU time measures the work.
double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Something like a camera picture: smooth colour fields, a few sharp edges and a little sensor
// noise, so the decoder does a realistic amount of work.
std::vector<uchar> cameraLikePicture(const QSize &size)
{
    std::vector<uchar> rgb(size_t(size.width()) * size.height() * 3);
    unsigned noise = 12345;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = int((noise >> 16) % 13) - 6;
            const bool edge = ((x / 97) + (y / 71)) % 5 == 0;
            const double r = 128 + 100 * std::sin(x / 37.0) * std::cos(y / 53.0);
            const double g = 128 + 90 * std::sin((x + y) / 61.0);
            const double b = 128 + 110 * std::cos(x / 83.0 - y / 29.0);
            uchar *p = rgb.data() + (size_t(y) * size.width() + x) * 3;
            p[0] = uchar(std::clamp(int(edge ? 255 - r : r) + n, 0, 255));
            p[1] = uchar(std::clamp(int(g) + n, 0, 255));
            p[2] = uchar(std::clamp(int(edge ? 40.0 : b) + n, 0, 255));
        }
    }
    return rgb;
}

QByteArray cameraJpeg(const QSize &size)
{
    const std::vector<uchar> rgb = cameraLikePicture(size);
    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (tjCompress2(compressor.get(), rgb.data(), size.width(), size.width() * 3, size.height(), TJPF_RGB,
                    &jpeg, &length, TJSAMP_422, 85, 0) != 0) {
        std::fprintf(stderr, "cannot encode test JPEG: %s\n", tjGetErrorStr2(compressor.get()));
        std::exit(1);
    }
    QByteArray bytes(reinterpret_cast<const char *>(jpeg), int(length));
    tjFree(jpeg);
    return bytes;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Case
{
    QSize source;
    QSize output;
};

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 200;
    // Rejections are logged; a benchmark must not have any, and nothing else should print.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    });

    const Case cases[] = {
        {{960, 640}, {960, 640}},     {{960, 640}, {1280, 720}}, {{960, 640}, {1920, 1080}},
        {{1920, 1080}, {1920, 1080}}, {{1024, 680}, {960, 640}},
    };

    std::printf("%-24s %12s %12s %8s\n", "case", "decode ms", "convert ms", "ratio");
    for (const Case &c : cases) {
        const QByteArray jpeg = cameraJpeg(c.source);
        const auto *data = reinterpret_cast<const uchar *>(jpeg.constData());

        std::unique_ptr<void, int (*)(tjhandle)> decompressor(tjInitDecompress(), tjDestroy);
        std::vector<uchar> decoded(size_t(c.source.width()) * c.source.height() * 3);
        FrameConverter converter;
        QByteArray frame;

        std::vector<double> decodeTimes;
        std::vector<double> convertTimes;
        // Alternate the two so that both see the same machine load; the first pass warms caches.
        for (int i = 0; i <= rounds; ++i) {
            const double t0 = cpuMilliseconds();
            int width = 0;
            int height = 0;
            int subsampling = 0;
            tjDecompressHeader2(decompressor.get(), const_cast<uchar *>(data), jpeg.size(), &width, &height,
                                &subsampling);
            tjDecompress2(decompressor.get(), data, jpeg.size(), decoded.data(), width, width * 3, height,
                          TJPF_RGB, TJFLAG_FASTDCT);
            const double t1 = cpuMilliseconds();
            if (!converter.convert(data, jpeg.size(), c.output, frame))
                return 1;
            const double t2 = cpuMilliseconds();
            if (i == 0)
                continue;
            decodeTimes.push_back(t1 - t0);
            convertTimes.push_back(t2 - t1);
        }

        const double decode = median(decodeTimes);
        const double convert = median(convertTimes);
        const QByteArray name =
            QByteArray::number(c.source.width()) + "x" + QByteArray::number(c.source.height()) + " -> " +
            QByteArray::number(c.output.width()) + "x" + QByteArray::number(c.output.height());
        std::printf("%-24s %12.3f %12.3f %8.3f\n", name.constData(), decode, convert, convert / decode);
    }
    return 0;
}
