#include "driver/capture/Placeholder.h"

#include "driver/capture/FrameConverter.h"

#include <QDebug>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <mutex>
#include <new>

// Resources compiled into a static library are not registered by themselves; this has to be
// called before the first use, from outside any namespace.
static void registerPlaceholderResource()
{
    Q_INIT_RESOURCE(placeholder);
}

namespace {

const char *const embeddedPath = ":/vistrel/placeholder.png";

std::atomic<void (*)()> s_buildHook{nullptr};
QMutex s_sourceMutex;
QString s_sourceOverride;

QString sourcePath()
{
    QMutexLocker lock(&s_sourceMutex);
    return s_sourceOverride.isEmpty() ? QString::fromLatin1(embeddedPath) : s_sourceOverride;
}

} // namespace

namespace Placeholder {

QImage picture()
{
    static std::once_flag registered;
    std::call_once(registered, registerPlaceholderResource);
    return QImage(sourcePath());
}

QByteArray frame(const QSize &size)
{
    if (const auto hook = s_buildHook.load())
        hook();
    QByteArray bytes;
    if (size.width() <= 0 || size.height() <= 0 || size.width() > FrameConverter::maxSide ||
        size.height() > FrameConverter::maxSide) {
        qDebug() << "Placeholder picture not built for size" << size;
        return bytes;
    }
    try {
        QImage image = picture();
        if (image.isNull()) {
            qDebug() << "Placeholder picture could not be decoded";
            return bytes;
        }
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (image.format() != QImage::Format_RGB888)
            image = image.convertToFormat(QImage::Format_RGB888);
        image = std::move(image).rgbSwapped();
        qDebug() << image.size() << size;
        if (!FrameConverter::copyBottomUp(image, bytes))
            bytes.clear();
    } catch (const std::bad_alloc &) {
        qDebug() << "Placeholder picture not built: out of memory";
        bytes.clear();
    }
    return bytes;
}

void setSourceForTesting(const QString &path)
{
    QMutexLocker lock(&s_sourceMutex);
    s_sourceOverride = path;
}

void setBuildHookForTesting(void (*hook)())
{
    s_buildHook = hook;
}

} // namespace Placeholder
