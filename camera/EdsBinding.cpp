#include "camera/EdsBinding.h"

#include "platform/edsdk/EDSDK.h"
#include "platform/windows/win32.h"

#include <QDebug>

#include <atomic>
#include <mutex>

namespace eds {
namespace {

struct Operations
{
    EdsError(EDS_CALL *initializeSDK)();
    EdsError(EDS_CALL *terminateSDK)();
    EdsUInt32(EDS_CALL *release)(EdsBaseRef);
    EdsError(EDS_CALL *getChildCount)(EdsBaseRef, EdsUInt32 *);
    EdsError(EDS_CALL *getChildAtIndex)(EdsBaseRef, EdsInt32, EdsBaseRef *);
    EdsError(EDS_CALL *getPropertySize)(EdsBaseRef, EdsPropertyID, EdsInt32, EdsDataType *, EdsUInt32 *);
    EdsError(EDS_CALL *setPropertyData)(EdsBaseRef, EdsPropertyID, EdsInt32, EdsUInt32, const EdsVoid *);
    EdsError(EDS_CALL *getCameraList)(EdsCameraListRef *);
    EdsError(EDS_CALL *getDeviceInfo)(EdsCameraRef, EdsDeviceInfo *);
    EdsError(EDS_CALL *openSession)(EdsCameraRef);
    EdsError(EDS_CALL *closeSession)(EdsCameraRef);
    EdsError(EDS_CALL *sendCommand)(EdsCameraRef, EdsCameraCommand, EdsInt32);
    EdsError(EDS_CALL *createMemoryStream)(EdsUInt64, EdsStreamRef *);
    EdsError(EDS_CALL *getPointer)(EdsStreamRef, EdsVoid **);
    EdsError(EDS_CALL *getLength)(EdsStreamRef, EdsUInt64 *);
    EdsError(EDS_CALL *createEvfImageRef)(EdsStreamRef, EdsEvfImageRef *);
    EdsError(EDS_CALL *downloadEvfImage)(EdsCameraRef, EdsEvfImageRef);
    EdsError(EDS_CALL *setCameraStateEventHandler)(EdsCameraRef, EdsStateEvent, EdsStateEventHandler,
                                                   EdsVoid *);
};

struct Binding
{
    std::mutex mutex;
    bool attempted = false; // guarded by mutex
    HMODULE library = nullptr;
    Operations operations{};
    std::atomic<const Operations *> bound{nullptr};
    std::string testFolder;
};

Binding &binding()
{
    static Binding instance;
    return instance;
}

// The folder of the module this code is linked into, with its trailing separator; empty if unknown.
std::string ownFolder()
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ownFolder), &self))
        return {};
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const std::string full(path, length);
    const auto separator = full.find_last_of("/\\");
    return separator == std::string::npos ? std::string() : full.substr(0, separator + 1);
}

template <typename Function>
bool resolve(HMODULE library, unsigned short ordinal, const char *name, Function &slot, std::string &missing)
{
    const FARPROC address = GetProcAddress(library, EdsLibrary::procName(ordinal, name));
    slot = reinterpret_cast<Function>(reinterpret_cast<void *>(address));
    if (!address && missing.empty())
        missing = std::string(name) + " (ordinal " + std::to_string(ordinal) + ")";
    return address != nullptr;
}

bool resolveAll(HMODULE library, Operations &ops, std::string &missing)
{
    bool ok = true;
    ok &= resolve(library, 1, "EdsInitializeSDK", ops.initializeSDK, missing);
    ok &= resolve(library, 2, "EdsTerminateSDK", ops.terminateSDK, missing);
    ok &= resolve(library, 4, "EdsRelease", ops.release, missing);
    ok &= resolve(library, 5, "EdsGetChildCount", ops.getChildCount, missing);
    ok &= resolve(library, 6, "EdsGetChildAtIndex", ops.getChildAtIndex, missing);
    ok &= resolve(library, 8, "EdsGetPropertySize", ops.getPropertySize, missing);
    ok &= resolve(library, 10, "EdsSetPropertyData", ops.setPropertyData, missing);
    ok &= resolve(library, 12, "EdsGetCameraList", ops.getCameraList, missing);
    ok &= resolve(library, 13, "EdsGetDeviceInfo", ops.getDeviceInfo, missing);
    ok &= resolve(library, 14, "EdsOpenSession", ops.openSession, missing);
    ok &= resolve(library, 15, "EdsCloseSession", ops.closeSession, missing);
    ok &= resolve(library, 16, "EdsSendCommand", ops.sendCommand, missing);
    ok &= resolve(library, 30, "EdsCreateMemoryStream", ops.createMemoryStream, missing);
    ok &= resolve(library, 33, "EdsGetPointer", ops.getPointer, missing);
    ok &= resolve(library, 38, "EdsGetLength", ops.getLength, missing);
    ok &= resolve(library, 47, "EdsCreateEvfImageRef", ops.createEvfImageRef, missing);
    ok &= resolve(library, 48, "EdsDownloadEvfImage", ops.downloadEvfImage, missing);
    ok &= resolve(library, 52, "EdsSetCameraStateEventHandler", ops.setCameraStateEventHandler, missing);
    return ok;
}

