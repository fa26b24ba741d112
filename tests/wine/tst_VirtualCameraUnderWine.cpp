// The Windows 11 virtual camera, added and removed by the settings program's commands and by the setup
// programs, under Wine. Wine has no mfsensorgroup.dll, as Windows 10 has no MFCreateVirtualCamera: the
// commands then say so in one line and succeed, and the installation goes on. A stand-in mfsensorgroup.dll
// beside the program records what it is asked, so the arguments and calls Windows 11 would get are checked.
// The driver's fallback to a machine-wide copy of the settings, which Windows' camera service (running under
// an account of its own) depends on, is checked with ffmpeg's DirectShow input. The cases run in order in
// one prefix.
#include "tests/wine/FfmpegUnderWine.h"
#include "tests/wine/QtRegistryValue.h"
#include "tests/wine/WinePrefix.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

const QString kInstallDir = QStringLiteral("drive_c/Program Files/Vistrel");
const QString kNotSupported = QStringLiteral("This Windows cannot add Media Foundation virtual cameras");
const QString kNoneToRemove = QStringLiteral("there is none to remove");
const QString kDevice = QStringLiteral("VistrelToolx64");
const QString kSettingsPath = QStringLiteral("Software\\com.quorvane.vistrel\\Vistrel App");

// What the stand-in records for a command that reaches the camera: the system asked, the camera made with
// the arguments that make it the product's (the media source's class, for all users, kept across restarts,
// Windows' default categories), the command's call, then the camera shut down and released.
QStringList expectedCalls(const QString &call)
{
    QStringList calls{QStringLiteral("MFIsVirtualCameraTypeSupported type=0"),
                      QStringLiteral("MFCreateVirtualCamera type=0 lifetime=1 access=1 friendlyName=Vistrel "
                                     "sourceId={613DFA2E-AFB2-40B0-A66C-18134BBACBE6} categories=null "
                                     "categoryCount=0")};
    if (!call.isEmpty())
        calls << call;
    return calls << QStringLiteral("Shutdown") << QStringLiteral("Released");
}

} // namespace

class TestVirtualCameraUnderWine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void commandsWithoutTheSystemsSupportSucceed_data();
    void commandsWithoutTheSystemsSupportSucceed();
    void commandsPassTheCameraToWindows_data();
    void commandsPassTheCameraToWindows();
    void refusalsAreFailuresWithTheirReason_data();
    void refusalsAreFailuresWithTheirReason();
    void installationGoesOnWithoutTheSystemsSupport();
    void withoutTheUsersKeyTheMachineWideCopyCounts();
    void setupAddsAndUninstallRemovesTheCamera();

private:
    struct Command
    {
        int exitCode = -1;
        QString line;
    };
    // Runs vistrelsetup.exe from `folder` with `command`, the stand-in (when there) recording into a fresh
    // file, and `fail` as its answer.
    Command run(const QString &folder, const QString &command, const QString &fail = {});
    QStringList recorded() const;
    // A folder with the settings program, and the stand-in beside it when `withStandIn`.
    QString programFolder(const QString &name, bool withStandIn) const;
    int install(QString &log) const;
    void uninstall() const;
    // The size the installed camera offers, as ffmpeg lists it.
    QSize offeredSize() const;

    std::unique_ptr<WinePrefix> m_prefix;
    QTemporaryDir m_work;
    QString m_bin;
    QString m_standIn;
    QString m_demoSetup;
    QString m_ffmpeg;
};

void TestVirtualCameraUnderWine::initTestCase()
{
    m_bin = QStringLiteral(VISTREL_WINDOWS_BIN_DIR);
    m_standIn = m_bin + QStringLiteral("/stand-in/mfsensorgroup.dll");
    m_demoSetup = QStringLiteral(VISTREL_DEMO_SETUP_EXE);
    m_ffmpeg = QStringLiteral(VISTREL_FFMPEG_EXE);
    for (const QString &file : {m_bin + "/vistrelsetup.exe", m_standIn, m_demoSetup, m_ffmpeg})
        QVERIFY2(QFile::exists(file),
                 qPrintable(file + " is missing: build the Windows files and setup first"));
    QVERIFY(m_work.isValid());
    m_prefix = std::make_unique<WinePrefix>();
    QVERIFY2(m_prefix->error().isEmpty(), qPrintable(m_prefix->error()));
}

void TestVirtualCameraUnderWine::cleanupTestCase()
{
    m_prefix.reset();
}

QString TestVirtualCameraUnderWine::programFolder(const QString &name, bool withStandIn) const
{
    const QString folder = m_work.filePath(name);
    if (!QDir(folder).exists()) {
        QDir().mkpath(folder);
        QFile::copy(m_bin + "/vistrelsetup.exe", folder + "/vistrelsetup.exe");
        if (withStandIn)
            QFile::copy(m_standIn, folder + "/mfsensorgroup.dll");
    }
    return folder;
}

