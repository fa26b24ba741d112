#include "driver/capture/MediaProcessingThread.h"

#include "camera/EdsBinding.h"
#include "driver/capture/FrameConverter.h"
#include "platform/ring/CameraShare.h"
#include "platform/ring/FrameRing.h"
#include "platform/windows/win32.h"
#include "settings/GlobalSettings.h"
#include "settings/ProductInfo.h"

#include <QDebug>

#include <cstring>
#include <exception>
#include <limits>

// The SDK references of one session attempt; null until a call has handed one out.
struct CameraSession
{
    EdsCameraListRef cameraList = nullptr;
    EdsCameraRef camera = nullptr;
    EdsStreamRef stream = nullptr;
    EdsEvfImageRef evfImage = nullptr;
    // The live-view output property's size; the property is a 32-bit value.
    EdsUInt32 outputDevicePropertySize = sizeof(EdsUInt32);
    // The chosen camera's port name, which names what it shares with other instances; empty if unknown.
    std::string port;
};

namespace {

const QSize fallbackOutputSize = ProductInfo::defaultVideoSize;

void release(EdsBaseRef &ref)
{
    if (ref)
        eds::EdsRelease(ref);
    ref = nullptr;
}

bool isUsableOutputSize(const QSize &size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= FrameConverter::maxSide &&
           size.height() <= FrameConverter::maxSide;
}

} // namespace

MediaProcessingThread::MediaProcessingThread(QObject *parent) : QThread(parent)
{
    GlobalSettings *settings = GlobalSettings::instance(this);
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        m_fps = settings->get_videoFps();
    }
    deviceInfo = settings->get_deviceInfo();
    QSize size = fallbackOutputSize;
    if (settings->get_customResolution())
        size = settings->get_videoResolution();
    else if (deviceInfo.contains("nr"))
        size = deviceInfo.value("nr").toSize();
    if (!isUsableOutputSize(size)) {
        qDebug() << "Output size" << size << "is unusable, using" << fallbackOutputSize;
        size = fallbackOutputSize;
    }
    setOutputSize(size);
    // Only our own: a settings object someone else holds stays theirs.
    if (settings->parent() == this)
        delete settings;
}

MediaProcessingThread::~MediaProcessingThread()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stopRequested = true;
        restartRequested = true;
        wakeCondition.notify_all();
    }
    interruptShareWait();
    wait();
    std::lock_guard<std::mutex> finished(runMutex);
    qDebug() << "MediaProcessingThread exited";
}

void MediaProcessingThread::startCapture()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stopRequested = false;
        restartRequested = false;
        if (!isRunning()) {
            start(QThread::NormalPriority);
            return;
        }
        restartRequested = true;
        wakeCondition.notify_all();
    }
    interruptShareWait();
}

void MediaProcessingThread::stopCapture()
{
    if (!isRunning())
        return;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        stopRequested = true;
        restartRequested = true;
        wakeCondition.notify_all();
    }
    interruptShareWait();
}

double MediaProcessingThread::fps() const
{
    // Fixed by the constructor.
    return m_fps;
}

QSize MediaProcessingThread::outputSize() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return m_outputSize;
}

EdsError EDSCALLBACK MediaProcessingThread::onCameraStateEvent(EdsStateEvent event, EdsUInt32 eventData,
                                                               EdsVoid *context)
{
    auto *self = static_cast<MediaProcessingThread *>(context);
    qDebug() << "Received event" << eventData;
    if (!self)
        return EDS_ERR_OK;
    if (event == kEdsStateEvent_Shutdown)
        self->cameraGone = true;
    else if (event == kEdsStateEvent_WillSoonShutDown)
        self->extensionRequested = true;
    return EDS_ERR_OK;
}

void MediaProcessingThread::run()
{
    std::lock_guard<std::mutex> running(runMutex);
    runCapture();
}

