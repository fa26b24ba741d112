// The SDK's exported functions over the simulated cameras.

#include "platform/edsdk/EDSDK.h"
#include "platform/edsdk/sim/Simulator.h"
#include "platform/edsdk/sim/TestPicture.h"

#include <cstdio>
#include <cstring>

using namespace edsim;

namespace {

// Checks shared by every call on a camera's session.
EdsError sessionError(const SdkCall &call)
{
    const SimDevice &device = *call.object->device;
    if (!device.connected)
        return EDS_ERR_COMM_DISCONNECTED;
    if (device.sessionHolder == 0)
        return EDS_ERR_SESSION_NOT_OPEN;
    return EDS_ERR_OK;
}

uint64_t idOf(EdsBaseRef ref)
{
    return reinterpret_cast<uintptr_t>(ref) >> 4;
}

void copyName(char (&target)[EDS_MAX_NAME], const std::string &source)
{
    std::memset(target, 0, sizeof target);
    std::strncpy(target, source.c_str(), sizeof target - 1);
}

} // namespace

extern "C" {

EdsError EdsInitializeSDK(void)
{
    SdkCall call("EdsInitializeSDK", false);
    if (call.error != EDS_ERR_OK)
        return call.error;
    call.sim.sdkInitialized();
    return EDS_ERR_OK;
}

EdsError EdsTerminateSDK(void)
{
    SdkCall call("EdsTerminateSDK");
    if (call.error != EDS_ERR_OK)
        return call.error;
    call.sim.waitForHandlers(call.lock);
    --call.sim.initializeCount;
    call.sim.sdkTerminated(call.lock);
    return EDS_ERR_OK;
}

EdsUInt32 EdsRetain(EdsBaseRef inRef)
{
    auto &sim = Simulator::instance();
    std::lock_guard<std::mutex> lock(sim.mutex);
    SimObject *object = sim.findAny(inRef);
    sim.record("EdsRetain", object && object->device ? object->device->config.port : "");
    if (!object)
        return 0xFFFFFFFFu;
    return ++object->refs;
}

EdsUInt32 EdsRelease(EdsBaseRef inRef)
{
    auto &sim = Simulator::instance();
    std::unique_lock<std::mutex> lock(sim.mutex);
    SimObject *object = sim.findAny(inRef);
    sim.record("EdsRelease", object && object->device ? object->device->config.port : "");
    if (!object)
        return 0xFFFFFFFFu;
    if (object->refs > 1)
        return --object->refs;
    // A handler may be running with this camera's context; the caller may free that context next.
    if (object->kind == Kind::Camera && object->handler) {
        sim.waitForHandlers(lock);
        object = sim.findAny(inRef);
        if (!object)
            return 0xFFFFFFFFu;
    }
    sim.destroyObject(inRef);
    return 0;
}

EdsError EdsGetCameraList(EdsCameraListRef *outCameraListRef)
{
    SdkCall call("EdsGetCameraList");
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outCameraListRef)
        return EDS_ERR_INVALID_POINTER;
    auto list = std::make_unique<SimObject>(Kind::CameraList);
    list->cameras = call.sim.devices;
    *outCameraListRef = call.sim.addObject(std::move(list));
    return EDS_ERR_OK;
}

EdsError EdsGetChildCount(EdsBaseRef inRef, EdsUInt32 *outCount)
{
    SdkCall call("EdsGetChildCount", inRef, Kind::CameraList);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outCount)
        return EDS_ERR_INVALID_POINTER;
    *outCount = static_cast<EdsUInt32>(call.object->cameras.size());
    return EDS_ERR_OK;
}

EdsError EdsGetChildAtIndex(EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef *outRef)
{
    SdkCall call("EdsGetChildAtIndex", inRef, Kind::CameraList);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outRef)
        return EDS_ERR_INVALID_POINTER;
    if (inIndex < 0 || static_cast<std::size_t>(inIndex) >= call.object->cameras.size())
        return EDS_ERR_INVALID_INDEX;
    auto camera = std::make_unique<SimObject>(Kind::Camera);
    camera->device = call.object->cameras[static_cast<std::size_t>(inIndex)];
    call.sim.setLastRecordedPort(camera->device->config.port);
    *outRef = call.sim.addObject(std::move(camera));
    return EDS_ERR_OK;
}

