// The settings window: loading the store into the form, applying, closing, the website.
#include "models/KeyValueItemList.h"
#include "settings/ProductInfo.h"
#include "setup/AppMainWindow.h"
#include "tests/setup/SetupTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSpinBox>
#include <QtTest>

#include <atomic>
#include <memory>

namespace {
const int refreshTimeoutMs = 300000;
}

// Receives the URLs the program hands to the desktop instead of a browser.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
};

// A window whose enumeration the test releases by hand and whose result it can watch.
class ScriptedWindow : public MainWindow
{
public:
    explicit ScriptedWindow(std::atomic<bool> *resultDestroyed) : resultDestroyed(resultDestroyed) {}
    ~ScriptedWindow() override
    {
        proceed.release();
        waitForRefresh();
    }

    QSemaphore started;
    QSemaphore proceed;

protected:
    KeyValueItemList *refreshCameraListInternal() override
    {
        started.release();
        proceed.acquire();
        auto *cameras = new KeyValueItemList;
        cameras->append(
            new KeyValueItem(QStringLiteral("Canon EOS 90D"),
                             QVariantMap{{QStringLiteral("cn"), QStringLiteral("Canon EOS 90D")}}));
        std::atomic<bool> *flag = resultDestroyed;
        QObject::connect(cameras, &QObject::destroyed, [flag] { *flag = true; });
        return cameras;
    }

private:
    std::atomic<bool> *resultDestroyed;
};

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void emptyStoreShowsDefaults();
    void storedCustomResolutionSwitchesSizeBoxes_data();
    void storedCustomResolutionSwitchesSizeBoxes();
    void storedValuesShownWithinRanges_data();
    void storedValuesShownWithinRanges();
    void applyWritesFormAndConfirms();
    void sizeWrittenWhileSwitchIsOff();
    void applyWithoutCameraListKeepsStoredCamera();
    void applyThatTheStoreRefusesIsNoSuccess();
    void closingWithoutApplySaves();
    void windowKeysAreCarriedButNotApplied();
    void websiteOpensProductPage();
    void resultOfUnfinishedRefreshIsFreedOnClose();

private:
    AppMainWindow *openWindow();
    void closeWindow();

    std::unique_ptr<ModalBoxCloser> boxes;
    AppMainWindow *window = nullptr;
};

void MainWindowTest::init()
{
    SettingsStore::clear();
    QVERIFY(SimCameras::reset("Canon EOS 90D;Canon EOS R6"));
    boxes = std::make_unique<ModalBoxCloser>();
}

void MainWindowTest::cleanup()
{
    closeWindow();
    boxes.reset();
}

AppMainWindow *MainWindowTest::openWindow()
{
    window = new AppMainWindow;
    auto *refresh = formWidget<QPushButton>(window, "btnRefreshCameraList");
    // The start-up refresh ends when the button is usable again and its dialog is gone.
    if (!QTest::qWaitFor(
            [&] { return refresh->isEnabled() && window->findChildren<QProgressDialog *>().isEmpty(); },
            refreshTimeoutMs))
        qWarning("start-up refresh did not end");
    return window;
}

void MainWindowTest::closeWindow()
{
    delete window;
    window = nullptr;
}

void MainWindowTest::emptyStoreShowsDefaults()
{
    openWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Vistrel Driver"));
    QCOMPARE(window->size(), QSize(697, 336));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(formWidget<QDoubleSpinBox>(window, "edtFps")->value(), 30.0);
    QCOMPARE(formWidget<QDoubleSpinBox>(window, "edtFps")->text(), QStringLiteral("30.00fps"));
    QCOMPARE(formWidget<QSpinBox>(window, "edtWidth")->value(), 960);
    QCOMPARE(formWidget<QSpinBox>(window, "edtHeight")->value(), 640);
    QVERIFY(!formWidget<QCheckBox>(window, "cbxCustomResolution")->isChecked());
    QVERIFY(!formWidget<QSpinBox>(window, "edtWidth")->isEnabled());
    QVERIFY(!formWidget<QSpinBox>(window, "edtHeight")->isEnabled());
    QVERIFY(!formWidget<QCheckBox>(window, "cbxQueryVfResolution")->isChecked());
    QVERIFY(boxes->boxes().isEmpty());
}

void MainWindowTest::storedCustomResolutionSwitchesSizeBoxes_data()
{
    QTest::addColumn<bool>("stored");
    QTest::newRow("on") << true;
    QTest::newRow("off") << false;
}

void MainWindowTest::storedCustomResolutionSwitchesSizeBoxes()
{
    QFETCH(bool, stored);
    SettingsStore::open()->setValue(QStringLiteral("customResolution"), stored);
    openWindow();
    auto *custom = formWidget<QCheckBox>(window, "cbxCustomResolution");
    auto *width = formWidget<QSpinBox>(window, "edtWidth");
    auto *height = formWidget<QSpinBox>(window, "edtHeight");
    QCOMPARE(custom->isChecked(), stored);
    QCOMPARE(width->isEnabled(), stored);
    QCOMPARE(height->isEnabled(), stored);

    // The switch keeps steering the boxes afterwards.
    custom->setChecked(!stored);
    QCOMPARE(width->isEnabled(), !stored);
    QCOMPARE(height->isEnabled(), !stored);
}

