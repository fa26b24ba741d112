#pragma once

#include "tools/capture-client/CaptureOptions.h"

#include <atomic>

// Opens a video input device as an application does (device enumeration, the moniker, a filter graph with
// a sink behind the device's output pin) and records it. Failures are one clear message on stderr.
class CaptureSession
{
public:
    enum ExitCode
    {
        Success = 0,
        DeviceFailure = 2, // not registered, not loadable, connection refused, no frames
        OutputFailure = 3, // the AVI or a snapshot could not be written
        Interrupted = 130,
    };

    explicit CaptureSession(const CaptureOptions &options) : m_options(options) {}

    // Lists the category's devices on stdout.
    int listDevices();
    // Records until a limit is reached or `stopRequested` becomes true.
    int record(const std::atomic<bool> &stopRequested);

private:
    CaptureOptions m_options;
};
