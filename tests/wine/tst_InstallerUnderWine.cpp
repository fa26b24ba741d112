// The setup programs as an administrator uses them, under Wine: silent installation of the demo build, what
// it leaves on disk and in the registry, the virtual camera seen and recorded by ffmpeg's Windows build, an
// upgrade over itself, both ways of uninstalling, a damaged driver that must fail the installation and undo
// it, and the vendor SDK folder check of the real build. The cases build on each other and run in order in
// one prefix.
#include "tests/wine/FfmpegUnderWine.h"
#include "tests/wine/QtRegistryValue.h"
#include "tests/wine/RecordedFrames.h"
#include "tests/wine/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

const QString kDevice = QStringLiteral("VistrelToolx64");
const QString kSettingsKey = QStringLiteral("HKCU\\Software\\com.quorvane.vistrel\\Vistrel App");
const QString kUninstallKey =
    QStringLiteral("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vistrel");
const QString kClassKey =
    QStringLiteral("HKLM\\Software\\Classes\\CLSID\\{6414549A-DB61-4309-AFA1-4578E927E234}");
const QString kInstallDir = QStringLiteral("C:\\Program Files\\Vistrel");
const QString kShortcut =
    QStringLiteral("drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vistrel settings.lnk");
const QStringList kProgramFiles{"vistrelcam.dll", "vistrelsetup.exe", "vistrel.ico", "uninstall.exe"};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestInstallerUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void silentInstallPutsEverythingInPlace();
    void ffmpegListsAndRecordsTheSimulatedCamera();
    void upgradeOverItselfKeepsTheSettings();
    void silentUninstallRemovesAllButTheSettings();
    void uninstallCanRemoveTheSettings();
    void failedRegistrationKeepsThePreviousVersion();
    void failedRegistrationOfAFreshInstallLeavesNothing();
    void realSetupChecksTheVendorSdkFolder();

private:
    struct Outcome
    {
        int exitCode = -1;
        QString log; // what the setup program wrote to its /LOG file
    };
    Outcome install(const QString &setup, const QStringList &args = {}) const;
    void uninstall(const QStringList &args = {}) const;
    // A registry value as `reg query` prints it; a null string when the key or value is missing. An empty
    // name asks for the key's default value.
    QString registryValue(const QString &key, const QString &name) const;
    bool registryKeyExists(const QString &key) const;
    QStringList installedPrograms() const;
    FfmpegUnderWine ffmpeg() const { return FfmpegUnderWine(*m_prefix, m_ffmpeg, m_work.path()); }
    QStringList listDevices() const { return ffmpeg().videoDevices(); }
    RecordedFrames::Summary record(int frames) const;
    void storeSetting(const QString &name, const QVariant &value) const;
    QString installed(const QString &name = {}) const;
    void verifyNothingInstalled() const;
    // Uninstalls, settings too, what an earlier case that failed half-way left behind.
    void startFromNothing() const;
    // A demo setup whose driver is damaged (cut short), so that regsvr32 cannot load it; built once.
    QString damagedSetup();

    std::unique_ptr<WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_bin;
    QString m_setup;
    QString m_demoSetup;
    QString m_ffmpeg;
    QString m_damagedSetup;
};

void TestInstallerUnderWine::initTestCase()
{
    m_bin = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    m_ffmpeg = QStringLiteral(VISTREL_FFMPEG_EXE);
    m_setup = QStringLiteral(VISTREL_SETUP_EXE);
    m_demoSetup = QStringLiteral(VISTREL_DEMO_SETUP_EXE);
    for (const QString &file :
         {m_bin + "/vistrelcam.dll", m_bin + "/EDSDK.dll", m_ffmpeg, m_setup, m_demoSetup})
        QVERIFY2(QFile::exists(file),
                 qPrintable(file + " is missing: build the Windows files and setup first"));
    QVERIFY(QFileInfo(m_demoSetup).fileName().contains("demo"));
    QVERIFY(m_work.isValid());

    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));
}

void TestInstallerUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

TestInstallerUnderWine::Outcome TestInstallerUnderWine::install(const QString &setup,
                                                                const QStringList &args) const
{
    const QString logFile = m_work.filePath("setup.log");
    QFile::remove(logFile);
    const WinePrefix::Result r =
        m_prefix->run(setup, QStringList{"/S", "/LOG=" + WinePrefix::windowsPath(logFile)} + args);
    m_prefix->waitForPrograms();
    Outcome outcome;
    outcome.exitCode = r.finished ? r.exitCode : -1;
    outcome.log = QString::fromLocal8Bit(fileBytes(logFile)).trimmed();
    qInfo().noquote() << QFileInfo(setup).fileName() << args.join(' ') << "ended with" << outcome.exitCode
                      << ":" << outcome.log;
    // A setup that failed without a word of its own: what Wine said is all there is to go on.
    if (outcome.exitCode != 0 && !r.err.trimmed().isEmpty())
        qInfo().noquote() << "wine:" << QString::fromLocal8Bit(r.err.right(4000));
    return outcome;
}

