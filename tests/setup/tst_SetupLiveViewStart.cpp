// The live-view measurement with the program's own start-up wait, against a camera that
// needs a moment before its first frame. Slow by nature: labelled so.
#include "models/KeyValueItemList.h"
#include "setup/AppMainWindow.h"
#include "setup/ViewFinderQuery.h"
#include "tests/setup/SetupTestSupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

#include <chrono>

using namespace std::chrono_literals;

class LiveViewStartTest : public QObject
{
    Q_OBJECT

private slots:
    void realWaitMeasuresSlowStartingCamera();
};

void LiveViewStartTest::realWaitMeasuresSlowStartingCamera()
{
    QCOMPARE(ViewFinderQuery::startDelay(), 3000ms);
    SettingsStore::clear();
    // Well inside the wait, but far longer than no wait at all.
    QVERIFY(SimCameras::reset("Canon EOS R6:size=1620x1080:startup=1000"));
    ModalBoxCloser boxes;

    AppMainWindow window;
    auto *refresh = formWidget<QPushButton>(&window, "btnRefreshCameraList");
    auto refreshEnded = [&] {
        return refresh->isEnabled() && window.findChildren<QProgressDialog *>().isEmpty();
    };
    QVERIFY(QTest::qWaitFor(refreshEnded, 300000));
    formWidget<QCheckBox>(&window, "cbxQueryVfResolution")->setChecked(true);
    QTest::mouseClick(refresh, Qt::LeftButton);
    QVERIFY(QTest::qWaitFor(refreshEnded, 300000));

    auto *cameras = qobject_cast<KeyValueItemList *>(formWidget<QComboBox>(&window, "cboCamera")->model());
    QVERIFY(cameras != nullptr);
    auto *camera = qobject_cast<KeyValueItem *>(cameras->get(0));
    QVERIFY(camera != nullptr);
    QCOMPARE(camera->get_value().toMap().value(QStringLiteral("nr")).toSize(), QSize(1620, 1080));
    QCOMPARE(SimCameras::outputDevice(QStringLiteral("usb:1")), kEdsEvfOutputDevice_TFT);
    QVERIFY(boxes.boxes().isEmpty());
}

QTEST_MAIN(LiveViewStartTest)
#include "tst_SetupLiveViewStart.moc"
