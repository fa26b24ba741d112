#include "driver/capture/CaptureTimings.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex timingsMutex;
CaptureTimings timingsInForce;

} // namespace

CaptureTimings CaptureTimings::current()
{
    QMutexLocker lock(&timingsMutex);
    return timingsInForce;
}

void CaptureTimings::setForTesting(const CaptureTimings &timings)
{
    QMutexLocker lock(&timingsMutex);
    timingsInForce = timings;
}