void MediaProcessingThread::runCapture()
{
    const CaptureTimings timings = CaptureTimings::current();
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (eds::EdsInitializeSDK() != EDS_ERR_OK) {
        qDebug() << "Canon SDK init failed";
        if (SUCCEEDED(com))
            CoUninitialize();
        return;
    }
    try {
        converter = std::make_unique<FrameConverter>();
        while (!stopRequested) {
            runSessionAttempt(timings);
            waitBetweenAttempts(timings);
        }
    } catch (const std::exception &error) {
        // Nothing may leave the thread; the camera is given up and cleaned up below.
        qDebug() << "Capture stopped:" << error.what();
    }
    // On this thread, which owns the camera's lock, whichever way the attempts ended.
    dropShare();
    releaseFrames();
    converter.reset();
    if (eds::EdsTerminateSDK() != EDS_ERR_OK)
        qDebug() << "EdsTerminateSDK() failed";
    if (SUCCEEDED(com))
        CoUninitialize();
}

void MediaProcessingThread::runSessionAttempt(const CaptureTimings &timings)
{
    extensionRequested = false;
    cameraGone = false;
    CameraSession session;
    if (eds::EdsGetCameraList(&session.cameraList) != EDS_ERR_OK) {
        session.cameraList = nullptr;
        qDebug() << "Canon camera list failed";
        return;
    }
    EdsUInt32 count = 0;
    if (eds::EdsGetChildCount(session.cameraList, &count) != EDS_ERR_OK) {
        qDebug() << "Canon camera count error";
        count = 0;
    }
    qDebug() << "Cameras found:" << count;
    if (count == 0 || !chooseCamera(session, count)) {
        release(session.cameraList);
        return;
    }
    if (!holdCamera(session.port)) {
        release(session.camera);
        release(session.cameraList);
        return;
    }
    if (eds::EdsSetCameraStateEventHandler(session.camera, kEdsStateEvent_All, &onCameraStateEvent, this) !=
        EDS_ERR_OK)
        qDebug() << "EdsSetCameraStateEventHandler() failed (for keep alive)";
    if (eds::EdsOpenSession(session.camera) != EDS_ERR_OK) {
        qDebug() << "EdsOpenSession failed";
        release(session.camera);
        release(session.cameraList);
        dropShare();
        return;
    }
    startLiveView(session, timings);
    downloadLoop(session, timings);
    shutSession(session);
    // Only now, with the session closed, may the next instance open it.
    dropShare();
}

bool MediaProcessingThread::chooseCamera(CameraSession &session, EdsUInt32 count)
{
    const QString wanted = deviceInfo.value("cn").toString();
    std::string firstPort; // the camera taken when none matches
    for (EdsUInt32 index = 0; index < count; ++index) {
        EdsCameraRef camera = nullptr;
        if (eds::EdsGetChildAtIndex(session.cameraList, static_cast<EdsInt32>(index), &camera) !=
            EDS_ERR_OK) {
            qDebug() << "EdsGetChildAtIndex failed (1)";
            continue;
        }
        EdsDeviceInfo info{};
        if (eds::EdsGetDeviceInfo(camera, &info) != EDS_ERR_OK) {
            qDebug() << "EdsGetDeviceInfo failed";
            release(camera);
            continue;
        }
        const std::string port(info.szPortName, strnlen(info.szPortName, sizeof info.szPortName));
        if (index == 0)
            firstPort = port;
        const auto length = strnlen(info.szDeviceDescription, sizeof info.szDeviceDescription);
        if (QString::fromUtf8(info.szDeviceDescription, static_cast<int>(length)) == wanted) {
            session.camera = camera;
            session.port = port;
            return true;
        }
        release(camera);
    }
    if (eds::EdsGetChildAtIndex(session.cameraList, 0, &session.camera) != EDS_ERR_OK) {
        session.camera = nullptr;
        qDebug() << "EdsGetChildAtIndex failed (2)";
    }
    session.port = firstPort;
    return session.camera != nullptr;
}

