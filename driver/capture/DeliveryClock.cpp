#include "driver/capture/DeliveryClock.h"

#include <atomic>

namespace {

// 0 until read. Several threads may read it first; each stores the same value.
std::atomic<LONGLONG> counterFrequency{0};

LONGLONG frequency()
{
    LONGLONG known = counterFrequency.load(std::memory_order_relaxed);
    if (known > 0)
        return known;
    LARGE_INTEGER value;
    value.QuadPart = 0;
    if (!QueryPerformanceFrequency(&value) || value.QuadPart <= 0)
        return 0;
    counterFrequency.store(value.QuadPart, std::memory_order_relaxed);
    return value.QuadPart;
}

class PerformanceCounterClock : public DeliveryClock
{
public:
    LONGLONG now() override
    {
        const LONGLONG ticksPerSecond = frequency();
        LARGE_INTEGER counter;
        counter.QuadPart = 0;
        QueryPerformanceCounter(&counter);
        // Without a frequency there is no time to tell; a reading of 0 is at least never negative.
        if (ticksPerSecond <= 0 || counter.QuadPart <= 0)
            return 0;
        const double reading = double(counter.QuadPart) * 10000000.0 / double(ticksPerSecond);
        return LONGLONG(ULONGLONG(reading));
    }
    void wait(HANDLE wakeUp, DWORD ms) override
    {
        if (ms > 0)
            WaitForSingleObject(wakeUp, ms);
    }
};

PerformanceCounterClock realClock;
std::atomic<DeliveryClock *> testClock{nullptr};

} // namespace

DeliveryClock &DeliveryClock::current()
{
    DeliveryClock *replaced = testClock.load(std::memory_order_acquire);
    return replaced != nullptr ? *replaced : realClock;
}

void DeliveryClock::setForTesting(DeliveryClock *clock)
{
    testClock.store(clock, std::memory_order_release);
}

LONGLONG clock100ns(LONGLONG origin)
{
    return DeliveryClock::current().now() - origin;
}