void MainWindowTest::storedValuesShownWithinRanges_data()
{
    QTest::addColumn<QVariant>("storedFps");
    QTest::addColumn<QSize>("storedSize");
    QTest::addColumn<double>("shownFps");
    QTest::addColumn<QSize>("shownSize");

    QTest::newRow("within range") << QVariant(25.0) << QSize(1280, 720) << 25.0 << QSize(1280, 720);
    QTest::newRow("more decimals") << QVariant(29.976) << QSize(1, 1) << 29.98 << QSize(1, 1);
    QTest::newRow("zero") << QVariant(0.0) << QSize(0, 0) << 1.0 << QSize(0, 0);
    QTest::newRow("negative") << QVariant(-12.5) << QSize(-1, -1) << 1.0 << QSize(0, 0);
    QTest::newRow("too large") << QVariant(240.0) << QSize(20000, 10001) << 99.99 << QSize(10000, 10000);
    // Unreadable: the default rate.
    QTest::newRow("not a number") << QVariant(QStringLiteral("fast")) << QSize(640, 480) << 30.0
                                  << QSize(640, 480);
}

void MainWindowTest::storedValuesShownWithinRanges()
{
    QFETCH(QVariant, storedFps);
    QFETCH(QSize, storedSize);
    QFETCH(double, shownFps);
    QFETCH(QSize, shownSize);
    {
        auto store = SettingsStore::open();
        store->setValue(QStringLiteral("videoFps"), storedFps);
        store->setValue(QStringLiteral("videoResolution"), storedSize);
    }
    openWindow();
    QCOMPARE(formWidget<QDoubleSpinBox>(window, "edtFps")->value(), shownFps);
    QCOMPARE(formWidget<QSpinBox>(window, "edtWidth")->value(), shownSize.width());
    QCOMPARE(formWidget<QSpinBox>(window, "edtHeight")->value(), shownSize.height());

    // What the form shows is what the store holds once the window has closed.
    closeWindow();
    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("videoFps")).toDouble(), shownFps);
    QCOMPARE(store->value(QStringLiteral("videoResolution")).toSize(), shownSize);
}

void MainWindowTest::applyWritesFormAndConfirms()
{
    openWindow();
    auto *cameras = qobject_cast<KeyValueItemList *>(formWidget<QComboBox>(window, "cboCamera")->model());
    QVERIFY(cameras != nullptr);
    QCOMPARE(cameras->count(), 2);

    formWidget<QDoubleSpinBox>(window, "edtFps")->setValue(12.5);
    formWidget<QCheckBox>(window, "cbxCustomResolution")->setChecked(true);
    formWidget<QSpinBox>(window, "edtWidth")->setValue(0);
    formWidget<QSpinBox>(window, "edtHeight")->setValue(0);
    formWidget<QComboBox>(window, "cboCamera")->setCurrentIndex(1);
    QTest::mouseClick(formWidget<QPushButton>(window, "btnApplySettings"), Qt::LeftButton);

    QCOMPARE(boxes->boxes().size(), 1);
    const ModalBoxCloser::Box box = boxes->boxes().first();
    QCOMPARE(box.title, QStringLiteral("Success"));
    QCOMPARE(box.text,
             QStringLiteral("The settings have been saved. You have to restart your app (e.g. Zoom, "
                            "Skype, etc.) so that the new settings get effective."));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.parent, static_cast<QWidget *>(window));

    // Saved at once, before the window closes.
    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("videoFps")).toDouble(), 12.5);
    QCOMPARE(store->value(QStringLiteral("customResolution")).toBool(), true);
    QCOMPARE(store->value(QStringLiteral("videoResolution")).toSize(), QSize(0, 0));
    const QVariantMap camera = store->value(QStringLiteral("deviceInfo")).toMap();
    QCOMPARE(camera.value(QStringLiteral("cn")).toString(), QStringLiteral("Canon EOS R6"));
    QCOMPARE(camera.value(QStringLiteral("cp")).toString(), QStringLiteral("usb:2"));
    QCOMPARE(camera.value(QStringLiteral("nr")).toSize(), QSize(960, 640));
}

void MainWindowTest::sizeWrittenWhileSwitchIsOff()
{
    openWindow();
    QVERIFY(!formWidget<QCheckBox>(window, "cbxCustomResolution")->isChecked());
    formWidget<QSpinBox>(window, "edtWidth")->setValue(1920);
    formWidget<QSpinBox>(window, "edtHeight")->setValue(1080);
    QTest::mouseClick(formWidget<QPushButton>(window, "btnApplySettings"), Qt::LeftButton);

    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("customResolution")).toBool(), false);
    QCOMPARE(store->value(QStringLiteral("videoResolution")).toSize(), QSize(1920, 1080));
}

