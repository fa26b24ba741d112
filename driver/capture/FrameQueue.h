#pragma once

#include "driver/capture/FrameBuffer.h"

#include <mutex>
#include <vector>

// An ordered list of frames, oldest first, safe to use from several threads. Every operation
// takes and releases the queue's own mutex, so callers may combine it with locks of their own
// as long as they never call back in while holding it.
class FrameQueue
{
public:
    FrameQueue() = default;
    FrameQueue(const FrameQueue &) = delete;
    FrameQueue &operator=(const FrameQueue &) = delete;

    bool isEmpty() const;
    int size() const;

    // Removes and returns the oldest frame; a null handle when the queue is empty.
    FrameBuffer takeOldest();

    // Adds a frame at the back. Null handles are ignored: they hold no bytes to reuse.
    void append(const FrameBuffer &frame);

    void clear();

private:
    // A standard mutex: the thread sanitizer follows its ordering, which it cannot for Qt's.
    mutable std::mutex m_mutex;
    // A vector rather than a deque: it keeps its capacity as frames come and go, so the steady
    // stream allocates nothing, while a deque frees and allocates a node every few dozen frames.
    // The queues hold a handful of frames, so taking from the front costs nothing worth noting.
    std::vector<FrameBuffer> m_frames;
};
