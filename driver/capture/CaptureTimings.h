#pragma once

#include <QtGlobal>

// The capture thread's fixed waits. Tests shorten them through setForTesting; the product never does.
struct CaptureTimings
{
    int liveViewStartMs = 3000;         // from switching live view to the computer to the first download
    int retryPauseMs = 2000;            // between a failed session attempt and the next
    qint64 keepAliveIntervalMs = 60000; // between shut-down-timer extensions while frames are read

    // The timings in force; read once per capture run.
    static CaptureTimings current();
    // Replaces the timings for runs started afterwards; CaptureTimings{} restores the product's.
    static void setForTesting(const CaptureTimings &timings);
};
