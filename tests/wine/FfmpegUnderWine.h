#pragma once

#include "tests/wine/RecordedFrames.h"
#include "tests/wine/WinePrefix.h"

#include <QByteArray>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class LiveRecording;

// ffmpeg's Windows build as the Wine tests use it: a DirectShow client we did not write, run in a test's Wine
// prefix from a working folder of the test's own.
class FfmpegUnderWine
{
public:
    FfmpegUnderWine(const WinePrefix &prefix, const QString &exe, const QString &workDir);

    // Runs ffmpeg quietly (no banner, no keyboard) with `args` and `extraEnv` ("NAME=value").
    WinePrefix::Result run(const QStringList &args, const QStringList &extraEnv = {}) const;
    // The DirectShow video input devices, by friendly name, as ffmpeg lists them.
    QStringList videoDevices() const;

    struct Recording
    {
        QByteArray rgb;      // the frames as rgb24, rows top-down; empty when ffmpeg failed
        int duplicated = -1; // frames ffmpeg repeated to keep the rate; -1 when it printed no progress
        QString failure;     // recordUntil: empty, or what went wrong and ffmpeg's last words
    };
    // Records `frames` frames of `device` as rgb24.
    Recording record(const QString &device, int frames, const QStringList &extraEnv = {}) const;
    // Records `device` at `size` until `done` holds for what has come so far, however long a busy machine
    // takes (the guard of minutes only stops a hang), then closes ffmpeg as a person closes an application.
    Recording recordUntil(const QString &device, QSize size,
                          const std::function<bool(const LiveRecording &)> &done,
                          const QStringList &extraEnv = {}) const;
    // A condition for recordUntil: the camera's picture has arrived, then changed, a second's worth of frames
    // later or more.
    static std::function<bool(const LiveRecording &)> cameraPictureMoved();

private:
    const WinePrefix &m_prefix;
    QString m_exe;
    QString m_workDir;
};

// ffmpeg recording a device as rgb24 into a file until it is closed, as a person closes a video application;
// the file is read while it grows.
class LiveRecording
{
public:
    LiveRecording(const WinePrefix &prefix, const QString &ffmpegExe, const QString &device,
                  const QString &file, QSize size, const QStringList &extraEnv = {});
    // The same reading of a file that another program, already started as `process`, writes as ffmpeg
    // would (rgb24, rows top-down, one frame after the other). close() is ffmpeg's: such a program is ended
    // its own way, through process().
    LiveRecording(std::unique_ptr<QProcess> process, const QString &file, QSize size);
    ~LiveRecording();
    LiveRecording(const LiveRecording &) = delete;
    LiveRecording &operator=(const LiveRecording &) = delete;

    int frames() const;
    bool running() const;
    // The kinds of the frames recorded so far, from frame `from` on.
    QVector<RecordedFrames::Kind> kinds(int from = 0) const;
    RecordedFrames::Kind lastKind() const;
    // Frame `index` (rgb24, rows top-down), or empty while it is not all written.
    QByteArray frame(int index) const;
    // Every whole frame recorded so far.
    QByteArray allFrames() const;
    // The whole frames recorded so far, from frame `from` on.
    RecordedFrames recorded(int from = 0) const;
    // Ends ffmpeg as a crash or a task manager does: nothing of it runs on.
    bool kill();
    // Closes ffmpeg as Ctrl+C does; true when it then ended by itself, saying so.
    bool close();
    // What ffmpeg printed, once it has ended.
    QString log();
    // Frames ffmpeg repeated to keep the rate, once it has ended; -1 when it printed no progress.
    int duplicated();
    QProcess &process() { return *m_process; }

private:
    int frameBytes() const { return m_size.width() * m_size.height() * 3; }
    // The whole frames written so far from frame `from` on, as raw bytes.
    QByteArray wholeFrames(int from) const;

    QString m_file;
    QSize m_size;
    std::unique_ptr<QProcess> m_process;
    QString m_log;
};
