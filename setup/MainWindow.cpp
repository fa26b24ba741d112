#include "setup/MainWindow.h"

#include "models/KeyValueItemList.h"
#include "settings/GlobalSettings.h"
#include "settings/ProductInfo.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QDesktopServices>
#include <QIcon>
#include <QMessageBox>
#include <QThread>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>
#include <QtDebug>

// Resources of a static library have to be registered by name, outside any namespace.
static void registerSetupResources()
{
    Q_INIT_RESOURCE(vistrelsetup);
}

namespace {

// The program's own icon, the default for every window it opens (the busy dialog and
// the message boxes too), as the executable's icon is on Windows.
QIcon programIcon()
{
    registerSetupResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/vistrelsetup-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow), settings(nullptr)
{
    settings = GlobalSettings::instance(this);

    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vistrel Driver"));
    if (QApplication::windowIcon().isNull())
        QApplication::setWindowIcon(programIcon());

    // The spin boxes clamp and round what the store holds to their ranges.
    const QSize resolution = settings->get_videoResolution();
    ui->edtWidth->setValue(resolution.width());
    ui->edtHeight->setValue(resolution.height());
    ui->edtFps->setValue(settings->get_videoFps());

    ui->edtWidth->setEnabled(false);
    ui->edtHeight->setEnabled(false);
    // Connected before the box is set, so a stored "on" enables the size boxes through it.
    connect(ui->cbxCustomResolution, &QCheckBox::toggled, this, [this](bool checked) {
        ui->edtWidth->setEnabled(checked);
        ui->edtHeight->setEnabled(checked);
    });
    ui->cbxCustomResolution->setChecked(settings->get_customResolution());

    connect(ui->btnWebsite, &QPushButton::clicked, this, &MainWindow::openWebsite);
    connect(ui->btnApplySettings, &QPushButton::clicked, this, &MainWindow::onApplySettingsClicked);
    connect(ui->btnRefreshCameraList, &QPushButton::clicked, this, &MainWindow::refreshCameraList);
    connect(&watcher, &QFutureWatcher<KeyValueItemList *>::finished, this, &MainWindow::onRefreshFinished);
    // The enumeration reads this mirror instead of the widget, which belongs to this thread.
    connect(ui->cbxQueryVfResolution, &QCheckBox::toggled, this,
            [this](bool checked) { viewFinderQueryRequested.store(checked); });
    viewFinderQueryRequested.store(ui->cbxQueryVfResolution->isChecked());
}

MainWindow::~MainWindow()
{
    waitForRefresh();
    MainWindow::applySettings();
    delete ui;
    progressDialog.clear();
}

void MainWindow::waitForRefresh()
{
    watcher.waitForFinished();
    // An enumeration that ended after the event loop had stopped was never handled:
    // its list belongs to no one, so it goes here.
    if (refreshRunning) {
        refreshRunning = false;
        const QFuture<KeyValueItemList *> future = watcher.future();
        if (future.resultCount() > 0)
            delete future.result();
    }
}

void MainWindow::applySettings()
{
    settings->set_videoFps(ui->edtFps->value());
    settings->set_customResolution(ui->cbxCustomResolution->isChecked());
    // Written even while the switch is off, so the size survives switching it back on.
    settings->set_videoResolution(QSize(ui->edtWidth->value(), ui->edtHeight->value()));

    if (auto *cameras = qobject_cast<KeyValueItemList *>(ui->cboCamera->model())) {
        const int row = ui->cboCamera->currentIndex();
        if (row >= 0 && row < cameras->count()) {
            if (auto *camera = qobject_cast<KeyValueItem *>(cameras->get(row)))
                settings->set_deviceInfo(camera->get_value().toMap());
        }
    }

    saveFailed = !settings->saveSettings();
}

void MainWindow::refreshCameraList()
{
    // One enumeration at a time: a second one would leave its dialog behind and its
    // list unclaimed.
    if (refreshRunning)
        return;
    refreshRunning = true;
    ui->btnRefreshCameraList->setEnabled(false);

    progressDialog = new QProgressDialog(this);
    progressDialog->setMaximum(0);
    progressDialog->setLabelText(tr("Refreshing camera list..."));
    progressDialog->setCancelButton(nullptr);
    progressDialog->show();

    QThread *const guiThread = thread();
    watcher.setFuture(QtConcurrent::run([this, guiThread]() -> KeyValueItemList * {
        KeyValueItemList *cameras = nullptr;
        try {
            cameras = refreshCameraListInternal();
        } catch (...) {
            qDebug() << "Camera enumeration failed";
            return nullptr;
        }
        // The list was made on this pool thread; the window adopts it on its own thread.
        if (cameras)
            cameras->moveToThread(guiThread);
        return cameras;
    }));
}

void MainWindow::onRefreshFinished()
{
    if (!refreshRunning)
        return;
    if (progressDialog) {
        progressDialog->close();
        progressDialog->deleteLater();
        progressDialog = nullptr;
    }

    const QFuture<KeyValueItemList *> future = watcher.future();
    KeyValueItemList *cameras = future.resultCount() > 0 ? future.result() : nullptr;
    refreshRunning = false;
    ui->btnRefreshCameraList->setEnabled(true);

    if (cameras) {
        cameras->setParent(this);
        ui->cboCamera->setModel(cameras);
    } else {
        QMessageBox::warning(this, tr("Error"),
                             tr("No camera found. Make sure that the camera is properly connected."));
    }
}

void MainWindow::onApplySettingsClicked()
{
    applySettings();
    // A store that did not take the settings (a read-only registry key, a full disk) is not a success.
    if (saveFailed) {
        QMessageBox::warning(this, tr("Settings not saved"),
                             tr("The settings could not be saved to %1. Make sure that you may change it, "
                                "then apply them again.")
                                 .arg(settings->storeLocation()));
        return;
    }
    QMessageBox::information(this, tr("Success"),
                             tr("The settings have been saved. You have to restart your app (e.g. Zoom, "
                                "Skype, etc.) so that the new settings get effective."));
}

void MainWindow::openWebsite()
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(ProductInfo::websiteUrl), QUrl::TolerantMode));
}
