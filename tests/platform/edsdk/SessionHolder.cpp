// A second process for the cross-process session tests: opens the first camera's session and then follows
// commands read line by line from standard input, answering each on standard output.
//   open | close | terminate | unplug   each answers "<command> <EDS error in hex>"
// End of input ends the process without closing anything.
#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void answer(const std::string &command, EdsError error)
{
    std::printf("%s %08X\n", command.c_str(), static_cast<unsigned>(error));
    std::fflush(stdout);
}

} // namespace

int main()
{
    EdsCameraListRef list = nullptr;
    EdsCameraRef camera = nullptr;
    EdsError error = EdsInitializeSDK();
    if (error == EDS_ERR_OK)
        error = EdsGetCameraList(&list);
    if (error == EDS_ERR_OK)
        error = EdsGetChildAtIndex(list, 0, &camera);
    if (error == EDS_ERR_OK)
        error = EdsOpenSession(camera);
    answer("open", error);

    std::string command;
    while (std::getline(std::cin, command)) {
        if (command == "open")
            answer(command, EdsOpenSession(camera));
        else if (command == "close")
            answer(command, EdsCloseSession(camera));
        else if (command == "terminate")
            answer(command, EdsTerminateSDK());
        else if (command == "unplug")
            answer(command, EdsSimUnplugCamera("usb:1"));
        else
            answer(command, EDS_ERR_NOT_SUPPORTED);
    }
    return 0;
}
