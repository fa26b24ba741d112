#include "bench/frames/CameraJpeg.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

// Something like a camera picture: smooth colour fields, a few sharp edges and a little sensor
// noise, so the decoder does a realistic amount of work.
static std::vector<uchar> cameraLikePicture(const QSize &size)
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
