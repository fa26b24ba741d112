#pragma once

#include "platform/edsdk/EDSDK.h"
#include "setup/MainWindow.h"

#include <QVariantMap>

// The settings window the program shows: finds the connected cameras through the
// camera SDK and starts the first search as soon as it exists.
class AppMainWindow : public MainWindow
{
    Q_OBJECT

public:
    explicit AppMainWindow(QWidget *parent = nullptr);
    ~AppMainWindow() override;

private slots:
    KeyValueItemList *refreshCameraListInternal() override;

private:
    // One entry per camera that answers; null when none does.
    KeyValueItemList *listCameras(EdsCameraListRef cameraList);
    // Adds `camera` to the list (created on first use) when a session with it opens.
    void appendCamera(EdsCameraRef camera, KeyValueItemList **cameras);
    // Within the session: the live-view size when asked for, the entry, and the camera's own screen back on.
    void appendOpenedCamera(EdsCameraRef camera, QVariantMap deviceInfo, KeyValueItemList **cameras);
};
