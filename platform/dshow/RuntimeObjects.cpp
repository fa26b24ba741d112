#include "platform/dshow/RuntimeObjects.h"

namespace {
std::atomic<LONG> g_liveObjects{0};
}

extern "C" LONG VistrelDShowLiveObjects()
{
    return g_liveObjects.load();
}

namespace vistrel::dshow {

void noteObjectCreated()
{
    ++g_liveObjects;
}

void noteObjectDestroyed()
{
    --g_liveObjects;
}

} // namespace vistrel::dshow
