// The frame hand-off between the capture thread (producer) and the pin (consumer). Lock order:
// frameMutex, then a queue's own mutex or stateMutex; never the other way round.

#include "driver/capture/FrameConverter.h"
#include "driver/capture/MediaProcessingThread.h"
#include "driver/capture/Placeholder.h"
#include "driver/capture/RingPictureStore.h"
#include "platform/ring/FrameRing.h"

#include <QDebug>

#include <cstring>
#include <optional>

namespace {

int copyFrame(const QByteArray &frame, void *dst, int maxBytes)
{
    const int count = qMin(maxBytes, frame.size());
    if (count > 0)
        std::memcpy(dst, frame.constData(), static_cast<size_t>(count));
    return count;
}

} // namespace

void MediaProcessingThread::setOutputSize(const QSize &size)
{
    // Decoding and scaling the picture is slow: it is built unlocked, so the pin reads the old one
    // meanwhile, and swapped in. The old bytes are freed after the lock is let go.
    QByteArray placeholder = Placeholder::frame(size);
    std::lock_guard<std::mutex> lock(stateMutex);
    m_outputSize = size;
    placeholderFrame.swap(placeholder);
}

void MediaProcessingThread::convertAndPublish(const uchar *jpeg, int length)
{
    // Buffers circulate: a spare one keeps its allocation for the next frame of the same size.
    FrameBuffer frame = spareFrames.takeOldest();
    if (frame.isNull())
        frame = FrameBuffer::create();
    // The holder decodes into the camera's frame ring: once for every instance on the machine.
    std::optional<RingPictureStore> ring;
    if (ringWriter)
        ring.emplace(*ringWriter);
    if (!converter || !converter->convert(jpeg, length, outputSize(), frame, ring ? &*ring : nullptr)) {
        spareFrames.append(frame);
        return;
    }
    if (announceNextPublish && ring) {
        qDebug() << "First camera frame after taking the camera over";
        announceNextPublish = false;
    }
    {
        // The pin never finds more than 3 frames waiting: older ones are dropped for reuse.
        std::lock_guard<std::mutex> lock(frameMutex);
        while (readyFrames.size() > 2)
            spareFrames.append(readyFrames.takeOldest());
    }
    if (stopRequested) {
        spareFrames.append(frame);
        return;
    }
    readyFrames.append(frame);
}

int MediaProcessingThread::readFrame(void *dst, int maxBytes)
{
    if (!dst || maxBytes <= 0)
        return 0;
    return readFrameWith([&](const QByteArray &frame) { return copyFrame(frame, dst, maxBytes); });
}

int MediaProcessingThread::readFrameWith(const FrameCopy &copy)
{
    std::lock_guard<std::mutex> lock(frameMutex);
    pullSharedFrame();
    if (!isRunning() || (readyFrames.isEmpty() && currentFrame.isNull())) {
        QByteArray placeholder;
        {
            // A shared copy: the bytes are copied out without holding the state lock.
            std::lock_guard<std::mutex> state(stateMutex);
            placeholder = placeholderFrame;
        }
        return copy(placeholder);
    }
    if (!readTimer.isValid())
        readTimer.start();
    if (readyFrames.isEmpty())
        return copy(currentFrame.bytes());
    FrameBuffer next = readyFrames.takeOldest();
    const int copied = copy(next.bytes());
    spareFrames.append(currentFrame);
    currentFrame = next;
    return copied;
}

void MediaProcessingThread::releaseFrames()
{
    std::lock_guard<std::mutex> lock(frameMutex);
    readyFrames.clear();
    spareFrames.clear();
    currentFrame.reset();
    readTimer.invalidate();
    // A new clock starts from 0; stamps from the old one would hold back the next extension.
    lastExtensionAt = 0;
}
