#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/capture-client/FrameKind.h"

// Sorts received frames (blue, green, red per pixel, rows bottom-up) into the driver's placeholder
// picture, repeats of the previous frame (same bytes) and new pictures.
class FrameClassifier
{
public:
    FrameClassifier(int width, int height, size_t stride);

    FrameKind classify(const uint8_t *frame, size_t size);

    // The placeholder is recognised by its look, not its bytes, so any scaling of it is recognised:
    // a black top-left area and, along the bottom, a band running red, yellow, green, cyan, blue,
    // magenta from left to right.
    static bool looksLikePlaceholder(const uint8_t *frame, size_t size, int width, int height, size_t stride);

private:
    int m_width;
    int m_height;
    size_t m_stride;
    std::vector<uint8_t> m_previous;
};
