#include "driver/filter/FrameRows.h"

#include "driver/filter/VideoType.h"

#include <algorithm>
#include <cstring>

SampleLayout sampleLayout(const VIDEOINFOHEADER &vih)
{
    SampleLayout layout;
    layout.width = qAbs(qint64(vih.bmiHeader.biWidth));
    layout.rows = qAbs(qint64(vih.bmiHeader.biHeight));
    layout.stride = VideoType::strideFor(layout.width);
    layout.topDown = vih.bmiHeader.biHeight < 0;
    return layout;
}

qint64 copyFrameRows(const QByteArray &frame, const QSize &frameSize, BYTE *dst, qint64 dstSize,
                     const SampleLayout &layout)
{
    if (dst == nullptr || dstSize <= 0)
        return 0;
    const qint64 frameRowBytes = qint64(qMax(frameSize.width(), 0)) * 3;
    const qint64 frameRows = qMax(frameSize.height(), 0);
    const qint64 frameBytes = frame.size();

    // The usual case: the connection has the frame's own layout, so the frame goes in as one block.
    if (!layout.topDown && layout.width * 3 == frameRowBytes && layout.stride == frameRowBytes &&
        layout.rows == frameRows) {
        const qint64 count = std::min(frameBytes, dstSize);
        std::memcpy(dst, frame.constData(), size_t(count));
        return count;
    }

    const qint64 dstRowBytes = layout.width * 3;
    qint64 written = 0;
    for (qint64 row = 0; row < layout.rows; ++row) {
        const qint64 offset = row * layout.stride;
        if (offset >= dstSize)
            break;
        const qint64 space = std::min(layout.stride, dstSize - offset);
        // Picture rows count from the top; bottom-up layouts store the top row last.
        const qint64 pictureRow = layout.topDown ? row : layout.rows - 1 - row;
        qint64 copied = 0;
        if (pictureRow < frameRows) {
            const qint64 source = (frameRows - 1 - pictureRow) * frameRowBytes;
            if (source < frameBytes) {
                copied = std::min({frameRowBytes, frameBytes - source, dstRowBytes, space});
                std::memcpy(dst + offset, frame.constData() + source, size_t(copied));
            }
        }
        std::memset(dst + offset + copied, 0, size_t(space - copied));
        written = offset + space;
    }
    return written;
}
