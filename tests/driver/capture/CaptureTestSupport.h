#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class MediaProcessingThread;

// Shared by the capture thread's tests: log capture, the stand-in's call log and the settings a
// capture thread reads when it is made.
namespace CaptureTest {

// Waits are for conditions; a time-out only guards against a hang, however busy the machine.
constexpr int kGuardMs = 300000;

// Debug lines are collected from every thread from the first call on.
void captureLog();
QStringList logLines();
void clearLog();
int countLines(const QString &line);
// Waits until `line` has been logged at least `times` times.
bool waitForLine(const QString &line, int times = 1, int timeoutMs = kGuardMs);

// The stand-in's call log as "name port" lines (port omitted when the call hit no camera).
QStringList callLog();
void clearCallLog();
int countCalls(const QString &call);
bool waitForCall(const QString &call, int times = 1, int timeoutMs = kGuardMs);

struct Settings
{
    double fps = 30.0;
    bool customResolution = false;
    QSize videoResolution = QSize(960, 640);
    QVariantMap deviceInfo;
};
void saveSettings(const Settings &settings);

// The frame the pin would get now, read into a buffer of the output size.
QByteArray readFrame(MediaProcessingThread &thread);
// Waits until readFrame delivers a camera frame rather than the placeholder.
bool waitForCameraFrame(MediaProcessingThread &thread, const QByteArray &placeholder,
                        int timeoutMs = kGuardMs);

} // namespace CaptureTest
