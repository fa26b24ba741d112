#include "tests/driver/capture/TestPictures.h"

#include <turbojpeg.h>

#include <cstring>
#include <memory>

namespace TestPictures {

QImage colourful(const QSize &size, int seed)
{
    QImage picture(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        uchar *row = picture.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            row[3 * x] = uchar(x * 7 + y * 3 + seed);
            row[3 * x + 1] = uchar((x * y) / 5 + x / 3 + seed * 5);
            row[3 * x + 2] = uchar(((x ^ y) * 13) + seed * 11);
        }
    }
    return picture;
}

QByteArray encodeJpeg(const QImage &picture, int quality, int subsampling)
{
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    std::unique_ptr<void, int (*)(tjhandle)> compressor(tjInitCompress(), tjDestroy);
    unsigned char *jpeg = nullptr;
    unsigned long length = 0;
    if (tjCompress2(compressor.get(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(),
                    TJPF_RGB, &jpeg, &length, subsampling, quality, 0) != 0) {
        tjFree(jpeg);
        return {};
    }
    QByteArray bytes(reinterpret_cast<const char *>(jpeg), int(length));
    tjFree(jpeg);
    return bytes;
}

QImage decodeRgb(const QByteArray &jpeg)
{
    std::unique_ptr<void, int (*)(tjhandle)> decompressor(tjInitDecompress(), tjDestroy);
    int width = 0;
    int height = 0;
    int subsampling = 0;
    auto *data = reinterpret_cast<unsigned char *>(const_cast<char *>(jpeg.constData()));
    if (tjDecompressHeader2(decompressor.get(), data, jpeg.size(), &width, &height, &subsampling) != 0)
        return {};
    QImage picture(width, height, QImage::Format_RGB888);
    // Decode into tight rows, then lay them into the image's own padded rows.
    QByteArray tight(width * height * 3, 0);
    const int rc =
        tjDecompress2(decompressor.get(), data, jpeg.size(), reinterpret_cast<uchar *>(tight.data()), width,
                      width * 3, height, TJPF_RGB, TJFLAG_FASTDCT);
    if (rc != 0 && tjGetErrorCode(decompressor.get()) == TJERR_FATAL)
        return {};
    for (int y = 0; y < height; ++y)
        std::memcpy(picture.scanLine(y), tight.constData() + y * width * 3, size_t(width) * 3);
    return picture;
}

QByteArray referenceFrame(const QByteArray &jpeg, const QSize &outputSize)
{
    QImage picture = decodeRgb(jpeg);
    if (picture.isNull())
        return {};
    if (picture.size() != outputSize)
        picture = picture.scaled(outputSize, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    picture = picture.convertToFormat(QImage::Format_RGB888).rgbSwapped();

    QByteArray frame;
    const int rowBytes = picture.width() * 3;
    for (int y = picture.height() - 1; y >= 0; --y)
        frame.append(reinterpret_cast<const char *>(picture.constScanLine(y)), rowBytes);
    return frame;
}

} // namespace TestPictures
