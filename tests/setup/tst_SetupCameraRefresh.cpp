// Finding cameras in the background: the busy dialog, the list it installs, the
// live-view measurement and what the user sees when nothing is found.
#include "models/KeyValueItemList.h"
#include "setup/AppMainWindow.h"
#include "setup/ViewFinderQuery.h"
#include "tests/setup/SetupTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

#include <chrono>
#include <memory>

using namespace std::chrono_literals;

namespace {
const int refreshTimeoutMs = 300000;
const QString noCameraText =
    QStringLiteral("No camera found. Make sure that the camera is properly connected.");
} // namespace

class CameraRefreshTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void busyDialogWhileRefreshing();
    void nothingFoundKeepsPreviousList_data();
    void nothingFoundKeepsPreviousList();
    void twoCamerasOfOneModel();
    void queryOffLeavesLiveViewAlone();
    void queryOnMeasuresLiveView();
    void queryOnWithFailures_data();
    void queryOnWithFailures();
    void camerasThatCannotBeOpenedAreLeftOut_data();
    void camerasThatCannotBeOpenedAreLeftOut();
    void firstCameraIsCurrentAfterRefresh();
    void closingDuringRefreshWaitsAndSaves();

private:
    void openWindow();
    bool waitForRefreshEnd();
    void refreshWithQuery();
    KeyValueItemList *cameraList() const;
    QVariantMap deviceInfoAt(int row) const;
    void verifySdkLeftClean();

    std::unique_ptr<ModalBoxCloser> boxes;
    std::unique_ptr<LogCapture> log;
    AppMainWindow *window = nullptr;
};

void CameraRefreshTest::initTestCase()
{
    // The simulated cameras below start their live view at once.
    ViewFinderQuery::setStartDelay(0ms);
}

void CameraRefreshTest::init()
{
    SettingsStore::clear();
    QVERIFY(SimCameras::reset("Canon EOS 90D"));
    boxes = std::make_unique<ModalBoxCloser>();
    log = std::make_unique<LogCapture>();
}

void CameraRefreshTest::cleanup()
{
    delete window;
    window = nullptr;
    log.reset();
    boxes.reset();
    ViewFinderQuery::setStartDelay(0ms);
}

void CameraRefreshTest::openWindow()
{
    window = new AppMainWindow;
    QVERIFY(waitForRefreshEnd());
}

bool CameraRefreshTest::waitForRefreshEnd()
{
    auto *refresh = formWidget<QPushButton>(window, "btnRefreshCameraList");
    return QTest::qWaitFor(
        [&] { return refresh->isEnabled() && window->findChildren<QProgressDialog *>().isEmpty(); },
        refreshTimeoutMs);
}

void CameraRefreshTest::refreshWithQuery()
{
    formWidget<QCheckBox>(window, "cbxQueryVfResolution")->setChecked(true);
    SimCameras::clearCalls();
    log->clear();
    QTest::mouseClick(formWidget<QPushButton>(window, "btnRefreshCameraList"), Qt::LeftButton);
    QVERIFY(waitForRefreshEnd());
}

KeyValueItemList *CameraRefreshTest::cameraList() const
{
    return qobject_cast<KeyValueItemList *>(formWidget<QComboBox>(window, "cboCamera")->model());
}

QVariantMap CameraRefreshTest::deviceInfoAt(int row) const
{
    auto *item = qobject_cast<KeyValueItem *>(cameraList()->get(row));
    return item != nullptr ? item->get_value().toMap() : QVariantMap();
}

void CameraRefreshTest::verifySdkLeftClean()
{
    QCOMPARE(EdsSimInitializeCount(), 0u);
    QCOMPARE(EdsSimLiveReferenceCount(), 0u);
}

