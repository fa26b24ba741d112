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
    static constexpr int sourcePadding = 16;

    // The byte-shuffle gather is used where the processor has it; tests turn it off to check
    // the plain per-pixel gather as well.
    void setShufflesEnabled(bool enabled);

    QSize sourceSize() const { return m_sourceSize; }
    QSize outputSize() const { return m_outputSize; }

private:
    // Up to five output pixels whose source bytes lie within one 16-byte window, moved by one
    // byte shuffle.
    struct ShuffleGroup
    {
        int sourceOffset;
        int pixels;
        uchar mask[16];
    };

    void planShuffles();
    static int gatherWithShuffles(const ShuffleGroup *groups, size_t count, const uchar *in, uchar *out);
    static int gatherPixels(const int *offsets, int x, int end, const uchar *in, uchar *out);

    QSize m_sourceSize;
    QSize m_outputSize;
    std::vector<int> m_columnOffsets; // byte offset in a source row, per output column
    std::vector<int> m_sourceRows;    // source row, per output row counted from the top
    std::vector<ShuffleGroup> m_shuffleGroups;
    bool m_shufflesEnabled = true;
    bool m_useShuffle = false;
};