void MediaProcessingThread::startLiveView(CameraSession &session, const CaptureTimings &timings)
{
    EdsDataType dataType = kEdsDataType_Unknown;
    EdsUInt32 size = sizeof(EdsUInt32);
    if (eds::EdsGetPropertySize(session.camera, kEdsPropID_Evf_OutputDevice, 0, &dataType, &size) !=
        EDS_ERR_OK) {
        qDebug() << "EdsGetPropertySize(kEdsPropID_Evf_OutputDevice) failed";
        size = sizeof(EdsUInt32);
    }
    // The value handed over is 32 bits; never let the SDK read past it.
    session.outputDevicePropertySize = qMin<EdsUInt32>(size, sizeof(EdsUInt32));
    const EdsUInt32 toComputer = kEdsEvfOutputDevice_PC;
    if (eds::EdsSetPropertyData(session.camera, kEdsPropID_Evf_OutputDevice, 0,
                                session.outputDevicePropertySize, &toComputer) != EDS_ERR_OK)
        qDebug() << "EdsSetPropertyData(kEdsPropID_Evf_OutputDevice) failed";
    QThread::msleep(static_cast<unsigned long>(timings.liveViewStartMs));
    if (eds::EdsCreateMemoryStream(0, &session.stream) != EDS_ERR_OK) {
        session.stream = nullptr;
        qDebug() << "Error EdsCreateMemoryStream";
    }
    if (eds::EdsCreateEvfImageRef(session.stream, &session.evfImage) != EDS_ERR_OK) {
        session.evfImage = nullptr;
        qDebug() << "EdsCreateEvfImageRef error";
    }
}

void MediaProcessingThread::downloadLoop(CameraSession &session, const CaptureTimings &timings)
{
    for (;;) {
        if (stopRequested || restartRequested || cameraGone)
            return;
        requestExtensionIfDue(session, timings);
        if (stopRequested)
            return;
        const EdsError result = eds::EdsDownloadEvfImage(session.camera, session.evfImage);
        if (result == EDS_ERR_OK) {
            EdsVoid *pointer = nullptr;
            if (eds::EdsGetPointer(session.stream, &pointer) != EDS_ERR_OK) {
                qDebug() << "EdsGetPointer() failed";
                return;
            }
            EdsUInt64 length = 0;
            if (eds::EdsGetLength(session.stream, &length) != EDS_ERR_OK) {
                qDebug() << "EdsGetLength for stream failed";
                return;
            }
            if (length > EdsUInt64(std::numeric_limits<int>::max()))
                qDebug() << "Live-view frame skipped, too large:" << length;
            else
                convertAndPublish(static_cast<const uchar *>(pointer), static_cast<int>(length));
        }
        QThread::msleep(1);
        if (result != EDS_ERR_OK && result != EDS_ERR_OBJECT_NOTREADY)
            return;
    }
}

void MediaProcessingThread::requestExtensionIfDue(CameraSession &session, const CaptureTimings &timings)
{
    qint64 now = 0;
    {
        std::lock_guard<std::mutex> lock(frameMutex);
        now = readTimer.isValid() ? readTimer.elapsed() : 0;
    }
    const bool requested = extensionRequested;
    if (!requested && now - lastExtensionAt <= timings.keepAliveIntervalMs)
        return;
    qDebug() << "Requesting extension" << requested;
    if (!stopRequested &&
        eds::EdsSendCommand(session.camera, kEdsCameraCommand_ExtendShutDownTimer, 0) != EDS_ERR_OK)
        qDebug() << "Error requesting time extension";
    extensionRequested = false;
    lastExtensionAt = now;
}

void MediaProcessingThread::shutSession(CameraSession &session)
{
    qDebug() << "Releasing image and stream...";
    release(session.stream);
    release(session.evfImage);
    qDebug() << "Stop viewfinder...";
    if (!stopRequested) {
        const EdsUInt32 toCamera = kEdsEvfOutputDevice_TFT;
        if (eds::EdsSetPropertyData(session.camera, kEdsPropID_Evf_OutputDevice, 0,
                                    session.outputDevicePropertySize, &toCamera) != EDS_ERR_OK)
            qDebug() << "EdsSetPropertyData(kEdsEvfOutputDevice_TFT) failed";
    }
    qDebug() << "Close session...";
    eds::EdsCloseSession(session.camera);
    release(session.camera);
    release(session.cameraList);
}

void MediaProcessingThread::waitBetweenAttempts(const CaptureTimings &timings)
{
    if (!stopRequested && !restartRequested) {
        qDebug() << "Retry";
        QThread::msleep(static_cast<unsigned long>(timings.retryPauseMs));
        return;
    }
    std::unique_lock<std::mutex> lock(stateMutex);
    wakeCondition.wait(lock, [this] { return stopRequested || restartRequested; });
    restartRequested = false;
}