void load(Binding &b)
{
    const std::string beside =
        (b.testFolder.empty() ? ownFolder() : b.testFolder + "/") + EdsLibrary::fileName;
    b.library = LoadLibraryA(beside.c_str());
    std::string tried = beside;
    if (!b.library && b.testFolder.empty()) {
        b.library = LoadLibraryA(EdsLibrary::fileName);
        tried += std::string(", ") + EdsLibrary::fileName;
    }
    if (!b.library) {
        qDebug().noquote() << QString(
                                  "Canon SDK library could not be loaded (tried %1); camera calls will fail")
                                  .arg(QString::fromStdString(tried));
        return;
    }
    std::string missing;
    if (!resolveAll(b.library, b.operations, missing)) {
        qDebug().noquote() << QString("Canon SDK library lacks %1; camera calls will fail")
                                  .arg(QString::fromStdString(missing));
        FreeLibrary(b.library);
        b.library = nullptr;
        b.operations = Operations{};
        return;
    }
    b.bound.store(&b.operations, std::memory_order_release);
}

const Operations *operations()
{
    Binding &b = binding();
    if (const Operations *ops = b.bound.load(std::memory_order_acquire))
        return ops;
    std::lock_guard<std::mutex> lock(b.mutex);
    if (!b.attempted) {
        b.attempted = true;
        load(b);
    }
    return b.bound.load(std::memory_order_acquire);
}

constexpr EdsError unavailable = EDS_ERR_MISSING_SUBCOMPONENT;
constexpr EdsUInt32 invalidCount = 0xFFFFFFFFu;

} // namespace

bool isAvailable()
{
    return operations() != nullptr;
}

void setLibraryFolderForTesting(const std::string &folder)
{
    Binding &b = binding();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.bound.store(nullptr, std::memory_order_release);
    if (b.library)
        FreeLibrary(b.library);
    b.library = nullptr;
    b.operations = Operations{};
    b.attempted = false;
    b.testFolder = folder;
}

// Each operation forwards to the bound library, or fails as the SDK would for a missing component.
#define EDS_FORWARD(slot, failure, ...)                                                                      \
    const Operations *ops = operations();                                                                    \
    return ops ? ops->slot(__VA_ARGS__) : failure

EdsError EdsInitializeSDK()
{
    const Operations *ops = operations();
    return ops ? ops->initializeSDK() : unavailable;
}

EdsError EdsTerminateSDK()
{
    const Operations *ops = operations();
    return ops ? ops->terminateSDK() : unavailable;
}

EdsUInt32 EdsRelease(EdsBaseRef inRef)
{
    EDS_FORWARD(release, invalidCount, inRef);
}

EdsError EdsGetChildCount(EdsBaseRef inRef, EdsUInt32 *outCount)
{
    EDS_FORWARD(getChildCount, unavailable, inRef, outCount);
}

EdsError EdsGetChildAtIndex(EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef *outRef)
{
    EDS_FORWARD(getChildAtIndex, unavailable, inRef, inIndex, outRef);
}

EdsError EdsGetPropertySize(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsDataType *outDataType, EdsUInt32 *outSize)
{
    EDS_FORWARD(getPropertySize, unavailable, inRef, inPropertyID, inParam, outDataType, outSize);
}

EdsError EdsSetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsUInt32 inPropertySize, const EdsVoid *inPropertyData)
{
    EDS_FORWARD(setPropertyData, unavailable, inRef, inPropertyID, inParam, inPropertySize, inPropertyData);
}

EdsError EdsGetCameraList(EdsCameraListRef *outCameraListRef)
{
    EDS_FORWARD(getCameraList, unavailable, outCameraListRef);
}

EdsError EdsGetDeviceInfo(EdsCameraRef inCameraRef, EdsDeviceInfo *outDeviceInfo)
{
    EDS_FORWARD(getDeviceInfo, unavailable, inCameraRef, outDeviceInfo);
}

EdsError EdsOpenSession(EdsCameraRef inCameraRef)
{
    EDS_FORWARD(openSession, unavailable, inCameraRef);
}

EdsError EdsCloseSession(EdsCameraRef inCameraRef)
{
    EDS_FORWARD(closeSession, unavailable, inCameraRef);
}

EdsError EdsSendCommand(EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam)
{
    EDS_FORWARD(sendCommand, unavailable, inCameraRef, inCommand, inParam);
}

EdsError EdsCreateMemoryStream(EdsUInt64 inBufferSize, EdsStreamRef *outStream)
{
    EDS_FORWARD(createMemoryStream, unavailable, inBufferSize, outStream);
}

EdsError EdsGetPointer(EdsStreamRef inStream, EdsVoid **outPointer)
{
    EDS_FORWARD(getPointer, unavailable, inStream, outPointer);
}

EdsError EdsGetLength(EdsStreamRef inStreamRef, EdsUInt64 *outLength)
{
    EDS_FORWARD(getLength, unavailable, inStreamRef, outLength);
}

EdsError EdsCreateEvfImageRef(EdsStreamRef inStreamRef, EdsEvfImageRef *outEvfImageRef)
{
    EDS_FORWARD(createEvfImageRef, unavailable, inStreamRef, outEvfImageRef);
}

EdsError EdsDownloadEvfImage(EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef)
{
    EDS_FORWARD(downloadEvfImage, unavailable, inCameraRef, inEvfImageRef);
}

EdsError EdsSetCameraStateEventHandler(EdsCameraRef inCameraRef, EdsStateEvent inEvent,
                                       EdsStateEventHandler inStateEventHandler, EdsVoid *inContext)
{
    EDS_FORWARD(setCameraStateEventHandler, unavailable, inCameraRef, inEvent, inStateEventHandler,
                inContext);
}

} // namespace eds
