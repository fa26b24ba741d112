#include "setup/AppMainWindow.h"
#include "setup/VirtualCameraRegistration.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

// The installer's commands: no window, the outcome as one line on standard output and in the exit code.
// Returns -1 when the command line holds none of them.
int runCommand(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const bool add = std::strcmp(argv[i], "--add-virtual-camera") == 0;
        if (!add && std::strcmp(argv[i], "--remove-virtual-camera") != 0)
            continue;
        const VirtualCameraRegistration::Outcome outcome =
            add ? VirtualCameraRegistration::add() : VirtualCameraRegistration::remove();
        std::fprintf(stdout, "%s\n", outcome.line.toUtf8().constData());
        std::fflush(stdout);
        return VirtualCameraRegistration::exitCode(outcome.result);
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    const int commandResult = runCommand(argc, argv);
    if (commandResult >= 0)
        return commandResult;
    QApplication app(argc, argv);
    AppMainWindow window;
    window.show();
    const int result = app.exec();
    return result;
}
