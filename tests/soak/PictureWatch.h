// Tells the camera's pictures from the placeholder and from repeats of the last frame among the samples a
// sink receives, so that the soak sees when a graph has the camera's picture again after a hand-over.
#pragma once

#include "tools/sample-sink/SampleSink.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

class PictureWatch
{
public:
    using Clock = std::chrono::steady_clock;

    // From the sink's callback.
    void sampleArrived(const vistrel::sink::ReceivedSample &sample);

    uint64_t cameraPictures() const;
    // When the last new camera picture arrived; the epoch if none has.
    Clock::time_point lastCameraPicture() const;

private:
    mutable std::mutex m_lock;
    std::vector<uint8_t> m_previous;
    uint64_t m_cameraPictures = 0;
    Clock::time_point m_lastCameraPicture;
};
