#include "tests/soak/StallGuard.h"

#include <cstdio>
#include <cstdlib>

StallMonitor::StallMonitor(int limitSeconds) : m_limit(limitSeconds), m_thread([this] { watch(); }) {}

StallMonitor::~StallMonitor()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void StallMonitor::begin(const char *call)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_call = call;
    m_since = std::chrono::steady_clock::now();
}

void StallMonitor::end()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_call = nullptr;
}

void StallMonitor::watch()
{
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_quit) {
        m_wake.wait_for(lock, std::chrono::milliseconds(200));
        if (m_call != nullptr && std::chrono::steady_clock::now() - m_since > m_limit) {
            std::fprintf(stderr, "vistrelsoak: FAILED: %s did not return within %lld s (deadlock)\n", m_call,
                         static_cast<long long>(m_limit.count()));
            std::fflush(stderr);
            std::abort(); // a core dump shows where every thread stands
        }
    }
}
