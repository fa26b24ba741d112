#include "platform/windows/KernelObject.h"

#include <unordered_map>

namespace vistrel::win32 {

namespace {

struct HandleTable
{
    std::mutex mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Handle values are never reused, so a stale handle cannot reach a newer object.
    uintptr_t next = 4;
};

HandleTable &handleTable()
{
    static HandleTable *table = new HandleTable; // outlives every thread still running at exit
    return *table;
}

} // namespace

std::mutex &dispatcherMutex()
{
    static std::mutex *mutex = new std::mutex;
    return *mutex;
}

std::condition_variable &dispatcherSignal()
{
    static std::condition_variable *signal = new std::condition_variable;
    return *signal;
}

HANDLE insertHandle(std::shared_ptr<KernelObject> object)
{
    HandleTable &table = handleTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    const uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> referenceHandle(HANDLE handle)
{
    HandleTable &table = handleTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (found == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return found->second;
}

} // namespace vistrel::win32

using namespace vistrel::win32;

BOOL CloseHandle(HANDLE hObject)
{
    std::shared_ptr<KernelObject> closing; // released outside the table lock
    HandleTable &table = handleTable();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.objects.find(reinterpret_cast<uintptr_t>(hObject));
    if (found == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    closing = std::move(found->second);
    table.objects.erase(found);
    return TRUE;
}
