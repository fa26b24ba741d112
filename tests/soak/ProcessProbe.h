// What the process holds and where it runs from, read from the system: /proc on Linux, the process and
// thread APIs on Windows. CMake picks ProcessProbePosix.cpp or ProcessProbeWindows.cpp.
#pragma once

#include <string>
#include <vector>

namespace ProcessProbe {

// Resident memory in bytes (the working set on Windows); 0 if it cannot be read.
long long residentBytes();
// One entry per thread of the process: its name where the system keeps one, so that a thread that ends
// and one of the same kind that starts cancel out.
std::vector<std::string> threadNames();
// The folder of the running program, without a trailing separator.
std::string programFolder();

// The calling thread's system id.
long currentThreadId();
// Time the thread has spent runnable but waiting for a CPU, in nanoseconds; -1 where the system does not
// tell (Windows keeps no such figure per thread).
long long runQueueWaitNs(long threadId);

} // namespace ProcessProbe
