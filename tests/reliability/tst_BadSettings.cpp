// A settings store with garbage in its keys (hand-edited, written by another version, damaged) must
// give the capture thread and the pin defined values: unusable sizes fall back to 960 x 640, unusable
// frame rates give a frame interval that no check accepts, and nothing crashes or is left behind.
#include "driver/filter/VideoType.h"
#include "settings/GlobalSettings.h"
#include "tests/driver/filter/FilterTestSupport.h"
#include "tests/reliability/StoreFile.h"

#include <QtTest>

#include <limits>

namespace {

const QByteArray kMapWithAbsurdSize =
    "deviceInfo=@Variant("
    "\\0\\0\\0\\b\\0\\0\\0\\x2\\0\\0\\0\\x4\\0n\\0r\\0\\0\\0\\x15\\x7f\\xff\\xff\\xff\\x7f"
    "\\xff\\xff\\xff\\0\\0\\0\\x4\\0\\x63\\0n\\0\\0\\0\\x2\\0\\0\\0\\x5)\n";
const QByteArray kMapWithOddSize = // {"nr": QSize(333, 217)}
    "deviceInfo=@Variant("
    "\\0\\0\\0\\b\\0\\0\\0\\x1\\0\\0\\0\\x4\\0n\\0r\\0\\0\\0\\x15\\0\\0\\x1M\\0\\0\\0\\xd9)\n";
// A list claiming 2^31 - 1 entries: decoding it fails to allocate.
const QByteArray kUndecodableList = "deviceInfo=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n";
const QByteArray kTruncatedMap = "deviceInfo=@Variant(\\0\\0\\0\\b\\0\\0\\0\\x3\\0\\0\\0\\x4\\0n)\n";

QByteArray store(const QByteArray &lines)
{
    return "[General]\n" + lines;
}

} // namespace

class TestBadSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        FilterTest::captureLog();
        FilterTest::setUpCameras(false);
    }

    void storeGivesDefinedFormat_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<qint64>("interval");
        QTest::addColumn<bool>("accepted");

        const QSize fallback(960, 640);
        const qint64 unusable = VideoType::kUnusableInterval;

        QTest::newRow("empty store") << QByteArray() << fallback << qint64(333333) << true;
        QTest::newRow("not an ini file at all")
            << QByteArray("\x00\xff\xfe garbage [[[ = = \n\\", 18) << fallback << qint64(333333) << true;

        // Sizes: the custom size and the camera's view-finder size.
        QTest::newRow("custom size is text")
            << store("customResolution=true\nvideoResolution=huge\n") << fallback << qint64(333333) << true;
        QTest::newRow("custom size negative")
            << store("customResolution=true\nvideoResolution=@Size(-1920 -1080)\n") << fallback
            << qint64(333333) << true;
        QTest::newRow("custom size zero") << store("customResolution=true\nvideoResolution=@Size(0 0)\n")
                                          << fallback << qint64(333333) << true;
        QTest::newRow("custom size huge")
            << store("customResolution=true\nvideoResolution=@Size(100000 100000)\n") << fallback
            << qint64(333333) << true;
        QTest::newRow("custom size with one side too large")
            << store("customResolution=true\nvideoResolution=@Size(1920 9000)\n") << fallback
            << qint64(333333) << true;
        QTest::newRow("custom size odd but usable")
            << store("customResolution=true\nvideoResolution=@Size(333 217)\n") << QSize(333, 217)
            << qint64(333333) << true;
        // A rate that is no number at all is unreadable, and unreadable values load their defaults.
        QTest::newRow("rate is text") << store("videoFps=fast\n") << fallback << qint64(333333) << true;
        QTest::newRow("custom flag is text, no size")
            << store("customResolution=perhaps\n") << fallback << qint64(333333) << true;
        QTest::newRow("device info is not a map")
            << store("customResolution=false\ndeviceInfo=Canon EOS 90D\n") << fallback << qint64(333333)
            << true;
        QTest::newRow("view-finder size absurd")
            << store("customResolution=false\n" + kMapWithAbsurdSize) << fallback << qint64(333333) << true;
        QTest::newRow("view-finder size odd but usable")
            << store("customResolution=false\n" + kMapWithOddSize) << QSize(333, 217) << qint64(333333)
            << true;
        QTest::newRow("value that cannot be decoded")
            << store("videoFps=25\ncustomResolution=true\nvideoResolution=@Size(640 480)\n" +
                     kUndecodableList)
            << fallback << qint64(333333) << true;
        QTest::newRow("device info truncated") << store(kTruncatedMap) << fallback << qint64(333333) << true;

        // Frame rates: unusable ones give the saturated interval; usable ones outside 10..10,000 per
        // second give their interval, which the pin's own check refuses.
        QTest::newRow("rate zero") << store("videoFps=0\n") << fallback << unusable << false;
        QTest::newRow("rate negative") << store("videoFps=-30\n") << fallback << unusable << false;
        QTest::newRow("rate not a number") << store("videoFps=nan\n") << fallback << unusable << false;
        QTest::newRow("rate infinite") << store("videoFps=inf\n") << fallback << unusable << false;
        QTest::newRow("rate too small for an interval")
            << store("videoFps=1e-300\n") << fallback << unusable << false;
        QTest::newRow("rate absurdly high") << store("videoFps=1e308\n") << fallback << qint64(0) << false;
        QTest::newRow("rate below ten") << store("videoFps=5\n") << fallback << qint64(2000000) << false;
        QTest::newRow("rate ten") << store("videoFps=10\n") << fallback << qint64(1000000) << true;
        QTest::newRow("rate fractional") << store("videoFps=29.97\n") << fallback << qint64(333667) << true;
    }

    void storeGivesDefinedFormat()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QSize, size);
        QFETCH(qint64, interval);
        QFETCH(bool, accepted);

        QVERIFY(StoreFile::write(contents));
        {
            ComPtr<IBaseFilter> filter = FilterTest::createFilter();
            QVERIFY(filter);
            CVCamStream *pin = FilterTest::pinOf(filter.Get());
            QVERIFY(pin);

            CMediaType offered;
            QCOMPARE(pin->GetMediaType(0, &offered), S_OK);
            const VIDEOINFOHEADER *vih = VideoType::videoInfo(offered);
            QVERIFY(vih);
            QCOMPARE(QSize(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight), size);
            QCOMPARE(qint64(vih->bmiHeader.biSizeImage), VideoType::strideFor(size.width()) * size.height());
            QCOMPARE(qint64(vih->AvgTimePerFrame), interval);
            QCOMPARE(pin->CheckMediaType(&offered), accepted ? S_OK : E_INVALIDARG);

            AM_MEDIA_TYPE *capsType = nullptr;
            VIDEO_STREAM_CONFIG_CAPS caps;
            QCOMPARE(pin->GetStreamCaps(0, &capsType, reinterpret_cast<BYTE *>(&caps)), S_OK);
            QVERIFY(capsType);
            DeleteMediaType(capsType);
            QCOMPARE(QSize(caps.InputSize.cx, caps.InputSize.cy), size);
            QCOMPARE(qint64(caps.MinFrameInterval), interval);
            QVERIFY(caps.MinBitsPerSecond >= 0);
        }
        QVERIFY(FilterTest::waitFor(FilterTest::nothingAlive));
    }

    // A store that cannot even be decoded is replaced by the next save, not kept failing forever.
    void undecodableStoreIsReplacedBySave()
    {
        QVERIFY(StoreFile::write(store("videoFps=25\n" + kUndecodableList)));
        GlobalSettings *settings = GlobalSettings::instance(nullptr);
        QCOMPARE(settings->get_videoFps(), 30.0);
        settings->set_videoFps(12.5);
        QVERIFY(settings->saveSettings());
        delete settings;

        settings = GlobalSettings::instance(nullptr);
        QCOMPARE(settings->get_videoFps(), 12.5);
        delete settings;
    }

    // The settings object itself: whatever was loaded is written back without loss of the keys.
    void garbageSurvivesALoadAndSave()
    {
        QVERIFY(StoreFile::write(store("videoFps=nan\nvideoResolution=huge\n" + kTruncatedMap)));
        GlobalSettings *settings = GlobalSettings::instance(nullptr);
        QVERIFY(settings->saveSettings());
        delete settings;

        settings = GlobalSettings::instance(nullptr);
        QVERIFY(qIsNaN(settings->get_videoFps()));
        QVERIFY(settings->get_deviceInfo().isEmpty());
        delete settings;
    }
};

QTEST_GUILESS_MAIN(TestBadSettings)
#include "tst_BadSettings.moc"
