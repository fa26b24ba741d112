// The filter graph's event queue: what filters report through IMediaEventSink::Notify, in arrival order, for
// the application to take with IMediaEvent::GetEvent. A manual-reset event is signalled while events wait.
#pragma once

#include "platform/dshow/dshow.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vistrel::dshow {

class GraphEvents
{
public:
    GraphEvents();
    ~GraphEvents();
    GraphEvents(const GraphEvents &) = delete;
    GraphEvents &operator=(const GraphEvents &) = delete;

    void post(LONG code, LONG_PTR param1, LONG_PTR param2);
    // Takes the oldest event, waiting up to `timeoutMs` (INFINITE waits without limit); E_ABORT on time-out.
    HRESULT take(LONG *code, LONG_PTR *param1, LONG_PTR *param2, DWORD timeoutMs);
    // Waits for a completion event (EC_COMPLETE, EC_ERRORABORT, EC_USERABORT) without taking it; E_ABORT on
    // time-out, VFW_E_WRONG_STATE when the graph stops running without one.
    HRESULT waitForCompletion(DWORD timeoutMs, LONG *code);
    // The graph tells whether it runs, so that a wait for completion cannot outlive the run.
    void setRunning(bool running);
    HANDLE handle() const { return m_signal; }

private:
    struct Event
    {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };
    bool findCompletion(LONG *code) const;
    template <class Predicate>
    bool waitFor(std::unique_lock<std::mutex> &lock, DWORD timeoutMs, Predicate ready);

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Event> m_events;
    bool m_running = false;
    HANDLE m_signal = nullptr;
};

} // namespace vistrel::dshow
