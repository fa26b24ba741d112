#include "tools/capture-client/ProgressLine.h"

ProgressLine::ProgressLine(std::FILE *out, bool terminal) : m_out(out), m_terminal(terminal) {}

void ProgressLine::update(uint64_t frames, double rate, double elapsedSeconds)
{
    const double interval = m_terminal ? 0.25 : 1.0;
    if (m_shown && elapsedSeconds - m_lastShown < interval)
        return;
    m_lastShown = elapsedSeconds;
    m_shown = true;
    if (m_terminal)
        std::fprintf(m_out, "\rrecording: %llu frames, %.1f frames/s, %.1f s\033[K",
                     static_cast<unsigned long long>(frames), rate, elapsedSeconds);
    else
        std::fprintf(m_out, "recording: %llu frames, %.1f frames/s, %.1f s\n",
                     static_cast<unsigned long long>(frames), rate, elapsedSeconds);
    std::fflush(m_out);
}

void ProgressLine::finish()
{
    if (m_terminal && m_shown) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_shown = false;
}
