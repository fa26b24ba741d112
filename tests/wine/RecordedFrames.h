#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What a recording shows, frame by frame: ffmpeg's raw output (rgb24, rows top-down, no padding) sorted into
// the driver's placeholder picture, the simulated camera's test picture seen the right way up with red and
// blue in their places, or anything else (upside down, colours swapped, damaged).
class RecordedFrames
{
public:
    enum class Kind
    {
        Placeholder,
        CameraPicture,
        Other
    };

    struct Summary
    {
        int frames = 0;
        int placeholder = 0;
        int camera = 0;
        int other = 0;
        int distinctCamera = 0; // camera frames that differ from the frame before them
        int firstCamera = -1;   // index of the first camera frame
        int placeholderAfterCamera = 0;
        QString describe() const;
    };

    RecordedFrames(const QByteArray &raw, int width, int height);

    int count() const;
    Kind kindOf(int index) const;
    const uchar *frame(int index) const;
    Summary summary() const;

    // The test picture's traits, for a top-down rgb24 frame: brighter at the top than at the bottom, and hues
    // rising from left to right (with red and blue swapped they would fall).
    static bool looksLikeCameraPicture(const uchar *rgb, int width, int height);
    static bool looksLikePlaceholder(const uchar *rgb, int width, int height);

private:
    QByteArray m_raw;
    int m_width;
    int m_height;
    int m_frameBytes;
};
