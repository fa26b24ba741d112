#include "driver/capture/DeliverySchedule.h"

#include <limits>

namespace {

// Held at the end of the range: an absurdly long interval must not wrap the deadline into the past.
LONGLONG later(LONGLONG time, LONGLONG interval)
{
    const LONGLONG largest = std::numeric_limits<LONGLONG>::max();
    return time > largest - interval ? largest : time + interval;
}

} // namespace

LONGLONG DeliverySchedule::millisecondsToNext(LONGLONG now, LONGLONG interval)
{
    if (interval <= 0) {
        m_started = false;
        return 0;
    }
    if (!m_started) {
        m_started = true;
        m_next = now;
    }
    m_next = later(m_next, interval);
    if (now < m_next) {
        const LONGLONG ahead = m_next - now;
        return ahead / 10000 + (ahead % 10000 != 0 ? 1 : 0);
    }
    if (now - m_next > interval)
        m_next = now;
    return 0;
}
