#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// An X server of its own (Xvfb) for programs with windows, ended with the object, and the few things a test
// does with it through xdotool and ImageMagick: find a window, click, type, take a screenshot.
class VirtualDisplay
{
public:
    explicit VirtualDisplay(const QString &screen = QStringLiteral("1280x800x24"));
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay &) = delete;
    VirtualDisplay &operator=(const VirtualDisplay &) = delete;

    bool isRunning() const { return !m_name.isEmpty(); }
    // ":N", for DISPLAY.
    QString name() const { return m_name; }

    // The id of the first visible window whose title matches `title` (a regular expression), waiting until
    // there is one; empty when the guard ran out.
    QString waitForWindow(const QString &title, int hangGuardMs = 5 * 60 * 1000) const;
    // Waits until no visible window's title matches; false when the guard ran out.
    bool waitForNoWindow(const QString &title, int hangGuardMs = 5 * 60 * 1000) const;
    bool hasWindow(const QString &title) const;

    // xdotool with these arguments on this display; true when it succeeded.
    bool xdotool(const QStringList &args) const;
    // The whole screen, or only the window `windowId`, as a PNG file.
    bool screenshot(const QString &pngPath, const QString &windowId = QStringLiteral("root")) const;

private:
    QString run(const QString &program, const QStringList &args, bool *ok = nullptr) const;

    QProcess m_server;
    QString m_name;
};
