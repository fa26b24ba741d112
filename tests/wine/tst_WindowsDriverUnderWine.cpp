// The Windows build as a Windows user gets it, under Wine: Wine's regsvr32, registry, COM and DirectShow
// (none of them ours) load the driver, and ffmpeg's Windows build, a DirectShow client we did not write,
// opens the virtual camera, lists what it offers and records it. The recorded frames are looked at: the
// placeholder first, then the simulated camera's picture, each the right way up with red and blue in their
// places.
#include "tests/wine/FfmpegUnderWine.h"
#include "tests/wine/QtRegistryValue.h"
#include "tests/wine/RecordedFrames.h"
#include "tests/wine/VirtualDisplay.h"
#include "tests/wine/WinePrefix.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

const QString kDevice = QStringLiteral("VistrelToolx64");
const QString kSettingsKey = QStringLiteral("HKCU\\Software\\com.quorvane.vistrel\\Vistrel App");
const QString kTwoCameras =
    QStringLiteral("EDSDK_SIM_CAMERAS=Canon EOS 90D;Canon EOS R6:size=800x600:frames=");

struct OfferedType
{
    QString pixelFormat;
    QSize size;
    double fps = 0;
};

// Waits until `condition` holds; the guard only ends a wait that would never end.
bool waitUntil(const std::function<bool()> &condition, int guardMs = 5 * 60 * 1000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > guardMs)
            return false;
        QTest::qWait(100);
    }
    return true;
}

} // namespace

class TestWindowsDriverUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void registrationListsTheDevice();
    void offersTheDefaultType();
    void recordsThePlaceholderThenTheCamera();
    void storedSizeAndRateChangeTheStream_data();
    void storedSizeAndRateChangeTheStream();
    void opensTheCameraChosenByName();
    void captureClientRecordsAnAvi();
    void everyApplicationGetsTheCamera();
    void twoInputsInOneApplicationBothGetTheCamera();
    void registersAndShowsThePlaceholderWithoutAUsableCameraLibrary_data();
    void registersAndShowsThePlaceholderWithoutAUsableCameraLibrary();
    void storedValuesOfTheWrongTypeFallBackToDefaults_data();
    void storedValuesOfTheWrongTypeFallBackToDefaults();
    void readOnlySettingsKeyIsReadAndItsRefusalShown();
    void settingsProgramAppliesWhatTheDriverReads();
    void unregistrationRemovesTheDevice();

private:
    FfmpegUnderWine ffmpeg() const { return FfmpegUnderWine(*m_prefix, m_ffmpeg, m_work.path()); }
    QStringList listDevices() const { return ffmpeg().videoDevices(); }
    OfferedType offeredType(const QStringList &env = {}) const;
    WinePrefix::Result regsvr32(const QStringList &args) const;
    // Starts the settings program on `display` with `extraEnv` and waits until its form holds the camera
    // list; empty `window` when it did not get there.
    std::unique_ptr<QProcess> startSettingsProgram(const VirtualDisplay &display, const QStringList &extraEnv,
                                                   QString &window) const;
    void storeSetting(const QString &name, const QVariant &value) const;
    // Stores `type` data as `reg add` takes it ("/t TYPE /d DATA"), whatever QSettings would have written.
    void storeRawSetting(const QString &name, const QString &type, const QString &data) const;
    QVariant storedSetting(const QString &name) const;

    std::unique_ptr<WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_installed; // the Windows files, copied as an installer would
    QString m_settingsProgram;
    QString m_ffmpeg;
};

