// Bookkeeping for the sink's COM objects: reference counts, and a count of live objects so that tests can
// prove that a sink and its enumerators were all released.
#pragma once

#include "platform/windows/win32.h"

#include <atomic>

namespace vistrel::sink {

// Sinks and enumerators alive right now.
LONG objectsAlive();

// Counts one live object for as long as it exists.
class LiveSinkObject
{
public:
    LiveSinkObject();
    LiveSinkObject(const LiveSinkObject &) = delete;
    LiveSinkObject &operator=(const LiveSinkObject &) = delete;
    ~LiveSinkObject();
};

// A COM reference count that starts at one (the creator's reference).
class RefCount
{
public:
    ULONG increment() { return ++m_count; }
    ULONG decrement() { return --m_count; }

private:
    std::atomic<ULONG> m_count{1};
};

} // namespace vistrel::sink