void TestInstallerUnderWine::uninstall(const QStringList &args) const
{
    // The uninstaller copies itself to a temporary folder and ends at once; the copy does the work.
    const WinePrefix::Result r = m_prefix->run(kInstallDir + "\\uninstall.exe", QStringList{"/S"} + args);
    QVERIFY2(r.finished && r.exitCode == 0, r.err.right(2000).constData());
    m_prefix->waitForPrograms();
}

QString TestInstallerUnderWine::registryValue(const QString &key, const QString &name) const
{
    const WinePrefix::Result r = m_prefix->run("reg", name.isEmpty() ? QStringList{"query", key, "/ve"}
                                                                     : QStringList{"query", key, "/v", name});
    if (!r.finished || r.exitCode != 0)
        return {};
    // "    NAME    REG_TYPE    VALUE" under the key's line.
    static const QRegularExpression line(QStringLiteral("^\\s+(.*?)\\s+(REG_\\w+)\\s*(.*)$"));
    for (QString text : QString::fromLocal8Bit(r.out).split('\n')) {
        text.remove('\r');
        const QRegularExpressionMatch m = line.match(text);
        // Wine's words for a default value that was never set.
        if (m.hasMatch())
            return m.captured(3).trimmed() == "(value not set)" ? QString() : m.captured(3).trimmed();
    }
    return {};
}

bool TestInstallerUnderWine::registryKeyExists(const QString &key) const
{
    const WinePrefix::Result r = m_prefix->run("reg", {"query", key});
    return r.finished && r.exitCode == 0;
}

RecordedFrames::Summary TestInstallerUnderWine::record(int frames) const
{
    const RecordedFrames recorded(ffmpeg().record(kDevice, frames).rgb, 960, 640);
    const RecordedFrames::Summary s = recorded.summary();
    qInfo().noquote() << "Recording:" << s.describe();
    return s;
}

void TestInstallerUnderWine::storeSetting(const QString &name, const QVariant &value) const
{
    const WinePrefix::Result r = m_prefix->run("reg", regAddArguments(kSettingsKey, name, value));
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
}

QString TestInstallerUnderWine::installed(const QString &name) const
{
    const QString folder = m_prefix->folder() + "/drive_c/Program Files/Vistrel";
    return name.isEmpty() ? folder : folder + "/" + name;
}

void TestInstallerUnderWine::verifyNothingInstalled() const
{
    QVERIFY2(!QDir(installed()).exists(),
             qPrintable(QDir(installed()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).join(", ")));
    QVERIFY(!QFile::exists(m_prefix->folder() + "/" + kShortcut));
    QVERIFY(!registryKeyExists(kUninstallKey));
    QVERIFY(installedPrograms().filter(QRegularExpression("^Vistrel")).isEmpty());
    QVERIFY(!registryKeyExists(kClassKey));
}

QStringList TestInstallerUnderWine::installedPrograms() const
{
    // Wine's list of installed programs (its Control Panel's), from the same registry entries Windows reads.
    const WinePrefix::Result r = m_prefix->run("uninstaller", {"--list"});
    QStringList names;
    for (const QString &line : QString::fromLocal8Bit(r.out).split('\n', Qt::SkipEmptyParts))
        names << line.section("|||", 1).trimmed();
    return names;
}

void TestInstallerUnderWine::silentInstallPutsEverythingInPlace()
{
    const Outcome outcome = install(m_demoSetup);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.log.contains("Installed"), qPrintable(outcome.log));

    for (const QString &name : kProgramFiles + QStringList{"EDSDK.dll"})
        QVERIFY2(QFile::exists(installed(name)), qPrintable(name));
    // The simulated-camera SDK of the Windows build, beside the driver.
    QCOMPARE(fileBytes(installed("EDSDK.dll")), fileBytes(m_bin + "/EDSDK.dll"));
    QCOMPARE(fileBytes(installed("vistrelcam.dll")), fileBytes(m_bin + "/vistrelcam.dll"));
    QVERIFY(QFile::exists(m_prefix->folder() + "/" + kShortcut));

    // Registered by the 64-bit regsvr32 (the 64-bit registry view) at the installed file.
    QCOMPARE(registryValue(kClassKey + "\\InprocServer32", {}).toLower(),
             (kInstallDir + "\\vistrelcam.dll").toLower());

    QCOMPARE(registryValue(kUninstallKey, "DisplayName"), QStringLiteral("Vistrel (demo, simulated camera)"));
    QVERIFY2(installedPrograms().contains("Vistrel (demo, simulated camera)"),
             qPrintable(installedPrograms().join(", ")));
    QCOMPARE(registryValue(kUninstallKey, "DisplayVersion"), QStringLiteral(VISTREL_VERSION));
    QCOMPARE(registryValue(kUninstallKey, "Publisher"), QStringLiteral("Quorvane"));
    QCOMPARE(registryValue(kUninstallKey, "UninstallString"), "\"" + kInstallDir + "\\uninstall.exe\"");
    QCOMPARE(registryValue(kUninstallKey, "DisplayIcon"), kInstallDir + "\\vistrel.ico");
    QCOMPARE(registryValue(kUninstallKey, "InstallLocation"), kInstallDir);
    bool ok = false;
    const int sizeKb = registryValue(kUninstallKey, "EstimatedSize").toInt(&ok, 0);
    QVERIFY2(ok && sizeKb > 1000, qPrintable(registryValue(kUninstallKey, "EstimatedSize")));
}

