#include "settings/GlobalSettings.h"

#include "settings/ProductInfo.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMetaType>
#include <QPointer>
#include <QSettings>
#include <QtGlobal>

#include <new>

namespace {
const char *const applicationName = "Vistrel App";
const char *const organisationName = "com.quorvane.vistrel";

// Keys in the order in which they are read and written.
const QString keySelectedLanguage = QStringLiteral("selectedLanguage");
const QString keyLastAppVersion = QStringLiteral("lastAppVersion");
const QString keyVideoResolution = QStringLiteral("videoResolution");
const QString keyVideoFps = QStringLiteral("videoFps");
const QString keyCustomResolution = QStringLiteral("customResolution");
const QString keyDeviceInfo = QStringLiteral("deviceInfo");

// Window keys share one pattern so further windows can keep their own state.
QString windowKey(const char *pattern)
{
    return QString::fromLatin1(pattern).arg(QStringLiteral("Main"));
}
const char *const patternWindowMaximized = "desktop%1WindowMaximized";
const char *const patternWindowSize = "desktop%1WindowSize";
const char *const patternWindowPos = "desktop%1WindowPos";

// The stored value, or the fallback when the key is absent or its value cannot be read as the
// setting's type (a hand-edited or damaged store): a default serves the reader better than the
// type's empty value. The log line tells why a choice was lost.
QVariant storedValue(const QSettings &settings, const QString &key, const QVariant &fallback, int typeId)
{
    QVariant value;
    try {
        value = settings.value(key, fallback);
    } catch (const std::bad_alloc &) {
        // Qt decodes a damaged stored value with absurd counts into an allocation that fails.
        qDebug().nospace() << "Settings value " << key << " cannot be read; using its default";
        return fallback;
    }
    QVariant probe = value;
    if (value.isValid() && !probe.convert(typeId)) {
        qDebug().nospace() << "Settings value " << key << " cannot be read as " << QMetaType::typeName(typeId)
                           << "; using its default";
        return fallback;
    }
    return value;
}

// Frame rates closer than this are the same rate; spares listeners from float noise.
constexpr double fpsTolerance = 1e-9;
} // namespace

GlobalSettings::GlobalSettings(QObject *parent) : QObject(parent), desktopMainWindowPos(0, 0) {}

GlobalSettings *GlobalSettings::instance(QObject *parent)
{
    // Weak on purpose: the owner (window or capture thread) decides the lifetime.
    static QPointer<GlobalSettings> live;
    if (live) {
        return live;
    }
    auto *created = new GlobalSettings(parent);
    QCoreApplication::setApplicationName(QString::fromLatin1(applicationName));
    QCoreApplication::setOrganizationName(QString::fromLatin1(organisationName));
    {
        QSettings settings(QCoreApplication::organizationName(), QCoreApplication::applicationName());
        created->loadSettings(settings);
    }
    live = created;
    return created;
}

void GlobalSettings::loadSettings(QSettings &settings)
{
    selectedLanguage = storedValue(settings, keySelectedLanguage, QString(), QMetaType::QString).toString();
    lastAppVersion = storedValue(settings, keyLastAppVersion, 0, QMetaType::Int).toInt();
    videoResolution =
        storedValue(settings, keyVideoResolution, ProductInfo::defaultVideoSize, QMetaType::QSize).toSize();
    videoFps = storedValue(settings, keyVideoFps, 30, QMetaType::Double).toDouble();
    customResolution = storedValue(settings, keyCustomResolution, false, QMetaType::Bool).toBool();
    deviceInfo = storedValue(settings, keyDeviceInfo, QVariant(), QMetaType::QVariantMap).toMap();
    desktopMainWindowMaximized =
        storedValue(settings, windowKey(patternWindowMaximized), false, QMetaType::Bool).toBool();
    desktopMainWindowSize =
        storedValue(settings, windowKey(patternWindowSize), QSize(0, 0), QMetaType::QSize).toSize();
    desktopMainWindowPos =
        storedValue(settings, windowKey(patternWindowPos), QPoint(-1, -1), QMetaType::QPoint).toPoint();
}

void GlobalSettings::writeSettings(QSettings &settings)
{
    settings.setValue(keySelectedLanguage, QVariant(selectedLanguage));
    settings.setValue(keyLastAppVersion, QVariant(lastAppVersion));
    settings.setValue(keyVideoResolution, QVariant(videoResolution));
    settings.setValue(keyVideoFps, QVariant(videoFps));
    settings.setValue(keyCustomResolution, QVariant(customResolution));
    settings.setValue(keyDeviceInfo, QVariant(deviceInfo));
    settings.setValue(windowKey(patternWindowMaximized), QVariant(desktopMainWindowMaximized));
    settings.setValue(windowKey(patternWindowSize), QVariant(desktopMainWindowSize));
    settings.setValue(windowKey(patternWindowPos), QVariant(desktopMainWindowPos));
}

