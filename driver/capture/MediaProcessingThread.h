#pragma once

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/FrameBuffer.h"
#include "driver/capture/FrameQueue.h"
#include "driver/capture/FrameScaler.h"
#include "platform/edsdk/EDSDK.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSize>
#include <QThread>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>

class FrameConverter;
struct CameraSession;

namespace vistrel::ring {
class CameraShare;
class RingWriter;
} // namespace vistrel::ring

// The driver's link to the camera: run() opens the camera chosen in the settings, streams its live view,
// converts each JPEG into an output frame and retries after any failure until told to stop. The pin
// reads frames with readFrame, which never waits for the camera.
class MediaProcessingThread : public QThread
{
    Q_OBJECT

public:
    explicit MediaProcessingThread(QObject *parent = nullptr);
    ~MediaProcessingThread() override;

    void startCapture();
    void stopCapture();
    double fps() const;
    QSize outputSize() const;

    // Copies at most maxBytes of the frame to deliver into dst: the oldest converted frame, else the last
    // one again, else the placeholder picture. Returns the number of bytes copied.
    int readFrame(void *dst, int maxBytes);
    // The caller's copy routine, borrowed for one call. Unlike std::function it never allocates, however
    // much the routine captures, so delivering a frame stays free of heap traffic.
    class FrameCopy
    {
    public:
        template <typename Copy, typename = std::enable_if_t<!std::is_same_v<std::decay_t<Copy>, FrameCopy>>>
        FrameCopy(Copy &&copy) // NOLINT: converts from any callable, as std::function does
            : m_copy(const_cast<void *>(static_cast<const void *>(std::addressof(copy)))),
              m_call([](void *routine, const QByteArray &frame) {
                  return int((*static_cast<std::remove_reference_t<Copy> *>(routine))(frame));
              })
        {
        }
        int operator()(const QByteArray &frame) const { return m_call(m_copy, frame); }

    private:
        void *m_copy;
        int (*m_call)(void *, const QByteArray &);
    };

    // Chooses the frame as readFrame does and hands it (outputSize(), rows of width * 3 bytes, bottom-up)
    // to `copy` while it is held, for a caller that lays the rows out itself. Returns what `copy` returns.
    int readFrameWith(const FrameCopy &copy);

    static EdsError EDSCALLBACK onCameraStateEvent(EdsStateEvent event, EdsUInt32 eventData,
                                                   EdsVoid *context);

protected:
    void run() override;

private:
    friend struct MediaProcessingThreadProbe; // tests look at the frame queues

    void setOutputSize(const QSize &size);
    void convertAndPublish(const uchar *jpeg, int length);

    // One session attempt; returns when it has been shut down again.
    void runCapture();
    void runSessionAttempt(const CaptureTimings &timings);
    bool chooseCamera(CameraSession &session, EdsUInt32 count);
    void startLiveView(CameraSession &session, const CaptureTimings &timings);
    void downloadLoop(CameraSession &session, const CaptureTimings &timings);
    void requestExtensionIfDue(CameraSession &session, const CaptureTimings &timings);
    void shutSession(CameraSession &session);
    void waitBetweenAttempts(const CaptureTimings &timings);
    void releaseFrames();

    // Sharing the camera with the other instances (MediaProcessingThreadSharing.cpp). holdCamera returns
    // once this instance holds the camera's session, or false when it was told to stop or restart while
    // it delivered another instance's picture.
    bool holdCamera(const std::string &cameraKey);
    void startPublishing(vistrel::ring::CameraShare &share, bool tookOver);
    void dropShare();
    void interruptShareWait();
    // Under frameMutex: queues the ring's newest picture, scaled, while another instance holds the camera.
    void pullSharedFrame();

    // Standard mutexes rather than Qt's: the thread sanitizer sees their ordering.
    std::condition_variable wakeCondition;
    mutable std::mutex stateMutex;
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> restartRequested{false};
    // Named apart from the accessors outputSize() and fps().
    QSize m_outputSize;
    double m_fps = 30.0;
    QByteArray placeholderFrame;
    FrameQueue readyFrames;
    FrameQueue spareFrames;
    FrameBuffer currentFrame;
    std::mutex frameMutex;
    // Held for the whole of run(): the destructor takes it after wait(), so everything run() wrote is seen
    // to happen before the fields go (QThread's own join is invisible to the thread sanitizer).
    std::mutex runMutex;
    QElapsedTimer readTimer;
    qint64 lastExtensionAt = 0;
    QVariantMap deviceInfo;
    std::atomic<bool> extensionRequested{false};
    std::atomic<bool> cameraGone{false};

    // JPEG decoder and its reused buffer; exists only while run() runs, used only by it.
    std::unique_ptr<FrameConverter> converter;

    // The camera's share with the other instances for the current session attempt: set and reset by run()
    // under frameMutex, used by the pin under frameMutex.
    std::unique_ptr<vistrel::ring::CameraShare> cameraShare;
    bool holdingShare = false;
    quint32 lastSharedFrame = 0;
    std::string ringComplaint; // the last reason a ring was ignored, said once
    FrameScaler sharedScaler;
    // run() only: where the holder publishes, and whether to say so at the first frame after a take-over.
    std::unique_ptr<vistrel::ring::RingWriter> ringWriter;
    bool announceNextPublish = false;
};
