// The capture thread's bottom-up blue-green-red rows in the media source's layouts: the right way up,
// the right colours, every byte of the frame written.
#include "driver/mediasource/FrameFormats.h"

#include <QtTest>

#include <vector>

namespace {

struct Bgr
{
    uint8_t b, g, r;
};

// A frame as the capture thread hands it: `top` fills the picture's upper half, `bottom` the lower,
// rows stored bottom-up.
std::vector<uint8_t> halves(int width, int height, Bgr top, Bgr bottom)
{
    std::vector<uint8_t> frame(size_t(width) * size_t(height) * 3);
    for (int stored = 0; stored < height; ++stored) {
        const int pictureRow = height - 1 - stored;
        const Bgr colour = pictureRow < height / 2 ? top : bottom;
        for (int x = 0; x < width; ++x) {
            uint8_t *pixel = &frame[(size_t(stored) * size_t(width) + size_t(x)) * 3];
            pixel[0] = colour.b;
            pixel[1] = colour.g;
            pixel[2] = colour.r;
        }
    }
    return frame;
}

} // namespace

class TestFrameFormats : public QObject
{
    Q_OBJECT

private slots:
    void sizes()
    {
        QCOMPARE(FrameFormats::rgb32Size(960, 640), size_t(960 * 640 * 4));
        QCOMPARE(FrameFormats::nv12Size(960, 640), size_t(960 * 640 * 3 / 2));
        QCOMPARE(FrameFormats::rgb32Stride(960), 3840);
        QCOMPARE(FrameFormats::nv12Stride(960), 960);
        QCOMPARE(FrameFormats::nv12Size(961, 640), size_t(0));
        QCOMPARE(FrameFormats::nv12Size(960, 641), size_t(0));
        QCOMPARE(FrameFormats::rgb32Size(0, 640), size_t(0));
    }

    void rgb32IsTopDownWithTheSameColours()
    {
        const int width = 6, height = 4;
        const std::vector<uint8_t> frame = halves(width, height, {10, 20, 30}, {200, 150, 100});
        std::vector<uint8_t> out(FrameFormats::rgb32Size(width, height), 0x55);
        FrameFormats::bgrBottomUpToRgb32(frame.data(), width, height, out.data());
        for (int row = 0; row < height; ++row) {
            const bool upper = row < height / 2;
            for (int x = 0; x < width; ++x) {
                const uint8_t *pixel = &out[(size_t(row) * width + x) * 4];
                QCOMPARE(int(pixel[0]), upper ? 10 : 200);
                QCOMPARE(int(pixel[1]), upper ? 20 : 150);
                QCOMPARE(int(pixel[2]), upper ? 30 : 100);
                QCOMPARE(int(pixel[3]), 0xFF);
            }
        }
    }

    // Reference values of BT.601 limited range: black, white and the primaries.
    void nv12Colours_data()
    {
        QTest::addColumn<int>("b");
        QTest::addColumn<int>("g");
        QTest::addColumn<int>("r");
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("cb");
        QTest::addColumn<int>("cr");
        QTest::newRow("black") << 0 << 0 << 0 << 16 << 128 << 128;
        QTest::newRow("white") << 255 << 255 << 255 << 235 << 128 << 128;
        QTest::newRow("red") << 0 << 0 << 255 << 82 << 90 << 240;
        QTest::newRow("green") << 0 << 255 << 0 << 145 << 54 << 34;
        QTest::newRow("blue") << 255 << 0 << 0 << 41 << 240 << 110;
    }
    void nv12Colours()
    {
        QFETCH(int, b);
        QFETCH(int, g);
        QFETCH(int, r);
        QFETCH(int, y);
        QFETCH(int, cb);
        QFETCH(int, cr);
        const int width = 4, height = 2;
        const Bgr colour{uint8_t(b), uint8_t(g), uint8_t(r)};
        const std::vector<uint8_t> frame = halves(width, height, colour, colour);
        std::vector<uint8_t> out(FrameFormats::nv12Size(width, height), 0x55);
        FrameFormats::bgrBottomUpToNv12(frame.data(), width, height, out.data());
        for (int i = 0; i < width * height; ++i)
            QVERIFY(qAbs(int(out[size_t(i)]) - y) <= 1);
        for (int i = 0; i < width; i += 2) {
            QVERIFY(qAbs(int(out[size_t(width * height + i)]) - cb) <= 1);
            QVERIFY(qAbs(int(out[size_t(width * height + i + 1)]) - cr) <= 1);
        }
    }

    // White above black: the first luma rows and the first chroma row are the picture's top.
    void nv12IsTopDown()
    {
        const int width = 4, height = 8;
        const std::vector<uint8_t> frame = halves(width, height, {255, 255, 255}, {0, 0, 255});
        std::vector<uint8_t> out(FrameFormats::nv12Size(width, height), 0x55);
        FrameFormats::bgrBottomUpToNv12(frame.data(), width, height, out.data());
        for (int row = 0; row < height; ++row)
            QCOMPARE(int(out[size_t(row * width)]), row < height / 2 ? 235 : 82);
        const uint8_t *chroma = &out[size_t(width * height)];
        for (int row = 0; row < height / 2; ++row) {
            const bool upper = row < height / 4;
            QVERIFY(qAbs(int(chroma[row * width]) - (upper ? 128 : 90)) <= 1);
            QVERIFY(qAbs(int(chroma[row * width + 1]) - (upper ? 128 : 240)) <= 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestFrameFormats)
#include "tst_FrameFormats.moc"
