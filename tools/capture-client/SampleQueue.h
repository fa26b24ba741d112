#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

// One received frame, copied out of the sample so the sender's buffer goes back at once.
struct QueuedFrame
{
    std::vector<uint8_t> bytes;
    std::optional<int64_t> start100ns;
    double arrivalSeconds = 0;
};

// Hands frames from the sender's thread to the recording thread. Bounded: when the recorder falls behind
// (a slow disk), the sender waits instead of memory growing without limit, and no frame is dropped.
// close() releases a waiting sender for good, so stopping the graph never waits on the recorder.
class SampleQueue
{
public:
    explicit SampleQueue(size_t capacity) : m_capacity(capacity) {}

    // False once closed: the frame is not wanted any more.
    bool push(QueuedFrame frame)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_space.wait(lock, [&] { return m_closed || m_frames.size() < m_capacity; });
        if (m_closed)
            return false;
        m_frames.push_back(std::move(frame));
        m_available.notify_one();
        return true;
    }

    std::optional<QueuedFrame> pop(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_available.wait_for(lock, timeout, [&] { return !m_frames.empty(); }))
            return std::nullopt;
        QueuedFrame frame = std::move(m_frames.front());
        m_frames.pop_front();
        m_space.notify_one();
        return frame;
    }

    void close()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closed = true;
        m_space.notify_all();
    }

private:
    const size_t m_capacity;
    std::mutex m_mutex;
    std::condition_variable m_available;
    std::condition_variable m_space;
    std::deque<QueuedFrame> m_frames;
    bool m_closed = false;
};
