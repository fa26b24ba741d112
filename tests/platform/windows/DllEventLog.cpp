#include "tests/platform/windows/DllEventLog.h"

namespace {
std::mutex eventsMutex;
std::vector<DllEvent> events;
} // namespace

extern "C" __attribute__((visibility("default"))) void
vistrelTestRecordDllEvent(DWORD reason, HINSTANCE module, BOOL staticsAlive)
{
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.push_back({reason, module, staticsAlive});
}

std::vector<DllEvent> recordedDllEvents()
{
    std::lock_guard<std::mutex> lock(eventsMutex);
    return events;
}

void clearDllEvents()
{
    std::lock_guard<std::mutex> lock(eventsMutex);
    events.clear();
}
