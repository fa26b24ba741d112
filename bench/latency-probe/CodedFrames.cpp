#include "bench/latency-probe/CodedFrames.h"

#include <turbojpeg.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

// Six bits of index, then a block that is always white and one that is always black: a picture
// without them is not one of ours.
constexpr int kBits = 6;
constexpr int kBlocks = kBits + 2;
// The code row takes the top eighth of the picture; blocks are large so that neither JPEG nor
// nearest-pixel scaling can blur their centres.
constexpr double kCodeRowHeight = 1.0 / 8;

bool blockIsWhite(int index, int block)
{
    if (block == kBits)
        return true;
    if (block == kBits + 1)
        return false;
    return ((index >> block) & 1) != 0;
}

void paint(std::vector<unsigned char> &rgb, int width, int height, int index)
{
    const int codeRows = int(height * kCodeRowHeight);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char *p = rgb.data() + (size_t(y) * size_t(width) + size_t(x)) * 3;
            if (y < codeRows) {
                const int block = std::min(kBlocks - 1, x * kBlocks / width);
                const unsigned char v = blockIsWhite(index, block) ? 255 : 0;
                p[0] = p[1] = p[2] = v;
                continue;
            }
            // Smooth colour fields that drift with the index, so each picture decodes like a real one.
            const double phase = index * 0.2;
            p[0] = (unsigned char)(128 + 100 * std::sin(x / 37.0 + phase) * std::cos(y / 53.0));
            p[1] = (unsigned char)(128 + 90 * std::sin((x + y) / 61.0 - phase));
            p[2] = (unsigned char)(128 + 110 * std::cos(x / 83.0 - y / 29.0 + phase));
        }
    }
}

} // namespace

namespace CodedFrames {

bool write(const std::string &folder, int width, int height, std::string *error)
{
    mkdir(folder.c_str(), 0700);
    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    if (!compressor) {
        *error = "cannot create a JPEG encoder";
        return false;
    }
    std::vector<unsigned char> rgb(size_t(width) * size_t(height) * 3);
    for (int index = 0; index < kCount; ++index) {
        paint(rgb, width, height, index);
        unsigned char *jpeg = nullptr;
        unsigned long length = 0;
        if (tjCompress2(compressor.get(), rgb.data(), width, width * 3, height, TJPF_RGB, &jpeg, &length,
                        TJSAMP_422, 85, 0) != 0) {
            *error = std::string("cannot encode a picture: ") + tjGetErrorStr2(compressor.get());
            return false;
        }
        char name[32];
        std::snprintf(name, sizeof name, "/frame%03d.jpg", index);
        const std::string path = folder + name;
        std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), std::fclose);
        const bool written = file && std::fwrite(jpeg, 1, length, file.get()) == length;
        tjFree(jpeg);
        if (!written || std::fflush(file.get()) != 0) {
            *error = "cannot write " + path;
            return false;
        }
    }
    return true;
}

int read(const unsigned char *pixels, long long size, int width, int height, long long stride)
{
    if (!pixels || width < kBlocks || height < 8 || stride < 3LL * width)
        return -1;
    // Middle of the code row, counted from the top; the picture is stored bottom-up.
    const int y = std::max(0, int(height * kCodeRowHeight / 2));
    const long long row = (long long)(height - 1 - y) * stride;
    int index = 0;
    for (int block = 0; block < kBlocks; ++block) {
        const int x = int((block + 0.5) * width / kBlocks);
        const long long offset = row + 3LL * x;
        if (offset + 3 > size)
            return -1;
        const unsigned char *p = pixels + offset;
        const int level = (p[0] + p[1] + p[2]) / 3;
        const bool white = level > 192;
        if (!white && level >= 64)
            return -1;
        if (block >= kBits) {
            if (white != blockIsWhite(0, block))
                return -1;
        } else if (white) {
            index |= 1 << block;
        }
    }
    return index;
}

} // namespace CodedFrames
