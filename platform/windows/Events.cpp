// Events and semaphores, signalled under the dispatcher lock.
#include "platform/windows/KernelObject.h"

using namespace vistrel::win32;

namespace {

class EventObject : public KernelObject
{
public:
    EventObject(bool manualReset, bool signaled) : m_manualReset(manualReset), m_signaled(signaled) {}
    bool isSignaled() const override { return m_signaled; }
    void consumeSignal() override
    {
        if (!m_manualReset)
            m_signaled = false;
    }
    void set(bool signaled) { m_signaled = signaled; }

private:
    const bool m_manualReset;
    bool m_signaled;
};

class SemaphoreObject : public KernelObject
{
public:
    SemaphoreObject(LONG count, LONG maximum) : m_count(count), m_maximum(maximum) {}
    bool isSignaled() const override { return m_count > 0; }
    void consumeSignal() override { --m_count; }
    bool release(LONG count, LONG *previous)
    {
        if (count <= 0 || count > m_maximum - m_count)
            return false;
        if (previous)
            *previous = m_count;
        m_count += count;
        return true;
    }

private:
    LONG m_count;
    const LONG m_maximum;
};

HANDLE createEvent(BOOL manualReset, BOOL initialState, bool named)
{
    // Named events would be shared between processes; nothing here needs that, so refuse rather than
    // hand out an event that silently is not shared.
    if (named) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    return insertHandle(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

BOOL setEventState(HANDLE hEvent, bool signaled)
{
    auto event = referenceHandleAs<EventObject>(hEvent);
    if (!event)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(dispatcherMutex());
        event->set(signaled);
    }
    if (signaled)
        dispatcherSignal().notify_all();
    return TRUE;
}

HANDLE createSemaphore(LONG initial, LONG maximum, bool named)
{
    if (named) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (maximum <= 0 || initial < 0 || initial > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return insertHandle(std::make_shared<SemaphoreObject>(initial, maximum));
}

} // namespace

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR lpName)
{
    return createEvent(bManualReset, bInitialState, lpName != nullptr);
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName)
{
    return createEvent(bManualReset, bInitialState, lpName != nullptr);
}

BOOL SetEvent(HANDLE hEvent)
{
    return setEventState(hEvent, true);
}

BOOL ResetEvent(HANDLE hEvent)
{
    return setEventState(hEvent, false);
}

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCWSTR lpName)
{
    return createSemaphore(lInitialCount, lMaximumCount, lpName != nullptr);
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG lInitialCount, LONG lMaximumCount, LPCSTR lpName)
{
    return createSemaphore(lInitialCount, lMaximumCount, lpName != nullptr);
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount)
{
    auto semaphore = referenceHandleAs<SemaphoreObject>(hSemaphore);
    if (!semaphore)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(dispatcherMutex());
        if (!semaphore->release(lReleaseCount, lpPreviousCount)) {
            SetLastError(lReleaseCount <= 0 ? ERROR_INVALID_PARAMETER : ERROR_TOO_MANY_POSTS);
            return FALSE;
        }
    }
    dispatcherSignal().notify_all();
    return TRUE;
}
