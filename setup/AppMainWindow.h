#pragma once

#include "setup/MainWindow.h"

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
};
