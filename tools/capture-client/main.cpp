// vistrelcapture: records a video input device the way a video application opens it.
#include "tools/capture-client/CaptureOptions.h"
#include "tools/capture-client/CaptureSession.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

std::atomic<bool> stopRequested{false};

extern "C" void requestStop(int)
{
    stopRequested.store(true);
}

} // namespace

int main(int argc, char **argv)
{
    CaptureOptions options;
    std::string error;
    if (!parseCaptureOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "vistrelcapture: %s\n\n%s", error.c_str(),
                     captureUsage("vistrelcapture").c_str());
        return 1;
    }
    if (options.showHelp) {
        std::fputs(captureUsage("vistrelcapture").c_str(), stdout);
        return 0;
    }

    // Ctrl+C and termination end the recording; the file is finished before the program exits.
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);

    CaptureSession session(options);
    return options.listDevices ? session.listDevices() : session.record(stopRequested);
}
