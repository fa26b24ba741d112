#pragma once

#include "tools/capture-client/FrameKind.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a recording received: frame counts by kind, the rate measured on the client's own clock and
// the spacing of the samples' start times.
class CaptureStatistics
{
public:
    // arrivalSeconds: the client's monotonic clock when the frame arrived. start100ns: the sample's
    // start time, when the sample carried one.
    void addFrame(FrameKind kind, double arrivalSeconds, std::optional<int64_t> start100ns);

    uint64_t frames() const { return m_frames; }
    uint64_t placeholderFrames() const { return m_placeholder; }
    uint64_t repeatedFrames() const { return m_repeated; }
    uint64_t newFrames() const { return m_new; }
    // Frames of the camera's own picture, repeats included.
    uint64_t cameraFrames() const { return m_frames - m_placeholder; }
    // Frames per second between the first and the last arrival; 0 with fewer than two frames.
    double measuredRate() const;
    // Mean and largest gap between consecutive start times, in milliseconds; 0 without two stamps.
    double meanSpacingMs() const;
    double worstSpacingMs() const;

    std::vector<std::string> summaryLines() const;

private:
    uint64_t m_frames = 0;
    uint64_t m_placeholder = 0;
    uint64_t m_repeated = 0;
    uint64_t m_new = 0;
    double m_firstArrival = 0;
    double m_lastArrival = 0;
    std::optional<int64_t> m_lastStart;
    uint64_t m_gaps = 0;
    double m_gapSum100ns = 0;
    int64_t m_worstGap100ns = 0;
};