void TestWindowsDriverUnderWine::initTestCase()
{
    const QString bin = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    m_ffmpeg = QStringLiteral(VISTREL_FFMPEG_EXE);
    for (const QString &file : {bin + "/vistrelcam.dll", bin + "/EDSDK.dll", m_ffmpeg})
        QVERIFY2(QFile::exists(file), qPrintable(file + " is missing: build the Windows files first"));
    QVERIFY(m_work.isValid());

    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));

    m_installed = m_prefix->copyWindowsFiles(bin);
    QVERIFY(!m_installed.isEmpty());

    const WinePrefix::Result reg = regsvr32({"/s", WinePrefix::windowsPath(m_installed + "/vistrelcam.dll")});
    QVERIFY2(reg.finished && reg.exitCode == 0, reg.err.constData());

    // The settings program ships 32-bit, with the 32-bit camera library beside it. Where no 32-bit program
    // runs (or no 32-bit build was given), its 64-bit build stands in, which the same sources make.
    const QString bin32 = QStringLiteral(VISTREL_WINDOWS_X86_BIN_DIR);
    m_settingsProgram = m_installed + "/vistrelsetup.exe";
    if (!bin32.isEmpty() && m_prefix->runs32BitPrograms()) {
        const QString folder = m_prefix->folder() + "/drive_c/Program Files (x86)/Vistrel";
        QVERIFY(QDir().mkpath(folder));
        for (const char *name : {"vistrelsetup.exe", "EDSDK.dll"})
            QVERIFY(QFile::copy(bin32 + "/" + name, folder + "/" + name));
        m_settingsProgram = folder + "/vistrelsetup.exe";
    } else {
        qWarning("The settings program's cases use its 64-bit build: no 32-bit build, or no 32-bit program "
                 "runs here");
    }
}

void TestWindowsDriverUnderWine::init()
{
    // Every case starts from the defaults: no stored settings.
    m_prefix->run("reg", {"delete", "HKCU\\Software\\com.quorvane.vistrel", "/f"});
}

void TestWindowsDriverUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

WinePrefix::Result TestWindowsDriverUnderWine::regsvr32(const QStringList &args) const
{
    return m_prefix->run("regsvr32", args);
}

OfferedType TestWindowsDriverUnderWine::offeredType(const QStringList &env) const
{
    const WinePrefix::Result r =
        ffmpeg().run({"-f", "dshow", "-list_options", "true", "-i", "video=" + kDevice}, env);
    static const QRegularExpression option(QStringLiteral(
        "pixel_format=(\\w+)\\s+min s=(\\d+)x(\\d+) fps=([\\d.]+)\\s+max s=(\\d+)x(\\d+) fps=([\\d.]+)"));
    const QRegularExpressionMatch m = option.match(QString::fromLocal8Bit(r.err));
    if (!m.hasMatch()) {
        qWarning().noquote() << "ffmpeg's option list:" << r.err;
        return {};
    }
    qInfo().noquote() << "ffmpeg lists:" << m.captured(0);
    return {m.captured(1), QSize(m.captured(2).toInt(), m.captured(3).toInt()), m.captured(4).toDouble()};
}

void TestWindowsDriverUnderWine::storeSetting(const QString &name, const QVariant &value) const
{
    const WinePrefix::Result r = m_prefix->run("reg", regAddArguments(kSettingsKey, name, value));
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
}

std::unique_ptr<QProcess> TestWindowsDriverUnderWine::startSettingsProgram(const VirtualDisplay &display,
                                                                           const QStringList &extraEnv,
                                                                           QString &window) const
{
    // Wine's desktop process, started by the earlier programs without a display, would keep the window off
    // it.
    m_prefix->endPrograms();
    std::unique_ptr<QProcess> setup = m_prefix->start(
        m_settingsProgram, {}, QStringList{"DISPLAY=" + display.name()} + extraEnv, m_work.path());
    window.clear();
    if (!setup->waitForStarted(60 * 1000))
        return setup;
    // The window opens together with the busy dialog ("Vistrel App") of the camera enumeration, which runs in
    // the background; once the dialog has gone, the list is in the camera box.
    const QString found = display.waitForWindow(QStringLiteral("^Vistrel Driver$"));
    if (!found.isEmpty() && display.waitForNoWindow(QStringLiteral("^Vistrel App$")))
        window = found;
    return setup;
}

void TestWindowsDriverUnderWine::storeRawSetting(const QString &name, const QString &type,
                                                 const QString &data) const
{
    const WinePrefix::Result r =
        m_prefix->run("reg", {"add", kSettingsKey, "/v", name, "/t", type, "/d", data, "/f"});
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
}

QVariant TestWindowsDriverUnderWine::storedSetting(const QString &name) const
{
    const WinePrefix::Result r = m_prefix->run("reg", {"query", kSettingsKey});
    return parseRegQuery(QString::fromLocal8Bit(r.out), name);
}

void TestWindowsDriverUnderWine::registrationListsTheDevice()
{
    QVERIFY2(listDevices().contains(kDevice), qPrintable(listDevices().join(", ")));
}

