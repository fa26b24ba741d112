// WaitForSingleObject / WaitForMultipleObjects over events, semaphores and threads.
#include "platform/windows/KernelObject.h"

#include <chrono>
#include <vector>

using namespace vistrel::win32;

DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE *lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KernelObject>> objects;
    objects.reserve(nCount);
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = referenceHandle(lpHandles[i]);
        if (!object)
            return WAIT_FAILED;
        // Waiting for all of a set that names one object twice is refused, as Windows does.
        if (bWaitAll) {
            for (const auto &earlier : objects) {
                if (earlier == object) {
                    SetLastError(ERROR_INVALID_PARAMETER);
                    return WAIT_FAILED;
                }
            }
        }
        objects.push_back(std::move(object));
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    std::unique_lock<std::mutex> lock(dispatcherMutex());
    for (;;) {
        if (bWaitAll) {
            bool all = true;
            for (const auto &object : objects)
                all = all && object->isSignaled();
            if (all) {
                for (const auto &object : objects)
                    object->consumeSignal();
                return WAIT_OBJECT_0;
            }
        } else {
            for (DWORD i = 0; i < nCount; ++i) {
                if (objects[i]->isSignaled()) {
                    objects[i]->consumeSignal();
                    return WAIT_OBJECT_0 + i;
                }
            }
        }
        if (dwMilliseconds == INFINITE)
            dispatcherSignal().wait(lock);
        else if (std::chrono::steady_clock::now() >= deadline)
            return WAIT_TIMEOUT;
        else
            dispatcherSignal().wait_until(lock, deadline);
    }
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    return WaitForMultipleObjects(1, &hHandle, FALSE, dwMilliseconds);
}