void MainWindowTest::applyWithoutCameraListKeepsStoredCamera()
{
    const QVariantMap storedCamera{{QStringLiteral("cn"), QStringLiteral("Canon EOS 5D")},
                                   {QStringLiteral("cp"), QStringLiteral("usb:9")},
                                   {QStringLiteral("nr"), QSize(1024, 680)}};
    SettingsStore::open()->setValue(QStringLiteral("deviceInfo"), storedCamera);
    QVERIFY(SimCameras::reset(""));

    openWindow();
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(boxes->boxes().first().title, QStringLiteral("Error"));
    QCOMPARE(formWidget<QComboBox>(window, "cboCamera")->count(), 0);
    boxes->clear();

    formWidget<QDoubleSpinBox>(window, "edtFps")->setValue(15);
    QTest::mouseClick(formWidget<QPushButton>(window, "btnApplySettings"), Qt::LeftButton);
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(boxes->boxes().first().title, QStringLiteral("Success"));

    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("videoFps")).toDouble(), 15.0);
    QCOMPARE(store->value(QStringLiteral("deviceInfo")).toMap(), storedCamera);
}

void MainWindowTest::applyThatTheStoreRefusesIsNoSuccess()
{
    openWindow();
    // A folder where the store's file belongs: no write reaches it, whoever runs the test.
    const QString file = SettingsStore::open()->fileName();
    QFile::remove(file);
    QVERIFY(QDir().mkpath(file));
    QTest::mouseClick(formWidget<QPushButton>(window, "btnApplySettings"), Qt::LeftButton);
    QDir(file).removeRecursively();

    QCOMPARE(boxes->boxes().size(), 1);
    const ModalBoxCloser::Box box = boxes->boxes().first();
    QCOMPARE(box.title, QStringLiteral("Settings not saved"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QVERIFY2(box.text.contains(QDir::toNativeSeparators(file)), qPrintable(box.text));
}

void MainWindowTest::closingWithoutApplySaves()
{
    openWindow();
    formWidget<QDoubleSpinBox>(window, "edtFps")->setValue(50);
    formWidget<QCheckBox>(window, "cbxCustomResolution")->setChecked(true);
    formWidget<QSpinBox>(window, "edtWidth")->setValue(800);
    formWidget<QSpinBox>(window, "edtHeight")->setValue(600);
    formWidget<QComboBox>(window, "cboCamera")->setCurrentIndex(1);
    closeWindow();

    QVERIFY(boxes->boxes().isEmpty());
    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("videoFps")).toDouble(), 50.0);
    QCOMPARE(store->value(QStringLiteral("customResolution")).toBool(), true);
    QCOMPARE(store->value(QStringLiteral("videoResolution")).toSize(), QSize(800, 600));
    QCOMPARE(store->value(QStringLiteral("deviceInfo")).toMap().value(QStringLiteral("cp")).toString(),
             QStringLiteral("usb:2"));
}

void MainWindowTest::windowKeysAreCarriedButNotApplied()
{
    {
        auto store = SettingsStore::open();
        store->setValue(QStringLiteral("desktopMainWindowMaximized"), true);
        store->setValue(QStringLiteral("desktopMainWindowSize"), QSize(1000, 900));
        store->setValue(QStringLiteral("desktopMainWindowPos"), QPoint(40, 50));
    }
    openWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window, 300000));
    QCOMPARE(window->size(), QSize(697, 336));
    QVERIFY(!window->isMaximized());
    closeWindow();

    auto store = SettingsStore::open();
    QCOMPARE(store->value(QStringLiteral("desktopMainWindowMaximized")).toBool(), true);
    QCOMPARE(store->value(QStringLiteral("desktopMainWindowSize")).toSize(), QSize(1000, 900));
    QCOMPARE(store->value(QStringLiteral("desktopMainWindowPos")).toPoint(), QPoint(40, 50));
}

void MainWindowTest::websiteOpensProductPage()
{
    UrlSink sink;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &sink, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &sink, "openUrl");
    openWindow();
    QTest::mouseClick(formWidget<QPushButton>(window, "btnWebsite"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    QCOMPARE(sink.opened.size(), 1);
    QCOMPARE(sink.opened.first(), QUrl(QString::fromUtf8(ProductInfo::websiteUrl)));
    QVERIFY(sink.opened.first().isValid());
    QVERIFY(boxes->boxes().isEmpty());
}

void MainWindowTest::resultOfUnfinishedRefreshIsFreedOnClose()
{
    std::atomic<bool> resultDestroyed{false};
    auto *scripted = new ScriptedWindow(&resultDestroyed);
    QVERIFY(QMetaObject::invokeMethod(scripted, "refreshCameraList"));
    QVERIFY(scripted->started.tryAcquire(1, refreshTimeoutMs));
    QCOMPARE(scripted->findChildren<QProgressDialog *>().size(), 1);

    // The enumeration ends, but no event is handled before the window goes: its list is
    // never installed and nobody else holds it.
    scripted->proceed.release();
    delete scripted;
    QVERIFY(resultDestroyed);
    QCoreApplication::processEvents();
    QVERIFY(boxes->boxes().isEmpty());
}

QTEST_MAIN(MainWindowTest)
#include "tst_SetupMainWindow.moc"
