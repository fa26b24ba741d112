// When a streaming thread (the filter's pin, the media source's stream) starts its next sample: the run's
// first sample plus n frame intervals. Pacing to deadlines keeps the rate at the negotiated one; sleeping a
// whole interval after each sample would add the copy and the delivery to every period.
#pragma once

#include "platform/windows/win32.h"

class DeliverySchedule
{
public:
    // The next sample starts a new schedule (a new streaming run, or a run after a pause).
    void restart() { m_started = false; }

    // For a sample finished at `now` (delivery clock, 100-ns units) with frame interval `interval`: how
    // many milliseconds to wait before the next sample, rounded up so that it never starts early.
    // A late next sample is not waited for; one more than an interval late starts the schedule again from
    // `now` instead of sending a burst of samples to catch up. No interval, no wait.
    LONGLONG millisecondsToNext(LONGLONG now, LONGLONG interval);

    // When the next sample is due; meaningful after millisecondsToNext.
    LONGLONG nextDeadline() const { return m_next; }

private:
    bool m_started = false;
    LONGLONG m_next = 0;
};
