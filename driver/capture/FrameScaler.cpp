#include "driver/capture/FrameScaler.h"

#include <QImage>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
#define VISTREL_SHUFFLE_GATHER 1
#include <immintrin.h>
#endif

namespace {

// Qt's raster engine samples a scaled picture at the inverse of the drawing transform (nudged
// by 1/65536 so exact pixel borders round the same way every time), at each output pixel's
// centre. Spans are fetched in chunks of 2048 pixels; each chunk starts from an exact position
// and then steps along the row, in 16.16 fixed point when the scale factors are moderate and in
// double precision otherwise. Reproducing those steps is what makes the result byte-identical.
constexpr double fixedScale = 65536.0;
constexpr int spanChunk = 2048;

struct InverseMapping
{
    double m11 = 1;
    double m22 = 1;
    double dx = 0;
    double dy = 0;
    bool fixedPoint = true;
};

InverseMapping inverseMapping(const QSize &source, const QSize &output)
{
    QTransform forward = QTransform::fromScale(qreal(output.width()) / source.width(),
                                               qreal(output.height()) / source.height());
    forward = QImage::trueMatrix(forward, source.width(), source.height());
    QTransform nudge;
    nudge.translate(1.0 / 65536, 1.0 / 65536);
    const QTransform inverse = (nudge * forward).inverted();

    InverseMapping m;
    m.m11 = inverse.m11();
    m.m22 = inverse.m22();
    m.dx = inverse.dx();
    m.dy = inverse.dy();
    const double f1 = m.m11 * m.m11;
    const double f2 = m.m22 * m.m22;
    m.fixedPoint = f1 < 1e4 && f2 < 1e4 && f1 > 1.0 / 65536 && f2 > 1.0 / 65536 && std::abs(m.dx) < 1e4 &&
                   std::abs(m.dy) < 1e4;
    return m;
}

} // namespace

void FrameScaler::prepare(const QSize &sourceSize, const QSize &outputSize)
{
    if (sourceSize == m_sourceSize && outputSize == m_outputSize)
        return;
    const InverseMapping m = inverseMapping(sourceSize, outputSize);
    const int sourceWidth = sourceSize.width();
    const int sourceHeight = sourceSize.height();
    const int outputWidth = outputSize.width();
    const int outputHeight = outputSize.height();

    m_columnOffsets.resize(size_t(outputWidth));
    for (int start = 0; start < outputWidth; start += spanChunk) {
        const int end = std::min(outputWidth, start + spanChunk);
        const double cx = start + 0.5;
        if (m.fixedPoint) {
            const int step = int(m.m11 * fixedScale);
            int fx = int((m.m11 * cx + m.dx) * fixedScale);
            for (int x = start; x < end; ++x, fx += step)
                m_columnOffsets[size_t(x)] = std::clamp(fx >> 16, 0, sourceWidth - 1) * 3;
        } else {
            double fx = m.m11 * cx + m.dx;
            for (int x = start; x < end; ++x, fx += m.m11)
                m_columnOffsets[size_t(x)] = std::clamp(int(std::floor(fx)), 0, sourceWidth - 1) * 3;
        }
    }

    m_sourceRows.resize(size_t(outputHeight));
    for (int y = 0; y < outputHeight; ++y) {
        const double cy = y + 0.5;
        const int row =
            m.fixedPoint ? (int((m.m22 * cy + m.dy) * fixedScale) >> 16) : int(std::floor(m.m22 * cy + m.dy));
        m_sourceRows[size_t(y)] = std::clamp(row, 0, sourceHeight - 1);
    }

    m_sourceSize = sourceSize;
    m_outputSize = outputSize;
    planShuffles();
}

void FrameScaler::setShufflesEnabled(bool enabled)
{
    m_shufflesEnabled = enabled;
    if (m_outputSize.isValid())
        planShuffles();
}

