// Writes a converted camera frame and the placeholder frame back to PNG files, so a person can
// look at what the driver hands to video applications:
//   frame-snapshot [OUTPUT_DIR]
// writes camera-frame.png (a 960x640 camera JPEG, red top-left, blue bottom-right and an arrow pointing up,
// stretched to 1280x720) and placeholder-frame.png (the placeholder at 640x480), then checks both read back
// unchanged.

#include "driver/capture/FrameConverter.h"
#include "driver/capture/Placeholder.h"

#include "tests/driver/capture/TestPictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygon>
#include <QTextStream>

#include <cstring>

namespace {

// Output frames are blue-green-red, bottom-up, rows width * 3 bytes: undo that for viewing.
QImage pictureOfFrame(const QByteArray &frame, const QSize &size)
{
    QImage picture(size, QImage::Format_RGB888);
    const int rowBytes = size.width() * 3;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(picture.scanLine(y), frame.constData() + (size.height() - 1 - y) * rowBytes,
                    size_t(rowBytes));
    return picture.rgbSwapped();
}

// Red in the top-left corner, blue in the bottom-right, a white arrow pointing up: a flip, a
// mirror or a red/blue swap is plain to see.
QImage orientationPicture(const QSize &size)
{
    QImage picture(size, QImage::Format_RGB888);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(40, 40, 40));
    gradient.setColorAt(1, QColor(220, 220, 160));
    painter.fillRect(picture.rect(), gradient);
    painter.fillRect(QRect(0, 0, size.width() / 4, size.height() / 4), Qt::red);
    painter.fillRect(QRect(size.width() * 3 / 4, size.height() * 3 / 4, size.width() / 4, size.height() / 4),
                     Qt::blue);
    const int cx = size.width() / 2;
    const int unit = size.height() / 16;
    const QPolygon arrow({QPoint(cx, unit), QPoint(cx + 2 * unit, 4 * unit), QPoint(cx + unit / 2, 4 * unit),
                          QPoint(cx + unit / 2, 9 * unit), QPoint(cx - unit / 2, 9 * unit),
                          QPoint(cx - unit / 2, 4 * unit), QPoint(cx - 2 * unit, 4 * unit)});
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawPolygon(arrow);
    return picture;
}

bool writeAndCheck(const QImage &picture, const QString &path, QTextStream &out)
{
    if (!picture.save(path, "PNG") || QImage(path).convertToFormat(QImage::Format_RGB888) != picture) {
        out << "cannot write " << path << "\n";
        return false;
    }
    out << "wrote " << QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()) << "\n";
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QDir dir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath());
    if (!QDir().mkpath(dir.path())) {
        out << "cannot create " << dir.path() << "\n";
        return 1;
    }

    const QSize cameraSize(960, 640);
    const QSize outputSize(1280, 720);
    const QByteArray jpeg = TestPictures::encodeJpeg(orientationPicture(cameraSize), 85);
    FrameConverter converter;
    QByteArray frame;
    if (!converter.convert(reinterpret_cast<const uchar *>(jpeg.constData()), jpeg.size(), outputSize, frame))
        return 1;

    const QSize placeholderSize(640, 480);
    const QByteArray placeholder = Placeholder::frame(placeholderSize);
    if (placeholder.isEmpty())
        return 1;

    const bool ok = writeAndCheck(pictureOfFrame(frame, outputSize),
                                  dir.filePath(QStringLiteral("camera-frame.png")), out) &&
                    writeAndCheck(pictureOfFrame(placeholder, placeholderSize),
                                  dir.filePath(QStringLiteral("placeholder-frame.png")), out);
    return ok ? 0 : 1;
}
