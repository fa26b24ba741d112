#include "platform/edsdk/sim/Simulator.h"

#include <algorithm>
#include <cstdlib>

namespace edsim {
namespace {

constexpr std::size_t maxCallLogEntries = 200000;
constexpr const char *defaultConfiguration = "Canon EOS 90D";

uint64_t idOf(EdsBaseRef ref)
{
    const auto value = reinterpret_cast<uintptr_t>(ref);
    return (value & 0xF) == 0 ? value >> 4 : 0;
}

// Ids are never reused, so a released reference stays invalid for good.
EdsBaseRef refOf(uint64_t id)
{
    return reinterpret_cast<EdsBaseRef>(static_cast<uintptr_t>(id << 4));
}

} // namespace

Simulator &Simulator::instance()
{
    // Never destroyed: at process exit Windows ends the event thread before static destructors run, so a
    // destructor that stopped and joined it would wait for ever. EdsTerminateSDK ends the thread; a
    // process that exits without it leaves the thread to the system.
    static Simulator *const simulator = new Simulator;
    return *simulator;
}

Simulator::Simulator()
{
    const char *configured = std::getenv("EDSDK_SIM_CAMERAS");
    std::vector<CameraConfig> cameras;
    std::string error;
    if (!parseCameraConfiguration(configured ? configured : defaultConfiguration, cameras, error)) {
        std::fprintf(stderr, "EDSDK simulator: EDSDK_SIM_CAMERAS ignored: %s\n", error.c_str());
        parseCameraConfiguration(defaultConfiguration, cameras, error);
    }
    if (addCameras(cameras) != EDS_ERR_OK)
        std::fprintf(stderr, "EDSDK simulator: some cameras of EDSDK_SIM_CAMERAS could not be set up\n");
}

EdsBaseRef Simulator::addObject(std::unique_ptr<SimObject> object)
{
    const uint64_t id = nextObjectId++;
    objects.emplace(id, std::move(object));
    return refOf(id);
}

SimObject *Simulator::findAny(EdsBaseRef ref)
{
    const auto found = objects.find(idOf(ref));
    return found == objects.end() ? nullptr : found->second.get();
}

SimObject *Simulator::find(EdsBaseRef ref, Kind kind)
{
    SimObject *object = findAny(ref);
    return object && object->kind == kind ? object : nullptr;
}

void Simulator::destroyObject(EdsBaseRef ref)
{
    const auto found = objects.find(idOf(ref));
    if (found == objects.end())
        return;
    SimObject &object = *found->second;
    // Releasing the last reference to a camera ends the session it opened, as the real SDK does.
    if (object.kind == Kind::Camera && object.device && object.device->sessionHolder == found->first) {
        object.device->endSession();
    }
    objects.erase(found);
}

void Simulator::record(const char *call, const std::string &port)
{
    if (callLog.size() >= maxCallLogEntries)
        callLog.pop_front();
    callLog.emplace_back(call, port);
}

void Simulator::setLastRecordedPort(const std::string &port)
{
    if (!callLog.empty())
        callLog.back().second = port;
}

EdsError Simulator::injectedError(const char *call, const std::string &port)
{
    for (auto it = injections.begin(); it != injections.end(); ++it) {
        if (it->call != call || (!it->anyPort && it->port != port))
            continue;
        const EdsError code = it->code;
        if (it->remaining > 0 && --it->remaining == 0)
            injections.erase(it);
        return code;
    }
    return EDS_ERR_OK;
}

void Simulator::inject(const std::string &call, const char *port, EdsError code, uint32_t times)
{
    Injection injection;
    injection.call = call;
    injection.anyPort = port == nullptr;
    injection.port = port ? port : "";
    injection.code = code;
    injection.remaining = times;
    injections.push_back(injection);
}

std::string Simulator::callLogText() const
{
    std::string text;
    for (const auto &entry : callLog) {
        text += entry.first;
        text += '\t';
        text += entry.second;
        text += '\n';
    }
    return text;
}

std::shared_ptr<SimDevice> Simulator::device(const char *port) const
{
    if (!port)
        return nullptr;
    for (const auto &device : devices) {
        if (device->config.port == port)
            return device;
    }
    return nullptr;
}

EdsError Simulator::addCameras(const std::vector<CameraConfig> &cameras)
{
    std::vector<std::shared_ptr<SimDevice>> added;
    uint32_t portNumber = nextPortNumber;
    for (auto config : cameras) {
        if (config.port.empty()) {
            do {
                config.port = "usb:" + std::to_string(portNumber++);
            } while (device(config.port.c_str()));
        }
        const bool portTaken = device(config.port.c_str()) ||
                               std::any_of(added.begin(), added.end(),
                                           [&](const auto &d) { return d->config.port == config.port; });
        if (portTaken)
            return EDS_ERR_INVALID_PARAMETER;
        auto camera = std::make_shared<SimDevice>(config);
        if (!config.framesPath.empty()) {
            auto frames = std::make_shared<Frames>();
            if (!loadReplayFrames(config.framesPath, *frames))
                return EDS_ERR_INVALID_PARAMETER;
            camera->replay = frames;
        }
        added.push_back(camera);
    }
    nextPortNumber = portNumber;
    devices.insert(devices.end(), added.begin(), added.end());
    return EDS_ERR_OK;
}

EdsError Simulator::reset(const char *configuration)
{
    std::vector<CameraConfig> cameras;
    std::string error;
    const char *text = configuration;
    if (!text) {
        text = std::getenv("EDSDK_SIM_CAMERAS");
        if (!text)
            text = defaultConfiguration;
    }
    if (!parseCameraConfiguration(text, cameras, error))
        return EDS_ERR_INVALID_PARAMETER;
    const auto previous = std::move(devices);
    const auto previousPortNumber = nextPortNumber;
    devices.clear();
    nextPortNumber = 1;
    if (const EdsError result = addCameras(cameras); result != EDS_ERR_OK) {
        devices = previous;
        nextPortNumber = previousPortNumber;
        return result;
    }
    // References still held now point at cameras that are gone; they send no events.
    for (const auto &old : previous) {
        old->connected = false;
        old->endSession();
    }
    events.clear();
    injections.clear();
    callLog.clear();
    return EDS_ERR_OK;
}

void Simulator::disconnect(const std::shared_ptr<SimDevice> &device)
{
    if (!device->connected)
        return;
    postEvent(device, kEdsStateEvent_Shutdown, 0);
    device->connected = false;
    device->live = false;
    device->idleArmed = false;
    // Plugged in again, the camera is free for any process; calls on this session here fail meanwhile.
    device->sessionLock.release();
    devices.erase(std::remove(devices.begin(), devices.end(), device), devices.end());
}

void Simulator::postEvent(const std::shared_ptr<SimDevice> &device, EdsStateEvent event, EdsUInt32 data)
{
    if (initializeCount == 0)
        return;
    events.push_back({device, event, data});
    wake.notify_all();
}

void Simulator::sdkInitialized()
{
    ++initializeCount;
    if (!eventThread.joinable()) {
        stopEvents = false;
        eventThread = std::thread([this] { eventLoop(); });
    }
}

void Simulator::sdkTerminated(std::unique_lock<std::mutex> &lock)
{
    if (initializeCount > 0)
        return;
    for (const auto &device : devices)
        device->endSession();
    events.clear();
    if (!eventThread.joinable())
        return;
    stopEvents = true;
    wake.notify_all();
    if (std::this_thread::get_id() == eventThreadId) {
        eventThread.detach(); // terminated from inside a handler: the loop ends once it returns
        return;
    }
    std::thread finishing = std::move(eventThread);
    lock.unlock();
    finishing.join();
    lock.lock();
}

void Simulator::waitForHandlers(std::unique_lock<std::mutex> &lock)
{
    if (std::this_thread::get_id() == eventThreadId)
        return;
    wake.wait(lock, [this] { return !delivering; });
}

void Simulator::eventLoop()
{
    std::unique_lock<std::mutex> lock(mutex);
    eventThreadId = std::this_thread::get_id();
    while (!stopEvents) {
        checkIdleClocks(Clock::now());
        if (events.empty()) {
            const auto deadline = nextIdleDeadline();
            if (deadline == Clock::time_point::max())
                wake.wait(lock);
            else
                wake.wait_until(lock, deadline);
            continue;
        }
        const PendingEvent event = events.front();
        events.pop_front();
        struct Target
        {
            EdsStateEventHandler handler;
            void *context;
        };
        std::vector<Target> targets;
        for (const auto &entry : objects) {
            const SimObject &object = *entry.second;
            if (object.kind == Kind::Camera && object.device == event.device && object.handler &&
                (object.handlerEvent == kEdsStateEvent_All || object.handlerEvent == event.event))
                targets.push_back({object.handler, object.handlerContext});
        }
        if (targets.empty())
            continue;
        delivering = true;
        lock.unlock();
        for (const auto &target : targets)
            target.handler(event.event, event.data, target.context);
        lock.lock();
        delivering = false;
        wake.notify_all();
    }
    eventThreadId = std::thread::id();
}

void Simulator::checkIdleClocks(Clock::time_point now)
{
    // Copy: a camera that powers off leaves the list.
    const auto current = devices;
    for (const auto &device : current) {
        if (!device->idleArmed || !device->connected)
            continue;
        if (!device->warned && now >= device->warningAt()) {
            // Warned late (this thread woke late on a busy machine): the power-off keeps its whole lead
            // over the warning, as a camera's would, rather than coming with it or before it.
            const auto lead = device->powerOffAt - device->warningAt();
            device->powerOffAt = std::max(device->powerOffAt, now + lead);
            device->warned = true;
            const auto left = std::chrono::duration_cast<std::chrono::seconds>(device->powerOffAt - now);
            postEvent(device, kEdsStateEvent_WillSoonShutDown, static_cast<EdsUInt32>(left.count()));
        } else if (device->warned && now >= device->powerOffAt) {
            disconnect(device);
        }
    }
}

Clock::time_point Simulator::nextIdleDeadline() const
{
    auto deadline = Clock::time_point::max();
    for (const auto &device : devices) {
        if (device->idleArmed && device->connected)
            deadline = std::min(deadline, device->warned ? device->powerOffAt : device->warningAt());
    }
    return deadline;
}

SdkCall::SdkCall(const char *name, EdsBaseRef ref, Kind kind, bool needsInitialize)
    : sim(Simulator::instance()), lock(sim.mutex)
{
    object = sim.find(ref, kind);
    std::string port;
    if (object && object->device)
        port = object->device->config.port;
    begin(name, port, needsInitialize);
    if (error == EDS_ERR_OK && !object)
        error = EDS_ERR_INVALID_HANDLE;
}

SdkCall::SdkCall(const char *name, bool needsInitialize) : sim(Simulator::instance()), lock(sim.mutex)
{
    begin(name, std::string(), needsInitialize);
}

void SdkCall::begin(const char *name, const std::string &port, bool needsInitialize)
{
    sim.record(name, port);
    error = sim.injectedError(name, port);
    if (error == EDS_ERR_OK && needsInitialize && sim.initializeCount == 0)
        error = EDS_ERR_INTERNAL_ERROR;
}

} // namespace edsim
