#pragma once

#include <QFutureWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>

class GlobalSettings;
class KeyValueItemList;

namespace Ui {
class MainWindow;
}

// The settings window: the form, the settings it edits, and a camera refresh that
// runs in the background behind a busy dialog. How cameras are found is left to a
// subclass, so this class knows nothing of the camera SDK.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

protected slots:
    // Writes the form into the settings store and saves it.
    virtual void applySettings();
    // Shows the busy dialog and starts one enumeration on the global thread pool.
    virtual void refreshCameraList();
    // Runs on a pool thread. Returns a new list without parent, or null when no camera
    // could be listed; the caller takes ownership.
    virtual KeyValueItemList *refreshCameraListInternal() = 0;

protected:
    // "Query view finder resolution" as last set by the user. Safe to call from the
    // enumeration's thread, which must never touch a widget.
    bool isViewFinderQueryRequested() const { return viewFinderQueryRequested.load(); }
    // Blocks until the running enumeration, if any, has returned. A subclass calls it
    // from its own destructor: the enumeration reaches it through a virtual call.
    void waitForRefresh();

private:
    void onRefreshFinished();
    void onApplySettingsClicked();
    void openWebsite();

    Ui::MainWindow *ui;
    // A child of this window (the settings object is created with it as parent).
    GlobalSettings *settings;
    QFutureWatcher<KeyValueItemList *> watcher;
    QPointer<QProgressDialog> progressDialog;

    std::atomic<bool> viewFinderQueryRequested{false};
    // True from the start of an enumeration until its result has been handled; at
    // most one runs at a time.
    bool refreshRunning = false;
    // The last save did not reach the store.
    bool saveFailed = false;
};
