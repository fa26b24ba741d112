#include "tests/wine/WinePrefix.h"

#include <QtEndian>

#include <QFile>

#include <QDir>
#include <QProcess>

QString WinePrefix::loader(Bits bits)
{
    return bits == Bits::x64 ? QStringLiteral("/usr/lib/wine/wine64") : QStringLiteral("/usr/lib/wine/wine");
}

QString WinePrefix::systemProgram(const QString &name, Bits bits)
{
    // A 64-bit prefix keeps its 32-bit system programs in syswow64.
    return (bits == Bits::x64 ? QStringLiteral("C:\\windows\\system32\\")
                              : QStringLiteral("C:\\windows\\syswow64\\")) +
           name + QStringLiteral(".exe");
}

WinePrefix::WinePrefix()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder for the Wine prefix");
        return;
    }
    const Result boot = run(QStringLiteral("wineboot"), {QStringLiteral("-i")});
    waitForPrograms();
    if (!boot.finished || !QDir(m_dir.filePath(QStringLiteral("drive_c/windows"))).exists())
        m_error = QStringLiteral("wineboot did not make the prefix: ") +
                  QString::fromLocal8Bit(boot.err.right(2000));
}

bool WinePrefix::runs32BitPrograms() const
{
    const Result r = run(systemProgram(QStringLiteral("reg"), Bits::x86),
                         {QStringLiteral("query"), QStringLiteral("HKCU\\Software")});
    return r.finished && r.exitCode == 0;
}

WinePrefix::~WinePrefix()
{
    if (!m_dir.isValid())
        return;
    // Programs still running (a test that failed half-way) end with the prefix; its folder goes with m_dir.
    endPrograms();
}

void WinePrefix::endPrograms() const
{
    QProcess killer;
    killer.setProcessEnvironment(environment());
    killer.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
    killer.waitForFinished(60 * 1000);
    waitForPrograms();
}

QProcessEnvironment WinePrefix::environment(const QStringList &extraEnv) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("WINEPREFIX"), m_dir.path());
    env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    env.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
    env.remove(QStringLiteral("DISPLAY"));
    for (const QString &entry : extraEnv) {
        const int eq = entry.indexOf(QLatin1Char('='));
        if (eq > 0)
            env.insert(entry.left(eq), entry.mid(eq + 1));
    }
    return env;
}

WinePrefix::Result WinePrefix::run(const QString &program, const QStringList &args,
                                   const QStringList &extraEnv, const QString &workDir, int hangGuardMs) const
{
    Result result;
    QProcess process;
    process.setProcessEnvironment(environment(extraEnv));
    process.setWorkingDirectory(workDir.isEmpty() ? m_dir.path() : workDir);
    process.start(loader(Bits::x64), QStringList{program} + args);
    if (!process.waitForStarted(60 * 1000)) {
        result.err = "wine64 did not start";
        return result;
    }
    process.closeWriteChannel();
    result.finished = process.waitForFinished(hangGuardMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(30 * 1000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

std::unique_ptr<QProcess> WinePrefix::start(const QString &program, const QStringList &args,
                                            const QStringList &extraEnv, const QString &workDir) const
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(environment(extraEnv));
    process->setWorkingDirectory(workDir.isEmpty() ? m_dir.path() : workDir);
    process->start(loader(Bits::x64), QStringList{program} + args);
    return process;
}

void WinePrefix::waitForPrograms() const
{
    QProcess waiter;
    waiter.setProcessEnvironment(environment());
    waiter.start(QStringLiteral("wineserver"), {QStringLiteral("-w")});
    waiter.waitForFinished(5 * 60 * 1000);
}

QString WinePrefix::copyWindowsFiles(const QString &bin) const
{
    const QString folder = m_dir.filePath(QStringLiteral("drive_c/Program Files/Vistrel"));
    if (!QDir().mkpath(folder))
        return {};
    for (const QString &name :
         QDir(bin).entryList({QStringLiteral("*.dll"), QStringLiteral("*.exe")}, QDir::Files))
        if (!QFile::copy(bin + QLatin1Char('/') + name, folder + QLatin1Char('/') + name))
            return {};
    return folder;
}

bool WinePrefix::writeAs32BitLibrary(const QString &from, const QString &to)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = in.readAll();
    // The PE header's offset is at 0x3C; the header is "PE\0\0" and the machine type (x64: 0x8664).
    if (bytes.size() < 0x40)
        return false;
    const quint32 pe = qFromLittleEndian<quint32>(bytes.constData() + 0x3C);
    if (bytes.mid(pe, 6) != QByteArray("PE\0\0\x64\x86", 6))
        return false;
    bytes[pe + 4] = '\x4c'; // i386: 0x014c
    bytes[pe + 5] = '\x01';
    QFile out(to);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

QString WinePrefix::windowsPath(const QString &unixPath)
{
    QString path = QDir(unixPath).absolutePath();
    return QStringLiteral("Z:") + path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}
