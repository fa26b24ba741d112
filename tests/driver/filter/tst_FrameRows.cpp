// Frames copied into samples whose layout differs from the frame's: padded rows, other sizes, top-down
// rows, and buffers that end early or go on past the picture.
#include "driver/filter/FrameRows.h"

#include <QtTest>

namespace {

const char kUntouched = char(0x5A);

// A frame in output layout (bottom-up, tight rows) whose pixels tell where they are: x, y from the top,
// and a non-zero marker, so no pixel of it is black.
QByteArray numberedFrame(const QSize &size)
{
    QByteArray frame(size.width() * size.height() * 3, '\0');
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            char *pixel = frame.data() + ((size.height() - 1 - y) * size.width() + x) * 3;
            pixel[0] = char(x + 1);
            pixel[1] = char(y + 1);
            pixel[2] = char(0x80);
        }
    }
    return frame;
}

QByteArray pixel(const QByteArray &buffer, const SampleLayout &layout, qint64 x, qint64 y)
{
    const qint64 row = layout.topDown ? y : layout.rows - 1 - y;
    return buffer.mid(int(row * layout.stride + x * 3), 3);
}

SampleLayout layoutFor(const QSize &size, bool topDown = false)
{
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biWidth = size.width();
    vih.bmiHeader.biHeight = topDown ? -size.height() : size.height();
    vih.bmiHeader.biBitCount = 24;
    return sampleLayout(vih);
}

} // namespace

class TestFrameRows : public QObject
{
    Q_OBJECT

private slots:
    // Every pixel the two pictures share is the frame's, counted from the top left; the rest of the
    // layout is black, and nothing after it is written.
    void picturesKeepTheirTopLeft_data()
    {
        QTest::addColumn<QSize>("frameSize");
        QTest::addColumn<QSize>("sampleSize");
        QTest::addColumn<bool>("topDown");
        QTest::newRow("same, width a multiple of 4") << QSize(8, 4) << QSize(8, 4) << false;
        QTest::newRow("same, padded rows") << QSize(5, 3) << QSize(5, 3) << false;
        QTest::newRow("1366 wide") << QSize(1366, 6) << QSize(1366, 6) << false;
        QTest::newRow("sample taller") << QSize(6, 3) << QSize(6, 5) << false;
        QTest::newRow("sample shorter") << QSize(6, 5) << QSize(6, 2) << false;
        QTest::newRow("sample wider") << QSize(5, 3) << QSize(9, 3) << false;
        QTest::newRow("sample narrower") << QSize(9, 3) << QSize(5, 3) << false;
        QTest::newRow("top-down") << QSize(5, 4) << QSize(5, 4) << true;
        QTest::newRow("top-down, larger") << QSize(4, 3) << QSize(7, 5) << true;
    }
    void picturesKeepTheirTopLeft()
    {
        QFETCH(QSize, frameSize);
        QFETCH(QSize, sampleSize);
        QFETCH(bool, topDown);
        const QByteArray frame = numberedFrame(frameSize);
        const SampleLayout layout = layoutFor(sampleSize, topDown);
        const qint64 image = layout.stride * layout.rows;
        QByteArray sample(int(image + 16), kUntouched);

        const qint64 written =
            copyFrameRows(frame, frameSize, reinterpret_cast<BYTE *>(sample.data()), image, layout);
        QCOMPARE(written, image);
        for (qint64 y = 0; y < layout.rows; ++y) {
            for (qint64 x = 0; x < layout.width; ++x) {
                const bool inFrame = x < frameSize.width() && y < frameSize.height();
                const QByteArray expected =
                    inFrame
                        ? QByteArray::fromRawData(
                              frame.constData() + ((frameSize.height() - 1 - y) * frameSize.width() + x) * 3,
                              3)
                        : QByteArray(3, '\0');
                QCOMPARE(pixel(sample, layout, x, y), expected);
            }
            // Row padding is black too.
            const qint64 rowEnd = (layout.topDown ? y : layout.rows - 1 - y) * layout.stride;
            QCOMPARE(sample.mid(int(rowEnd + layout.width * 3), int(layout.stride - layout.width * 3)),
                     QByteArray(int(layout.stride - layout.width * 3), '\0'));
        }
        QCOMPARE(sample.mid(int(image)), QByteArray(16, kUntouched));
    }

    // The buffer, not the layout, bounds what is written: a short one gets the first bytes as laid out,
    // a long one keeps everything after the picture.
    void buffersBoundTheCopy_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bufferBytes");
        QTest::newRow("tight rows, half") << QSize(8, 4) << 8 * 4 * 3 / 2;
        QTest::newRow("tight rows, larger") << QSize(8, 4) << 8 * 4 * 3 + 100;
        QTest::newRow("padded rows, mid-row") << QSize(5, 4) << 16 * 2 + 7;
        QTest::newRow("padded rows, larger") << QSize(5, 4) << 16 * 4 + 50;
        QTest::newRow("one byte") << QSize(5, 4) << 1;
    }
    void buffersBoundTheCopy()
    {
        QFETCH(QSize, size);
        QFETCH(int, bufferBytes);
        const QByteArray frame = numberedFrame(size);
        const SampleLayout layout = layoutFor(size);
        const qint64 image = layout.stride * layout.rows;
        QByteArray full(int(image), kUntouched);
        copyFrameRows(frame, size, reinterpret_cast<BYTE *>(full.data()), image, layout);

        QByteArray sample(bufferBytes + 16, kUntouched);
        const qint64 written =
            copyFrameRows(frame, size, reinterpret_cast<BYTE *>(sample.data()), bufferBytes, layout);
        QCOMPARE(written, qMin<qint64>(bufferBytes, image));
        QCOMPARE(sample.left(int(written)), full.left(int(written)));
        QCOMPARE(sample.mid(int(written)), QByteArray(sample.size() - int(written), kUntouched));
    }

    void missingFrameBytesAreBlack()
    {
        const QSize size(5, 3);
        const SampleLayout layout = layoutFor(size);
        QByteArray sample(int(layout.stride * layout.rows), kUntouched);
        QCOMPARE(
            copyFrameRows(QByteArray(), size, reinterpret_cast<BYTE *>(sample.data()), sample.size(), layout),
            qint64(sample.size()));
        QCOMPARE(sample, QByteArray(sample.size(), '\0'));

        // A frame cut short: the rows it has (the bottom ones) are copied, the others are black.
        const QByteArray cut = numberedFrame(size).left(5 * 3 + 4);
        sample.fill(kUntouched);
        copyFrameRows(cut, size, reinterpret_cast<BYTE *>(sample.data()), sample.size(), layout);
        QCOMPARE(sample.left(15), cut.left(15));
        QCOMPARE(sample.mid(16, 4), cut.mid(15, 4));
        QCOMPARE(sample.mid(20), QByteArray(sample.size() - 20, '\0'));
        QCOMPARE(copyFrameRows(cut, size, nullptr, 10, layout), qint64(0));
    }
};

QTEST_GUILESS_MAIN(TestFrameRows)
#include "tst_FrameRows.moc"