void TestWindowsDriverUnderWine::offersTheDefaultType()
{
    const OfferedType type = offeredType();
    QCOMPARE(type.pixelFormat, QStringLiteral("bgr24"));
    QCOMPARE(type.size, QSize(960, 640));
    QCOMPARE(type.fps, 30.0);
}

void TestWindowsDriverUnderWine::recordsThePlaceholderThenTheCamera()
{
    // Until the camera's picture has come and moved on: its live view starts some three seconds after the
    // filter is created, later on a busy machine.
    const FfmpegUnderWine::Recording recording =
        ffmpeg().recordUntil(kDevice, QSize(960, 640), FfmpegUnderWine::cameraPictureMoved());
    QVERIFY2(recording.failure.isEmpty(), qPrintable("no moving camera picture: " + recording.failure));
    const RecordedFrames frames(recording.rgb, 960, 640);
    const RecordedFrames::Summary s = frames.summary();
    // How well this machine kept up, for the log: ffmpeg fills late frames by duplicating the last one.
    qInfo().noquote() << "Recording:" << s.describe();
    qInfo().noquote() << QString("ffmpeg duplicated %1 of %2 frames (%3%); %4% of the camera frames distinct")
                             .arg(recording.duplicated)
                             .arg(s.frames)
                             .arg(100.0 * recording.duplicated / qMax(1, s.frames), 0, 'f', 1)
                             .arg(100.0 * s.distinctCamera / qMax(1, s.camera), 0, 'f', 1);
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the first frame is not the placeholder");
    QVERIFY2(s.camera > 0, "no camera picture arrived");
    QCOMPARE(s.other, 0);
    QCOMPARE(s.placeholderAfterCamera, 0);
}

void TestWindowsDriverUnderWine::storedSizeAndRateChangeTheStream_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<double>("fps");
    // 642 pixels make rows of 1926 bytes: the pin pads them to 1928, ffmpeg must still see straight pictures.
    QTest::newRow("642x480 at 15") << QSize(642, 480) << 15.0;
    QTest::newRow("1280x720 at 25") << QSize(1280, 720) << 25.0;
}

void TestWindowsDriverUnderWine::storedSizeAndRateChangeTheStream()
{
    QFETCH(QSize, size);
    QFETCH(double, fps);
    storeSetting("videoResolution", size);
    storeSetting("videoFps", fps);
    storeSetting("customResolution", true);

    const OfferedType type = offeredType();
    QCOMPARE(type.size, size);
    QCOMPARE(type.fps, fps);

    const QByteArray raw = ffmpeg().record(kDevice, 10).rgb;
    const RecordedFrames frames(raw, size.width(), size.height());
    QCOMPARE(frames.count(), 10);
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the placeholder is not straight");
}

void TestWindowsDriverUnderWine::opensTheCameraChosenByName()
{
    // Two cameras: the first shows the moving test picture, the second (chosen) replays a green picture.
    const QString green = m_work.filePath("green.jpg");
    QImage picture(800, 600, QImage::Format_RGB888);
    picture.fill(QColor(20, 200, 40));
    QVERIFY(picture.save(green, "JPEG", 95));
    const QStringList env{kTwoCameras + green};

    storeSetting("deviceInfo", QVariantMap{{"cn", "Canon EOS R6"}, {"cp", "usb:2"}, {"nr", QSize(800, 600)}});
    const OfferedType type = offeredType(env);
    QCOMPARE(type.size, QSize(800, 600));

    // Until the chosen camera's picture shows, however long that takes; then every frame is looked at.
    const auto isGreen = [](const uchar *frame) {
        const uchar *centre = frame + (300 * 800 + 400) * 3;
        return qAbs(centre[0] - 20) < 24 && qAbs(centre[1] - 200) < 24 && qAbs(centre[2] - 40) < 24;
    };
    const FfmpegUnderWine::Recording recording = ffmpeg().recordUntil(
        kDevice, QSize(800, 600),
        [&](const LiveRecording &live) {
            const QByteArray last = live.frame(live.frames() - 1);
            return !last.isEmpty() && isGreen(reinterpret_cast<const uchar *>(last.constData()));
        },
        env);
    QVERIFY2(recording.failure.isEmpty(),
             qPrintable("no picture of the chosen camera: " + recording.failure));
    const RecordedFrames frames(recording.rgb, 800, 600);
    int firstChosen = -1;
    int placeholderAfter = 0;
    QStringList other;
    for (int i = 0; i < frames.count(); ++i) {
        if (frames.kindOf(i) == RecordedFrames::Kind::Placeholder)
            placeholderAfter += firstChosen >= 0 ? 1 : 0;
        else if (isGreen(frames.frame(i)))
            firstChosen = firstChosen < 0 ? i : firstChosen;
        else
            other << QString::number(i);
    }
    qInfo() << "The chosen camera's picture from frame" << firstChosen << "of" << frames.count();
    QVERIFY2(frames.kindOf(0) == RecordedFrames::Kind::Placeholder, "the first frame is not the placeholder");
    QVERIFY2(other.isEmpty(),
             qPrintable("neither the placeholder nor the chosen camera: frames " + other.join(' ')));
    QCOMPARE(placeholderAfter, 0);
}

