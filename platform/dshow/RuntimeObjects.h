// Bookkeeping shared by the runtime's COM objects: reference counts and a process-wide count of live objects,
// so that tests (ours and those of the code built on top) can prove that nothing was leaked.
#pragma once

#include "platform/windows/win32.h"

#include <atomic>

// Number of runtime objects (allocators, samples, graphs, enumerators, monikers, sinks, ...) alive right now.
extern "C" __attribute__((visibility("default"))) LONG VistrelDShowLiveObjects();

namespace vistrel::dshow {

void noteObjectCreated();
void noteObjectDestroyed();

// Counts one live object for as long as it exists; a base of every runtime class.
class LiveObject
{
public:
    LiveObject() { noteObjectCreated(); }
    LiveObject(const LiveObject &) = delete;
    LiveObject &operator=(const LiveObject &) = delete;
    ~LiveObject() { noteObjectDestroyed(); }
};

// A COM reference count that starts at one (the creator's reference).
class RefCount
{
public:
    ULONG increment() { return ++m_count; }
    ULONG decrement() { return --m_count; }
    ULONG value() const { return m_count.load(); }

private:
    std::atomic<ULONG> m_count{1};
};

} // namespace vistrel::dshow
