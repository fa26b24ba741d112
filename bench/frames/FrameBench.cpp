// Per-frame cost of converting a camera JPEG into an output frame, against the cost of decoding
// the same JPEG alone (header + decode to RGB with fast DCT). Prints one table row per case with
// the medians of the thread's CPU time and their ratio.

#include "bench/frames/CameraJpeg.h"
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
