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

// How a gap longer than the limit is judged. A short run on a shared machine cannot tell the driver
// holding its pin from the process not getting a CPU, so it judges only what the pin's thread could have
// run, or (where the system keeps no such figure) only a stream that stops; long runs judge every gap.
enum class GapJudgement
{
    Strict,   // every gap over the limit fails
    Runnable, // the gap less the pin's thread's wait for a CPU; unmeasured gaps as in StallOnly
    StallOnly // gaps over the limit are reported; only one of kStreamStallMs fails
};

// No sample for this long is a stopped stream, however busy the machine.
constexpr int kStreamStallMs = 3 * 60 * 1000;

class SampleWatch
{
public:
    using Clock = std::chrono::steady_clock;

    SampleWatch(int maxGapMs, GapJudgement judgement);
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
        int gapsOverLimit = 0;         // failures
        std::string firstGapOverLimit; // when and how long, for the report
        int gapsExcused = 0;           // over the limit, put down to the machine by the judgement
        std::string longestGapExcused;
    };
    Figures figures() const;

private:
    void watch();
    // runQueueNs: the pin thread's time spent waiting for a CPU now, or -1 if unknown. `ended`: a sample
    // closed the gap (else the watchdog sees it still open).
    void noteGap(double gapMs, Clock::time_point at, long long runQueueNs, bool ended);

    const int m_maxGapMs;
    const GapJudgement m_judgement;
    double m_longestExcusedMs = 0;
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