void CameraRefreshTest::busyDialogWhileRefreshing()
{
    window = new AppMainWindow;
    // The start-up refresh shows its dialog before the constructor returns.
    const QList<QProgressDialog *> dialogs = window->findChildren<QProgressDialog *>();
    QCOMPARE(dialogs.size(), 1);
    QProgressDialog *dialog = dialogs.first();
    QCOMPARE(dialog->parentWidget(), static_cast<QWidget *>(window));
    QCOMPARE(dialog->labelText(), QStringLiteral("Refreshing camera list..."));
    QCOMPARE(dialog->minimum(), 0);
    QCOMPARE(dialog->maximum(), 0);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->windowModality(), Qt::NonModal);
    QVERIFY(dialog->findChildren<QPushButton *>().isEmpty());
    QVERIFY(!formWidget<QPushButton>(window, "btnRefreshCameraList")->isEnabled());

    // A second request while one runs starts nothing.
    QVERIFY(QMetaObject::invokeMethod(window, "refreshCameraList"));
    QCOMPARE(window->findChildren<QProgressDialog *>().size(), 1);

    QVERIFY(waitForRefreshEnd());
    QVERIFY(cameraList() != nullptr);
    QCOMPARE(cameraList()->count(), 1);
    QCOMPARE(cameraList()->parent(), static_cast<QObject *>(window));
    QCOMPARE(cameraList()->thread(), window->thread());
    QCOMPARE(SimCameras::calls().count(QStringLiteral("EdsInitializeSDK")), 1);
    QVERIFY(boxes->boxes().isEmpty());
    verifySdkLeftClean();
}

void CameraRefreshTest::nothingFoundKeepsPreviousList_data()
{
    QTest::addColumn<QByteArray>("configuration");
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("no camera") << QByteArray("") << QByteArray() << QStringLiteral("Cameras found: 0");
    QTest::newRow("sdk init fails") << QByteArray("Canon EOS 90D") << QByteArray("EdsInitializeSDK")
                                    << QStringLiteral("Canon SDK init failed");
    QTest::newRow("camera list fails") << QByteArray("Canon EOS 90D") << QByteArray("EdsGetCameraList")
                                       << QStringLiteral("Canon camera list failed");
    QTest::newRow("count fails") << QByteArray("Canon EOS 90D") << QByteArray("EdsGetChildCount")
                                 << QStringLiteral("Canon camera count error");
    QTest::newRow("device info fails") << QByteArray("Canon EOS 90D") << QByteArray("EdsGetDeviceInfo")
                                       << QStringLiteral("EdsGetDeviceInfo failed");
    QTest::newRow("session fails") << QByteArray("Canon EOS 90D") << QByteArray("EdsOpenSession")
                                   << QStringLiteral("EdsOpenSession failed");
}

void CameraRefreshTest::nothingFoundKeepsPreviousList()
{
    QFETCH(QByteArray, configuration);
    QFETCH(QByteArray, failingCall);
    QFETCH(QString, logLine);

    openWindow();
    KeyValueItemList *previous = cameraList();
    QVERIFY(previous != nullptr);
    QCOMPARE(previous->count(), 1);

    QVERIFY(SimCameras::reset(configuration.constData()));
    if (!failingCall.isEmpty())
        QCOMPARE(EdsSimInjectError(failingCall.constData(), nullptr, EDS_ERR_DEVICE_NOT_FOUND, 0),
                 EDS_ERR_OK);
    log->clear();
    QTest::mouseClick(formWidget<QPushButton>(window, "btnRefreshCameraList"), Qt::LeftButton);
    QVERIFY(waitForRefreshEnd());

    QCOMPARE(boxes->boxes().size(), 1);
    const ModalBoxCloser::Box box = boxes->boxes().first();
    QCOMPARE(box.title, QStringLiteral("Error"));
    QCOMPARE(box.text, noCameraText);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.parent, static_cast<QWidget *>(window));
    QVERIFY2(log->lines().contains(logLine), qPrintable(log->lines().join(QLatin1Char('\n'))));

    // The earlier list stays installed and current.
    QCOMPARE(cameraList(), previous);
    QCOMPARE(formWidget<QComboBox>(window, "cboCamera")->currentIndex(), 0);
    QVERIFY(formWidget<QPushButton>(window, "btnRefreshCameraList")->isEnabled());
    EdsSimClearInjections();
    QCOMPARE(EdsSimLiveReferenceCount(), 0u);
    QCOMPARE(EdsSimInitializeCount(), 0u);
}

void CameraRefreshTest::twoCamerasOfOneModel()
{
    QVERIFY(SimCameras::reset("Canon EOS 90D;Canon EOS 90D"));
    openWindow();
    auto *combo = formWidget<QComboBox>(window, "cboCamera");
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("Canon EOS 90D"));
    QCOMPARE(combo->itemText(1), QStringLiteral("Canon EOS 90D"));
    const QVariantMap first = deviceInfoAt(0);
    const QVariantMap second = deviceInfoAt(1);
    QCOMPARE(first.value(QStringLiteral("cn")), second.value(QStringLiteral("cn")));
    QCOMPARE(first.value(QStringLiteral("cp")).toString(), QStringLiteral("usb:1"));
    QCOMPARE(second.value(QStringLiteral("cp")).toString(), QStringLiteral("usb:2"));
    QVERIFY(log->lines().contains(QStringLiteral("Cameras found: 2")));
    verifySdkLeftClean();
}

