// What the process holds: resident memory and threads, read from /proc.
#pragma once

#include <string>
#include <vector>

namespace ProcessProbe {

// Resident set size in bytes; 0 if it cannot be read.
long long residentBytes();
// The names of the process's threads (their "comm"), one entry per thread.
std::vector<std::string> threadNames();

} // namespace ProcessProbe
