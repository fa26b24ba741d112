#include "tests/soak/SoakTrace.h"

#include <atomic>
#include <chrono>
#include <cstdio>

namespace SoakTrace {
namespace {

std::atomic<bool> g_enabled{false};
std::chrono::steady_clock::time_point g_origin;

} // namespace

void enable()
{
    g_origin = std::chrono::steady_clock::now();
    g_enabled = true;
}

void line(const std::string &what)
{
    if (!g_enabled)
        return;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - g_origin).count();
    std::printf("  [%7.2f s] %s\n", seconds, what.c_str());
    std::fflush(stdout);
}

} // namespace SoakTrace
