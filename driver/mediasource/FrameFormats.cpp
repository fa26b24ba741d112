#include "driver/mediasource/FrameFormats.h"

namespace FrameFormats {
namespace {

bool usable(int width, int height)
{
    return width > 0 && height > 0;
}

// The frame's row that shows picture row `row` (0 = top).
const uint8_t *pictureRow(const uint8_t *frame, int width, int height, int row)
{
    return frame + size_t(height - 1 - row) * size_t(width) * 3;
}

// BT.601, limited range, in 8-bit fixed point with rounding.
uint8_t luma(int b, int g, int r)
{
    return uint8_t(((66 * r + 129 * g + 25 * b + 128) >> 8) + 16);
}
uint8_t blueDifference(int b, int g, int r)
{
    return uint8_t(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
}
uint8_t redDifference(int b, int g, int r)
{
    return uint8_t(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

} // namespace

size_t rgb32Size(int width, int height)
{
    return usable(width, height) ? size_t(width) * size_t(height) * 4 : 0;
}

size_t nv12Size(int width, int height)
{
    if (!usable(width, height) || width % 2 != 0 || height % 2 != 0)
        return 0;
    return size_t(width) * size_t(height) * 3 / 2;
}

int rgb32Stride(int width)
{
    return width * 4;
}

int nv12Stride(int width)
{
    return width;
}

void bgrBottomUpToRgb32(const uint8_t *frame, int width, int height, uint8_t *dst)
{
    for (int row = 0; row < height; ++row) {
        const uint8_t *src = pictureRow(frame, width, height, row);
        for (int x = 0; x < width; ++x, src += 3, dst += 4) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
            dst[3] = 0xFF;
        }
    }
}

void bgrBottomUpToNv12(const uint8_t *frame, int width, int height, uint8_t *dst)
{
    if (nv12Size(width, height) == 0)
        return;
    uint8_t *lumaPlane = dst;
    uint8_t *chromaPlane = dst + size_t(width) * size_t(height);
    for (int row = 0; row < height; row += 2) {
        const uint8_t *upper = pictureRow(frame, width, height, row);
        const uint8_t *lower = pictureRow(frame, width, height, row + 1);
        uint8_t *lumaUpper = lumaPlane + size_t(row) * size_t(width);
        uint8_t *lumaLower = lumaUpper + width;
        uint8_t *chroma = chromaPlane + size_t(row / 2) * size_t(width);
        for (int x = 0; x < width; x += 2) {
            const uint8_t *block[4] = {upper + x * 3, upper + x * 3 + 3, lower + x * 3, lower + x * 3 + 3};
            lumaUpper[x] = luma(block[0][0], block[0][1], block[0][2]);
            lumaUpper[x + 1] = luma(block[1][0], block[1][1], block[1][2]);
            lumaLower[x] = luma(block[2][0], block[2][1], block[2][2]);
            lumaLower[x + 1] = luma(block[3][0], block[3][1], block[3][2]);
            int b = 0, g = 0, r = 0;
            for (const uint8_t *pixel : block) {
                b += pixel[0];
                g += pixel[1];
                r += pixel[2];
            }
            b = (b + 2) / 4;
            g = (g + 2) / 4;
            r = (r + 2) / 4;
            chroma[x] = blueDifference(b, g, r);
            chroma[x + 1] = redDifference(b, g, r);
        }
    }
}

} // namespace FrameFormats
