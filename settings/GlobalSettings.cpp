#include "settings/GlobalSettings.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSettings>
#include <QtGlobal>

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
    selectedLanguage = settings.value(keySelectedLanguage, QString()).toString();
    lastAppVersion = settings.value(keyLastAppVersion, 0).toInt();
    videoResolution = settings.value(keyVideoResolution, QSize(960, 640)).toSize();
    videoFps = settings.value(keyVideoFps, 30).toDouble();
    customResolution = settings.value(keyCustomResolution, false).toBool();
    deviceInfo = settings.value(keyDeviceInfo, QVariant()).toMap();
    desktopMainWindowMaximized = settings.value(windowKey(patternWindowMaximized), false).toBool();
    desktopMainWindowSize = settings.value(windowKey(patternWindowSize), QSize(0, 0)).toSize();
    desktopMainWindowPos = settings.value(windowKey(patternWindowPos), QPoint(-1, -1)).toPoint();
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

void GlobalSettings::saveSettings()
{
    // Clearing first drops keys that no longer belong to the store; QSettings
    // writes the result in one go when the object closes.
    QSettings settings(QCoreApplication::organizationName(), QCoreApplication::applicationName());
    settings.clear();
    writeSettings(settings);
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
