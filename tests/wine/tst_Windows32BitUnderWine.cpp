// The 32-bit Windows files beside the 64-bit ones, as 32-bit video applications get them, under Wine in a
// 64-bit prefix with its 32-bit half: each driver registered by the regsvr32 of its bitness into the registry
// view of that bitness, listed and recorded by the ffmpeg of its bitness under its own name, and both reading
// the one settings key of the current user, which the two views share.
#include "tests/wine/FfmpegUnderWine.h"
#include "tests/wine/QtRegistryValue.h"
#include "tests/wine/RecordedFrames.h"
#include "tests/wine/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

using Bits = WinePrefix::Bits;

const QString kDevice64 = QStringLiteral("VistrelToolx64");
const QString kDevice32 = QStringLiteral("VistrelToolx86");
const QString kSettingsKey = QStringLiteral("HKCU\\Software\\com.quorvane.vistrel\\Vistrel App");
const QString kClassKey = QStringLiteral("HKCR\\CLSID\\{6414549A-DB61-4309-AFA1-4578E927E234}");

QString viewSwitch(Bits bits)
{
    return bits == Bits::x64 ? QStringLiteral("/reg:64") : QStringLiteral("/reg:32");
}

} // namespace

Q_DECLARE_METATYPE(WinePrefix::Bits)

class TestWindows32BitUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void eachDriverIsRegisteredInTheViewOfItsBitness();
    void eachApplicationListsTheDriverOfItsBitness();
    void the32BitApplicationRecordsThePlaceholderThenTheCamera();
    void settingsStoredBy32BitProgramsReachBothDrivers();
    void unregisteringOneDriverLeavesTheOther_data();
    void unregisteringOneDriverLeavesTheOther();

private:
    FfmpegUnderWine ffmpeg(Bits bits) const
    {
        return FfmpegUnderWine(*m_prefix, bits == Bits::x64 ? m_ffmpeg64 : m_ffmpeg32, m_work.path());
    }
    QString driver(Bits bits) const
    {
        return WinePrefix::windowsPath((bits == Bits::x64 ? m_installed64 : m_installed32) +
                                       "/vistrelcam.dll");
    }
    WinePrefix::Result regsvr32(Bits bits, const QStringList &args) const
    {
        return m_prefix->run(WinePrefix::systemProgram("regsvr32", bits), args);
    }
    // The default value of `key` as the `reg` of that bitness reads it in the view `view`; a null string when
    // the key is missing.
    QString classValue(const QString &key, Bits view) const;
    struct Offered
    {
        QString pixelFormat;
        QSize size;
        double fps = 0;
    };
    Offered offered(Bits bits) const;

    std::unique_ptr<WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_installed64;
    QString m_installed32;
    QString m_ffmpeg64;
    QString m_ffmpeg32;
};

void TestWindows32BitUnderWine::initTestCase()
{
    const QString bin64 = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    const QString bin32 = QStringLiteral(VISTREL_WINDOWS_X86_BIN_DIR);
    m_ffmpeg64 = QStringLiteral(VISTREL_FFMPEG_EXE);
    m_ffmpeg32 = QStringLiteral(VISTREL_FFMPEG_X86_EXE);
    for (const QString &file : {bin64 + "/vistrelcam.dll", bin32 + "/vistrelcam.dll", bin32 + "/EDSDK.dll",
                                bin32 + "/vistrelsetup.exe", m_ffmpeg64, m_ffmpeg32})
        QVERIFY2(QFile::exists(file), qPrintable(file + " is missing: build the Windows files first"));
    QVERIFY(m_work.isValid());

    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));
    if (!m_prefix->runs32BitPrograms())
        QSKIP("this machine runs no 32-bit Windows programs (no wine32, or the kernel's 32-bit emulation is "
              "off)");

    m_installed64 = m_prefix->copyWindowsFiles(bin64);
    QVERIFY(!m_installed64.isEmpty());
    // The 32-bit files where Windows keeps 32-bit programs.
    m_installed32 = m_prefix->folder() + "/drive_c/Program Files (x86)/Vistrel";
    QVERIFY(QDir().mkpath(m_installed32));
    for (const char *name : {"vistrelcam.dll", "EDSDK.dll", "vistrelsetup.exe"})
        QVERIFY(QFile::copy(bin32 + "/" + name, m_installed32 + "/" + name));

    for (const Bits bits : {Bits::x64, Bits::x86}) {
        const WinePrefix::Result reg = regsvr32(bits, {"/s", driver(bits)});
        QVERIFY2(reg.finished && reg.exitCode == 0, reg.err.constData());
    }
}