void CameraRefreshTest::queryOffLeavesLiveViewAlone()
{
    QVERIFY(SimCameras::reset("Canon EOS 90D:size=1024x680;Canon EOS R6:size=1920x1280"));
    const EdsUInt32 before = SimCameras::outputDevice(QStringLiteral("usb:1"));
    openWindow();

    QCOMPARE(cameraList()->count(), 2);
    for (int row = 0; row < 2; ++row) {
        const QVariantMap info = deviceInfoAt(row);
        QCOMPARE(info.value(QStringLiteral("nr")).toSize(), QSize(960, 640));
        QCOMPARE(info.keys(),
                 (QStringList{QStringLiteral("cn"), QStringLiteral("cp"), QStringLiteral("nr")}));
    }
    QCOMPARE(SimCameras::outputDevice(QStringLiteral("usb:1")), before);
    const QStringList calls = SimCameras::calls();
    for (const char *untouched : {"EdsGetPropertySize", "EdsSetPropertyData", "EdsDownloadEvfImage"})
        QVERIFY2(!calls.contains(QLatin1String(untouched)), untouched);
    // Each camera costs one session, opened and closed.
    QCOMPARE(SimCameras::callsOn(QStringLiteral("usb:2")),
             (QStringList{QStringLiteral("EdsGetChildAtIndex"), QStringLiteral("EdsGetDeviceInfo"),
                          QStringLiteral("EdsOpenSession"), QStringLiteral("EdsCloseSession"),
                          QStringLiteral("EdsRelease")}));
    verifySdkLeftClean();
}

void CameraRefreshTest::queryOnMeasuresLiveView()
{
    QVERIFY(SimCameras::reset("Canon EOS 90D:size=1024x680:startup=0"));
    openWindow();
    refreshWithQuery();

    QCOMPARE(deviceInfoAt(0).value(QStringLiteral("nr")).toSize(), QSize(1024, 680));
    QCOMPARE(SimCameras::outputDevice(QStringLiteral("usb:1")), kEdsEvfOutputDevice_TFT);
    QVERIFY(!SimCameras::sessionOpen(QStringLiteral("usb:1")));
    QVERIFY(log->lines().contains(QStringLiteral("Vf resolution:  QSize(1024, 680)")));
    QCOMPARE(SimCameras::calls(), (QStringList{
                                      QStringLiteral("EdsInitializeSDK"),
                                      QStringLiteral("EdsGetCameraList"),
                                      QStringLiteral("EdsGetChildCount"),
                                      QStringLiteral("EdsGetChildAtIndex"),
                                      QStringLiteral("EdsGetDeviceInfo"),
                                      QStringLiteral("EdsOpenSession"),
                                      QStringLiteral("EdsGetPropertySize"),
                                      QStringLiteral("EdsSetPropertyData"),
                                      QStringLiteral("EdsCreateMemoryStream"),
                                      QStringLiteral("EdsCreateEvfImageRef"),
                                      QStringLiteral("EdsDownloadEvfImage"),
                                      QStringLiteral("EdsGetPointer"),
                                      QStringLiteral("EdsGetLength"),
                                      QStringLiteral("EdsRelease"),
                                      QStringLiteral("EdsRelease"),
                                      QStringLiteral("EdsSetPropertyData"),
                                      QStringLiteral("EdsCloseSession"),
                                      QStringLiteral("EdsRelease"),
                                      QStringLiteral("EdsRelease"),
                                      QStringLiteral("EdsTerminateSDK"),
                                  }));
    verifySdkLeftClean();
}