EdsError EdsGetDeviceInfo(EdsCameraRef inCameraRef, EdsDeviceInfo *outDeviceInfo)
{
    SdkCall call("EdsGetDeviceInfo", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outDeviceInfo)
        return EDS_ERR_INVALID_POINTER;
    const SimDevice &device = *call.object->device;
    copyName(outDeviceInfo->szPortName, device.config.port);
    copyName(outDeviceInfo->szDeviceDescription, device.config.model);
    outDeviceInfo->deviceSubType = 1;
    outDeviceInfo->reserved = 0;
    return EDS_ERR_OK;
}

EdsError EdsOpenSession(EdsCameraRef inCameraRef)
{
    SdkCall call("EdsOpenSession", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    SimDevice &device = *call.object->device;
    if (!device.connected)
        return EDS_ERR_DEVICE_NOT_FOUND;
    const uint64_t id = idOf(inCameraRef);
    if (device.sessionHolder == id)
        return EDS_ERR_SESSION_ALREADY_OPEN;
    if (device.sessionHolder != 0)
        return EDS_ERR_DEVICE_BUSY;
    std::string why;
    switch (device.sessionLock.take(device.config.port, why)) {
    case SessionLock::Result::Taken:
        break;
    case SessionLock::Result::Busy:
        return EDS_ERR_DEVICE_BUSY; // another process has the camera
    case SessionLock::Result::Failed:
        // Without a lock file the camera is still usable, only no longer guarded against other processes.
        std::fprintf(stderr, "EDSDK simulator: session of %s not shared between processes: %s\n",
                     device.config.port.c_str(), why.c_str());
        break;
    }
    device.sessionHolder = id;
    device.restartIdleClock(Clock::now());
    call.sim.wakeEventThread();
    return EDS_ERR_OK;
}

EdsError EdsCloseSession(EdsCameraRef inCameraRef)
{
    SdkCall call("EdsCloseSession", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    SimDevice &device = *call.object->device;
    if (device.sessionHolder != idOf(inCameraRef))
        return EDS_ERR_SESSION_NOT_OPEN;
    device.endSession();
    return device.connected ? EDS_ERR_OK : EDS_ERR_COMM_DISCONNECTED;
}

EdsError EdsGetPropertySize(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsDataType *outDataType, EdsUInt32 *outSize)
{
    SdkCall call("EdsGetPropertySize", inRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (const EdsError error = sessionError(call))
        return error;
    if (!outDataType || !outSize)
        return EDS_ERR_INVALID_POINTER;
    if (inPropertyID != kEdsPropID_Evf_OutputDevice || inParam != 0)
        return EDS_ERR_PROPERTIES_UNAVAILABLE;
    *outDataType = kEdsDataType_UInt32;
    *outSize = sizeof(EdsUInt32);
    return EDS_ERR_OK;
}

EdsError EdsGetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsUInt32 inPropertySize, EdsVoid *outPropertyData)
{
    SdkCall call("EdsGetPropertyData", inRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (const EdsError error = sessionError(call))
        return error;
    if (!outPropertyData)
        return EDS_ERR_INVALID_POINTER;
    if (inPropertyID != kEdsPropID_Evf_OutputDevice || inParam != 0)
        return EDS_ERR_PROPERTIES_UNAVAILABLE;
    if (inPropertySize != sizeof(EdsUInt32))
        return EDS_ERR_INVALID_LENGTH;
    std::memcpy(outPropertyData, &call.object->device->outputDevice, sizeof(EdsUInt32));
    return EDS_ERR_OK;
}

EdsError EdsSetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsUInt32 inPropertySize, const EdsVoid *inPropertyData)
{
    SdkCall call("EdsSetPropertyData", inRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (const EdsError error = sessionError(call))
        return error;
    if (!inPropertyData)
        return EDS_ERR_INVALID_POINTER;
    if (inPropertyID != kEdsPropID_Evf_OutputDevice || inParam != 0)
        return EDS_ERR_PROPERTIES_UNAVAILABLE;
    if (inPropertySize != sizeof(EdsUInt32))
        return EDS_ERR_INVALID_LENGTH;
    EdsUInt32 value = 0;
    std::memcpy(&value, inPropertyData, sizeof value);
    if (value > (kEdsEvfOutputDevice_TFT | kEdsEvfOutputDevice_PC))
        return EDS_ERR_INVALID_PARAMETER;
    call.object->device->setOutputDevice(value, Clock::now());
    return EDS_ERR_OK;
}

EdsError EdsSendCommand(EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam)
{
    SdkCall call("EdsSendCommand", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (const EdsError error = sessionError(call))
        return error;
    if (inCommand != kEdsCameraCommand_ExtendShutDownTimer || inParam != 0)
        return EDS_ERR_NOT_SUPPORTED;
    call.object->device->restartIdleClock(Clock::now());
    call.sim.wakeEventThread();
    return EDS_ERR_OK;
}

EdsError EdsCreateMemoryStream(EdsUInt64 inBufferSize, EdsStreamRef *outStream)
{
    SdkCall call("EdsCreateMemoryStream");
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outStream)
        return EDS_ERR_INVALID_POINTER;
    if (inBufferSize > (1ull << 30))
        return EDS_ERR_MEM_ALLOC_FAILED;
    auto stream = std::make_unique<SimObject>(Kind::Stream);
    stream->bytes = std::make_shared<std::vector<uint8_t>>(static_cast<std::size_t>(inBufferSize));
    *outStream = call.sim.addObject(std::move(stream));
    return EDS_ERR_OK;
}

EdsError EdsGetPointer(EdsStreamRef inStream, EdsVoid **outPointer)
{
    SdkCall call("EdsGetPointer", inStream, Kind::Stream);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outPointer)
        return EDS_ERR_INVALID_POINTER;
    *outPointer = call.object->bytes->data();
    return EDS_ERR_OK;
}

EdsError EdsGetLength(EdsStreamRef inStreamRef, EdsUInt64 *outLength)
{
    SdkCall call("EdsGetLength", inStreamRef, Kind::Stream);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outLength)
        return EDS_ERR_INVALID_POINTER;
    *outLength = call.object->bytes->size();
    return EDS_ERR_OK;
}

EdsError EdsCreateEvfImageRef(EdsStreamRef inStreamRef, EdsEvfImageRef *outEvfImageRef)
{
    SdkCall call("EdsCreateEvfImageRef", inStreamRef, Kind::Stream);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!outEvfImageRef)
        return EDS_ERR_INVALID_POINTER;
    auto image = std::make_unique<SimObject>(Kind::EvfImage);
    image->bytes = call.object->bytes;
    *outEvfImageRef = call.sim.addObject(std::move(image));
    return EDS_ERR_OK;
}

