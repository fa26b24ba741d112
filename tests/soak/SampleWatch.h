// Watches the samples the sink receives: counts them, measures the gaps between them while the graph
// runs (overall and while the camera is gone), and reports a gap longer than the limit the moment it
// happens, from a watchdog thread of its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class SampleWatch
{
public:
    using Clock = std::chrono::steady_clock;

    explicit SampleWatch(int maxGapMs);
    ~SampleWatch();
    SampleWatch(const SampleWatch &) = delete;
    SampleWatch &operator=(const SampleWatch &) = delete;

    // From the sink's callback.
    void sampleArrived();
    // From the client: the graph has been told to run, or has left the running state. Gaps are measured
    // only while it runs, from the moment Run returned.
    void setRunning(bool running);
    // From the fault injector: the camera is unplugged (true) or back (false).
    void setCameraGone(bool gone);

    struct Figures
    {
        uint64_t samples = 0;
        uint64_t samplesWhileCameraGone = 0;
        double longestGapMs = 0;
        double longestGapWhileCameraGoneMs = 0;
        double meanIntervalMs = 0;
        double meanIntervalWhileCameraGoneMs = 0;
        int gapsOverLimit = 0;
        std::string firstGapOverLimit; // when and how long, for the report
    };
    Figures figures() const;

private:
    void watch();
    // runQueueNs: the pin thread's time spent waiting for a CPU now, or -1 if unknown.
    void noteGap(double gapMs, Clock::time_point at, long long runQueueNs);

    const int m_maxGapMs;
    const Clock::time_point m_origin = Clock::now();
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_quit = false;
    bool m_running = false;
    bool m_cameraGone = false;
    bool m_gapReported = false;    // the current gap has been counted by the watchdog already
    Clock::time_point m_lastEvent; // the last sample, or the start of running, whichever is later
    bool m_lastEventWasSample = false;
    Figures m_figures;
    // Whether a gap was the machine's load or something that held the pin: the delivering thread and
    // its time waiting for a CPU at the last sample (-1: unknown).
    long m_pinThread = 0;
    long long m_runQueueAtLastSampleNs = -1;
    double m_intervalSumMs = 0;
    uint64_t m_intervals = 0;
    double m_goneIntervalSumMs = 0;
    uint64_t m_goneIntervals = 0;
    std::thread m_watchdog;
};
