#pragma once

#include <QSize>
#include <QtGlobal>

#include <vector>

// Nearest-pixel stretch of a 3-bytes-per-pixel picture, giving exactly the pixels that
// QImage::scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation) picks, while writing the
// rows bottom-up in one pass. The pixel mapping is worked out once per pair of sizes.
class FrameScaler
{
public:
    // Sets the sizes; cheap when they are unchanged. Both must be non-empty.
    void prepare(const QSize &sourceSize, const QSize &outputSize);

    // source: rows top-down, each sourceSize.width() * 3 bytes, followed by at least
    // sourcePadding readable bytes. output: outputSize.width() * 3 * outputSize.height() bytes,
    // written with the last picture row first. Bytes within a pixel are copied as they are.
    void scale(const uchar *source, uchar *output) const;

    // Extra readable bytes the source buffer needs after the picture.
    static constexpr int sourcePadding = 1;

    QSize sourceSize() const { return m_sourceSize; }
    QSize outputSize() const { return m_outputSize; }

private:
    QSize m_sourceSize;
    QSize m_outputSize;
    std::vector<int> m_columnOffsets; // byte offset in a source row, per output column
    std::vector<int> m_sourceRows;    // source row, per output row counted from the top
};
