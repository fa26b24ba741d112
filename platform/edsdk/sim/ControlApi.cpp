// The simulator's own control functions for tests and demos.

#include "platform/edsdk/EdsSimulator.h"
#include "platform/edsdk/sim/Simulator.h"

#include <cmath>
#include <cstring>

using namespace edsim;

namespace {

// Runs change on the named camera under the simulator's lock.
template <typename Change> EdsError withDevice(const char *port, Change change)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const auto device = sim.device(port);
    if (!device)
        return EDS_ERR_DEVICE_NOT_FOUND;
    return change(*device);
}

} // namespace

extern "C" {

EdsError EdsSimReset(const char *configuration)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.reset(configuration);
}

EdsError EdsSimAddCameras(const char *configuration)
{
    if (!configuration)
        return EDS_ERR_INVALID_POINTER;
    std::vector<CameraConfig> cameras;
    std::string error;
    if (!parseCameraConfiguration(configuration, cameras, error))
        return EDS_ERR_INVALID_PARAMETER;
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.addCameras(cameras);
}

EdsError EdsSimUnplugCamera(const char *port)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const auto device = sim.device(port);
    if (!device)
        return EDS_ERR_DEVICE_NOT_FOUND;
    sim.disconnect(device);
    return EDS_ERR_OK;
}

EdsError EdsSimSetLiveViewSize(const char *port, EdsInt32 width, EdsInt32 height)
{
    if (width <= 0 || height <= 0 || width > maxLiveViewSide || height > maxLiveViewSide)
        return EDS_ERR_INVALID_PARAMETER;
    return withDevice(port, [&](SimDevice &device) {
        device.config.width = width;
        device.config.height = height;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimSetFrameRate(const char *port, double framesPerSecond)
{
    if (!std::isfinite(framesPerSecond) || framesPerSecond < 0 || framesPerSecond > 1000)
        return EDS_ERR_INVALID_PARAMETER;
    return withDevice(port, [&](SimDevice &device) {
        device.config.framesPerSecond = framesPerSecond;
        // Count frames from now at the new rate.
        if (device.live) {
            device.liveSince = Clock::now() - std::chrono::milliseconds(device.config.startupMs);
            device.lastFrameServed = -1;
        }
        return EDS_ERR_OK;
    });
}

EdsError EdsSimSetIdlePowerOff(const char *port, EdsUInt32 milliseconds)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const auto device = sim.device(port);
    if (!device)
        return EDS_ERR_DEVICE_NOT_FOUND;
    device->config.idleMs = milliseconds;
    if (device->idleArmed) {
        device->restartIdleClock(Clock::now());
        sim.wakeEventThread();
    }
    return EDS_ERR_OK;
}

EdsError EdsSimSetStartupDelay(const char *port, EdsUInt32 milliseconds)
{
    return withDevice(port, [&](SimDevice &device) {
        device.config.startupMs = milliseconds;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimSetDeliversFrames(const char *port, EdsBool deliversFrames)
{
    return withDevice(port, [&](SimDevice &device) {
        device.deliversFrames = deliversFrames != 0;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimReplayFrames(const char *port, const char *path)
{
    if (!path)
        return EDS_ERR_INVALID_POINTER;
    auto frames = std::make_shared<Frames>();
    if (!loadReplayFrames(path, *frames))
        return EDS_ERR_INVALID_PARAMETER;
    return withDevice(port, [&](SimDevice &device) {
        device.replay = frames;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimAddReplayFrame(const char *port, const void *data, EdsUInt32 length)
{
    if (!data && length > 0)
        return EDS_ERR_INVALID_POINTER;
    return withDevice(port, [&](SimDevice &device) {
        // Copy on write: a download may be reading the current list outside the lock.
        auto frames = device.replay ? std::make_shared<Frames>(*device.replay) : std::make_shared<Frames>();
        const auto *bytes = static_cast<const uint8_t *>(data);
        frames->emplace_back(bytes, bytes + length);
        device.replay = frames;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimClearReplayFrames(const char *port)
{
    return withDevice(port, [&](SimDevice &device) {
        device.replay.reset();
        return EDS_ERR_OK;
    });
}

EdsError EdsSimInjectError(const char *call, const char *port, EdsError code, EdsUInt32 times)
{
    if (!call)
        return EDS_ERR_INVALID_POINTER;
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.inject(call, port, code, times);
    return EDS_ERR_OK;
}

void EdsSimClearInjections(void)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.clearInjections();
}

EdsError EdsSimSendStateEvent(const char *port, EdsStateEvent event, EdsUInt32 eventData)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const auto device = sim.device(port);
    if (!device)
        return EDS_ERR_DEVICE_NOT_FOUND;
    if (sim.initializeCount == 0)
        return EDS_ERR_INTERNAL_ERROR;
    sim.postEvent(device, event, eventData);
    return EDS_ERR_OK;
}

EdsUInt32 EdsSimGetCallLog(char *buffer, EdsUInt32 size, EdsBool clear)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    const std::string text = sim.callLogText();
    const auto needed = static_cast<EdsUInt32>(text.size() + 1);
    if (buffer && size >= needed) {
        std::memcpy(buffer, text.c_str(), needed);
        if (clear)
            sim.clearCallLog();
    }
    return needed;
}

void EdsSimClearCallLog(void)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    sim.clearCallLog();
}

EdsError EdsSimGetOutputDevice(const char *port, EdsUInt32 *outputDevice)
{
    if (!outputDevice)
        return EDS_ERR_INVALID_POINTER;
    return withDevice(port, [&](SimDevice &device) {
        *outputDevice = device.outputDevice;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimIsSessionOpen(const char *port, EdsBool *open)
{
    if (!open)
        return EDS_ERR_INVALID_POINTER;
    return withDevice(port, [&](SimDevice &device) {
        *open = device.sessionHolder != 0;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimGetFramesDelivered(const char *port, EdsUInt32 *frames)
{
    if (!frames)
        return EDS_ERR_INVALID_POINTER;
    return withDevice(port, [&](SimDevice &device) {
        *frames = device.framesDelivered;
        return EDS_ERR_OK;
    });
}

EdsError EdsSimGetFrameReadyTime(const char *port, EdsUInt32 frame, EdsUInt64 *steadyNanoseconds)
{
    if (!steadyNanoseconds)
        return EDS_ERR_INVALID_POINTER;
    return withDevice(port, [&](SimDevice &device) {
        const double fps = device.config.framesPerSecond;
        if (!device.connected || !device.deliversFrames || !device.live || !(fps > 0))
            return EdsError(EDS_ERR_OBJECT_NOTREADY);
        // The inverse of SimDevice::nextFrame: frame n is ready from startup + n / fps on.
        const auto ready =
            device.liveSince + std::chrono::milliseconds(device.config.startupMs) +
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frame / fps));
        *steadyNanoseconds =
            EdsUInt64(std::chrono::duration_cast<std::chrono::nanoseconds>(ready.time_since_epoch()).count());
        return EdsError(EDS_ERR_OK);
    });
}

EdsUInt32 EdsSimLiveReferenceCount(void)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.liveReferences();
}

EdsUInt32 EdsSimInitializeCount(void)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    return sim.initializeCount;
}

} // extern "C"
