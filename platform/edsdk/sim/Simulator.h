#pragma once

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/sim/SimDevice.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace edsim {

enum class Kind
{
    CameraList,
    Camera,
    Stream,
    EvfImage
};

// What a reference handed to a caller stands for.
struct SimObject
{
    explicit SimObject(Kind kind) : kind(kind) {}

    Kind kind;
    uint32_t refs = 1;
    std::vector<std::shared_ptr<SimDevice>> cameras; // camera list: the cameras when it was made
    std::shared_ptr<SimDevice> device;               // camera
    EdsStateEventHandler handler = nullptr;          // camera
    EdsStateEvent handlerEvent = 0;
    void *handlerContext = nullptr;
    std::shared_ptr<std::vector<uint8_t>> bytes; // stream, and the stream a live-view image fills
};

// The state behind the SDK's functions: cameras, references, the call log, injected failures and the
// thread that delivers state events. One lock guards all of it.
class Simulator
{
public:
    // The one simulator of the process, made on first use and never destroyed.
    static Simulator &instance();
    ~Simulator() = delete;

    std::mutex mutex;

    // Everything below is used with mutex held.
    uint32_t initializeCount = 0;
    std::vector<std::shared_ptr<SimDevice>> devices;

    EdsBaseRef addObject(std::unique_ptr<SimObject> object);
    SimObject *find(EdsBaseRef ref, Kind kind);
    SimObject *findAny(EdsBaseRef ref);
    void destroyObject(EdsBaseRef ref);
    uint32_t liveReferences() const { return static_cast<uint32_t>(objects.size()); }

    void record(const char *call, const std::string &port);
    // For calls that find their camera only while they run.
    void setLastRecordedPort(const std::string &port);
    // The code injected for this call, or EDS_ERR_OK.
    EdsError injectedError(const char *call, const std::string &port);
    void inject(const std::string &call, const char *port, EdsError code, uint32_t times);
    void clearInjections() { injections.clear(); }
    std::string callLogText() const;
    void clearCallLog() { callLog.clear(); }

    std::shared_ptr<SimDevice> device(const char *port) const;
    // Adds cameras, naming their ports and loading their replayed frames; all or nothing.
    EdsError addCameras(const std::vector<CameraConfig> &cameras);
    EdsError reset(const char *configuration);
    void disconnect(const std::shared_ptr<SimDevice> &device);
    void postEvent(const std::shared_ptr<SimDevice> &device, EdsStateEvent event, EdsUInt32 data);
    // Whenever an idle clock was armed or restarted: the event thread, which may be waiting without a
    // deadline or for an older one, re-reads its deadlines.
    void wakeEventThread() { wake.notify_all(); }

    void sdkInitialized();
    // Closes every session and stops the event thread; lock is released while the thread is joined.
    void sdkTerminated(std::unique_lock<std::mutex> &lock);
    // Returns once no state-event handler runs, unless called from inside one.
    void waitForHandlers(std::unique_lock<std::mutex> &lock);

private:
    Simulator();
    void eventLoop();
    void checkIdleClocks(Clock::time_point now);
    Clock::time_point nextIdleDeadline() const;

    struct Injection
    {
        std::string call;
        bool anyPort = true;
        std::string port;
        EdsError code = EDS_ERR_OK;
        uint32_t remaining = 0; // 0: always
    };
    struct PendingEvent
    {
        std::shared_ptr<SimDevice> device;
        EdsStateEvent event;
        EdsUInt32 data;
    };

    std::map<uint64_t, std::unique_ptr<SimObject>> objects;
    uint64_t nextObjectId = 1;
    uint32_t nextPortNumber = 1;
    std::deque<std::pair<std::string, std::string>> callLog;
    std::vector<Injection> injections;

    std::condition_variable wake;
    std::deque<PendingEvent> events;
    std::thread eventThread;
    std::thread::id eventThreadId;
    bool stopEvents = false;
    bool delivering = false;
};

// One SDK call: takes the lock, finds the reference, records the call and answers injected failures and
// calls made before EdsInitializeSDK.
class SdkCall
{
public:
    SdkCall(const char *name, EdsBaseRef ref, Kind kind, bool needsInitialize = true);
    explicit SdkCall(const char *name, bool needsInitialize = true);

    Simulator &sim;
    std::unique_lock<std::mutex> lock;
    SimObject *object = nullptr;
    EdsError error = EDS_ERR_OK; // non-zero: return it at once

private:
    void begin(const char *name, const std::string &port, bool needsInitialize);
};

} // namespace edsim