void TestWindowsDriverUnderWine::captureClientRecordsAnAvi()
{
    const QString avi = m_work.filePath("capture.avi");
    const WinePrefix::Result r = m_prefix->run(
        m_installed + "/vistrelcapture.exe",
        {"--device", kDevice, "--seconds", "3", "--output", WinePrefix::windowsPath(avi)}, {}, m_work.path());
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
    QProcess probe;
    probe.start("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                            "stream=width,height,pix_fmt", "-of", "csv=p=0", avi});
    QVERIFY(probe.waitForFinished(5 * 60 * 1000));
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(), QStringLiteral("960,640,bgr24"));
}

void TestWindowsDriverUnderWine::everyApplicationGetsTheCamera()
{
    // The first application holds the camera's session and shares its picture; the others get it at once.
    // Small frames keep the growing files small.
    const QSize size(320, 240);
    storeSetting("videoResolution", size);
    storeSetting("customResolution", true);
    using Kind = RecordedFrames::Kind;
    const auto moving = [](const LiveRecording &recording, int from) {
        return recording.recorded(from).summary().distinctCamera > 0;
    };

    auto first =
        std::make_unique<LiveRecording>(*m_prefix, m_ffmpeg, kDevice, m_work.filePath("first.rgb"), size);
    QVERIFY2(waitUntil([&] { return first->lastKind() == Kind::CameraPicture || !first->running(); }),
             "the first application got no camera picture");
    const int firstBeforeOthers = first->frames();
    LiveRecording second(*m_prefix, m_ffmpeg, kDevice, m_work.filePath("second.rgb"), size);
    LiveRecording third(*m_prefix, m_ffmpeg, kDevice, m_work.filePath("third.rgb"), size);
    for (LiveRecording *joining : {&second, &third})
        QVERIFY2(waitUntil([&] { return moving(*joining, 0) || !joining->running(); }),
                 "an application that joined got no moving camera picture");
    // The first is not disturbed by the others joining: camera frames all along.
    QVERIFY(waitUntil([&] { return first->frames() >= firstBeforeOthers + 60 || !first->running(); }));
    const RecordedFrames::Summary firstSince = first->recorded(firstBeforeOthers).summary();
    QCOMPARE(firstSince.camera, firstSince.frames);
    const RecordedFrames::Summary secondSoFar = second.recorded().summary();
    qInfo() << "Joining the first, the second received" << secondSoFar.describe();

    // The holder killed: one of the others takes the session over, and the picture moves again.
    const int secondAtKill = second.frames();
    const int thirdAtKill = third.frames();
    QElapsedTimer sinceKill;
    sinceKill.start();
    QVERIFY(first->kill());
    // Frozen on the last picture while the new holder's live view starts, then moving again.
    const auto movingAgain = [&](const LiveRecording &recording, int from) {
        const RecordedFrames frames = recording.recorded(from);
        const RecordedFrames::Summary summary = frames.summary();
        // A frame or two may have been on their way before the kill: moving means several new ones.
        return summary.distinctCamera >= 5 && summary.placeholder == 0 && summary.other == 0;
    };
    QVERIFY2(waitUntil([&] {
                 return movingAgain(second, secondAtKill + 1) || movingAgain(third, thirdAtKill + 1) ||
                        !second.running() || !third.running();
             }),
             "the camera was not handed over");
    qInfo() << "Hand-over after the holder's ffmpeg was killed:" << sinceKill.elapsed()
            << "ms to a moving camera picture";
    QVERIFY(waitUntil([&] {
        return (movingAgain(second, secondAtKill + 1) && movingAgain(third, thirdAtKill + 1)) ||
               !second.running() || !third.running();
    }));
    QCOMPARE(second.recorded().summary().other, 0);
    QVERIFY2(second.close(), qPrintable(second.log()));
    QVERIFY2(third.close(), qPrintable(third.log()));
}