EdsError EdsDownloadEvfImage(EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef)
{
    SdkCall call("EdsDownloadEvfImage", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (const EdsError error = sessionError(call))
        return error;
    SimObject *image = call.sim.find(inEvfImageRef, Kind::EvfImage);
    if (!image)
        return EDS_ERR_INVALID_HANDLE;
    const auto device = call.object->device;
    const int64_t frame = device->nextFrame(Clock::now());
    if (frame < 0)
        return EDS_ERR_OBJECT_NOTREADY;
    device->lastFrameServed = frame;
    ++device->framesDelivered;
    const auto replay = device->replay;
    const int width = device->config.width;
    const int height = device->config.height;
    const auto target = image->bytes;

    // Encoding takes a few milliseconds; other cameras and calls go on meanwhile.
    std::vector<uint8_t> jpeg;
    call.lock.unlock();
    const bool encoded = replay && !replay->empty()
                             ? (jpeg = (*replay)[static_cast<std::size_t>(frame) % replay->size()], true)
                             : encodeTestPicture(width, height, frame, jpeg);
    call.lock.lock();
    if (!encoded)
        return EDS_ERR_INTERNAL_ERROR;
    *target = std::move(jpeg);
    return EDS_ERR_OK;
}

EdsError EdsSetCameraStateEventHandler(EdsCameraRef inCameraRef, EdsStateEvent inEvent,
                                       EdsStateEventHandler inStateEventHandler, EdsVoid *inContext)
{
    SdkCall call("EdsSetCameraStateEventHandler", inCameraRef, Kind::Camera);
    if (call.error != EDS_ERR_OK)
        return call.error;
    if (!call.object->device->connected)
        return EDS_ERR_COMM_DISCONNECTED;
    if (inEvent != kEdsStateEvent_All && (inEvent < kEdsStateEvent_Shutdown || inEvent > 0x3FF))
        return EDS_ERR_INVALID_PARAMETER;
    call.object->handler = inStateEventHandler;
    call.object->handlerEvent = inEvent;
    call.object->handlerContext = inContext;
    return EDS_ERR_OK;
}

} // extern "C"
