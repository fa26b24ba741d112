#include "driver/capture/Placeholder.h"

#include "tests/driver/capture/TestPictures.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using TestPictures::frameOffset;

namespace {

constexpr int bandTop = 827;

QColor bandColour(int x)
{
    return QColor::fromHsvF(qreal(x) / 1920, 1.0, 1.0);
}

bool near(int a, int b, int tolerance)
{
    return std::abs(a - b) <= tolerance;
}

QColor frameColour(const QByteArray &frame, const QSize &size, int x, int y)
{
    const int at = frameOffset(size, x, y);
    return QColor(uchar(frame[at + 2]), uchar(frame[at + 1]), uchar(frame[at]));
}

} // namespace

class PlaceholderTest : public QObject
{
    Q_OBJECT

private slots:
    void pictureIsOpaqueFullHd()
    {
        const QImage picture = Placeholder::picture();
        QCOMPARE(picture.size(), QSize(1920, 1080));
        for (int y = 0; y < 1080; y += 7)
            for (int x = 0; x < 1920; x += 5)
                QCOMPARE(qAlpha(picture.pixel(x, y)), 255);
    }

    // White text in three lines at the heights the layout calls for, nothing else above the band.
    void textSitsOnItsRows()
    {
        const QImage picture = Placeholder::picture();
        QList<QPair<int, int>> bands;
        int start = -1;
        for (int y = 0; y <= bandTop; ++y) {
            bool lit = false;
            for (int x = 0; x < 1920 && y < bandTop && !lit; ++x)
                lit = qGray(picture.pixel(x, y)) > 100;
            if (lit && start < 0)
                start = y;
            if (!lit && start >= 0) {
                bands.append({start, y - 1});
                start = -1;
            }
        }
        QCOMPARE(bands.size(), 3);
        const int expected[3][2] = {{316, 386}, {442, 468}, {719, 796}};
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(near(bands[i].first, expected[i][0], 4) && near(bands[i].second, expected[i][1], 4),
                     qPrintable(QStringLiteral("line %1 spans rows %2-%3")
                                    .arg(i)
                                    .arg(bands[i].first)
                                    .arg(bands[i].second)));
        }
        QCOMPARE(QColor(picture.pixel(0, 0)), QColor(Qt::black));
        QCOMPARE(QColor(picture.pixel(1919, bandTop - 1)), QColor(Qt::black));
    }

    void bandRunsThroughTheHues()
    {
        const QImage picture = Placeholder::picture();
        for (int x = 0; x < 1920; x += 3) {
            const QColor want = bandColour(x);
            const QRgb top = picture.pixel(x, bandTop);
            QVERIFY2(near(qRed(top), want.red(), 2) && near(qGreen(top), want.green(), 2) &&
                         near(qBlue(top), want.blue(), 2),
                     qPrintable(QStringLiteral("column %1").arg(x)));
            QCOMPARE(picture.pixel(x, 1079), top);
            QCOMPARE(picture.pixel(x, 950), top);
        }
    }

    void frameHasOutputLayout_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("full size") << QSize(1920, 1080);
        QTest::newRow("VGA") << QSize(640, 480);
        QTest::newRow("width not multiple of 4") << QSize(638, 479);
        QTest::newRow("stretched") << QSize(300, 900);
    }

    void frameHasOutputLayout()
    {
        QFETCH(QSize, size);
        const QString line =
            QStringLiteral("QSize(%1, %2) QSize(%1, %2)").arg(size.width()).arg(size.height());
        QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
        const QByteArray frame = Placeholder::frame(size);
        QCOMPARE(frame.size(), size.width() * size.height() * 3);

        QCOMPARE(frameColour(frame, size, 0, 0), QColor(Qt::black));
        // The picture's bottom row comes first in memory, in blue-green-red order.
        const int bottom = size.height() - 1;
        for (int x = 2; x < size.width() - 2; x += 13) {
            const QColor want = bandColour(int((x + 0.5) * 1920 / size.width()));
            const QColor got = frameColour(frame, size, x, bottom);
            const int tolerance = size.width() == 1920 ? 2 : 12;
            QVERIFY2(
                near(got.red(), want.red(), tolerance) && near(got.green(), want.green(), tolerance) &&
                    near(got.blue(), want.blue(), tolerance),
                qPrintable(QStringLiteral("column %1: %2, wanted %3").arg(x).arg(got.name(), want.name())));
        }
    }

    void fullSizeFrameIsThePictureFlipped()
    {
        QTest::ignoreMessage(QtDebugMsg, "QSize(1920, 1080) QSize(1920, 1080)");
        const QByteArray frame = Placeholder::frame(QSize(1920, 1080));
        const QImage picture = Placeholder::picture();
        for (int y = 0; y < 1080; y += 3) {
            for (int x = 0; x < 1920; x += 7) {
                const QRgb want = picture.pixel(x, y);
                const int at = frameOffset(QSize(1920, 1080), x, y);
                if (uchar(frame[at]) != qBlue(want) || uchar(frame[at + 1]) != qGreen(want) ||
                    uchar(frame[at + 2]) != qRed(want))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
            }
        }
    }

    void undecodablePictureGivesNoFrame_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("damaged") << QByteArray("\x89PNG\r\n\x1a\n not really", 20);
    }

    void undecodablePictureGivesNoFrame()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("placeholder.png"));
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        Placeholder::setSourceForTesting(path);
        QTest::ignoreMessage(QtDebugMsg, "Placeholder picture could not be decoded");
        const QByteArray frame = Placeholder::frame(QSize(640, 480));
        Placeholder::setSourceForTesting(QString());
        QVERIFY(frame.isEmpty());
        QVERIFY(!Placeholder::picture().isNull());
    }

    void unusableSizeGivesNoFrame_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("empty") << QSize(0, 0);
        QTest::newRow("negative") << QSize(-1, 100);
        QTest::newRow("too large") << QSize(9000, 10);
    }

    void unusableSizeGivesNoFrame()
    {
        QFETCH(QSize, size);
        QTest::ignoreMessage(QtDebugMsg,
                             QRegularExpression(QStringLiteral("^Placeholder picture not built")));
        QVERIFY(Placeholder::frame(size).isEmpty());
    }
};

QTEST_GUILESS_MAIN(PlaceholderTest)
#include "tst_Placeholder.moc"