void TestWindowsDriverUnderWine::twoInputsInOneApplicationBothGetTheCamera()
{
    const QSize size(320, 240);
    storeSetting("videoResolution", size);
    storeSetting("customResolution", true);
    const int frames = 240; // past the live view's start
    const QString outputs[2] = {m_work.filePath("input0.rgb"), m_work.filePath("input1.rgb")};
    QStringList args;
    for (int input = 0; input < 2; ++input)
        args << "-f"
             << "dshow"
             << "-rtbufsize"
             << "100M"
             << "-i"
             << "video=" + kDevice;
    for (int input = 0; input < 2; ++input)
        args << "-map" << QString("%1:v").arg(input) << "-frames:v" << QString::number(frames) << "-f"
             << "rawvideo"
             << "-pix_fmt"
             << "rgb24"
             << "-y" << WinePrefix::windowsPath(outputs[input]);
    const WinePrefix::Result result = ffmpeg().run(args);
    for (const QString &output : outputs) {
        QFile file(output);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(QString::fromLocal8Bit(result.err)));
        const RecordedFrames::Summary summary =
            RecordedFrames(file.readAll(), size.width(), size.height()).summary();
        qInfo() << output << summary.describe();
        QVERIFY2(summary.distinctCamera > 0, qPrintable(summary.describe()));
        QCOMPARE(summary.other, 0);
    }
}

void TestWindowsDriverUnderWine::registersAndShowsThePlaceholderWithoutAUsableCameraLibrary_data()
{
    QTest::addColumn<QString>("library");
    QTest::newRow("no EDSDK.dll") << QString();
    QTest::newRow("a 32-bit EDSDK.dll") << QStringLiteral("32-bit");
}

void TestWindowsDriverUnderWine::registersAndShowsThePlaceholderWithoutAUsableCameraLibrary()
{
    // The camera library is loaded only to stream, so the driver registers without it (as the setup program
    // installs it when the vendor's SDK is missing) and video applications get the placeholder.
    QFETCH(QString, library);
    const QString folder = m_prefix->folder() + "/drive_c/Program Files/Vistrel without SDK";
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(m_installed + "/vistrelcam.dll", folder + "/vistrelcam.dll"));
    // The same library marked as one for 32-bit x86.
    if (!library.isEmpty())
        QVERIFY(WinePrefix::writeAs32BitLibrary(m_installed + "/EDSDK.dll", folder + "/EDSDK.dll"));

    const QString dll = WinePrefix::windowsPath(folder + "/vistrelcam.dll");
    const WinePrefix::Result reg = regsvr32({"/s", dll});
    QVERIFY2(reg.finished && reg.exitCode == 0, reg.err.constData());
    QCOMPARE(listDevices().count(kDevice), 1);
    const QByteArray raw = ffmpeg().record(kDevice, 90).rgb;
    const RecordedFrames::Summary s = RecordedFrames(raw, 960, 640).summary();
    qInfo().noquote() << "Recording:" << s.describe();
    QCOMPARE(s.frames, 90);
    QCOMPARE(s.placeholder, 90);

    // Unregistered, nothing of that copy is left in use; the installed driver comes back alone.
    QCOMPARE(regsvr32({"/s", "/u", dll}).exitCode, 0);
    m_prefix->waitForPrograms();
    QVERIFY(QDir(folder).removeRecursively());
    QCOMPARE(regsvr32({"/s", WinePrefix::windowsPath(m_installed + "/vistrelcam.dll")}).exitCode, 0);
    QCOMPARE(listDevices().count(kDevice), 1);
}

void TestWindowsDriverUnderWine::storedValuesOfTheWrongTypeFallBackToDefaults_data()
{
    QTest::addColumn<QString>("deviceInfoType");
    QTest::addColumn<QString>("deviceInfoData");
    // REG_BINARY is how QSettings stores a map: its text, UTF-16, with QDataStream bytes after "@Variant(".
    QString variantPrefix;
    for (const QChar c : QStringLiteral("@Variant("))
        variantPrefix += QString::asprintf("%02x00", c.unicode());
    const QString garbage = QStringLiteral("9ac3ff0017e2ffffffff0012deadbeefffff7f0000a0");
    QTest::newRow("binary garbage") << "REG_BINARY" << garbage;
    QTest::newRow("garbage after the map's prefix") << "REG_BINARY" << variantPrefix + garbage;
    QTest::newRow("a number") << "REG_DWORD"
                              << "7";
}