TestVirtualCameraUnderWine::Command
TestVirtualCameraUnderWine::run(const QString &folder, const QString &command, const QString &fail)
{
    const QString record = m_work.filePath("record.txt");
    QFile::remove(record);
    QStringList env{"VISTREL_SENSOR_GROUP_RECORD=" + WinePrefix::windowsPath(record)};
    if (!fail.isEmpty())
        env << "VISTREL_SENSOR_GROUP_FAIL=" + fail;
    const WinePrefix::Result r = m_prefix->run(folder + "/vistrelsetup.exe", {command}, env, folder);
    Command result;
    result.exitCode = r.finished ? r.exitCode : -1;
    const QStringList lines = QString::fromUtf8(r.out).remove('\r').split('\n', Qt::SkipEmptyParts);
    if (lines.size() == 1)
        result.line = lines.first();
    else
        qInfo().noquote() << "not one line:" << lines << QString::fromLocal8Bit(r.err.right(2000));
    qInfo().noquote() << command << fail << "ended with" << result.exitCode << ":" << result.line;
    return result;
}

QStringList TestVirtualCameraUnderWine::recorded() const
{
    QFile file(m_work.filePath("record.txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).remove('\r').split('\n', Qt::SkipEmptyParts);
}

void TestVirtualCameraUnderWine::commandsWithoutTheSystemsSupportSucceed_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("line");
    QTest::newRow("add") << "--add-virtual-camera" << kNotSupported;
    QTest::newRow("remove") << "--remove-virtual-camera" << kNoneToRemove;
}

void TestVirtualCameraUnderWine::commandsWithoutTheSystemsSupportSucceed()
{
    QFETCH(QString, command);
    QFETCH(QString, line);
    const Command c = run(programFolder("without", false), command);
    QCOMPARE(c.exitCode, 0);
    QVERIFY2(c.line.contains(line), qPrintable(c.line));
    QVERIFY(recorded().isEmpty());
}

void TestVirtualCameraUnderWine::commandsPassTheCameraToWindows_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("line");
    QTest::newRow("add") << "--add-virtual-camera"
                         << "Start callback=null"
                         << "Added the Windows virtual camera \"Vistrel\" for all users";
    QTest::newRow("remove") << "--remove-virtual-camera"
                            << "Remove"
                            << "Removed the Windows virtual camera \"Vistrel\".";
}

void TestVirtualCameraUnderWine::commandsPassTheCameraToWindows()
{
    QFETCH(QString, command);
    QFETCH(QString, call);
    QFETCH(QString, line);
    const Command c = run(programFolder("with", true), command);
    QCOMPARE(c.exitCode, 0);
    QVERIFY2(c.line.startsWith(line), qPrintable(c.line));
    QCOMPARE(recorded(), expectedCalls(call));
}

void TestVirtualCameraUnderWine::refusalsAreFailuresWithTheirReason_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fail");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("calls");
    const QString isSupported = QStringLiteral("MFIsVirtualCameraTypeSupported type=0");
    // A system that has the library but not the camera type: nothing more is asked.
    QTest::newRow("unsupported add") << "--add-virtual-camera"
                                     << "unsupported" << 0 << kNotSupported << QStringList{isSupported};
    QTest::newRow("unsupported remove") << "--remove-virtual-camera"
                                        << "unsupported" << 0 << kNoneToRemove << QStringList{isSupported};
    const QString denied = QStringLiteral("that needs an administrator");
    QTest::newRow("create refused") << "--add-virtual-camera"
                                    << "create" << 1 << denied << QStringList(expectedCalls({}).mid(0, 2));
    QTest::newRow("start refused") << "--add-virtual-camera"
                                   << "start" << 1 << denied << expectedCalls("Start callback=null");
    QTest::newRow("remove refused") << "--remove-virtual-camera"
                                    << "remove" << 1 << denied << expectedCalls("Remove");
}

void TestVirtualCameraUnderWine::refusalsAreFailuresWithTheirReason()
{
    QFETCH(QString, command);
    QFETCH(QString, fail);
    QFETCH(int, exitCode);
    QFETCH(QString, line);
    QFETCH(QStringList, calls);
    const Command c = run(programFolder("with", true), command, fail);
    QCOMPARE(c.exitCode, exitCode);
    QVERIFY2(c.line.contains(line), qPrintable(c.line));
    if (exitCode != 0)
        QVERIFY2(c.line.contains("E_ACCESSDENIED (0x80070005)"), qPrintable(c.line));
    QCOMPARE(recorded(), calls);
}

