// One camera, every instance: the instance holding the camera's session decodes each live-view picture into
// the camera's frame ring; every other instance of the driver, in this process or another, scales the
// ring's newest picture into its own frames instead of opening the camera, and takes the session over when
// the holder lets it go or dies. A lone instance takes the lock and goes on exactly as without it.
#include "driver/capture/MediaProcessingThread.h"
#include "platform/ring/CameraShare.h"
#include "platform/ring/FrameRing.h"

#include <QDebug>

#include <new>

using vistrel::ring::CameraShare;
using vistrel::ring::RingFrame;
using vistrel::ring::RingReader;
using vistrel::ring::RingWriter;

bool MediaProcessingThread::holdCamera(const std::string &cameraKey)
{
    // Without the camera's name, or without the system's objects, the camera is opened as by a lone instance.
    if (cameraKey.empty())
        return true;
    std::string why;
    std::unique_ptr<CameraShare> opened = CameraShare::open(cameraKey, why);
    if (!opened) {
        qDebug() << "Camera not shared with other applications:" << why.c_str();
        return true;
    }
    CameraShare::Hold hold = opened->tryHold();
    if (hold == CameraShare::Hold::Failed) {
        qDebug() << "Camera not shared with other applications: its lock failed";
        return true;
    }
    CameraShare *share = opened.get();
    {
        std::lock_guard<std::mutex> lock(frameMutex);
        cameraShare = std::move(opened);
        holdingShare = hold != CameraShare::Hold::Busy;
        lastSharedFrame = 0;
        ringComplaint.clear();
    }
    if (hold != CameraShare::Hold::Busy) {
        startPublishing(*share, false);
        return true;
    }
    qDebug() << "Camera in use by another application, sharing its picture";
    for (;;) {
        // interrupt() follows every stop or restart request, so a request is never slept through.
        if (stopRequested || restartRequested) {
            dropShare();
            return false;
        }
        hold = share->waitToHold();
        if (hold == CameraShare::Hold::Taken || hold == CameraShare::Hold::TakenFromDead)
            break;
        if (hold == CameraShare::Hold::Failed) {
            qDebug() << "Waiting for the camera failed";
            dropShare();
            return false;
        }
    }
    qDebug() << (hold == CameraShare::Hold::TakenFromDead
                     ? "Taking the camera over from an application that ended"
                     : "Taking the camera over");
    {
        std::lock_guard<std::mutex> lock(frameMutex);
        holdingShare = true;
    }
    startPublishing(*share, true);
    return true;
}

void MediaProcessingThread::startPublishing(CameraShare &share, bool tookOver)
{
    auto writer = std::make_unique<RingWriter>(share.ring(), share.ringSize());
    if (!writer->prepare(CameraShare::processId())) {
        qDebug() << "Camera picture not shared: the frame ring is too small";
        return;
    }
    ringWriter = std::move(writer);
    announceNextPublish = tookOver;
}

void MediaProcessingThread::dropShare()
{
    if (ringWriter)
        ringWriter->leave();
    ringWriter.reset();
    std::unique_ptr<CameraShare> dropped;
    {
        std::lock_guard<std::mutex> lock(frameMutex);
        dropped = std::move(cameraShare);
        holdingShare = false;
    }
    // Released here, on the thread that holds the lock, and outside the frame lock: waiters wake now.
    dropped.reset();
}

void MediaProcessingThread::interruptShareWait()
{
    std::lock_guard<std::mutex> lock(frameMutex);
    if (cameraShare)
        cameraShare->interrupt();
}

void MediaProcessingThread::pullSharedFrame()
{
    if (!cameraShare || holdingShare)
        return;
    const RingReader reader(cameraShare->ring(), cameraShare->ringSize());
    RingFrame found;
    switch (reader.newest(lastSharedFrame, found)) {
    case RingReader::Result::NoNewFrame:
        return;
    case RingReader::Result::NotValid: {
        std::string why;
        reader.check(why);
        // Once per ring and reason: the pin keeps its last frame, or the placeholder.
        if (!why.empty() && why != ringComplaint) {
            qDebug() << "Shared frame ring ignored:" << why.c_str();
            ringComplaint = why;
        }
        return;
    }
    case RingReader::Result::Frame:
        break;
    }
    const QSize size = outputSize();
    FrameBuffer frame = spareFrames.takeOldest();
    try {
        if (frame.isNull())
            frame = FrameBuffer::create();
        frame.bytes().resize(size.width() * size.height() * 3);
    } catch (const std::bad_alloc &) {
        spareFrames.append(frame);
        return; // the pin keeps its last frame
    }
    QByteArray &bytes = frame.bytes();
    sharedScaler.prepare(QSize(int(found.width), int(found.height)), size);
    sharedScaler.scale(found.pixels, reinterpret_cast<uchar *>(bytes.data()));
    // Overwritten while scaled: dropped, the next call finds the newer frame.
    if (!reader.unchanged(found)) {
        spareFrames.append(frame);
        return;
    }
    lastSharedFrame = found.number;
    while (readyFrames.size() > 2)
        spareFrames.append(readyFrames.takeOldest());
    readyFrames.append(frame);
}
