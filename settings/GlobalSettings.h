#pragma once

#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>

class QSettings;

// The user's choices shared by the settings program (which writes them) and the
// driver (which reads them when a video application opens the camera).
class GlobalSettings : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString selectedLanguage READ get_selectedLanguage WRITE set_selectedLanguage NOTIFY
                   selectedLanguageChanged)
    Q_PROPERTY(
        int lastAppVersion READ get_lastAppVersion WRITE set_lastAppVersion NOTIFY lastAppVersionChanged)
    Q_PROPERTY(bool desktopMainWindowMaximized READ get_desktopMainWindowMaximized WRITE
                   set_desktopMainWindowMaximized NOTIFY desktopMainWindowMaximizedChanged)
    Q_PROPERTY(QSize desktopMainWindowSize READ get_desktopMainWindowSize NOTIFY desktopMainWindowSizeChanged)
    Q_PROPERTY(QPoint desktopMainWindowPos READ get_desktopMainWindowPos NOTIFY desktopMainWindowPosChanged)
    Q_PROPERTY(QSize videoResolution READ get_videoResolution WRITE set_videoResolution NOTIFY
                   videoResolutionChanged)
    Q_PROPERTY(double videoFps READ get_videoFps WRITE set_videoFps NOTIFY videoFpsChanged)
    Q_PROPERTY(bool customResolution READ get_customResolution WRITE set_customResolution NOTIFY
                   customResolutionChanged)
    Q_PROPERTY(QVariantMap deviceInfo READ get_deviceInfo WRITE set_deviceInfo NOTIFY deviceInfoChanged)

public:
    // The one live settings object; created with `parent` and loaded from the store
    // when none exists. Never null.
    static GlobalSettings *instance(QObject *parent);

    QString get_selectedLanguage() const { return selectedLanguage; }
    int get_lastAppVersion() const { return lastAppVersion; }
    bool get_desktopMainWindowMaximized() const { return desktopMainWindowMaximized; }
    QSize get_desktopMainWindowSize() const { return desktopMainWindowSize; }
    QPoint get_desktopMainWindowPos() const { return desktopMainWindowPos; }
    QSize get_videoResolution() const { return videoResolution; }
    double get_videoFps() const { return videoFps; }
    bool get_customResolution() const { return customResolution; }
    QVariantMap get_deviceInfo() const { return deviceInfo; }

    Q_INVOKABLE bool isSandboxed() const;
    Q_INVOKABLE void selectLanguage(QString shortCode);

signals:
    void selectedLanguageChanged(QString selectedLanguage);
    void lastAppVersionChanged(int lastAppVersion);
    void desktopMainWindowMaximizedChanged(bool desktopMainWindowMaximized);
    void desktopMainWindowSizeChanged(QSize desktopMainWindowSize);
    void desktopMainWindowPosChanged(QPoint desktopMainWindowPos);
    void videoResolutionChanged(QSize videoResolution);
    void videoFpsChanged(double videoFps);
    void customResolutionChanged(bool customResolution);
    void deviceInfoChanged(QVariantMap deviceInfo);

public slots:
    bool set_selectedLanguage(QString selectedLanguage);
    bool set_lastAppVersion(int lastAppVersion);
    bool set_desktopMainWindowMaximized(bool desktopMainWindowMaximized);

protected slots:
    // Window geometry is only carried through the store, never set from outside.
    bool set_desktopMainWindowSize(QSize desktopMainWindowSize);
    bool set_desktopMainWindowPos(QPoint desktopMainWindowPos);

public slots:
    bool set_videoResolution(QSize videoResolution);
    bool set_videoFps(double videoFps);
    bool set_customResolution(bool customResolution);
    bool set_deviceInfo(QVariantMap deviceInfo);
    // Replaces the whole store with the current values. False (and a log line) when the
    // store did not take them, so that a caller need not claim success.
    bool saveSettings();
    // Where the store lives, as a person would look for it: the registry key on Windows, the file
    // elsewhere.
    QString storeLocation() const;
    // QSettings' name of a store, `fileName`, as a person reads it.
    static QString locationAsUserReadsIt(const QString &fileName);

protected:
    explicit GlobalSettings(QObject *parent);

private:
    void loadSettings(QSettings &settings);
    void writeSettings(QSettings &settings);

    QString selectedLanguage;
    int lastAppVersion = 0;
    bool desktopMainWindowMaximized = false;
    QSize desktopMainWindowSize;
    QPoint desktopMainWindowPos;
    QSize videoResolution;
    double videoFps = 30.0;
    bool customResolution = false;
    QVariantMap deviceInfo;
};
