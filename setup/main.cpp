#include "setup/AppMainWindow.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    AppMainWindow window;
    window.show();
    const int result = app.exec();
    return result;
}
