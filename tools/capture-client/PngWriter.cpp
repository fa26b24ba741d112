#include "tools/capture-client/PngWriter.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>
#include <zlib.h>

namespace {

void appendU32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void appendChunk(std::vector<uint8_t> &out, const char *type, const std::vector<uint8_t> &data)
{
    appendU32(out, static_cast<uint32_t>(data.size()));
    const size_t typeAt = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, out.data() + typeAt, static_cast<uInt>(4 + data.size()));
    appendU32(out, static_cast<uint32_t>(crc));
}

bool setError(std::string *error, const std::string &text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool writeBgrBottomUpPng(const std::string &path, const uint8_t *frame, int width, int height, size_t stride,
                         std::string *error)
{
    if (frame == nullptr || width <= 0 || height <= 0 || stride < static_cast<size_t>(width) * 3)
        return setError(error, "cannot write " + path + ": no picture to write");

    // Filter type 0 (none) before each row, rows top-down in red, green, blue order.
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> raw((rowBytes + 1) * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t *src = frame + static_cast<size_t>(height - 1 - y) * stride;
        uint8_t *dst = raw.data() + static_cast<size_t>(y) * (rowBytes + 1);
        *dst++ = 0;
        for (int x = 0; x < width; ++x, src += 3, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    }
    uLongf compressedSize = compressBound(static_cast<uLong>(raw.size()));
    std::vector<uint8_t> compressed(compressedSize);
    if (compress2(compressed.data(), &compressedSize, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return setError(error, "cannot write " + path + ": compression failed");
    compressed.resize(compressedSize);

    std::vector<uint8_t> header;
    appendU32(header, static_cast<uint32_t>(width));
    appendU32(header, static_cast<uint32_t>(height));
    header.push_back(8); // bit depth
    header.push_back(2); // colour type: RGB
    header.push_back(0); // deflate
    header.push_back(0); // adaptive filtering
    header.push_back(0); // no interlace

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", {});

    const std::string temporary = path + ".part";
    std::FILE *file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return setError(error, "cannot create " + temporary + ": " + std::strerror(errno));
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    int savedErrno = errno;
    const bool flushed = std::fflush(file) == 0;
    if (written && !flushed)
        savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (written && flushed && !closed)
        savedErrno = errno;
    if (!written || !flushed || !closed) {
        std::remove(temporary.c_str());
        return setError(error, "cannot write " + path + ": " + std::strerror(savedErrno));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        savedErrno = errno;
        std::remove(temporary.c_str());
        return setError(error, "cannot write " + path + ": " + std::strerror(savedErrno));
    }
    return true;
}
