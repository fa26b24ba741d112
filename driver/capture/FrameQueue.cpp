#include "driver/capture/FrameQueue.h"

bool FrameQueue::isEmpty() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames.empty();
}

int FrameQueue::size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_frames.size());
}

FrameBuffer FrameQueue::takeOldest()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_frames.empty())
        return {};
    FrameBuffer frame = std::move(m_frames.front());
    m_frames.erase(m_frames.begin());
    return frame;
}

void FrameQueue::append(const FrameBuffer &frame)
{
    if (frame.isNull())
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frames.push_back(frame);
}

void FrameQueue::clear()
{
    // Release the frames outside the lock: the last handle frees the bytes, which need not
    // hold up the other side.
    std::vector<FrameBuffer> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_frames);
    }
}
