#include "bench/latency-probe/ThreadTimes.h"

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// utime + stime of /proc/self/task/<tid>/stat, and the name between the parentheses.
bool readThread(int tid, ThreadTime *out)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/stat", tid);
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path, "r"), std::fclose);
    if (!file)
        return false;
    char line[1024] = {};
    if (!std::fgets(line, sizeof line, file.get()))
        return false;
    const char *open = std::strchr(line, '(');
    const char *close = std::strrchr(line, ')');
    if (!open || !close || close < open)
        return false;
    out->name.assign(open + 1, close);
    // Fields after the name, counted from 3 (state): utime is field 14, stime 15.
    const char *field = close + 2;
    for (int i = 3; i < 14 && field; ++i) {
        field = std::strchr(field, ' ');
        if (field)
            ++field;
    }
    if (!field)
        return false;
    char *end = nullptr;
    const unsigned long long utime = std::strtoull(field, &end, 10);
    const unsigned long long stime = std::strtoull(end, nullptr, 10);
    out->cpuSeconds = double(utime + stime) / double(sysconf(_SC_CLK_TCK));
    return true;
}

} // namespace

ProcessTimes ProcessTimes::now()
{
    ProcessTimes times;
    times.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    times.cpuSeconds = double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9;
    std::unique_ptr<DIR, int (*)(DIR *)> tasks(opendir("/proc/self/task"), closedir);
    if (!tasks)
        return times;
    while (const dirent *entry = readdir(tasks.get())) {
        const int tid = std::atoi(entry->d_name);
        ThreadTime thread;
        if (tid > 0 && readThread(tid, &thread))
            times.threads[tid] = thread;
    }
    return times;
}