bool GlobalSettings::saveSettings()
{
    // Clearing first drops keys that no longer belong to the store; QSettings
    // writes the result in one go.
    QSettings settings(QCoreApplication::organizationName(), QCoreApplication::applicationName());
    const auto rewrite = [this, &settings] {
        settings.clear();
        writeSettings(settings);
        settings.sync();
    };
    try {
        rewrite();
    } catch (const std::bad_alloc &) {
        // Qt decodes the old file before it replaces it, and a damaged one cannot be decoded.
        // Everything in it is being replaced anyway: it goes, and the values go to a new file.
        qDebug() << "Settings file" << settings.fileName() << "is damaged and is replaced";
        QFile::remove(settings.fileName());
        try {
            settings.sync(); // forget the damaged contents
            rewrite();
        } catch (const std::bad_alloc &) {
            qDebug() << "Settings could not be saved to" << settings.fileName();
            return false;
        }
    }
    if (settings.status() != QSettings::NoError) {
        qDebug() << "Settings could not be saved to" << settings.fileName();
        return false;
    }
    return true;
}

QString GlobalSettings::storeLocation() const
{
    return locationAsUserReadsIt(
        QSettings(QCoreApplication::organizationName(), QCoreApplication::applicationName()).fileName());
}

QString GlobalSettings::locationAsUserReadsIt(const QString &fileName)
{
    // Qt names a registry key "\HKEY_CURRENT_USER\Software\..."; regedit and Windows' own messages have no
    // leading backslash.
    if (fileName.startsWith(QLatin1String("\\HKEY_")))
        return fileName.mid(1);
    return QDir::toNativeSeparators(fileName);
}

bool GlobalSettings::isSandboxed() const
{
    return false;
}

void GlobalSettings::selectLanguage(QString shortCode)
{
    // Only one language ships; the choice is accepted and ignored.
    Q_UNUSED(shortCode);
}

bool GlobalSettings::set_selectedLanguage(QString selectedLanguage)
{
    if (this->selectedLanguage == selectedLanguage) {
        return false;
    }
    this->selectedLanguage = selectedLanguage;
    emit selectedLanguageChanged(selectedLanguage);
    return true;
}

bool GlobalSettings::set_lastAppVersion(int lastAppVersion)
{
    if (this->lastAppVersion == lastAppVersion) {
        return false;
    }
    this->lastAppVersion = lastAppVersion;
    emit lastAppVersionChanged(lastAppVersion);
    return true;
}

bool GlobalSettings::set_desktopMainWindowMaximized(bool desktopMainWindowMaximized)
{
    if (this->desktopMainWindowMaximized == desktopMainWindowMaximized) {
        return false;
    }
    this->desktopMainWindowMaximized = desktopMainWindowMaximized;
    emit desktopMainWindowMaximizedChanged(desktopMainWindowMaximized);
    return true;
}

bool GlobalSettings::set_desktopMainWindowSize(QSize desktopMainWindowSize)
{
    if (this->desktopMainWindowSize == desktopMainWindowSize) {
        return false;
    }
    this->desktopMainWindowSize = desktopMainWindowSize;
    emit desktopMainWindowSizeChanged(desktopMainWindowSize);
    return true;
}

bool GlobalSettings::set_desktopMainWindowPos(QPoint desktopMainWindowPos)
{
    if (this->desktopMainWindowPos == desktopMainWindowPos) {
        return false;
    }
    this->desktopMainWindowPos = desktopMainWindowPos;
    emit desktopMainWindowPosChanged(desktopMainWindowPos);
    return true;
}

bool GlobalSettings::set_videoResolution(QSize videoResolution)
{
    if (this->videoResolution == videoResolution) {
        return false;
    }
    this->videoResolution = videoResolution;
    emit videoResolutionChanged(videoResolution);
    return true;
}

bool GlobalSettings::set_videoFps(double videoFps)
{
    if (qAbs(this->videoFps - videoFps) < fpsTolerance) {
        return false;
    }
    this->videoFps = videoFps;
    emit videoFpsChanged(videoFps);
    return true;
}

bool GlobalSettings::set_customResolution(bool customResolution)
{
    if (this->customResolution == customResolution) {
        return false;
    }
    this->customResolution = customResolution;
    emit customResolutionChanged(customResolution);
    return true;
}

bool GlobalSettings::set_deviceInfo(QVariantMap deviceInfo)
{
    if (this->deviceInfo == deviceInfo) {
        return false;
    }
    this->deviceInfo = deviceInfo;
    emit deviceInfoChanged(deviceInfo);
    return true;
}
