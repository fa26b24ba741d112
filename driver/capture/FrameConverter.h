#pragma once

#include "driver/capture/FrameBuffer.h"
#include "driver/capture/FrameScaler.h"

#include <QByteArray>
#include <QSize>
#include <QtGlobal>

#include <vector>

class QImage;

// Somewhere else a decoded camera picture is to be kept (the shared frame ring): the converter decodes into
// it, says when the picture is complete, and then scales its own output frame from it.
class PictureStore
{
public:
    virtual ~PictureStore() = default;
    // Memory for a picture of `size`, 3 bytes a pixel in the order blue, green, red, rows top-down of
    // exactly width * 3 bytes, followed by FrameScaler::sourcePadding readable bytes; null when there is
    // none for this picture, and the converter keeps it itself.
    virtual uchar *pictureMemory(const QSize &size) = 0;
    // The picture in the memory handed out last is complete, or could not be made.
    virtual void pictureDone(bool complete) = 0;
};

// Turns one camera JPEG into one output frame: 3 bytes per pixel in the order blue, green, red,
// rows bottom-up, each row exactly width * 3 bytes, stretched (nearest pixel) to the output size.
//
// One converter serves one capture run: it owns the JPEG decompressor and a decode buffer that
// are reused for every frame, so steady-state conversion allocates nothing. Not thread-safe;
// use it from the capture thread only.
class FrameConverter
{
public:
    // Largest width or height accepted, for camera pictures and output frames alike. Anything
    // larger in a JPEG header is treated as damage rather than allocated for.
    static constexpr int maxSide = 8192;
    // Largest JPEG accepted, in bytes.
    static constexpr qint64 maxJpegLength = qint64(1) << 31;

    FrameConverter();
    ~FrameConverter();
    FrameConverter(const FrameConverter &) = delete;
    FrameConverter &operator=(const FrameConverter &) = delete;

    // False if the decompressor could not be created; convert() then always fails.
    bool isValid() const { return m_decompressor != nullptr; }

    // Decodes the JPEG and writes the output frame for outputSize into frame, reusing its
    // allocation when the size is unchanged. Returns false, logging why, when the data is not a
    // decodable JPEG, a side is 0 or larger than maxSide, length is outside 1..maxJpegLength,
    // or memory runs out; the frame's bytes are then left undefined and must not be shown.
    // Never throws.
    // With a store, the decoded picture goes there first.
    bool convert(const uchar *jpeg, qint64 length, const QSize &outputSize, QByteArray &frame,
                 PictureStore *store = nullptr);
    bool convert(const uchar *jpeg, qint64 length, const QSize &outputSize, FrameBuffer &frame,
                 PictureStore *store = nullptr);

    // Writes the picture into bytes with its rows in reverse order, each row width * (depth / 8)
    // bytes without padding. Does nothing for a null picture. Returns false (leaving bytes
    // empty) if the result would not fit in a byte array or memory runs out. Never throws.
    static bool copyBottomUp(const QImage &picture, QByteArray &bytes);

private:
    bool convertUnchecked(const uchar *jpeg, qint64 length, const QSize &outputSize, QByteArray &frame,
                          PictureStore *store);
    bool decompress(const uchar *jpeg, qint64 length, const QSize &size, uchar *destination, int pixelFormat,
                    int flags);

    void resetDecompressor();

    void *m_decompressor = nullptr;
    std::vector<uchar> m_decodeBuffer;
    FrameScaler m_scaler;
};
