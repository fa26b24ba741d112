#include "tests/driver/capture/CaptureTestSupport.h"

#include "driver/capture/MediaProcessingThread.h"
#include "platform/edsdk/EdsSimulator.h"
#include "settings/GlobalSettings.h"

#include <QDeadlineTimer>
#include <QThread>

#include <mutex>

namespace CaptureTest {
namespace {

std::mutex logMutex;
QStringList lines;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(logMutex);
    lines << message;
}

template <typename Condition> bool waitFor(Condition condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

} // namespace

void captureLog()
{
    qInstallMessageHandler(collect);
}

QStringList logLines()
{
    // A list of its own, not one sharing its data with the collector's: Qt's sharing check is a
    // relaxed read, which the thread sanitizer rightly reports against a concurrent append.
    std::lock_guard<std::mutex> lock(logMutex);
    QStringList copy;
    copy.reserve(lines.size());
    for (const QString &line : lines)
        copy << line;
    return copy;
}

void clearLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    lines.clear();
}

int countLines(const QString &line)
{
    std::lock_guard<std::mutex> lock(logMutex);
    return int(lines.count(line));
}

bool waitForLine(const QString &line, int times, int timeoutMs)
{
    return waitFor([&] { return countLines(line) >= times; }, timeoutMs);
}

QStringList callLog()
{
    for (;;) {
        QByteArray buffer(int(EdsSimGetCallLog(nullptr, 0, 0)) + 65536, '\0');
        if (EdsSimGetCallLog(buffer.data(), EdsUInt32(buffer.size()), 0) > EdsUInt32(buffer.size()))
            continue;
        QStringList calls;
        for (const QString &entry : QString::fromUtf8(buffer.constData()).split('\n', Qt::SkipEmptyParts))
            calls << entry.split('\t').join(' ').trimmed();
        return calls;
    }
}

void clearCallLog()
{
    EdsSimClearCallLog();
}

int countCalls(const QString &call)
{
    return int(callLog().count(call));
}

bool waitForCall(const QString &call, int times, int timeoutMs)
{
    return waitFor([&] { return countCalls(call) >= times; }, timeoutMs);
}

void saveSettings(const Settings &values)
{
    GlobalSettings *settings = GlobalSettings::instance(nullptr);
    settings->set_videoFps(values.fps);
    settings->set_customResolution(values.customResolution);
    settings->set_videoResolution(values.videoResolution);
    settings->set_deviceInfo(values.deviceInfo);
    settings->saveSettings();
    delete settings;
}

QByteArray readFrame(MediaProcessingThread &thread)
{
    const QSize size = thread.outputSize();
    QByteArray frame(size.width() * size.height() * 3, '\0');
    frame.resize(thread.readFrame(frame.data(), frame.size()));
    return frame;
}

bool waitForCameraFrame(MediaProcessingThread &thread, const QByteArray &placeholder, int timeoutMs)
{
    return waitFor(
        [&] {
            const QByteArray frame = readFrame(thread);
            return !frame.isEmpty() && frame != placeholder;
        },
        timeoutMs);
}

} // namespace CaptureTest