void CameraRefreshTest::queryOnWithFailures_data()
{
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<bool>("noFrames");
    QTest::addColumn<bool>("garbageFrame");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QStringList>("skippedCalls");
    QTest::addColumn<QSize>("measured"); // invalid: no "nr" at all

    const QString downloadError = QStringLiteral("EdsDownloadEvfImage error: %1");
    QTest::newRow("no frame yet") << QByteArray() << true << false
                                  << downloadError.arg(EDS_ERR_OBJECT_NOTREADY)
                                  << QStringList{QStringLiteral("EdsGetPointer")} << QSize();
    QTest::newRow("download fails") << QByteArray("EdsDownloadEvfImage") << false << false
                                    << downloadError.arg(EDS_ERR_DEVICE_BUSY)
                                    << QStringList{QStringLiteral("EdsGetPointer")} << QSize();
    QTest::newRow("frame is not a picture")
        << QByteArray() << false << true << QStringLiteral("Vf resolution:  QSize(0, 0)") << QStringList{}
        << QSize();
    QTest::newRow("no stream") << QByteArray("EdsCreateMemoryStream") << false << false
                               << QStringLiteral("Error EdsCreateMemoryStream")
                               << QStringList{QStringLiteral("EdsCreateEvfImageRef"),
                                              QStringLiteral("EdsDownloadEvfImage")}
                               << QSize();
    QTest::newRow("no image object") << QByteArray("EdsCreateEvfImageRef") << false << false
                                     << QStringLiteral("EdsCreateEvfImageRef error")
                                     << QStringList{QStringLiteral("EdsDownloadEvfImage")} << QSize();
    // The property is one 32-bit value: both switches still reach the camera without its answer.
    QTest::newRow("property size unknown")
        << QByteArray("EdsGetPropertySize") << false << false
        << QStringLiteral("EdsGetPropertySize(kEdsPropID_Evf_OutputDevice) failed") << QStringList{}
        << QSize(1280, 853);
}

void CameraRefreshTest::queryOnWithFailures()
{
    QFETCH(QByteArray, failingCall);
    QFETCH(bool, noFrames);
    QFETCH(bool, garbageFrame);
    QFETCH(QString, logLine);
    QFETCH(QStringList, skippedCalls);
    QFETCH(QSize, measured);

    QVERIFY(SimCameras::reset("Canon EOS 90D:size=1280x853:startup=0"));
    openWindow();
    if (!failingCall.isEmpty())
        QCOMPARE(EdsSimInjectError(failingCall.constData(), nullptr, EDS_ERR_DEVICE_BUSY, 0), EDS_ERR_OK);
    if (noFrames)
        QCOMPARE(EdsSimSetDeliversFrames("usb:1", false), EDS_ERR_OK);
    if (garbageFrame) {
        const QByteArray notJpeg("definitely not a JPEG picture");
        QCOMPARE(EdsSimAddReplayFrame("usb:1", notJpeg.constData(), EdsUInt32(notJpeg.size())), EDS_ERR_OK);
    }
    refreshWithQuery();
    EdsSimClearInjections();

    // Still listed; without a size the driver falls back to its default.
    QCOMPARE(cameraList()->count(), 1);
    const QVariantMap info = deviceInfoAt(0);
    QCOMPARE(info.value(QStringLiteral("cp")).toString(), QStringLiteral("usb:1"));
    QCOMPARE(info.value(QStringLiteral("cn")).toString(), QStringLiteral("Canon EOS 90D"));
    QCOMPARE(info.contains(QStringLiteral("nr")), measured.isValid());
    if (measured.isValid())
        QCOMPARE(info.value(QStringLiteral("nr")).toSize(), measured);
    const QStringList lines = log->lines();
    QVERIFY2(lines.contains(logLine), qPrintable(lines.join(QLatin1Char('\n'))));
    for (const char *switchFailed : {"EdsSetPropertyData(kEdsPropID_Evf_OutputDevice) failed",
                                     "EdsSetPropertyData(kEdsEvfOutputDevice_TFT) failed"})
        QVERIFY(!lines.contains(QLatin1String(switchFailed)));
    const QStringList calls = SimCameras::calls();
    for (const QString &skipped : skippedCalls)
        QVERIFY2(!calls.contains(skipped), qPrintable(skipped));

    // The camera's own screen gets the live view back and nothing is left open.
    QCOMPARE(SimCameras::outputDevice(QStringLiteral("usb:1")), kEdsEvfOutputDevice_TFT);
    QVERIFY(!SimCameras::sessionOpen(QStringLiteral("usb:1")));
    QVERIFY(boxes->boxes().isEmpty());
    verifySdkLeftClean();
}

