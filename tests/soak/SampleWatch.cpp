#include "tests/soak/SampleWatch.h"

#include "tests/soak/ProcessProbe.h"

#include <cstdio>
#include <string>

namespace {

double millisecondsBetween(SampleWatch::Clock::time_point from, SampleWatch::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace

SampleWatch::SampleWatch(int maxGapMs, GapJudgement judgement)
    : m_maxGapMs(maxGapMs), m_judgement(judgement), m_watchdog([this] { watch(); })
{
}

SampleWatch::~SampleWatch()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_watchdog.join();
}

void SampleWatch::sampleArrived()
{
    const Clock::time_point now = Clock::now();
    const long thread = ProcessProbe::currentThreadId();
    const long long runQueueNs = ProcessProbe::runQueueWaitNs(thread);
    std::lock_guard<std::mutex> lock(m_lock);
    if (thread != m_pinThread) {
        m_pinThread = thread;
        m_runQueueAtLastSampleNs = -1;
    }
    ++m_figures.samples;
    if (m_cameraGone)
        ++m_figures.samplesWhileCameraGone;
    if (!m_running) {
        m_runQueueAtLastSampleNs = runQueueNs;
        return;
    }
    const double gap = millisecondsBetween(m_lastEvent, now);
    if (!m_gapReported)
        noteGap(gap, now, runQueueNs, true);
    if (gap > m_figures.longestGapMs)
        m_figures.longestGapMs = gap;
    if (m_lastEventWasSample) {
        m_intervalSumMs += gap;
        ++m_intervals;
        if (m_cameraGone) {
            m_goneIntervalSumMs += gap;
            ++m_goneIntervals;
            if (gap > m_figures.longestGapWhileCameraGoneMs)
                m_figures.longestGapWhileCameraGoneMs = gap;
        }
    }
    m_lastEvent = now;
    m_lastEventWasSample = true;
    m_gapReported = false;
    m_runQueueAtLastSampleNs = runQueueNs;
}

void SampleWatch::setRunning(bool running)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_running = running;
    m_lastEvent = Clock::now();
    m_lastEventWasSample = false;
    m_gapReported = false;
}

void SampleWatch::setCameraGone(bool gone)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_cameraGone = gone;
}

SampleWatch::Figures SampleWatch::figures() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    Figures figures = m_figures;
    figures.meanIntervalMs = m_intervals ? m_intervalSumMs / double(m_intervals) : 0;
    figures.meanIntervalWhileCameraGoneMs =
        m_goneIntervals ? m_goneIntervalSumMs / double(m_goneIntervals) : 0;
    return figures;
}

// Called with m_lock held.
void SampleWatch::noteGap(double gapMs, Clock::time_point at, long long runQueueNs, bool ended)
{
    if (gapMs <= m_maxGapMs)
        return;
    // Waiting for a CPU for most of the gap: the machine's load; little of it: the pin was held.
    const bool measured =
        m_lastEventWasSample && m_runQueueAtLastSampleNs >= 0 && runQueueNs >= m_runQueueAtLastSampleNs;
    const double waitedMs = measured ? double(runQueueNs - m_runQueueAtLastSampleNs) / 1e6 : -1;
    bool fails = gapMs > kStreamStallMs;
    if (m_judgement == GapJudgement::Strict)
        fails = true;
    else if (m_judgement == GapJudgement::Runnable && measured)
        fails = fails || gapMs - waitedMs > m_maxGapMs;
    // An excused gap is said once, when it ends; a failing one the moment it is seen.
    if (!fails && !ended)
        return;
    char waited[80] = "";
    if (measured)
        std::snprintf(waited, sizeof waited, ", the pin's thread waited %.0f ms of it for a CPU", waitedMs);
    char text[240];
    std::snprintf(text, sizeof text, "no sample for %.0f ms while running, at %.1f s%s%s", gapMs,
                  millisecondsBetween(m_origin, at) / 1000.0, m_cameraGone ? " (camera gone)" : "", waited);
    if (!fails) {
        std::fprintf(stderr, "vistrelsoak: %s; not judged as the driver's\n", text);
        ++m_figures.gapsExcused;
        if (gapMs > m_longestExcusedMs) {
            m_longestExcusedMs = gapMs;
            m_figures.longestGapExcused = text;
        }
        return;
    }
    ++m_figures.gapsOverLimit;
    m_gapReported = true;
    std::fprintf(stderr, "vistrelsoak: %s\n", text);
    if (m_figures.firstGapOverLimit.empty())
        m_figures.firstGapOverLimit = text;
}

void SampleWatch::watch()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        m_wake.wait_for(lock, std::chrono::milliseconds(50));
        if (m_quit || !m_running || m_gapReported)
            continue;
        const Clock::time_point now = Clock::now();
        noteGap(millisecondsBetween(m_lastEvent, now), now,
                m_pinThread ? ProcessProbe::runQueueWaitNs(m_pinThread) : -1, false);
    }
}
