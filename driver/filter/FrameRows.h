// Copying an output frame into a sample whose media type lays rows out differently: rows padded to
// 4 bytes, another picture size, or top-down rows.
#pragma once

#include "platform/dshow/dshow.h"

#include <QByteArray>
#include <QSize>

// Where the picture's rows lie in a sample, as the connection's media type describes them.
struct SampleLayout
{
    qint64 width = 0;  // pixels per row
    qint64 rows = 0;   // rows of the picture
    qint64 stride = 0; // bytes from one row to the next, padding included
    bool topDown = false;
};

// The layout of 24-bit rows of the type's picture size (a negative height means top-down rows).
SampleLayout sampleLayout(const VIDEOINFOHEADER &vih);

// Copies `frame` (frameSize pixels, 3 bytes each, rows of exactly width * 3 bytes, bottom-up) into
// the `dstSize` bytes at `dst`, laid out as `layout`. The picture's top rows and left columns are
// kept when the sizes differ; what the frame does not cover, row padding included, becomes black.
// Nothing outside either buffer is touched, and bytes after the layout's last row stay as they were.
// Returns the number of bytes written.
qint64 copyFrameRows(const QByteArray &frame, const QSize &frameSize, BYTE *dst, qint64 dstSize,
                     const SampleLayout &layout);
