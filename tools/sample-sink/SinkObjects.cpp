#include "tools/sample-sink/SinkObjects.h"

namespace vistrel::sink {

namespace {

std::atomic<LONG> liveObjects{0};

} // namespace

LONG objectsAlive()
{
    return liveObjects.load();
}

LiveSinkObject::LiveSinkObject()
{
    ++liveObjects;
}

LiveSinkObject::~LiveSinkObject()
{
    --liveObjects;
}

} // namespace vistrel::sink
