// Ends the process while the camera SDK stand-in's event thread exists, without terminating the SDK,
// and must exit. On Windows that thread is gone before static destructors run, so a destructor that
// joins it (or waits on it otherwise) never returns. Linux keeps it alive, so "stuck" stands in for
// "gone": the thread is held inside a state-event handler for good. Anything at exit that waits for it
// hangs here as it would on Windows; the test's time-out catches that.
//
//   exit-with-sdk-running idle     the event thread waits for work; main returns
//   exit-with-sdk-running stuck    the event thread is held in a handler; main calls exit()
#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/EdsSimulator.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

std::atomic<bool> handlerEntered{false};

EdsError holdForever(EdsStateEvent, EdsUInt32, EdsVoid *)
{
    handlerEntered = true;
    // This thread makes no more progress, like one the system has ended.
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
    return EDS_ERR_OK;
}

bool check(EdsError error, const char *call)
{
    if (error == EDS_ERR_OK)
        return true;
    std::fprintf(stderr, "%s failed: 0x%x\n", call, unsigned(error));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    const bool stuck = argc > 1 && std::strcmp(argv[1], "stuck") == 0;
    EdsCameraListRef list = nullptr;
    EdsCameraRef camera = nullptr;
    if (!check(EdsInitializeSDK(), "EdsInitializeSDK") ||
        !check(EdsGetCameraList(&list), "EdsGetCameraList") ||
        !check(EdsGetChildAtIndex(list, 0, &camera), "EdsGetChildAtIndex") ||
        !check(EdsOpenSession(camera), "EdsOpenSession") ||
        !check(EdsSetCameraStateEventHandler(camera, kEdsStateEvent_All, &holdForever, nullptr),
               "EdsSetCameraStateEventHandler"))
        return 1;
    if (!stuck) {
        std::puts("returning from main with the SDK initialised");
        return 0;
    }
    if (!check(EdsSimSendStateEvent("usb:1", kEdsStateEvent_WillSoonShutDown, 5), "EdsSimSendStateEvent"))
        return 1;
    while (!handlerEntered)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::puts("calling exit() with the event thread held in a handler");
    std::exit(0);
}
