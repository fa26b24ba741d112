#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

// Pictures and JPEGs for the frame tests, and the straightforward conversion the driver's fast
// path must match byte for byte.
namespace TestPictures {

// A colourful picture with detail in every direction, so that a wrong pixel mapping shows.
QImage colourful(const QSize &size, int seed = 0);

// Encodes an RGB888 picture with TurboJPEG (subsampling: a TJSAMP_* value).
QByteArray encodeJpeg(const QImage &picture, int quality = 85, int subsampling = 1 /* TJSAMP_422 */);

// The conversion done the plain way: decode to RGB with fast DCT, stretch with Qt's fast
// transformation when the size differs, convert to RGB888, swap red and blue, then copy the
// rows last-first. Empty if the JPEG cannot be decoded.
QByteArray referenceFrame(const QByteArray &jpeg, const QSize &outputSize);

// The JPEG decoded to RGB888 top-down with fast DCT, without any scaling.
QImage decodeRgb(const QByteArray &jpeg);

// Byte offset of pixel (x, y), counted from the picture's top-left, in an output frame.
inline int frameOffset(const QSize &size, int x, int y)
{
    return ((size.height() - 1 - y) * size.width() + x) * 3;
}

} // namespace TestPictures
