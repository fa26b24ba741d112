#include "tools/capture-client/FrameClassifier.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

struct Rgb
{
    int r, g, b;
};

// Full saturation and value.
Rgb hueToRgb(double hue)
{
    const double h = std::fmod(hue, 360.0) / 60.0;
    const double x = 1.0 - std::fabs(std::fmod(h, 2.0) - 1.0);
    double r = 0, g = 0, b = 0;
    switch (static_cast<int>(h)) {
    case 0:
        r = 1, g = x;
        break;
    case 1:
        r = x, g = 1;
        break;
    case 2:
        g = 1, b = x;
        break;
    case 3:
        g = x, b = 1;
        break;
    case 4:
        r = x, b = 1;
        break;
    default:
        r = 1, b = x;
        break;
    }
    return {static_cast<int>(r * 255 + 0.5), static_cast<int>(g * 255 + 0.5),
            static_cast<int>(b * 255 + 0.5)};
}

// Pixel at (fx * width, fy * height) counted from the top-left corner.
Rgb pixelAt(const uint8_t *frame, int width, int height, size_t stride, double fx, double fy)
{
    const int x = std::clamp(static_cast<int>(fx * width), 0, width - 1);
    const int y = std::clamp(static_cast<int>(fy * height), 0, height - 1);
    const uint8_t *p = frame + static_cast<size_t>(height - 1 - y) * stride + static_cast<size_t>(x) * 3;
    return {p[2], p[1], p[0]};
}

bool near(const Rgb &a, const Rgb &b, int tolerance)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

} // namespace

FrameClassifier::FrameClassifier(int width, int height, size_t stride)
    : m_width(width), m_height(height), m_stride(stride)
{
}

bool FrameClassifier::looksLikePlaceholder(const uint8_t *frame, size_t size, int width, int height,
                                           size_t stride)
{
    if (frame == nullptr || width < 16 || height < 16 || stride < static_cast<size_t>(width) * 3 ||
        size < stride * static_cast<size_t>(height))
        return false;
    constexpr int kTolerance = 64;
    const Rgb black{0, 0, 0};
    for (const auto &point : {std::pair{0.02, 0.02}, std::pair{0.08, 0.15}, std::pair{0.15, 0.05}}) {
        if (!near(pixelAt(frame, width, height, stride, point.first, point.second), black, kTolerance))
            return false;
    }
    // Half-way between the primaries the band's colours differ most from one another.
    for (int sector = 0; sector < 6; ++sector) {
        const double hue = 60.0 * sector + 30.0;
        const Rgb seen = pixelAt(frame, width, height, stride, hue / 360.0, 0.88);
        if (!near(seen, hueToRgb(hue), kTolerance))
            return false;
    }
    return true;
}

FrameKind FrameClassifier::classify(const uint8_t *frame, size_t size)
{
    FrameKind kind = FrameKind::New;
    if (looksLikePlaceholder(frame, size, m_width, m_height, m_stride))
        kind = FrameKind::Placeholder;
    else if (!m_previous.empty() && m_previous.size() == size &&
             std::memcmp(m_previous.data(), frame, size) == 0)
        kind = FrameKind::Repeated;
    m_previous.assign(frame, frame + size);
    return kind;
}
