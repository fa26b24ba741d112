#include "tests/wine/FfmpegUnderWine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QtDebug>

#include <csignal>
#include <memory>

namespace {

// ffmpeg's progress lines carry "dup=N" once it has duplicated a frame; none means none.
int duplicatedFrames(const QString &log)
{
    static const QRegularExpression dup(QStringLiteral("dup=(\\d+)"));
    QRegularExpressionMatch last;
    for (auto it = dup.globalMatch(log); it.hasNext();)
        last = it.next();
    return !log.contains(QLatin1String("frame=")) ? -1 : last.hasMatch() ? last.captured(1).toInt() : 0;
}

} // namespace

FfmpegUnderWine::FfmpegUnderWine(const WinePrefix &prefix, const QString &exe, const QString &workDir)
    : m_prefix(prefix), m_exe(exe), m_workDir(workDir)
{
}

WinePrefix::Result FfmpegUnderWine::run(const QStringList &args, const QStringList &extraEnv) const
{
    return m_prefix.run(m_exe, QStringList{"-hide_banner", "-nostdin"} + args, extraEnv, m_workDir);
}

QStringList FfmpegUnderWine::videoDevices() const
{
    const WinePrefix::Result r = run({"-f", "dshow", "-list_devices", "true", "-i", "dummy"});
    QStringList devices;
    static const QRegularExpression name(QStringLiteral("\\]\\s+\"([^\"]+)\"\\s*$"));
    bool video = false;
    for (const QString &line : QString::fromLocal8Bit(r.err).split('\n')) {
        if (line.contains("DirectShow video devices"))
            video = true;
        else if (line.contains("DirectShow audio devices"))
            video = false;
        const QRegularExpressionMatch m = name.match(line.trimmed());
        if (video && m.hasMatch())
            devices << m.captured(1);
    }
    return devices;
}

FfmpegUnderWine::Recording FfmpegUnderWine::record(const QString &device, int frames,
                                                   const QStringList &extraEnv) const
{
    const QString output = m_workDir + QStringLiteral("/recording.rgb");
    QFile::remove(output);
    // ffmpeg's default real-time buffer is too small for uncompressed frames of this size.
    const WinePrefix::Result r = run({"-f", "dshow", "-rtbufsize", "200M", "-i", "video=" + device,
                                      "-frames:v", QString::number(frames), "-f", "rawvideo", "-pix_fmt",
                                      "rgb24", "-y", WinePrefix::windowsPath(output)},
                                     extraEnv);
    const QString log = QString::fromLocal8Bit(r.err);
    Recording recording;
    if (!r.finished || r.exitCode != 0) {
        qWarning().noquote() << "ffmpeg failed (finished" << r.finished << "exit" << r.exitCode
                             << "):" << log.right(3000);
        return recording;
    }
    recording.duplicated = duplicatedFrames(log);
    QFile file(output);
    if (file.open(QIODevice::ReadOnly))
        recording.rgb = file.readAll();
    return recording;
}

FfmpegUnderWine::Recording
FfmpegUnderWine::recordUntil(const QString &device, QSize size,
                             const std::function<bool(const LiveRecording &)> &done,
                             const QStringList &extraEnv) const
{
    constexpr int kGuardMs = 5 * 60 * 1000;
    LiveRecording live(m_prefix, m_exe, device, m_workDir + QStringLiteral("/live.rgb"), size, extraEnv);
    QElapsedTimer guard;
    guard.start();
    bool met = false;
    while (live.running() && !(met = done(live)) && guard.elapsed() < kGuardMs)
        QTest::qWait(100);
    const bool endedByItself = !live.running();
    const bool closed = !endedByItself && live.close();
    Recording recording;
    recording.rgb = live.allFrames();
    recording.duplicated = live.duplicated();
    if (endedByItself)
        recording.failure = QStringLiteral("ffmpeg ended by itself");
    else if (!met)
        recording.failure = QStringLiteral("not there after %1 minutes").arg(kGuardMs / 60000);
    else if (!closed)
        recording.failure = QStringLiteral("ffmpeg did not end when closed");
    if (!recording.failure.isEmpty())
        recording.failure +=
            QStringLiteral(" (%1 frames); ffmpeg's last words: ").arg(live.frames()) + live.log();
    return recording;
}

