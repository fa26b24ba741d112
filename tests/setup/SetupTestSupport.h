#pragma once

#include "platform/edsdk/EdsSimulator.h"

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <memory>

// Accepts every modal box as soon as it opens, so no test can hang on one, and keeps
// what each said.
class ModalBoxCloser : public QObject
{
public:
    struct Box
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QWidget *parent = nullptr;
    };

    explicit ModalBoxCloser(QObject *parent = nullptr);

    QList<Box> boxes() const { return seen; }
    void clear() { seen.clear(); }

private:
    void closeActiveBox();

    QTimer timer;
    QList<Box> seen;
};

// Collects the program's debug lines, from whichever thread writes them.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    void clear();
};

// The simulated cameras behind the SDK.
namespace SimCameras {
// Replaces all cameras; fails the calling test when the configuration is refused.
bool reset(const char *configuration);
// Names of the SDK calls made since the last reset or clear, in order.
QStringList calls();
// The same calls restricted to one camera's port.
QStringList callsOn(const QString &port);
void clearCalls();
EdsUInt32 outputDevice(const QString &port);
bool sessionOpen(const QString &port);
} // namespace SimCameras

// The settings store the program and the driver share.
namespace SettingsStore {
std::unique_ptr<QSettings> open();
void clear();
} // namespace SettingsStore

template <class T> T *formWidget(QObject *window, const char *name)
{
    return window->findChild<T *>(QString::fromLatin1(name));
}