void TestWindows32BitUnderWine::init()
{
    m_prefix->run("reg", {"delete", "HKCU\\Software\\com.quorvane.vistrel", "/f"});
}

void TestWindows32BitUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

QString TestWindows32BitUnderWine::classValue(const QString &key, Bits view) const
{
    const WinePrefix::Result r =
        m_prefix->run(WinePrefix::systemProgram("reg", Bits::x64), {"query", key, "/ve", viewSwitch(view)});
    if (!r.finished || r.exitCode != 0)
        return {};
    static const QRegularExpression line(QStringLiteral("^\\s+(.*?)\\s+(REG_\\w+)\\s*(.*)$"));
    for (QString text : QString::fromLocal8Bit(r.out).split('\n')) {
        text.remove('\r');
        const QRegularExpressionMatch m = line.match(text);
        if (m.hasMatch())
            return m.captured(3).trimmed();
    }
    return {};
}

TestWindows32BitUnderWine::Offered TestWindows32BitUnderWine::offered(Bits bits) const
{
    const QString device = bits == Bits::x64 ? kDevice64 : kDevice32;
    const WinePrefix::Result r =
        ffmpeg(bits).run({"-f", "dshow", "-list_options", "true", "-i", "video=" + device});
    static const QRegularExpression option(QStringLiteral(
        "pixel_format=(\\w+)\\s+min s=(\\d+)x(\\d+) fps=([\\d.]+)\\s+max s=(\\d+)x(\\d+) fps=([\\d.]+)"));
    const QRegularExpressionMatch m = option.match(QString::fromLocal8Bit(r.err));
    if (!m.hasMatch()) {
        qWarning().noquote() << "ffmpeg's option list:" << r.err;
        return {};
    }
    return {m.captured(1), QSize(m.captured(2).toInt(), m.captured(3).toInt()), m.captured(4).toDouble()};
}

void TestWindows32BitUnderWine::eachDriverIsRegisteredInTheViewOfItsBitness()
{
    // One class identifier, a name and a library of its own in each view.
    QCOMPARE(classValue(kClassKey, Bits::x64), QStringLiteral("Virtual-Vistrel-x64"));
    QCOMPARE(classValue(kClassKey, Bits::x86), QStringLiteral("Virtual-Vistrel-x86"));
    QCOMPARE(classValue(kClassKey + "\\InprocServer32", Bits::x64).toLower(), driver(Bits::x64).toLower());
    QCOMPARE(classValue(kClassKey + "\\InprocServer32", Bits::x86).toLower(), driver(Bits::x86).toLower());
}

void TestWindows32BitUnderWine::eachApplicationListsTheDriverOfItsBitness()
{
    const QStringList seen32 = ffmpeg(Bits::x86).videoDevices();
    QVERIFY2(seen32.count(kDevice32) == 1 && !seen32.contains(kDevice64), qPrintable(seen32.join(", ")));
    const QStringList seen64 = ffmpeg(Bits::x64).videoDevices();
    QVERIFY2(seen64.count(kDevice64) == 1 && !seen64.contains(kDevice32), qPrintable(seen64.join(", ")));
}

