#include "tests/wine/RecordedFrames.h"

#include "tools/capture-client/FrameClassifier.h"

#include <QColor>

#include <cstring>
#include <vector>

namespace {

QColor pixel(const uchar *rgb, int width, int height, double fx, double fy)
{
    const int x = qBound(0, static_cast<int>(fx * width), width - 1);
    const int y = qBound(0, static_cast<int>(fy * height), height - 1);
    const uchar *p = rgb + (static_cast<size_t>(y) * width + x) * 3;
    return QColor(p[0], p[1], p[2]);
}

double meanLevel(const uchar *rgb, int width, int height, double fromY, double toY)
{
    double sum = 0;
    int n = 0;
    for (double fy = fromY; fy <= toY; fy += 0.02) {
        for (double fx = 0.3; fx <= 0.95; fx += 0.05) {
            sum += pixel(rgb, width, height, fx, fy).value();
            ++n;
        }
    }
    return n ? sum / n : 0;
}

} // namespace

RecordedFrames::RecordedFrames(const QByteArray &raw, int width, int height)
    : m_raw(raw), m_width(width), m_height(height), m_frameBytes(width * height * 3)
{
}

int RecordedFrames::count() const
{
    return m_frameBytes > 0 ? m_raw.size() / m_frameBytes : 0;
}

const uchar *RecordedFrames::frame(int index) const
{
    return reinterpret_cast<const uchar *>(m_raw.constData()) + static_cast<size_t>(index) * m_frameBytes;
}

bool RecordedFrames::looksLikePlaceholder(const uchar *rgb, int width, int height)
{
    // The capture client's recogniser reads the driver's own layout: blue, green, red, rows bottom-up.
    const size_t stride = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> bgr(stride * height);
    for (int y = 0; y < height; ++y) {
        const uchar *in = rgb + static_cast<size_t>(y) * stride;
        uint8_t *out = bgr.data() + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            out[x * 3] = in[x * 3 + 2];
            out[x * 3 + 1] = in[x * 3 + 1];
            out[x * 3 + 2] = in[x * 3];
        }
    }
    return FrameClassifier::looksLikePlaceholder(bgr.data(), bgr.size(), width, height, stride);
}

bool RecordedFrames::looksLikeCameraPicture(const uchar *rgb, int width, int height)
{
    // Colour bands darken from 255 at the top to about 95 at the bottom.
    const double top = meanLevel(rgb, width, height, 0.22, 0.32);
    const double bottom = meanLevel(rgb, width, height, 0.84, 0.96);
    if (!(top > bottom * 1.4))
        return false;
    // Hues rise by 36 degrees per tenth of the width (the white block crosses at mid-height, not here).
    int rising = 0;
    int previous = pixel(rgb, width, height, 0.05, 0.3).hue();
    for (double fx = 0.15; fx < 1.0; fx += 0.1) {
        const int hue = pixel(rgb, width, height, fx, 0.3).hue();
        const int step = ((hue - previous) % 360 + 360) % 360;
        if (step > 10 && step < 90)
            ++rising;
        previous = hue;
    }
    return rising >= 7;
}

RecordedFrames::Kind RecordedFrames::kindOf(int index) const
{
    const uchar *f = frame(index);
    if (looksLikePlaceholder(f, m_width, m_height))
        return Kind::Placeholder;
    if (looksLikeCameraPicture(f, m_width, m_height))
        return Kind::CameraPicture;
    return Kind::Other;
}

RecordedFrames::Summary RecordedFrames::summary() const
{
    Summary s;
    s.frames = count();
    for (int i = 0; i < s.frames; ++i) {
        switch (kindOf(i)) {
        case Kind::Placeholder:
            ++s.placeholder;
            if (s.firstCamera >= 0)
                ++s.placeholderAfterCamera;
            break;
        case Kind::CameraPicture:
            ++s.camera;
            if (s.firstCamera < 0)
                s.firstCamera = i;
            if (i == 0 || std::memcmp(frame(i), frame(i - 1), m_frameBytes) != 0)
                ++s.distinctCamera;
            break;
        case Kind::Other:
            ++s.other;
            break;
        }
    }
    return s;
}

QString RecordedFrames::Summary::describe() const
{
    return QStringLiteral("%1 frames: %2 placeholder, %3 camera (%4 distinct, first at %5), %6 other")
        .arg(frames)
        .arg(placeholder)
        .arg(camera)
        .arg(distinctCamera)
        .arg(firstCamera)
        .arg(other);
}
