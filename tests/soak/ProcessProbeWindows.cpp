#include "tests/soak/ProcessProbe.h"

#include "platform/windows/win32.h"
// After windows.h (through the façade), which they need. Version 2 of the process-status API lives in
// kernel32 (K32...), so no psapi.dll is needed.
#define PSAPI_VERSION 2
#include <psapi.h>
#include <tlhelp32.h>

namespace ProcessProbe {
namespace {

// Both are newer than the headers of the toolchain, and ntdll's query is not in its import libraries:
// looked up at run time, and simply absent where the system lacks them.
typedef HRESULT(WINAPI *GetThreadDescriptionFunction)(HANDLE, PWSTR *);
typedef LONG(WINAPI *NtQueryInformationThreadFunction)(HANDLE, int, PVOID, ULONG, PULONG);
const int kThreadQuerySetWin32StartAddress = 9;

template <typename Function> Function systemFunction(const char *module, const char *name)
{
    const HMODULE library = GetModuleHandleA(module);
    return library ? reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(library, name)))
                   : nullptr;
}

std::string narrow(const wchar_t *text)
{
    std::string out;
    for (; text && *text; ++text)
        out += *text < 128 ? char(*text) : '?';
    return out;
}

// The file name of the module that holds `address`, or empty.
std::string moduleOf(const void *address)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &module))
        return {};
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    const std::string full(path, length < MAX_PATH ? length : 0);
    return full.substr(full.find_last_of("/\\") + 1);
}

// Windows threads rarely carry a name: the module their start routine lies in tells more.
std::string threadName(DWORD id)
{
    static const auto getDescription =
        systemFunction<GetThreadDescriptionFunction>("kernel32.dll", "GetThreadDescription");
    static const auto queryThread =
        systemFunction<NtQueryInformationThreadFunction>("ntdll.dll", "NtQueryInformationThread");
    const HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, id);
    if (thread == nullptr)
        return "thread (not inspectable)";
    std::string name;
    PWSTR description = nullptr;
    if (getDescription && SUCCEEDED(getDescription(thread, &description)) && description) {
        name = narrow(description);
        LocalFree(description);
    }
    if (name.empty()) {
        void *start = nullptr;
        if (queryThread &&
            queryThread(thread, kThreadQuerySetWin32StartAddress, &start, sizeof start, nullptr) == 0 &&
            start)
            name = "thread started in " + (moduleOf(start).empty() ? "an unknown module" : moduleOf(start));
        else
            name = "unnamed thread";
    }
    CloseHandle(thread);
    return name;
}

} // namespace

long long residentBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return static_cast<long long>(counters.WorkingSetSize);
}

std::vector<std::string> threadNames()
{
    std::vector<std::string> names;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return names;
    const DWORD self = GetCurrentProcessId();
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self)
            names.push_back(threadName(entry.th32ThreadID));
    CloseHandle(snapshot);
    return names;
}

std::string programFolder()
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    const std::string self(path, length);
    return self.substr(0, self.find_last_of("/\\"));
}

long currentThreadId()
{
    return static_cast<long>(GetCurrentThreadId());
}

// Windows counts a thread's processor time (GetThreadTimes), not its wait for a processor; without that
// figure a gap cannot be put down to the machine's load, and the report leaves the refinement out.
long long runQueueWaitNs(long)
{
    return -1;
}

} // namespace ProcessProbe
