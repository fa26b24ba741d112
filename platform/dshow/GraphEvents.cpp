#include "platform/dshow/GraphEvents.h"

namespace vistrel::dshow {

GraphEvents::GraphEvents() : m_signal(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

GraphEvents::~GraphEvents()
{
    if (m_signal)
        CloseHandle(m_signal);
}

void GraphEvents::post(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back({code, param1, param2});
        if (m_signal)
            SetEvent(m_signal);
    }
    m_changed.notify_all();
}

template <class Predicate>
bool GraphEvents::waitFor(std::unique_lock<std::mutex> &lock, DWORD timeoutMs, Predicate ready)
{
    if (timeoutMs == INFINITE) {
        m_changed.wait(lock, ready);
        return true;
    }
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
}

HRESULT GraphEvents::take(LONG *code, LONG_PTR *param1, LONG_PTR *param2, DWORD timeoutMs)
{
    if (!code || !param1 || !param2)
        return E_POINTER;
    *code = 0;
    *param1 = *param2 = 0;
    std::unique_lock<std::mutex> lock(m_lock);
    if (!waitFor(lock, timeoutMs, [this] { return !m_events.empty(); }))
        return E_ABORT;
    const Event event = m_events.front();
    m_events.pop_front();
    if (m_events.empty() && m_signal)
        ResetEvent(m_signal);
    *code = event.code;
    *param1 = event.param1;
    *param2 = event.param2;
    return S_OK;
}

bool GraphEvents::findCompletion(LONG *code) const
{
    for (const Event &event : m_events) {
        if (event.code == EC_COMPLETE || event.code == EC_ERRORABORT || event.code == EC_USERABORT) {
            *code = event.code;
            return true;
        }
    }
    return false;
}

HRESULT GraphEvents::waitForCompletion(DWORD timeoutMs, LONG *code)
{
    if (!code)
        return E_POINTER;
    *code = 0;
    std::unique_lock<std::mutex> lock(m_lock);
    waitFor(lock, timeoutMs, [this, code] { return findCompletion(code) || !m_running; });
    if (findCompletion(code))
        return S_OK;
    return m_running ? E_ABORT : VFW_E_WRONG_STATE;
}

void GraphEvents::setRunning(bool running)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_running = running;
    }
    m_changed.notify_all();
}

} // namespace vistrel::dshow
