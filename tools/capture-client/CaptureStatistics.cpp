#include "tools/capture-client/CaptureStatistics.h"

#include <cstdio>

void CaptureStatistics::addFrame(FrameKind kind, double arrivalSeconds, std::optional<int64_t> start100ns)
{
    if (m_frames == 0)
        m_firstArrival = arrivalSeconds;
    m_lastArrival = arrivalSeconds;
    ++m_frames;
    switch (kind) {
    case FrameKind::Placeholder:
        ++m_placeholder;
        break;
    case FrameKind::Repeated:
        ++m_repeated;
        break;
    case FrameKind::New:
        ++m_new;
        break;
    }
    if (start100ns) {
        if (m_lastStart) {
            const int64_t gap = *start100ns - *m_lastStart;
            ++m_gaps;
            m_gapSum100ns += static_cast<double>(gap);
            if (m_gaps == 1 || gap > m_worstGap100ns)
                m_worstGap100ns = gap;
        }
        m_lastStart = start100ns;
    }
}

double CaptureStatistics::measuredRate() const
{
    const double span = m_lastArrival - m_firstArrival;
    if (m_frames < 2 || span <= 0)
        return 0;
    return static_cast<double>(m_frames - 1) / span;
}

double CaptureStatistics::meanSpacingMs() const
{
    return m_gaps == 0 ? 0 : m_gapSum100ns / static_cast<double>(m_gaps) / 10000.0;
}

double CaptureStatistics::worstSpacingMs() const
{
    return m_gaps == 0 ? 0 : static_cast<double>(m_worstGap100ns) / 10000.0;
}

std::vector<std::string> CaptureStatistics::summaryLines() const
{
    char line[160];
    std::vector<std::string> lines;
    std::snprintf(line, sizeof line, "frames delivered: %llu", static_cast<unsigned long long>(m_frames));
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "measured rate: %.2f frames/s", measuredRate());
    lines.emplace_back(line);
    if (m_gaps == 0)
        std::snprintf(line, sizeof line, "time-stamp spacing: not measured (fewer than two time stamps)");
    else
        std::snprintf(line, sizeof line, "time-stamp spacing: mean %.2f ms, worst %.2f ms", meanSpacingMs(),
                      worstSpacingMs());
    lines.emplace_back(line);
    std::snprintf(line, sizeof line, "frames: %llu placeholder, %llu repeated, %llu new",
                  static_cast<unsigned long long>(m_placeholder), static_cast<unsigned long long>(m_repeated),
                  static_cast<unsigned long long>(m_new));
    lines.emplace_back(line);
    return lines;
}