void TestInstallerUnderWine::ffmpegListsAndRecordsTheSimulatedCamera()
{
    QCOMPARE(listDevices().count(kDevice), 1);
    // Until the simulated camera's picture, which follows the placeholder after some three seconds, moves.
    const FfmpegUnderWine::Recording recording =
        ffmpeg().recordUntil(kDevice, QSize(960, 640), FfmpegUnderWine::cameraPictureMoved());
    QVERIFY2(recording.failure.isEmpty(), qPrintable("no moving camera picture: " + recording.failure));
    const RecordedFrames::Summary s = RecordedFrames(recording.rgb, 960, 640).summary();
    qInfo().noquote() << "Recording:" << s.describe();
    QVERIFY2(s.camera > 0, "no camera picture arrived");
    QCOMPARE(s.other, 0);
    QCOMPARE(s.placeholderAfterCamera, 0);
}

void TestInstallerUnderWine::upgradeOverItselfKeepsTheSettings()
{
    storeSetting("videoFps", 15.0);
    const Outcome outcome = install(m_demoSetup);
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(registryValue(kSettingsKey, "videoFps"), QStringLiteral("15"));
    QCOMPARE(listDevices().count(kDevice), 1);
    QCOMPARE(registryValue(kClassKey + "\\InprocServer32", {}).toLower(),
             (kInstallDir + "\\vistrelcam.dll").toLower());
    // What was set aside during the replacement is gone.
    QCOMPARE(QDir(installed()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
}

void TestInstallerUnderWine::silentUninstallRemovesAllButTheSettings()
{
    uninstall();
    QVERIFY(!listDevices().contains(kDevice));
    verifyNothingInstalled();
    QCOMPARE(registryValue(kSettingsKey, "videoFps"), QStringLiteral("15"));
}

void TestInstallerUnderWine::uninstallCanRemoveTheSettings()
{
    QCOMPARE(install(m_demoSetup).exitCode, 0);
    QCOMPARE(registryValue(kSettingsKey, "videoFps"), QStringLiteral("15"));
    uninstall({"/REMOVESETTINGS"});
    verifyNothingInstalled();
    QVERIFY(!registryKeyExists(kSettingsKey));
}

QString TestInstallerUnderWine::damagedSetup()
{
    if (!m_damagedSetup.isEmpty())
        return m_damagedSetup;
    const QString bin = m_work.filePath("damaged-bin");
    QDir().mkpath(bin);
    for (const char *name : {"vistrelsetup.exe", "EDSDK.dll"})
        QFile::copy(m_bin + "/" + name, bin + "/" + name);
    QFile damaged(bin + "/vistrelcam.dll");
    if (damaged.open(QIODevice::WriteOnly))
        damaged.write(fileBytes(m_bin + "/vistrelcam.dll").left(4096));
    damaged.close();
    QProcess build;
    build.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    build.start("bash", {QStringLiteral(VISTREL_SOURCE_DIR) + "/scripts/windows/installer.sh", "--bin", bin,
                         "--out", m_work.filePath("damaged-setup"), "--only", "demo", "--fast"});
    if (!build.waitForFinished(15 * 60 * 1000) || build.exitCode() != 0)
        return {};
    const QString setup = QString::fromLocal8Bit(build.readAllStandardOutput()).trimmed().section('=', 1);
    if (QFile::exists(setup))
        m_damagedSetup = setup;
    return m_damagedSetup;
}

void TestInstallerUnderWine::startFromNothing() const
{
    if (QFile::exists(installed("uninstall.exe")))
        uninstall({"/REMOVESETTINGS"});
    m_prefix->run("reg", {"delete", "HKCU\\Software\\com.quorvane.vistrel", "/f"});
}

void TestInstallerUnderWine::failedRegistrationKeepsThePreviousVersion()
{
    startFromNothing();
    const QString damaged = damagedSetup();
    QVERIFY2(!damaged.isEmpty(), "the damaged setup could not be built");

    QCOMPARE(install(m_demoSetup).exitCode, 0);
    const Outcome outcome = install(damaged);
    QVERIFY2(outcome.exitCode != 0, "the damaged driver was reported as installed");
    QVERIFY2(outcome.log.contains("could not be registered"), qPrintable(outcome.log));
    // The previous version is back, registered once, and still works.
    QCOMPARE(fileBytes(installed("vistrelcam.dll")), fileBytes(m_bin + "/vistrelcam.dll"));
    QCOMPARE(QDir(installed()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
    QCOMPARE(listDevices().count(kDevice), 1);
    QCOMPARE(registryValue(kUninstallKey, "DisplayVersion"), QStringLiteral(VISTREL_VERSION));

    uninstall({"/REMOVESETTINGS"});
    verifyNothingInstalled();
}

void TestInstallerUnderWine::failedRegistrationOfAFreshInstallLeavesNothing()
{
    startFromNothing();
    const QString damaged = damagedSetup();
    QVERIFY2(!damaged.isEmpty(), "the damaged setup could not be built");
    const Outcome outcome = install(damaged);
    QVERIFY2(outcome.exitCode != 0, "the damaged driver was reported as installed");
    QVERIFY2(outcome.log.contains("could not be registered"), qPrintable(outcome.log));
    verifyNothingInstalled();
    QVERIFY(!listDevices().contains(kDevice));
}

void TestInstallerUnderWine::realSetupChecksTheVendorSdkFolder()
{
    startFromNothing();
    // A folder without the library, and one whose library is marked as a 32-bit (i386) one: both are refused
    // before anything is installed.
    const QString empty = m_work.filePath("no-sdk");
    const QString sdk32 = m_work.filePath("sdk-32");
    const QString sdk64 = m_work.filePath("sdk-64");
    QVERIFY(QDir().mkpath(empty) && QDir().mkpath(sdk32) && QDir().mkpath(sdk64));
    QVERIFY(QFile::copy(m_bin + "/EDSDK.dll", sdk64 + "/EDSDK.dll"));
    QVERIFY(WinePrefix::writeAs32BitLibrary(m_bin + "/EDSDK.dll", sdk32 + "/EDSDK.dll"));

    Outcome outcome = install(m_setup, {"/SDK=" + WinePrefix::windowsPath(empty)});
    QVERIFY(outcome.exitCode != 0);
    QVERIFY2(outcome.log.contains("holds no EDSDK.dll"), qPrintable(outcome.log));
    verifyNothingInstalled();

    outcome = install(m_setup, {"/SDK=" + WinePrefix::windowsPath(sdk32)});
    QVERIFY(outcome.exitCode != 0);
    QVERIFY2(outcome.log.contains("not the 64-bit library"), qPrintable(outcome.log));
    verifyNothingInstalled();

    // Without the SDK the installation completes, says what is missing, and the camera shows the placeholder.
    // Over the demo, too: its simulated camera does not stay.
    QCOMPARE(install(m_demoSetup).exitCode, 0);
    outcome = install(m_setup);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(outcome.log.contains("SDK is missing"), qPrintable(outcome.log));
    QVERIFY(!QFile::exists(installed("EDSDK.dll")));
    QCOMPARE(registryValue(kUninstallKey, "DisplayName"), QStringLiteral("Vistrel"));
    const RecordedFrames::Summary s = record(60);
    QCOMPARE(s.frames, 60);
    QCOMPARE(s.placeholder, 60);

    // Run again with the 64-bit library's folder: copied beside the driver.
    outcome = install(m_setup, {"/SDK=" + WinePrefix::windowsPath(sdk64)});
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(!outcome.log.contains("missing"), qPrintable(outcome.log));
    QCOMPARE(fileBytes(installed("EDSDK.dll")), fileBytes(m_bin + "/EDSDK.dll"));
    QCOMPARE(listDevices().count(kDevice), 1);

    // An upgrade that names no folder keeps the SDK in place.
    outcome = install(m_setup);
    QCOMPARE(outcome.exitCode, 0);
    QVERIFY2(!outcome.log.contains("missing"), qPrintable(outcome.log));
    QCOMPARE(fileBytes(installed("EDSDK.dll")), fileBytes(m_bin + "/EDSDK.dll"));

    uninstall();
    verifyNothingInstalled();
}

QTEST_GUILESS_MAIN(TestInstallerUnderWine)
#include "tst_InstallerUnderWine.moc"