void FrameScaler::planShuffles()
{
    m_shuffleGroups.clear();
    m_useShuffle = false;
#ifdef VISTREL_SHUFFLE_GATHER
    if (!m_shufflesEnabled || !__builtin_cpu_supports("ssse3"))
        return;
    const int width = m_outputSize.width();
    const int *offsets = m_columnOffsets.data();
    // Each group stores 16 bytes; only groups whose store ends inside the row are planned, the
    // rest of the row is gathered pixel by pixel.
    int x = 0;
    while (3 * x + 16 <= 3 * width) {
        ShuffleGroup group{};
        group.sourceOffset = offsets[x];
        std::memset(group.mask, 0x80, sizeof group.mask);
        int n = 0;
        while (n < 5 && x + n < width && offsets[x + n] + 3 - group.sourceOffset <= 16) {
            for (int b = 0; b < 3; ++b)
                group.mask[3 * n + b] = uchar(offsets[x + n] - group.sourceOffset + b);
            ++n;
        }
        group.pixels = n;
        m_shuffleGroups.push_back(group);
        x += n;
    }
    m_useShuffle = !m_shuffleGroups.empty();
#endif
}

#ifdef VISTREL_SHUFFLE_GATHER
__attribute__((target("ssse3"))) int FrameScaler::gatherWithShuffles(const ShuffleGroup *groups, size_t count,
                                                                     const uchar *in, uchar *out)
{
    uchar *target = out;
    for (size_t g = 0; g < count; ++g) {
        const ShuffleGroup &group = groups[g];
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + group.sourceOffset));
        const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i *>(group.mask));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(target), _mm_shuffle_epi8(bytes, mask));
        target += 3 * group.pixels;
    }
    return int((target - out) / 3);
}
#else
int FrameScaler::gatherWithShuffles(const ShuffleGroup *, size_t, const uchar *, uchar *)
{
    return 0;
}
#endif

void FrameScaler::scale(const uchar *source, uchar *output) const
{
    const int outputHeight = m_outputSize.height();
    const size_t sourceRowBytes = size_t(m_sourceSize.width()) * 3;
    const size_t outputRowBytes = size_t(m_outputSize.width()) * 3;

    int previousRow = -1;
    for (int i = 0; i < outputHeight; ++i) {
        uchar *out = output + size_t(i) * outputRowBytes;
        const int row = m_sourceRows[size_t(outputHeight - 1 - i)];
        // Stretching up repeats source rows: copy the row just written instead of gathering again.
        if (row == previousRow) {
            std::memcpy(out, out - outputRowBytes, outputRowBytes);
            continue;
        }
        previousRow = row;
        const uchar *in = source + size_t(row) * sourceRowBytes;
        int x = 0;
        if (m_useShuffle)
            x = gatherWithShuffles(m_shuffleGroups.data(), m_shuffleGroups.size(), in, out);
        gatherPixels(m_columnOffsets.data(), x, m_outputSize.width(), in, out);
    }
}

int FrameScaler::gatherPixels(const int *offsets, int x, int end, const uchar *in, uchar *out)
{
    // Move four bytes per pixel: the fourth lands on the next pixel, which overwrites it. The
    // last pixel gets exactly three so nothing past the row is touched; the source's padding
    // keeps the fourth byte read in bounds.
    uchar *target = out + size_t(x) * 3;
    for (; x + 4 < end; x += 4, target += 12) {
        std::uint32_t a, b, c, d;
        std::memcpy(&a, in + offsets[x], 4);
        std::memcpy(&b, in + offsets[x + 1], 4);
        std::memcpy(&c, in + offsets[x + 2], 4);
        std::memcpy(&d, in + offsets[x + 3], 4);
        std::memcpy(target, &a, 4);
        std::memcpy(target + 3, &b, 4);
        std::memcpy(target + 6, &c, 4);
        std::memcpy(target + 9, &d, 4);
    }
    for (; x < end - 1; ++x, target += 3) {
        std::uint32_t pixel;
        std::memcpy(&pixel, in + offsets[x], 4);
        std::memcpy(target, &pixel, 4);
    }
    if (x < end) {
        std::memcpy(target, in + offsets[x], 3);
        ++x;
    }
    return x;
}
