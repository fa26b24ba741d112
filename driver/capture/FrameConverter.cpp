#include "driver/capture/FrameConverter.h"

#include <QDebug>
#include <QImage>

#include <turbojpeg.h>

#include <cstring>
#include <limits>
#include <new>

namespace {

bool isAcceptableSize(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= FrameConverter::maxSide &&
           size.height() <= FrameConverter::maxSide;
}

void logRejected(const char *reason)
{
    qDebug() << "Camera frame dropped:" << reason;
}

} // namespace

FrameConverter::FrameConverter() : m_decompressor(tjInitDecompress())
{
    if (!m_decompressor)
        qDebug() << "JPEG decoder could not be created:" << tjGetErrorStr();
}

FrameConverter::~FrameConverter()
{
    if (m_decompressor)
        tjDestroy(m_decompressor);
}

bool FrameConverter::convert(const uchar *jpeg, qint64 length, const QSize &outputSize, FrameBuffer &frame,
                             PictureStore *store)
{
    if (frame.isNull()) {
        logRejected("no frame buffer");
        return false;
    }
    return convert(jpeg, length, outputSize, frame.bytes(), store);
}

bool FrameConverter::convert(const uchar *jpeg, qint64 length, const QSize &outputSize, QByteArray &frame,
                             PictureStore *store)
{
    try {
        return convertUnchecked(jpeg, length, outputSize, frame, store);
    } catch (const std::bad_alloc &) {
        logRejected("out of memory");
        return false;
    }
}

bool FrameConverter::convertUnchecked(const uchar *jpeg, qint64 length, const QSize &outputSize,
                                      QByteArray &frame, PictureStore *store)
{
    if (!m_decompressor) {
        logRejected("no JPEG decoder");
        return false;
    }
    if (!jpeg || length <= 0 || length > maxJpegLength) {
        logRejected("no data or implausible length");
        return false;
    }
    if (!isAcceptableSize(outputSize)) {
        logRejected("unusable output size");
        return false;
    }

    int width = 0;
    int height = 0;
    int subsampling = 0;
    if (tjDecompressHeader2(m_decompressor, const_cast<uchar *>(jpeg), static_cast<unsigned long>(length),
                            &width, &height, &subsampling) != 0) {
        logRejected("not a JPEG");
        resetDecompressor();
        return false;
    }
    const QSize sourceSize(width, height);
    if (!isAcceptableSize(sourceSize)) {
        logRejected("implausible picture size");
        return false;
    }

    const int frameBytes = outputSize.width() * outputSize.height() * 3;
    frame.resize(frameBytes);
    if (frame.size() != frameBytes) {
        logRejected("out of memory");
        return false;
    }
    uchar *destination = reinterpret_cast<uchar *>(frame.data());

    uchar *picture = store ? store->pictureMemory(sourceSize) : nullptr;
    if (!picture) {
        store = nullptr;
        // Asking the decoder for blue-green-red rows bottom-up gives the output layout directly, at
        // the cost of a plain decode.
        if (sourceSize == outputSize)
            return decompress(jpeg, length, sourceSize, destination, TJPF_BGR,
                              TJFLAG_FASTDCT | TJFLAG_BOTTOMUP);
        m_decodeBuffer.resize(size_t(width) * size_t(height) * 3 + FrameScaler::sourcePadding);
        picture = m_decodeBuffer.data();
    }
    const bool decoded = decompress(jpeg, length, sourceSize, picture, TJPF_BGR, TJFLAG_FASTDCT);
    if (store)
        store->pictureDone(decoded);
    if (!decoded)
        return false;
    m_scaler.prepare(sourceSize, outputSize);
    m_scaler.scale(picture, destination);
    return true;
}

bool FrameConverter::decompress(const uchar *jpeg, qint64 length, const QSize &size, uchar *destination,
                                int pixelFormat, int flags)
{
    const int rc = tjDecompress2(m_decompressor, jpeg, static_cast<unsigned long>(length), destination,
                                 size.width(), size.width() * 3, size.height(), pixelFormat, flags);
    // A warning (say, data ending early) still leaves a whole picture, the damaged part grey;
    // only a fatal error leaves nothing worth showing.
    if (rc != 0 && tjGetErrorCode(m_decompressor) == TJERR_FATAL) {
        logRejected("JPEG data cannot be decoded");
        resetDecompressor();
        return false;
    }
    return true;
}

void FrameConverter::resetDecompressor()
{
    // After some errors (a header declaring an empty picture, for one) the decompressor is left
    // mid-way and refuses every later JPEG; a fresh one lets the next camera frame through.
    tjDestroy(m_decompressor);
    m_decompressor = tjInitDecompress();
    if (!m_decompressor)
        qDebug() << "JPEG decoder could not be created:" << tjGetErrorStr();
}

bool FrameConverter::copyBottomUp(const QImage &picture, QByteArray &bytes)
{
    if (picture.isNull())
        return true;
    try {
        const qint64 rowLength = qint64(picture.width()) * (picture.depth() / 8);
        const qint64 total = rowLength * picture.height();
        if (total > qint64(std::numeric_limits<int>::max()) - 64) {
            bytes.clear();
            return false;
        }
        bytes.resize(int(total));
        if (bytes.size() != int(total)) {
            bytes.clear();
            return false;
        }
        const int height = picture.height();
        char *out = bytes.data();
        for (int i = 0; i < height; ++i)
            std::memcpy(out + qint64(i) * rowLength, picture.constScanLine(height - 1 - i),
                        size_t(rowLength));
        return true;
    } catch (const std::bad_alloc &) {
        bytes.clear();
        return false;
    }
}
