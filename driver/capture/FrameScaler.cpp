#include "driver/capture/FrameScaler.h"

#include <QImage>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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
}

void FrameScaler::scale(const uchar *source, uchar *output) const
{
    const int outputWidth = m_outputSize.width();
    const int outputHeight = m_outputSize.height();
    const size_t sourceRowBytes = size_t(m_sourceSize.width()) * 3;
    const size_t outputRowBytes = size_t(outputWidth) * 3;
    const int *offsets = m_columnOffsets.data();

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
        // Move four bytes per pixel: the fourth lands on the next pixel, which overwrites it. The
        // last pixel gets exactly three so nothing past the row is touched; the source's padding
        // keeps the fourth byte read in bounds.
        int x = 0;
        for (; x < outputWidth - 1; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, in + offsets[x], 4);
            std::memcpy(out + size_t(x) * 3, &pixel, 4);
        }
        std::memcpy(out + size_t(x) * 3, in + offsets[x], 3);
    }
}