void TestWindows32BitUnderWine::the32BitApplicationRecordsThePlaceholderThenTheCamera()
{
    const Offered type = offered(Bits::x86);
    QCOMPARE(type.pixelFormat, QStringLiteral("bgr24"));
    QCOMPARE(type.size, QSize(960, 640));
    QCOMPARE(type.fps, 30.0);

    // About six seconds: the camera's live view starts some three seconds after the filter is created.
    const RecordedFrames frames(ffmpeg(Bits::x86).record(kDevice32, 180).rgb, 960, 640);
    const RecordedFrames::Summary s = frames.summary();
    qInfo().noquote() << "32-bit recording:" << s.describe();
    QCOMPARE(s.frames, 180);
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the first frame is not the placeholder");
    QVERIFY2(s.camera > 0, "no camera picture arrived");
    QCOMPARE(s.other, 0);
    QCOMPARE(s.placeholderAfterCamera, 0);

    // The 64-bit application still records its own driver.
    const RecordedFrames::Summary s64 =
        RecordedFrames(ffmpeg(Bits::x64).record(kDevice64, 150).rgb, 960, 640).summary();
    qInfo().noquote() << "64-bit recording:" << s64.describe();
    QCOMPARE(s64.frames, 150);
    QVERIFY2(s64.camera > 0, "no camera picture arrived");
    QCOMPARE(s64.other, 0);
}

void TestWindows32BitUnderWine::settingsStoredBy32BitProgramsReachBothDrivers()
{
    // Stored by the 32-bit reg, as the 32-bit settings program stores them: the current user's key is not
    // redirected between the views.
    const QSize size(642, 480);
    for (const auto &[name, value] : {std::pair<QString, QVariant>{"videoResolution", size},
                                      {"videoFps", 15.0},
                                      {"customResolution", true}}) {
        const WinePrefix::Result r = m_prefix->run(WinePrefix::systemProgram("reg", Bits::x86),
                                                   regAddArguments(kSettingsKey, name, value));
        QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
    }
    for (const Bits bits : {Bits::x64, Bits::x86}) {
        const Offered type = offered(bits);
        QCOMPARE(type.pixelFormat, QStringLiteral("bgr24"));
        QCOMPARE(type.size, size);
        QCOMPARE(type.fps, 15.0);
    }
    const RecordedFrames frames(ffmpeg(Bits::x86).record(kDevice32, 10).rgb, size.width(), size.height());
    QCOMPARE(frames.count(), 10);
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the placeholder is not straight");
}

void TestWindows32BitUnderWine::unregisteringOneDriverLeavesTheOther_data()
{
    QTest::addColumn<Bits>("removed");
    QTest::newRow("32-bit removed") << Bits::x86;
    QTest::newRow("64-bit removed") << Bits::x64;
}

void TestWindows32BitUnderWine::unregisteringOneDriverLeavesTheOther()
{
    QFETCH(Bits, removed);
    const Bits kept = removed == Bits::x64 ? Bits::x86 : Bits::x64;
    const QString keptName =
        kept == Bits::x64 ? QStringLiteral("Virtual-Vistrel-x64") : QStringLiteral("Virtual-Vistrel-x86");
    const QString removedDevice = removed == Bits::x64 ? kDevice64 : kDevice32;
    const QString keptDevice = kept == Bits::x64 ? kDevice64 : kDevice32;

    QCOMPARE(regsvr32(removed, {"/s", "/u", driver(removed)}).exitCode, 0);
    QVERIFY(classValue(kClassKey, removed).isNull());
    QCOMPARE(classValue(kClassKey, kept), keptName);
    QVERIFY(!ffmpeg(removed).videoDevices().contains(removedDevice));
    QCOMPARE(ffmpeg(kept).videoDevices().count(keptDevice), 1);

    QCOMPARE(regsvr32(removed, {"/s", driver(removed)}).exitCode, 0);
    QCOMPARE(ffmpeg(removed).videoDevices().count(removedDevice), 1);
}

QTEST_GUILESS_MAIN(TestWindows32BitUnderWine)
#include "tst_Windows32BitUnderWine.moc"
