// Takes the picture of the settings window shown in the documentation: the window after
// its start-up refresh, with the camera list opened. Run it on a real X display.
#include "setup/AppMainWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextStream>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: setup-screenshot OUTPUT.png\n";
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);

    auto *window = new AppMainWindow;
    window->move(24, 24);
    window->show();
    auto *refresh = window->findChild<QPushButton *>(QStringLiteral("btnRefreshCameraList"));
    const bool refreshed = QTest::qWaitFor(
        [&] { return refresh->isEnabled() && window->findChildren<QProgressDialog *>().isEmpty(); }, 60000);
    if (!refreshed || !QTest::qWaitForWindowExposed(window)) {
        QTextStream(stderr) << "setup-screenshot: the window did not settle\n";
        delete window;
        return 1;
    }

    auto *cameras = window->findChild<QComboBox *>(QStringLiteral("cboCamera"));
    cameras->showPopup();
    QTest::qWait(500); // let the popup's animation finish before the picture is taken

    // The popup is a window of its own, so take the screen where the window is.
    const QRect frame = window->frameGeometry();
    const QPixmap picture =
        window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    cameras->hidePopup();
    delete window;
    if (!picture.save(output)) {
        QTextStream(stderr) << "setup-screenshot: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
