// The clock that stamps and paces delivered samples: the high-resolution performance counter in 100-ns
// units, and waits that a command for the pin's worker thread ends early.
#pragma once

#include "platform/windows/win32.h"

class DeliveryClock
{
public:
    virtual ~DeliveryClock() = default;

    // The current reading in 100-ns units.
    virtual LONGLONG now() = 0;
    // Waits `ms` milliseconds, less when `wakeUp` is signalled first.
    virtual void wait(HANDLE wakeUp, DWORD ms) = 0;

    // The clock in force: the performance counter unless a test put in its own.
    static DeliveryClock &current();
    // Tests replace the clock to check pacing at any machine speed; nullptr restores the real one. Only
    // while no pin streams.
    static void setForTesting(DeliveryClock *clock);
};

// The current clock's reading minus `origin`; with origin 0 the absolute reading. The counter frequency
// is read on first use in the process and kept.
LONGLONG clock100ns(LONGLONG origin);
