#include "tests/setup/SetupTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex logMutex;
QStringList capturedLines;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&logMutex);
        capturedLines.append(message);
    }
    if (previousHandler != nullptr)
        previousHandler(type, context, message);
}

QString callLogText()
{
    const EdsUInt32 needed = EdsSimGetCallLog(nullptr, 0, false);
    QByteArray buffer(static_cast<int>(needed), '\0');
    EdsSimGetCallLog(buffer.data(), needed, false);
    return QString::fromUtf8(buffer.constData());
}

} // namespace

ModalBoxCloser::ModalBoxCloser(QObject *parent) : QObject(parent)
{
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, this, [this] { closeActiveBox(); });
    timer.start();
}

void ModalBoxCloser::closeActiveBox()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr)
        return;
    auto *box = qobject_cast<QMessageBox *>(modal);
    if (box == nullptr) {
        modal->close();
        return;
    }
    seen.append({box->windowTitle(), box->text(), box->icon(), box->parentWidget()});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->reject();
}

LogCapture::LogCapture()
{
    clear();
    previousHandler = qInstallMessageHandler(captureMessage);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
    previousHandler = nullptr;
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&logMutex);
    return capturedLines;
}

void LogCapture::clear()
{
    QMutexLocker lock(&logMutex);
    capturedLines.clear();
}

namespace SimCameras {

bool reset(const char *configuration)
{
    return EdsSimReset(configuration) == EDS_ERR_OK;
}

QStringList calls()
{
    QStringList names;
    for (const QString &line : callLogText().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        names.append(line.section(QLatin1Char('\t'), 0, 0));
    return names;
}

QStringList callsOn(const QString &port)
{
    QStringList names;
    for (const QString &line : callLogText().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.section(QLatin1Char('\t'), 1) == port)
            names.append(line.section(QLatin1Char('\t'), 0, 0));
    }
    return names;
}

void clearCalls()
{
    EdsSimClearCallLog();
}

EdsUInt32 outputDevice(const QString &port)
{
    EdsUInt32 device = 0xdeadbeef;
    EdsSimGetOutputDevice(port.toUtf8().constData(), &device);
    return device;
}

bool sessionOpen(const QString &port)
{
    EdsBool open = 0;
    EdsSimIsSessionOpen(port.toUtf8().constData(), &open);
    return open != 0;
}

} // namespace SimCameras

namespace SettingsStore {

std::unique_ptr<QSettings> open()
{
    return std::make_unique<QSettings>(QStringLiteral("com.quorvane.vistrel"), QStringLiteral("Vistrel App"));
}

void clear()
{
    auto store = open();
    store->clear();
    store->sync();
}

} // namespace SettingsStore
