#include "driver/capture/FrameScaler.h"

#include "tests/driver/capture/TestPictures.h"

#include <QtTest>

#include <cstring>
#include <vector>

namespace {

// Each pixel names its own column (pass 0) or row (pass 1) in its first two bytes, so any pixel
// taken from the wrong place is caught, and the third byte is a marker.
QImage coordinatePicture(const QSize &size, bool rows)
{
    QImage picture(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            const int value = rows ? y : x;
            line[3 * x] = uchar(value & 0xff);
            line[3 * x + 1] = uchar(value >> 8);
            line[3 * x + 2] = 0x5a;
        }
    }
    return picture;
}

std::vector<uchar> tightRows(const QImage &picture)
{
    const int rowBytes = picture.width() * 3;
    std::vector<uchar> bytes(size_t(rowBytes) * picture.height() + FrameScaler::sourcePadding, 0xee);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(bytes.data() + size_t(y) * rowBytes, picture.constScanLine(y), size_t(rowBytes));
    return bytes;
}

} // namespace

class FrameScalerTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesQtFastScaling_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("output");
        QTest::newRow("camera to HD") << QSize(960, 640) << QSize(1920, 1080);
        QTest::newRow("camera to 720p") << QSize(960, 640) << QSize(1280, 720);
        QTest::newRow("camera to VGA") << QSize(960, 640) << QSize(640, 480);
        QTest::newRow("large camera down") << QSize(1024, 680) << QSize(960, 640);
        QTest::newRow("odd widths") << QSize(637, 479) << QSize(641, 483);
        QTest::newRow("width not multiple of 4") << QSize(962, 641) << QSize(1278, 719);
        QTest::newRow("one pixel up") << QSize(1, 1) << QSize(5, 3);
        QTest::newRow("down to one pixel") << QSize(7, 5) << QSize(1, 1);
        QTest::newRow("one pixel to one pixel tall") << QSize(1, 1) << QSize(1, 2);
        QTest::newRow("halving") << QSize(4, 4) << QSize(2, 2);
        QTest::newRow("unequal factors") << QSize(300, 200) << QSize(97, 611);
        QTest::newRow("stretch one way only") << QSize(320, 240) << QSize(320, 977);
        QTest::newRow("wider than one span chunk") << QSize(1920, 1080) << QSize(4097, 9);
        QTest::newRow("widest output") << QSize(5000, 3) << QSize(8192, 2);
        // Factors beyond what 16.16 fixed point covers take Qt's floating-point route.
        QTest::newRow("extreme stretch up") << QSize(3, 2) << QSize(1429, 1204);
        QTest::newRow("extreme shrink") << QSize(2232, 640) << QSize(1797, 6);
        QTest::newRow("extreme both") << QSize(8192, 2) << QSize(7, 1500);
    }

    void matchesQtFastScaling()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, output);

        for (const bool shuffles : {true, false}) {
            FrameScaler scaler;
            scaler.setShufflesEnabled(shuffles);
            scaler.prepare(source, output);
            QCOMPARE(scaler.outputSize(), output);
            compareWithQt(scaler, source, output);
            if (QTest::currentTestFailed())
                QFAIL(shuffles ? "with byte shuffles" : "pixel by pixel");
        }
    }

    // The same scaler object is reused across size changes; stale tables must not leak through.
    void preparesAgainWhenSizesChange()
    {
        FrameScaler scaler;
        scaler.prepare(QSize(10, 10), QSize(30, 30));
        scaler.prepare(QSize(33, 21), QSize(17, 40));
        compareWithQt(scaler, QSize(33, 21), QSize(17, 40));
    }

private:
    void compareWithQt(const FrameScaler &scaler, const QSize &source, const QSize &output)
    {
        for (const bool rows : {false, true}) {
            const QImage picture = coordinatePicture(source, rows);
            const std::vector<uchar> input = tightRows(picture);

            // Guard bytes after the frame must survive: nothing is written past the last row.
            const int frameBytes = output.width() * output.height() * 3;
            const QByteArray guard(32, char(0x77));
            QByteArray frame = QByteArray(frameBytes, '\0') + guard;
            scaler.scale(input.data(), reinterpret_cast<uchar *>(frame.data()));
            QCOMPARE(frame.mid(frameBytes), guard);
            frame.chop(guard.size());

            const QImage expected = picture.scaled(output, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                                        .convertToFormat(QImage::Format_RGB888);
            for (int y = 0; y < output.height(); ++y) {
                const char *got = frame.constData() + TestPictures::frameOffset(output, 0, y);
                const char *want = reinterpret_cast<const char *>(expected.constScanLine(y));
                if (std::memcmp(got, want, size_t(output.width()) * 3) != 0)
                    QFAIL(qPrintable(
                        QStringLiteral("row %1 differs (%2)").arg(y).arg(rows ? "rows" : "columns")));
            }
        }
    }
};

QTEST_GUILESS_MAIN(FrameScalerTest)
#include "tst_FrameScaler.moc"
