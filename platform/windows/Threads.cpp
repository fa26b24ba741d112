// Threads: std::thread underneath, a waitable handle on top that becomes signalled when the routine returns.
#include "platform/windows/KernelObject.h"

#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace vistrel::win32;

namespace {

// What a thread ends with when its routine let an exception escape (the code Windows reports for one).
constexpr DWORD kUnhandledExceptionExitCode = 0xE06D7363;

class ThreadObject : public KernelObject
{
public:
    explicit ThreadObject(bool suspended) : m_suspended(suspended) {}
    bool isSignaled() const override { return m_finished; }

    bool m_suspended;
    bool m_finished = false;
    DWORD m_exitCode = STILL_ACTIVE;
    DWORD m_threadId = 0;
    int m_priority = THREAD_PRIORITY_NORMAL;
};

void runThread(std::shared_ptr<ThreadObject> self, LPTHREAD_START_ROUTINE routine, LPVOID parameter)
{
    {
        std::unique_lock<std::mutex> lock(dispatcherMutex());
        dispatcherSignal().wait(lock, [&] { return !self->m_suspended; });
    }
    DWORD exitCode = kUnhandledExceptionExitCode;
    try {
        exitCode = routine(parameter);
    } catch (...) {
        std::fprintf(stderr, "thread %u ended with an unhandled exception\n", unsigned(GetCurrentThreadId()));
    }
    {
        std::lock_guard<std::mutex> lock(dispatcherMutex());
        self->m_exitCode = exitCode;
        self->m_finished = true;
    }
    dispatcherSignal().notify_all();
}

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                    DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto object = std::make_shared<ThreadObject>((dwCreationFlags & CREATE_SUSPENDED) != 0);
    std::thread thread;
    try {
        // The id is known only inside the new thread; it publishes it before anything else.
        thread = std::thread([object, lpStartAddress, lpParameter] {
            {
                std::lock_guard<std::mutex> lock(dispatcherMutex());
                object->m_threadId = GetCurrentThreadId();
            }
            dispatcherSignal().notify_all();
            runThread(object, lpStartAddress, lpParameter);
        });
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    thread.detach();
    DWORD id = 0;
    {
        std::unique_lock<std::mutex> lock(dispatcherMutex());
        dispatcherSignal().wait(lock, [&] { return object->m_threadId != 0; });
        id = object->m_threadId;
    }
    if (lpThreadId)
        *lpThreadId = id;
    return insertHandle(object);
}

DWORD ResumeThread(HANDLE hThread)
{
    auto thread = referenceHandleAs<ThreadObject>(hThread);
    if (!thread)
        return DWORD(-1);
    DWORD previous = 0;
    {
        std::lock_guard<std::mutex> lock(dispatcherMutex());
        previous = thread->m_suspended ? 1 : 0;
        thread->m_suspended = false;
    }
    dispatcherSignal().notify_all();
    return previous;
}

BOOL GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    auto thread = referenceHandleAs<ThreadObject>(hThread);
    if (!thread)
        return FALSE;
    if (!lpExitCode) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(dispatcherMutex());
    *lpExitCode = thread->m_exitCode;
    return TRUE;
}

DWORD GetThreadId(HANDLE Thread)
{
    auto thread = referenceHandleAs<ThreadObject>(Thread);
    if (!thread)
        return 0;
    std::lock_guard<std::mutex> lock(dispatcherMutex());
    return thread->m_threadId;
}

// Scheduling priorities are kept for GetThreadPriority but not applied: ordinary users cannot raise them
// here.
BOOL SetThreadPriority(HANDLE hThread, int nPriority)
{
    auto thread = referenceHandleAs<ThreadObject>(hThread);
    if (!thread)
        return FALSE;
    std::lock_guard<std::mutex> lock(dispatcherMutex());
    thread->m_priority = nPriority;
    return TRUE;
}

int GetThreadPriority(HANDLE hThread)
{
    auto thread = referenceHandleAs<ThreadObject>(hThread);
    if (!thread)
        return THREAD_PRIORITY_ERROR_RETURN;
    std::lock_guard<std::mutex> lock(dispatcherMutex());
    return thread->m_priority;
}

DWORD GetCurrentThreadId()
{
    return DWORD(gettid());
}

DWORD GetCurrentProcessId()
{
    return DWORD(getpid());
}
