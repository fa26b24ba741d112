// Draws the driver's placeholder picture: white text on black saying the camera stream is
// awaited, with a rainbow band along the bottom. Run once and commit the result:
//   make-placeholder driver/capture/resources/placeholder.png

#include "settings/ProductInfo.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QTextStream>

namespace {

constexpr int pictureWidth = 1920;
constexpr int pictureHeight = 1080;
constexpr int bandTop = 827;

struct TextLine
{
    QString text;
    int inkTop;    // first row the glyphs should reach
    int inkBottom; // last row
};

QFont fontWithPixelSize(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(pixelSize);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The largest font whose glyphs for this text fit between the line's rows.
QFont fittingFont(const TextLine &line)
{
    const int wanted = line.inkBottom - line.inkTop + 1;
    int best = 4;
    for (int pixelSize = 4; pixelSize < 400; ++pixelSize) {
        if (QFontMetrics(fontWithPixelSize(pixelSize)).tightBoundingRect(line.text).height() > wanted)
            break;
        best = pixelSize;
    }
    return fontWithPixelSize(best);
}

void drawCentred(QPainter &painter, const TextLine &line)
{
    const QFont font = fittingFont(line);
    const QRect ink = QFontMetrics(font).tightBoundingRect(line.text);
    painter.setFont(font);
    // tightBoundingRect is relative to the pen position on the baseline.
    const int x = (pictureWidth - ink.width()) / 2 - ink.left();
    const int baseline = line.inkTop - ink.top();
    painter.drawText(x, baseline, line.text);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: make-placeholder OUTPUT.png\n";
        return 2;
    }

    QImage image(pictureWidth, pictureHeight, QImage::Format_ARGB32);
    image.fill(Qt::black);

    for (int x = 0; x < pictureWidth; ++x) {
        const QColor colour = QColor::fromHsvF(qreal(x) / pictureWidth, 1.0, 1.0);
        const QRgb rgb = colour.rgb();
        for (int y = bandTop; y < pictureHeight; ++y)
            image.setPixel(x, y, rgb);
    }

    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setPen(Qt::white);
        drawCentred(painter, {QStringLiteral("Waiting for the camera live stream..."), 316, 386});
        drawCentred(painter, {QStringLiteral("Make sure that the camera is connected."), 442, 468});
        drawCentred(painter, {QString::fromLatin1(ProductInfo::websiteText), 719, 796});
    }

    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        err << "make-placeholder: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
