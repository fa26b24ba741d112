// Deadlock detection for the client's calls: a call that has not returned after the limit ends the run
// at once with a message naming it, rather than hanging until an outer time-out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class StallMonitor
{
public:
    explicit StallMonitor(int limitSeconds);
    ~StallMonitor();
    StallMonitor(const StallMonitor &) = delete;
    StallMonitor &operator=(const StallMonitor &) = delete;

    void begin(const char *call);
    void end();

private:
    void watch();

    const std::chrono::seconds m_limit;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_quit = false;
    const char *m_call = nullptr;
    std::chrono::steady_clock::time_point m_since;
    std::thread m_thread;
};

// Marks one call for the monitor for as long as it lives.
class StallGuard
{
public:
    StallGuard(StallMonitor &monitor, const char *call) : m_monitor(monitor) { m_monitor.begin(call); }
    ~StallGuard() { m_monitor.end(); }
    StallGuard(const StallGuard &) = delete;
    StallGuard &operator=(const StallGuard &) = delete;

private:
    StallMonitor &m_monitor;
};