void CameraRefreshTest::camerasThatCannotBeOpenedAreLeftOut_data()
{
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("session") << QByteArray("EdsOpenSession") << QStringLiteral("EdsOpenSession failed");
    QTest::newRow("device info") << QByteArray("EdsGetDeviceInfo")
                                 << QStringLiteral("EdsGetDeviceInfo failed");
}

void CameraRefreshTest::camerasThatCannotBeOpenedAreLeftOut()
{
    QFETCH(QByteArray, failingCall);
    QFETCH(QString, logLine);

    QVERIFY(SimCameras::reset("Canon EOS 90D;Canon EOS R6;Canon EOS 5D"));
    QCOMPARE(EdsSimInjectError(failingCall.constData(), "usb:2", EDS_ERR_DEVICE_BUSY, 0), EDS_ERR_OK);
    openWindow();
    EdsSimClearInjections();

    QCOMPARE(cameraList()->count(), 2);
    QCOMPARE(deviceInfoAt(0).value(QStringLiteral("cp")).toString(), QStringLiteral("usb:1"));
    QCOMPARE(deviceInfoAt(1).value(QStringLiteral("cp")).toString(), QStringLiteral("usb:3"));
    QVERIFY(log->lines().contains(QStringLiteral("Cameras found: 3")));
    QVERIFY(log->lines().contains(logLine));
    QVERIFY(!SimCameras::sessionOpen(QStringLiteral("usb:2")));
    QVERIFY(boxes->boxes().isEmpty());
    verifySdkLeftClean();
}

void CameraRefreshTest::firstCameraIsCurrentAfterRefresh()
{
    QVERIFY(SimCameras::reset("Canon EOS 90D;Canon EOS R6"));
    SettingsStore::open()->setValue(QStringLiteral("deviceInfo"),
                                    QVariantMap{{QStringLiteral("cn"), QStringLiteral("Canon EOS R6")},
                                                {QStringLiteral("cp"), QStringLiteral("usb:2")},
                                                {QStringLiteral("nr"), QSize(960, 640)}});
    openWindow();
    auto *combo = formWidget<QComboBox>(window, "cboCamera");
    QCOMPARE(combo->currentIndex(), 0);

    // Also after a later refresh from the button, wherever the user had moved.
    combo->setCurrentIndex(1);
    QTest::mouseClick(formWidget<QPushButton>(window, "btnRefreshCameraList"), Qt::LeftButton);
    QVERIFY(waitForRefreshEnd());
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->count(), 2);

    QTest::mouseClick(formWidget<QPushButton>(window, "btnApplySettings"), Qt::LeftButton);
    QCOMPARE(SettingsStore::open()->value(QStringLiteral("deviceInfo")).toMap(), deviceInfoAt(0));
    QCOMPARE(deviceInfoAt(0).value(QStringLiteral("cp")).toString(), QStringLiteral("usb:1"));
}

void CameraRefreshTest::closingDuringRefreshWaitsAndSaves()
{
    QVERIFY(SimCameras::reset("Canon EOS 90D:startup=0"));
    openWindow();
    // Long enough that the window closes while the camera is being measured.
    ViewFinderQuery::setStartDelay(1500ms);
    formWidget<QCheckBox>(window, "cbxQueryVfResolution")->setChecked(true);
    QTest::mouseClick(formWidget<QPushButton>(window, "btnRefreshCameraList"), Qt::LeftButton);
    QVERIFY(!formWidget<QPushButton>(window, "btnRefreshCameraList")->isEnabled());
    formWidget<QDoubleSpinBox>(window, "edtFps")->setValue(24);

    delete window;
    window = nullptr;

    // The enumeration had finished and cleaned up before the window was gone.
    QCOMPARE(EdsSimInitializeCount(), 0u);
    QVERIFY(!SimCameras::sessionOpen(QStringLiteral("usb:1")));
    QCOMPARE(SimCameras::outputDevice(QStringLiteral("usb:1")), kEdsEvfOutputDevice_TFT);
    QCOMPARE(SettingsStore::open()->value(QStringLiteral("videoFps")).toDouble(), 24.0);
    QCoreApplication::processEvents();
    QVERIFY(boxes->boxes().isEmpty());
    QCOMPARE(EdsSimLiveReferenceCount(), 0u);
}

QTEST_MAIN(CameraRefreshTest)
#include "tst_SetupCameraRefresh.moc"
