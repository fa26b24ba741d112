// The platform's lifetime, its clock, and the count of live stand-in objects.
#include "platform/mf/MfObjects.h"
#include "platform/mf/MfWorkQueue.h"

#include <chrono>

namespace {
std::atomic<LONG> g_liveObjects{0};
}

namespace vistrel::mf {

void noteObjectCreated()
{
    ++g_liveObjects;
}

void noteObjectDestroyed()
{
    --g_liveObjects;
}

} // namespace vistrel::mf

LONG VistrelMfLiveObjects()
{
    return g_liveObjects.load();
}

HRESULT MFStartup(ULONG Version, DWORD)
{
    return vistrel::mf::startWorkQueue(Version);
}

HRESULT MFShutdown()
{
    return vistrel::mf::stopWorkQueue();
}

MFTIME MFGetSystemTime()
{
    // A monotonic clock in 100-nanosecond units, like Windows' performance counter behind it.
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::duration<MFTIME, std::ratio<1, 10000000>>>(sinceStart)
        .count();
}