int TestVirtualCameraUnderWine::install(QString &log) const
{
    const QString logFile = m_work.filePath("setup.log");
    QFile::remove(logFile);
    const QString record = m_work.filePath("record.txt");
    QFile::remove(record);
    const WinePrefix::Result r =
        m_prefix->run(m_demoSetup, {"/S", "/LOG=" + WinePrefix::windowsPath(logFile)},
                      {"VISTREL_SENSOR_GROUP_RECORD=" + WinePrefix::windowsPath(record)});
    m_prefix->waitForPrograms();
    QFile file(logFile);
    log = file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()).remove('\r').trimmed()
                                         : QString();
    qInfo().noquote() << "setup ended with" << r.exitCode << ":" << log;
    return r.finished ? r.exitCode : -1;
}

void TestVirtualCameraUnderWine::uninstall() const
{
    QFile::remove(m_work.filePath("record.txt"));
    // The uninstaller copies itself to a temporary folder and ends at once; the copy does the work.
    const WinePrefix::Result r = m_prefix->run(
        "C:\\Program Files\\Vistrel\\uninstall.exe", {"/S"},
        {"VISTREL_SENSOR_GROUP_RECORD=" + WinePrefix::windowsPath(m_work.filePath("record.txt"))});
    QVERIFY2(r.finished && r.exitCode == 0, r.err.right(2000).constData());
    m_prefix->waitForPrograms();
}

void TestVirtualCameraUnderWine::installationGoesOnWithoutTheSystemsSupport()
{
    QString log;
    QCOMPARE(install(log), 0);
    const QStringList lines = log.split('\n');
    QCOMPARE(lines.filter(kNotSupported).size(), 1);
    QVERIFY2(lines.last().startsWith("Installed"), qPrintable(log));
    QVERIFY(QFile::exists(m_prefix->folder() + "/" + kInstallDir + "/vistrelcam.dll"));
}

QSize TestVirtualCameraUnderWine::offeredSize() const
{
    const WinePrefix::Result r = FfmpegUnderWine(*m_prefix, m_ffmpeg, m_work.path())
                                     .run({"-f", "dshow", "-list_options", "true", "-i", "video=" + kDevice});
    static const QRegularExpression option(QStringLiteral("max s=(\\d+)x(\\d+)"));
    const QRegularExpressionMatch m = option.match(QString::fromLocal8Bit(r.err));
    if (!m.hasMatch())
        qWarning().noquote() << "ffmpeg's option list:" << r.err;
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

void TestVirtualCameraUnderWine::withoutTheUsersKeyTheMachineWideCopyCounts()
{
    // The camera service has a registry of its own account, without the user's key: the driver there reads
    // the copy under HKEY_LOCAL_MACHINE. QSettings looks there for what the user's key lacks.
    QVERIFY(m_prefix->run("reg", {"query", "HKCU\\" + kSettingsPath}).exitCode != 0);
    for (const auto &[name, value] :
         {std::pair<QString, QVariant>{"videoResolution", QSize(640, 480)}, {"customResolution", true}}) {
        const WinePrefix::Result r =
            m_prefix->run("reg", regAddArguments("HKLM\\" + kSettingsPath, name, value));
        QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
    }
    QCOMPARE(offeredSize(), QSize(640, 480));

    // The user's own choice comes first.
    const WinePrefix::Result r =
        m_prefix->run("reg", regAddArguments("HKCU\\" + kSettingsPath, "videoResolution", QSize(800, 600)));
    QVERIFY2(r.finished && r.exitCode == 0, r.err.constData());
    QCOMPARE(offeredSize(), QSize(800, 600));

    m_prefix->run("reg", {"delete", "HKCU\\Software\\com.quorvane.vistrel", "/f"});
    m_prefix->run("reg", {"delete", "HKLM\\Software\\com.quorvane.vistrel", "/f"});
    uninstall();
    QVERIFY(!QFile::exists(m_prefix->folder() + "/" + kInstallDir + "/vistrelsetup.exe"));
}

void TestVirtualCameraUnderWine::setupAddsAndUninstallRemovesTheCamera()
{
    // The stand-in waits in the installation folder, where the installed settings program finds it.
    const QString folder = m_prefix->folder() + "/" + kInstallDir;
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(m_standIn, folder + "/mfsensorgroup.dll"));

    QString log;
    QCOMPARE(install(log), 0);
    QCOMPARE(log.split('\n').filter("Added the Windows virtual camera \"Vistrel\"").size(), 1);
    QCOMPARE(recorded(), expectedCalls("Start callback=null"));

    uninstall();
    QCOMPARE(recorded(), expectedCalls("Remove"));
    QVERIFY(!QFile::exists(folder + "/vistrelcam.dll"));
    QVERIFY(!QFile::exists(folder + "/vistrelsetup.exe"));
}

QTEST_GUILESS_MAIN(TestVirtualCameraUnderWine)
#include "tst_VirtualCameraUnderWine.moc"
