#pragma once

#include <cstdint>
#include <cstdio>

// Shows how a recording advances: on a terminal one line rewritten in place a few times a second,
// elsewhere (a log, a pipe) one plain line per second so the output stays readable.
class ProgressLine
{
public:
    ProgressLine(std::FILE *out, bool terminal);

    void update(uint64_t frames, double rate, double elapsedSeconds);
    // Ends the rewritten line so what follows starts on a fresh one.
    void finish();

private:
    std::FILE *m_out;
    bool m_terminal;
    bool m_shown = false;
    double m_lastShown = -1;
};