void TestWindowsDriverUnderWine::storedValuesOfTheWrongTypeFallBackToDefaults()
{
    // A size stored as a number, a switch as a number, and a camera description that is no map: the driver
    // streams the default size from the first camera, and the settings program replaces the values with what
    // its form shows when it closes.
    QFETCH(QString, deviceInfoType);
    QFETCH(QString, deviceInfoData);
    storeRawSetting("videoResolution", "REG_DWORD", "1280");
    storeRawSetting("customResolution", "REG_DWORD", "1");
    storeRawSetting("deviceInfo", deviceInfoType, deviceInfoData);

    const OfferedType type = offeredType();
    QCOMPARE(type.size, QSize(960, 640));
    QCOMPARE(type.fps, 30.0);
    const FfmpegUnderWine::Recording recording =
        ffmpeg().recordUntil(kDevice, QSize(960, 640), FfmpegUnderWine::cameraPictureMoved());
    QVERIFY2(recording.failure.isEmpty(), qPrintable("no moving camera picture: " + recording.failure));
    const RecordedFrames::Summary s = RecordedFrames(recording.rgb, 960, 640).summary();
    qInfo().noquote() << "Recording:" << s.describe();
    QVERIFY2(s.camera > 0, "the first camera's picture did not arrive");
    QCOMPARE(s.other, 0);

    VirtualDisplay display;
    QVERIFY2(display.isRunning(), "Xvfb did not start");
    QString window;
    std::unique_ptr<QProcess> setup = startSettingsProgram(display, {}, window);
    QVERIFY2(!window.isEmpty(), "the settings window did not appear");
    QVERIFY(display.xdotool({"windowfocus", "--sync", window}));
    QVERIFY(display.xdotool({"key", "alt+F4"}));
    QVERIFY2(setup->waitForFinished(5 * 60 * 1000), "the settings program did not end");
    QCOMPARE(setup->exitStatus(), QProcess::NormalExit);
    QCOMPARE(setup->exitCode(), 0);
    m_prefix->endPrograms();

    QCOMPARE(storedSetting("videoResolution").toSize(), QSize(960, 640));
    QCOMPARE(storedSetting("deviceInfo").toMap().value("cn").toString(), QStringLiteral("Canon EOS 90D"));
}

void TestWindowsDriverUnderWine::readOnlySettingsKeyIsReadAndItsRefusalShown()
{
    storeSetting("videoFps", 15.0);
    VirtualDisplay display;
    QVERIFY2(display.isRunning(), "Xvfb did not start");
    QString window;
    std::unique_ptr<QProcess> setup = startSettingsProgram(display, {}, window);
    QVERIFY2(!window.isEmpty(), "the settings window did not appear");

    // The key made read-only for everyone while the settings program runs (Wine keeps a key's access list
    // only while its server runs, and the program keeps it running).
    const QString subkey = kSettingsKey.mid(kSettingsKey.indexOf('\\') + 1);
    const auto restrictKey = [&](const QString &mode) {
        return m_prefix->run(m_installed + "/vistrel-restrict-key.exe", {mode, subkey});
    };
    const WinePrefix::Result r = restrictKey("read-only");
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
    const auto writable = qScopeGuard([&] { restrictKey("writable"); });
    QVERIFY(m_prefix->run("reg", {"add", kSettingsKey, "/v", "probe", "/d", "x", "/f"}).exitCode != 0);

    // The driver reads what is there.
    QCOMPARE(offeredType().fps, 15.0);

    // "Apply settings", reached from the camera box along the tab order (the size boxes are off): the
    // program says that it could not save, and ends normally; the stored values stay.
    QVERIFY(display.xdotool({"windowfocus", "--sync", window}));
    QVERIFY(display.xdotool({"key", "--delay", "150", "Tab", "Tab", "Tab", "Tab", "space"}));
    const QString refusal = display.waitForWindow(QStringLiteral("^Settings not saved$"));
    QVERIFY2(!refusal.isEmpty(), "no word that the settings were not saved");
    QVERIFY(display.screenshot(QStringLiteral(VISTREL_SCREENSHOT_DIR "/settings-not-saved-windows.png")));
    QVERIFY(display.xdotool({"windowfocus", "--sync", refusal}));
    QVERIFY(display.xdotool({"key", "Return"}));
    QVERIFY(display.waitForNoWindow(QStringLiteral("^Settings not saved$")));
    QVERIFY(display.xdotool({"windowfocus", "--sync", window}));
    QVERIFY(display.xdotool({"key", "alt+F4"}));
    QVERIFY2(setup->waitForFinished(5 * 60 * 1000), "the settings program did not end");
    QCOMPARE(setup->exitStatus(), QProcess::NormalExit);
    QCOMPARE(setup->exitCode(), 0);
    QCOMPARE(storedSetting("videoFps").toString(), QStringLiteral("15"));
}

