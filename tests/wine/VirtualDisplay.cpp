#include "tests/wine/VirtualDisplay.h"

#include <QElapsedTimer>
#include <QThread>

namespace {

// How often the window list is looked at while waiting for a window to come or go.
constexpr int kPollMs = 200;

} // namespace

VirtualDisplay::VirtualDisplay(const QString &screen)
{
    // Xvfb picks a free display number and writes it to the descriptor given with -displayfd (here its
    // standard output) once it accepts connections.
    m_server.setProcessChannelMode(QProcess::SeparateChannels);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_server.waitForStarted(60 * 1000))
        return;
    QByteArray number;
    while (!number.contains('\n') && m_server.state() == QProcess::Running) {
        m_server.waitForReadyRead(60 * 1000);
        number += m_server.readAllStandardOutput();
    }
    if (number.trimmed().isEmpty())
        return;
    m_name = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
}

VirtualDisplay::~VirtualDisplay()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(60 * 1000)) {
        m_server.kill();
        m_server.waitForFinished(60 * 1000);
    }
}

QString VirtualDisplay::run(const QString &program, const QStringList &args, bool *ok) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    process.start(program, args);
    const bool finished = process.waitForFinished(5 * 60 * 1000);
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

bool VirtualDisplay::hasWindow(const QString &title) const
{
    return !run(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title})
                .trimmed()
                .isEmpty();
}

QString VirtualDisplay::waitForWindow(const QString &title, int hangGuardMs) const
{
    QElapsedTimer guard;
    guard.start();
    while (guard.elapsed() < hangGuardMs) {
        const QStringList ids =
            run(QStringLiteral("xdotool"),
                {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), title})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        if (!ids.isEmpty())
            return ids.first();
        QThread::msleep(kPollMs);
    }
    return {};
}

bool VirtualDisplay::waitForNoWindow(const QString &title, int hangGuardMs) const
{
    QElapsedTimer guard;
    guard.start();
    while (guard.elapsed() < hangGuardMs) {
        if (!hasWindow(title))
            return true;
        QThread::msleep(kPollMs);
    }
    return false;
}

bool VirtualDisplay::xdotool(const QStringList &args) const
{
    bool ok = false;
    run(QStringLiteral("xdotool"), args, &ok);
    return ok;
}

bool VirtualDisplay::screenshot(const QString &pngPath, const QString &windowId) const
{
    bool ok = false;
    run(QStringLiteral("import"), {QStringLiteral("-window"), windowId, pngPath}, &ok);
    return ok;
}
