// Internal: waitable objects behind HANDLEs, and the one dispatcher lock that all waits and signals share,
// so that waiting for several objects at once sees a consistent picture.
#pragma once

#include "platform/windows/win32.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vistrel::win32 {

class KernelObject
{
public:
    virtual ~KernelObject() = default;
    // Both called with the dispatcher lock held.
    virtual bool isSignaled() const = 0;
    // A wait was satisfied by this object: auto-reset events reset, semaphores count down.
    virtual void consumeSignal() {}
};

std::mutex &dispatcherMutex();
// Notified (with the dispatcher lock held or just released) whenever any object may have become signalled.
std::condition_variable &dispatcherSignal();

HANDLE insertHandle(std::shared_ptr<KernelObject> object);
// Null, with ERROR_INVALID_HANDLE set, for a handle that is not open.
std::shared_ptr<KernelObject> referenceHandle(HANDLE handle);

template <typename T> std::shared_ptr<T> referenceHandleAs(HANDLE handle)
{
    auto object = std::dynamic_pointer_cast<T>(referenceHandle(handle));
    if (!object)
        SetLastError(ERROR_INVALID_HANDLE);
    return object;
}

} // namespace vistrel::win32
