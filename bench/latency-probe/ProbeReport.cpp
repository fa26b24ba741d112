#include "bench/latency-probe/ProbeReport.h"

#include "bench/latency-probe/CodedFrames.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

namespace {

struct ThreadShare
{
    double cpuSeconds = 0;
    int threads = 0;
};

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t rank = size_t(std::ceil(fraction * double(values.size())));
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

std::string labelOf(int tid, const std::string &name, int senderThread)
{
    if (tid == senderThread)
        return "pin worker (FillBuffer, delivery)";
    if (tid == getpid())
        return "probe main";
    // Threads the capture thread starts (the SDK's event thread) inherit its name.
    if (name.rfind("MediaProcessing", 0) == 0)
        return "capture (download, decode, scale)";
    return name;
}

} // namespace

namespace ProbeReport {

void printCpu(const ProcessTimes &before, const ProcessTimes &after, int senderThread, long samplesInWindow)
{
    const double window = after.wallSeconds - before.wallSeconds;
    const double cpu = after.cpuSeconds - before.cpuSeconds;
    std::printf("samples at the sink: %.2f per second\n", double(samplesInWindow) / window);
    std::printf("process CPU: %.2f s = %.2f%% of one core\n", cpu, 100 * cpu / window);

    std::map<std::string, ThreadShare> shares;
    for (const auto &[tid, end] : after.threads) {
        const auto start = before.threads.find(tid);
        const double used = end.cpuSeconds - (start != before.threads.end() ? start->second.cpuSeconds : 0);
        ThreadShare &share = shares[labelOf(tid, end.name, senderThread)];
        share.cpuSeconds += used;
        share.threads += 1;
    }
    for (const auto &[label, share] : shares)
        std::printf("  %-36s %2d thread(s) %7.2f%%\n", label.c_str(), share.threads,
                    100 * share.cpuSeconds / window);

    std::printf("RESULT cpu_percent=%.2f\nRESULT sample_rate=%.2f\n", 100 * cpu / window,
                double(samplesInWindow) / window);
    for (const auto &[label, share] : shares) {
        if (label.rfind("capture", 0) == 0)
            std::printf("RESULT capture_thread_percent=%.2f\n", 100 * share.cpuSeconds / window);
        if (label.rfind("pin worker", 0) == 0)
            std::printf("RESULT pin_thread_percent=%.2f\n", 100 * share.cpuSeconds / window);
    }
}

std::vector<double> latencies(const std::vector<Arrival> &arrivals, uint64_t firstReadyNs,
                              double periodSeconds, int64_t windowStartNs, int64_t windowEndNs)
{
    std::vector<double> result;
    if (!(periodSeconds > 0))
        return result;
    for (const Arrival &arrival : arrivals) {
        if (arrival.code < 0 || arrival.steadyNs < windowStartNs || arrival.steadyNs > windowEndNs)
            continue;
        const double sinceFirst = double(arrival.steadyNs - int64_t(firstReadyNs)) / 1e9;
        if (sinceFirst < 0)
            continue;
        // The newest camera frame carrying this number that was ready when the sample arrived; numbers
        // repeat only every few seconds, far longer than any frame takes to arrive.
        const int64_t newest = int64_t(std::floor(sinceFirst / periodSeconds));
        const int64_t behind =
            ((newest - arrival.code) % CodedFrames::kCount + CodedFrames::kCount) % CodedFrames::kCount;
        result.push_back((sinceFirst - double(newest - behind) * periodSeconds) * 1e3);
    }
    return result;
}

bool printLatency(const std::vector<double> &latencies, double periodSeconds, double cameraFramesInWindow)
{
    if (latencies.empty())
        return false;
    const double interval = periodSeconds * 1e3;
    const double median = percentile(latencies, 0.5);
    const double p99 = percentile(latencies, 0.99);
    std::printf(
        "latency over %zu camera frames (camera made %.0f in the window): median %.1f ms (%.2f intervals), "
        "99th percentile %.1f ms (%.2f intervals), max %.1f ms\n",
        latencies.size(), cameraFramesInWindow, median, median / interval, p99, p99 / interval,
        percentile(latencies, 1.0));
    std::printf("RESULT latency_median_ms=%.1f\nRESULT latency_p99_ms=%.1f\n"
                "RESULT latency_median_intervals=%.2f\nRESULT frames_seen=%zu\n",
                median, p99, median / interval, latencies.size());
    return true;
}

} // namespace ProbeReport