std::function<bool(const LiveRecording &)> FfmpegUnderWine::cameraPictureMoved()
{
    auto first = std::make_shared<QByteArray>();
    auto firstSeenAt = std::make_shared<int>(0);
    return [first, firstSeenAt](const LiveRecording &live) {
        const int frames = live.frames();
        if (first->isEmpty()) {
            if (frames == 0 || live.lastKind() != RecordedFrames::Kind::CameraPicture)
                return false;
            *first = live.frame(frames - 1);
            *firstSeenAt = frames;
            return false;
        }
        return frames >= *firstSeenAt + 30 && live.frame(frames - 1) != *first;
    };
}

LiveRecording::LiveRecording(const WinePrefix &prefix, const QString &ffmpegExe, const QString &device,
                             const QString &file, QSize size, const QStringList &extraEnv)
    : m_file(file), m_size(size)
{
    QFile::remove(file);
    m_process = prefix.start(ffmpegExe,
                             {"-hide_banner", "-nostdin", "-f", "dshow", "-rtbufsize", "200M", "-i",
                              "video=" + device, "-f", "rawvideo", "-pix_fmt", "rgb24", "-y",
                              WinePrefix::windowsPath(file)},
                             extraEnv, QFileInfo(file).absolutePath());
    m_process->waitForStarted(60 * 1000);
}

LiveRecording::LiveRecording(std::unique_ptr<QProcess> process, const QString &file, QSize size)
    : m_file(file), m_size(size), m_process(std::move(process))
{
}

LiveRecording::~LiveRecording()
{
    if (running())
        close();
}

int LiveRecording::frames() const
{
    return int(QFileInfo(m_file).size() / frameBytes());
}

bool LiveRecording::running() const
{
    return m_process->state() == QProcess::Running;
}

QVector<RecordedFrames::Kind> LiveRecording::kinds(int from) const
{
    QFile file(m_file);
    QVector<RecordedFrames::Kind> result;
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(from) * frameBytes()))
        return result;
    // Only whole frames: ffmpeg may be writing the next one.
    for (QByteArray frame = file.read(frameBytes()); frame.size() == frameBytes();
         frame = file.read(frameBytes()))
        result << RecordedFrames(frame, m_size.width(), m_size.height()).kindOf(0);
    return result;
}

RecordedFrames::Kind LiveRecording::lastKind() const
{
    const int count = frames();
    return count > 0 ? kinds(count - 1).value(0, RecordedFrames::Kind::Other) : RecordedFrames::Kind::Other;
}

QByteArray LiveRecording::frame(int index) const
{
    QFile file(m_file);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(qint64(index) * frameBytes()))
        return {};
    const QByteArray frame = file.read(frameBytes());
    return frame.size() == frameBytes() ? frame : QByteArray();
}

QByteArray LiveRecording::wholeFrames(int from) const
{
    QFile file(m_file);
    QByteArray raw;
    if (file.open(QIODevice::ReadOnly) && file.seek(qint64(from) * frameBytes()))
        raw = file.readAll();
    // Only whole frames: ffmpeg may be writing the next one.
    raw.truncate(raw.size() / frameBytes() * frameBytes());
    return raw;
}

QByteArray LiveRecording::allFrames() const
{
    return wholeFrames(0);
}

RecordedFrames LiveRecording::recorded(int from) const
{
    return RecordedFrames(wholeFrames(from), m_size.width(), m_size.height());
}

bool LiveRecording::kill()
{
    ::kill(pid_t(m_process->processId()), SIGKILL);
    return m_process->waitForFinished(5 * 60 * 1000);
}

bool LiveRecording::close()
{
    // Wine turns the signal into the console's Ctrl+C, which ffmpeg answers by finishing its file.
    ::kill(pid_t(m_process->processId()), SIGINT);
    if (!m_process->waitForFinished(5 * 60 * 1000))
        return false;
    return m_process->exitStatus() == QProcess::NormalExit && log().contains("Exiting normally");
}

QString LiveRecording::log()
{
    if (!running())
        m_log += QString::fromLocal8Bit(m_process->readAllStandardError());
    return m_log.right(2000);
}

int LiveRecording::duplicated()
{
    log();
    return duplicatedFrames(m_log);
}
