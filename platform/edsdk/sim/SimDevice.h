#pragma once

#include "platform/edsdk/sim/SessionLock.h"
#include "platform/edsdk/sim/SimConfig.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace edsim {

using Clock = std::chrono::steady_clock;
using Frames = std::vector<std::vector<uint8_t>>;

// One simulated camera. Every member is guarded by the simulator's lock.
struct SimDevice
{
    explicit SimDevice(const CameraConfig &config) : config(config) {}

    CameraConfig config;
    bool connected = true;
    bool deliversFrames = true;
    uint64_t sessionHolder = 0; // id of the camera reference that opened the session; 0: none
    // The same session as other processes see it; let go when the session ends or the camera is unplugged.
    SessionLock sessionLock;
    uint32_t outputDevice = 1; // the camera's own screen
    uint32_t framesDelivered = 0;
    std::shared_ptr<const Frames> replay;

    // Live view to the computer.
    bool live = false;
    Clock::time_point liveSince;
    int64_t lastFrameServed = -1;

    // Automatic power-off while a session is open.
    bool idleArmed = false;
    bool warned = false;
    Clock::time_point powerOffAt;

    // Ends the session, here and for the other processes.
    void endSession();
    void setOutputDevice(uint32_t device, Clock::time_point now);
    // The newest frame ready and not yet handed out, or -1.
    int64_t nextFrame(Clock::time_point now) const;
    void restartIdleClock(Clock::time_point now);
    Clock::time_point warningAt() const;
};

} // namespace edsim