void TestWindowsDriverUnderWine::settingsProgramAppliesWhatTheDriverReads()
{
    VirtualDisplay display;
    QVERIFY2(display.isRunning(), "Xvfb did not start");
    const QStringList env{"EDSDK_SIM_CAMERAS=Canon EOS 90D;Canon EOS R6:size=800x600"};
    QString window;
    std::unique_ptr<QProcess> setup = startSettingsProgram(display, env, window);
    QVERIFY2(!window.isEmpty(), "the settings window did not appear");

    // Keyboard only, along the form's tab order: the second camera, 15 frames/s, custom size 642 x 480, and
    // on to "Apply settings" (under Wine the view-finder box is not a tab stop).
    QVERIFY(display.xdotool({"windowfocus", "--sync", window}));
    QVERIFY(
        display.xdotool({"key", "--delay", "150", "Down", "Tab", "Tab", "ctrl+a", "1", "5", "Tab", "space",
                         "Tab", "ctrl+a",  "6",   "4",    "2",   "Tab", "ctrl+a", "4", "8", "0",   "Tab"}));
    QVERIFY(display.screenshot(QStringLiteral(VISTREL_SCREENSHOT_DIR "/vistrelsetup-windows.png"), window));
    QVERIFY(display.xdotool({"key", "space"}));
    const QString confirmation = display.waitForWindow(QStringLiteral("^Success$"));
    QVERIFY2(!confirmation.isEmpty(), "no confirmation after Apply settings");
    QVERIFY(display.xdotool({"windowfocus", "--sync", confirmation}));
    QVERIFY(display.xdotool({"key", "Return"}));
    QVERIFY(display.waitForNoWindow(QStringLiteral("^Success$")));
    QVERIFY(display.xdotool({"windowfocus", "--sync", window}));
    QVERIFY(display.xdotool({"key", "alt+F4"}));
    QVERIFY2(setup->waitForFinished(5 * 60 * 1000), "the settings program did not end");

    // Stored as QSettings stores them on Windows, and read by the driver when ffmpeg next opens it.
    QCOMPARE(storedSetting("videoResolution").toSize(), QSize(642, 480));
    QCOMPARE(storedSetting("customResolution").toString(), QStringLiteral("true"));
    QCOMPARE(storedSetting("videoFps").toString(), QStringLiteral("15"));
    QCOMPARE(storedSetting("deviceInfo").toMap().value("cn").toString(), QStringLiteral("Canon EOS R6"));
    const OfferedType type = offeredType(env);
    QCOMPARE(type.size, QSize(642, 480));
    QCOMPARE(type.fps, 15.0);
}

void TestWindowsDriverUnderWine::unregistrationRemovesTheDevice()
{
    const QString dll = WinePrefix::windowsPath(m_installed + "/vistrelcam.dll");
    WinePrefix::Result r = regsvr32({"/s", "/u", dll});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(!listDevices().contains(kDevice));

    // A second unregistration finds nothing to remove and says so; registering again brings the device back
    // once.
    r = regsvr32({"/s", "/u", dll});
    QVERIFY2(r.exitCode != 0, "a second unregistration reported success");
    QCOMPARE(regsvr32({"/s", dll}).exitCode, 0);
    QCOMPARE(regsvr32({"/s", dll}).exitCode, 0);
    QCOMPARE(listDevices().count(kDevice), 1);
}

QTEST_GUILESS_MAIN(TestWindowsDriverUnderWine)
#include "tst_WindowsDriverUnderWine.moc"
