#include "platform/edsdk/sim/TestPicture.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <turbojpeg.h>

namespace edsim {
namespace {

// 5 x 7 digits, one byte per row, bit 4 the leftmost pixel.
constexpr uint8_t digitFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},
};

void hueToRgb(int hue, uint8_t *rgb)
{
    hue %= 360;
    const int sector = hue / 60;
    const int rising = (hue % 60) * 255 / 60;
    const int falling = 255 - rising;
    const int table[6][3] = {{255, rising, 0},  {falling, 255, 0}, {0, 255, rising},
                             {0, falling, 255}, {rising, 0, 255},  {255, 0, falling}};
    for (int c = 0; c < 3; ++c)
        rgb[c] = static_cast<uint8_t>(table[sector][c]);
}

void fillRect(std::vector<uint8_t> &rgb, int width, int height, int x0, int y0, int w, int h, uint8_t value)
{
    for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y) {
        for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x) {
            uint8_t *p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = p[1] = p[2] = value;
        }
    }
}

void drawBands(std::vector<uint8_t> &rgb, int width, int height, int64_t frameNumber)
{
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
    const int shift = static_cast<int>((frameNumber * 3) % 360);
    for (int x = 0; x < width; ++x)
        hueToRgb(x * 360 / width + shift, &row[static_cast<size_t>(x) * 3]);
    for (int y = 0; y < height; ++y) {
        // Darker towards the bottom, so that up and down are told apart.
        const int level = 255 - (y * 160 / height);
        uint8_t *out = &rgb[static_cast<size_t>(y) * width * 3];
        for (size_t i = 0; i < row.size(); ++i)
            out[i] = static_cast<uint8_t>(row[i] * level / 255);
    }
}

void drawCounter(std::vector<uint8_t> &rgb, int width, int height, int64_t frameNumber)
{
    const int scale = std::max(1, height / 60);
    char digits[24];
    const int count = snprintf(digits, sizeof digits, "%lld", static_cast<long long>(frameNumber));
    const int margin = scale * 2;
    fillRect(rgb, width, height, 0, 0, margin * 2 + count * 6 * scale, margin * 2 + 7 * scale, 0);
    for (int i = 0; i < count; ++i) {
        const auto &glyph = digitFont[digits[i] - '0'];
        for (int gy = 0; gy < 7; ++gy) {
            for (int gx = 0; gx < 5; ++gx) {
                if (glyph[gy] & (0x10 >> gx))
                    fillRect(rgb, width, height, margin + (i * 6 + gx) * scale, margin + gy * scale, scale,
                             scale, 255);
            }
        }
    }
}

} // namespace

bool encodeTestPicture(int width, int height, int64_t frameNumber, std::vector<uint8_t> &out)
{
    out.clear();
    if (width <= 0 || height <= 0)
        return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    drawBands(rgb, width, height, frameNumber);
    const int block = std::max(4, height / 5);
    fillRect(rgb, width, height, static_cast<int>((frameNumber * 8) % std::max(1, width)),
             height / 2 - block / 2, block, block, 255);
    drawCounter(rgb, width, height, frameNumber);

    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    if (!compressor)
        return false;
    unsigned char *jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int result = tjCompress2(compressor.get(), rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &jpegSize,
                                   TJSAMP_420, 85, TJFLAG_FASTDCT);
    if (result == 0 && jpeg)
        out.assign(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return !out.empty();
}

} // namespace edsim
