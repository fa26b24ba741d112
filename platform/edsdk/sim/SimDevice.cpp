#include "platform/edsdk/sim/SimDevice.h"

#include <algorithm>
#include <cmath>

namespace edsim {

void SimDevice::endSession()
{
    sessionHolder = 0;
    idleArmed = false;
    sessionLock.release();
}

void SimDevice::setOutputDevice(uint32_t device, Clock::time_point now)
{
    const bool toComputer = (device & 2u) != 0;
    if (toComputer && !live) {
        live = true;
        liveSince = now;
        lastFrameServed = -1;
    } else if (!toComputer) {
        live = false;
    }
    outputDevice = device;
}

int64_t SimDevice::nextFrame(Clock::time_point now) const
{
    if (!connected || !deliversFrames || !live || !(config.framesPerSecond > 0))
        return -1;
    const auto sinceFirst = now - liveSince - std::chrono::milliseconds(config.startupMs);
    if (sinceFirst < Clock::duration::zero())
        return -1;
    const double seconds = std::chrono::duration<double>(sinceFirst).count();
    const auto frame = static_cast<int64_t>(std::floor(seconds * config.framesPerSecond));
    return frame > lastFrameServed ? frame : -1;
}

void SimDevice::restartIdleClock(Clock::time_point now)
{
    idleArmed = true;
    warned = false;
    powerOffAt = now + std::chrono::milliseconds(config.idleMs);
}

Clock::time_point SimDevice::warningAt() const
{
    const auto lead = std::min<uint32_t>(config.idleMs / 4, 10000);
    return powerOffAt - std::chrono::milliseconds(lead);
}

} // namespace edsim
