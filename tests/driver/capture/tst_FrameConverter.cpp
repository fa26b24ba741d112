#include "driver/capture/FrameConverter.h"
#include "driver/capture/FrameQueue.h"

#include "tests/driver/capture/TestPictures.h"

#include <QBuffer>
#include <QtTest>

#include <turbojpeg.h>

#include <cstring>

using TestPictures::frameOffset;

namespace {

const uchar *bytesOf(const QByteArray &data)
{
    return reinterpret_cast<const uchar *>(data.constData());
}

// Offset of the frame header (start-of-frame segment, after its marker) in a baseline JPEG.
int startOfFrame(const QByteArray &jpeg)
{
    for (int i = 2; i + 9 < jpeg.size(); ++i) {
        if (uchar(jpeg[i]) == 0xff && uchar(jpeg[i + 1]) == 0xc0)
            return i + 2;
    }
    return -1;
}

QByteArray withDeclaredSize(QByteArray jpeg, int width, int height)
{
    const int header = startOfFrame(jpeg);
    jpeg[header + 3] = char(height >> 8);
    jpeg[header + 4] = char(height & 0xff);
    jpeg[header + 5] = char(width >> 8);
    jpeg[header + 6] = char(width & 0xff);
    return jpeg;
}

// Points the first colour component at a quantisation table that was never defined: the header
// still reads, but decoding fails outright.
QByteArray withUndefinedQuantTable(QByteArray jpeg)
{
    const int header = startOfFrame(jpeg);
    jpeg[header + 10] = char(3);
    return jpeg;
}

QByteArray pngBytes()
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    TestPictures::colourful(QSize(32, 32)).save(&buffer, "PNG");
    return png;
}

// Two colour areas, top red and bottom blue, in a JPEG that keeps colours clean.
QByteArray redOverBlue(const QSize &size)
{
    QImage picture(size, QImage::Format_RGB888);
    picture.fill(QColor(0, 0, 255));
    for (int y = 0; y < size.height() / 2; ++y)
        std::memset(picture.scanLine(y), 0, size_t(size.width()) * 3);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width(); ++x)
            picture.scanLine(y)[3 * x] = 255;
    return TestPictures::encodeJpeg(picture, 100, TJSAMP_444);
}

} // namespace

class FrameConverterTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesStraightforwardConversion_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("output");
        QTest::addColumn<int>("subsampling");
        QTest::newRow("same size camera") << QSize(960, 640) << QSize(960, 640) << int(TJSAMP_422);
        QTest::newRow("same size HD") << QSize(1920, 1080) << QSize(1920, 1080) << int(TJSAMP_420);
        QTest::newRow("to VGA") << QSize(960, 640) << QSize(640, 480) << int(TJSAMP_422);
        QTest::newRow("to 720p") << QSize(960, 640) << QSize(1280, 720) << int(TJSAMP_420);
        QTest::newRow("to HD") << QSize(960, 640) << QSize(1920, 1080) << int(TJSAMP_422);
        QTest::newRow("large camera down") << QSize(1024, 680) << QSize(960, 640) << int(TJSAMP_422);
        QTest::newRow("odd sizes") << QSize(637, 479) << QSize(641, 481) << int(TJSAMP_420);
        QTest::newRow("width not multiple of 4 same")
            << QSize(638, 479) << QSize(638, 479) << int(TJSAMP_444);
        QTest::newRow("unequal factors") << QSize(320, 240) << QSize(1001, 197) << int(TJSAMP_422);
        QTest::newRow("one pixel") << QSize(1, 1) << QSize(1, 1) << int(TJSAMP_444);
        QTest::newRow("one pixel up") << QSize(1, 1) << QSize(7, 5) << int(TJSAMP_420);
        QTest::newRow("down to one pixel") << QSize(9, 7) << QSize(1, 1) << int(TJSAMP_422);
        QTest::newRow("grey") << QSize(100, 60) << QSize(150, 61) << int(TJSAMP_GRAY);
    }

    void matchesStraightforwardConversion()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, output);
        QFETCH(int, subsampling);

        const QByteArray jpeg = TestPictures::encodeJpeg(TestPictures::colourful(source, 3), 85, subsampling);
        QVERIFY(!jpeg.isEmpty());
        const QByteArray expected = TestPictures::referenceFrame(jpeg, output);
        QCOMPARE(expected.size(), output.width() * output.height() * 3);

        FrameConverter converter;
        QVERIFY(converter.isValid());
        QByteArray frame;
        QVERIFY(converter.convert(bytesOf(jpeg), jpeg.size(), output, frame));
        QCOMPARE(frame.size(), expected.size());
        QVERIFY2(frame == expected, "frame differs from the straightforward conversion");
    }

    // Independent of any reference code: colours land as blue-green-red and the picture's top
    // row is the frame's last.
    void writesBlueGreenRedBottomUp_data()
    {
        QTest::addColumn<QSize>("output");
        QTest::newRow("same size") << QSize(64, 48);
        QTest::newRow("stretched") << QSize(90, 31);
    }

    void writesBlueGreenRedBottomUp()
    {
        QFETCH(QSize, output);
        const QByteArray jpeg = redOverBlue(QSize(64, 48));
        FrameConverter converter;
        QByteArray frame;
        QVERIFY(converter.convert(bytesOf(jpeg), jpeg.size(), output, frame));
        QCOMPARE(frame.size(), output.width() * output.height() * 3);

        const auto pixel = [&](int x, int y) {
            const int at = frameOffset(output, x, y);
            return QColor(uchar(frame[at + 2]), uchar(frame[at + 1]), uchar(frame[at]));
        };
        for (const QPoint &p : {QPoint(0, 0), QPoint(output.width() - 1, 2)}) {
            const QColor top = pixel(p.x(), p.y());
            QVERIFY2(top.red() > 240 && top.blue() < 15, qPrintable(top.name()));
        }
        for (const QPoint &p :
             {QPoint(0, output.height() - 1), QPoint(output.width() - 1, output.height() - 3)}) {
            const QColor bottom = pixel(p.x(), p.y());
            QVERIFY2(bottom.blue() > 240 && bottom.red() < 15, qPrintable(bottom.name()));
        }
        // The first bytes in memory are the picture's bottom row: blue first.
        QVERIFY(uchar(frame[0]) > 240 && uchar(frame[2]) < 15);
    }

    void frameSizeHasNoRowPadding_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("output");
        QTest::addColumn<int>("bytes");
        QTest::newRow("640x480 from camera") << QSize(960, 640) << QSize(640, 480) << 921600;
        QTest::newRow("width 638") << QSize(960, 640) << QSize(638, 479) << 638 * 3 * 479;
        QTest::newRow("width 5 same size") << QSize(5, 3) << QSize(5, 3) << 45;
    }

    void frameSizeHasNoRowPadding()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, output);
        QFETCH(int, bytes);
        const QByteArray jpeg = TestPictures::encodeJpeg(TestPictures::colourful(source));
        FrameConverter converter;
        QByteArray frame;
        QVERIFY(converter.convert(bytesOf(jpeg), jpeg.size(), output, frame));
        QCOMPARE(frame.size(), bytes);
    }

    void rejectsDamagedInput_data()
    {
        const QByteArray good = TestPictures::encodeJpeg(TestPictures::colourful(QSize(64, 48)));
        QByteArray garbage(5000, '\0');
        for (int i = 0; i < garbage.size(); ++i)
            garbage[i] = char((i * 7919) >> 3);

        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<qint64>("length");
        QTest::addColumn<bool>("leavesFrameAlone");
        QTest::newRow("empty") << QByteArray() << qint64(0) << true;
        QTest::newRow("negative length") << good << qint64(-1) << true;
        QTest::newRow("longer than 2 GiB") << good << (qint64(1) << 31) + 1 << true;
        QTest::newRow("truncated in header") << good.left(20) << qint64(20) << true;
        QTest::newRow("garbage") << garbage << qint64(garbage.size()) << true;
        QTest::newRow("PNG") << pngBytes() << qint64(-2) << true;
        QTest::newRow("wider than 8192") << withDeclaredSize(good, 8193, 48) << qint64(-2) << true;
        QTest::newRow("taller than 8192") << withDeclaredSize(good, 64, 60000) << qint64(-2) << true;
        QTest::newRow("zero height") << withDeclaredSize(good, 64, 0) << qint64(-2) << true;
        // Only the decoder finds this one; the frame's bytes then are not to be used.
        QTest::newRow("undecodable data") << withUndefinedQuantTable(good) << qint64(-2) << false;
    }

    void rejectsDamagedInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(qint64, length);
        QFETCH(bool, leavesFrameAlone);
        if (length == -2)
            length = data.size();

        FrameConverter converter;
        QByteArray frame("untouched");
        const uchar *pointer = data.isEmpty() ? nullptr : bytesOf(data);
        QVERIFY(!converter.convert(pointer, length, QSize(64, 48), frame));
        if (leavesFrameAlone)
            QCOMPARE(frame, QByteArray("untouched"));

        // The converter stays usable after bad input.
        const QByteArray good = TestPictures::encodeJpeg(TestPictures::colourful(QSize(64, 48)));
        QVERIFY(converter.convert(bytesOf(good), good.size(), QSize(64, 48), frame));
        QCOMPARE(frame, TestPictures::referenceFrame(good, QSize(64, 48)));
    }

    void rejectsUnusableOutputSize_data()
    {
        QTest::addColumn<QSize>("output");
        QTest::newRow("empty") << QSize(0, 0);
        QTest::newRow("invalid") << QSize();
        QTest::newRow("negative") << QSize(-4, 10);
        QTest::newRow("too wide") << QSize(8193, 2);
    }

    void rejectsUnusableOutputSize()
    {
        QFETCH(QSize, output);
        const QByteArray jpeg = TestPictures::encodeJpeg(TestPictures::colourful(QSize(16, 16)));
        FrameConverter converter;
        QByteArray frame;
        QVERIFY(!converter.convert(bytesOf(jpeg), jpeg.size(), output, frame));
        QVERIFY(frame.isEmpty());

        FrameBuffer none;
        QVERIFY(!converter.convert(bytesOf(jpeg), jpeg.size(), QSize(16, 16), none));
    }

    // Data cut off inside the picture is a decoder warning: the rest is filled in and the frame
    // is still shown, as a camera's damaged frame would be.
    void acceptsPictureCutShort()
    {
        const QByteArray jpeg = TestPictures::encodeJpeg(TestPictures::colourful(QSize(320, 240)));
        const QByteArray cut = jpeg.left(jpeg.size() / 2);
        FrameConverter converter;
        QByteArray frame;
        QVERIFY(converter.convert(bytesOf(cut), cut.size(), QSize(160, 120), frame));
        QCOMPARE(frame.size(), 160 * 120 * 3);
    }

    // A buffer that already has the frame's size is written where it is.
    void reusesTheFrameAllocation_data()
    {
        QTest::addColumn<QSize>("output");
        QTest::newRow("same size") << QSize(320, 240);
        QTest::newRow("scaled") << QSize(300, 200);
    }

    void reusesTheFrameAllocation()
    {
        QFETCH(QSize, output);
        const QByteArray first = TestPictures::encodeJpeg(TestPictures::colourful(QSize(320, 240), 1));
        const QByteArray second = TestPictures::encodeJpeg(TestPictures::colourful(QSize(320, 240), 2));
        FrameConverter converter;
        FrameBuffer frame = FrameBuffer::create();
        QVERIFY(converter.convert(bytesOf(first), first.size(), output, frame));
        const char *storage = frame.bytes().constData();
        QVERIFY(converter.convert(bytesOf(second), second.size(), output, frame));
        QCOMPARE(frame.bytes().constData(), storage);
        QCOMPARE(frame.bytes(), TestPictures::referenceFrame(second, output));
    }

    // Frames circulating between a ready queue, the frame on screen and a spare queue, as the
    // capture thread and the pin pass them: after the first few, no byte array is created.
    void steadyStateCreatesNoBuffers()
    {
        QList<QByteArray> jpegs;
        for (int i = 0; i < 4; ++i)
            jpegs.append(TestPictures::encodeJpeg(TestPictures::colourful(QSize(96, 64), i)));

        FrameConverter converter;
        FrameQueue ready;
        FrameQueue spare;
        FrameBuffer current;
        quint64 createdAfterWarmUp = 0;
        for (int i = 0; i < 60; ++i) {
            while (ready.size() > 2)
                spare.append(ready.takeOldest());
            FrameBuffer frame = spare.takeOldest();
            if (frame.isNull())
                frame = FrameBuffer::create();
            const QByteArray &jpeg = jpegs.at(i % jpegs.size());
            QVERIFY(converter.convert(bytesOf(jpeg), jpeg.size(), QSize(128, 72), frame));
            ready.append(frame);
            // The pin takes one frame for every two the camera makes.
            if (i % 2 == 0) {
                spare.append(current);
                current = ready.takeOldest();
            }
            if (i == 10)
                createdAfterWarmUp = FrameBuffer::createdCount();
        }
        QCOMPARE(FrameBuffer::createdCount(), createdAfterWarmUp);
        QCOMPARE(current.size(), 128 * 72 * 3);
    }
};

QTEST_GUILESS_MAIN(FrameConverterTest)
#include "tst_FrameConverter.moc"
