// What the probe prints: a readable report, and "RESULT key=value" lines for scripts.
#pragma once

#include "bench/latency-probe/StreamProbe.h"
#include "bench/latency-probe/ThreadTimes.h"

#include <cstdint>
#include <vector>

namespace ProbeReport {

// CPU time of the process and of its threads over the window, as shares of one core. The sender thread
// (the pin's worker) and the capture thread are named as such.
void printCpu(const ProcessTimes &before, const ProcessTimes &after, int senderThread, long samplesInWindow);

// For each numbered picture that arrived within [windowStartNs, windowEndNs]: milliseconds from the camera
// frame becoming ready to its arrival. Camera frame n is ready at firstReadyNs + n * periodSeconds.
std::vector<double> latencies(const std::vector<Arrival> &arrivals, uint64_t firstReadyNs,
                              double periodSeconds, int64_t windowStartNs, int64_t windowEndNs);

// Median, 99th percentile and maximum; false (printing nothing) when there is no latency.
bool printLatency(const std::vector<double> &latencies, double periodSeconds, double cameraFramesInWindow);

} // namespace ProbeReport
