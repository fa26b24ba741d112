#include "tests/soak/ProcessProbe.h"

#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <limits.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ProcessProbe {

long long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long long size = 0, resident = 0;
    if (!(statm >> size >> resident))
        return 0;
    return resident * sysconf(_SC_PAGESIZE);
}

std::vector<std::string> threadNames()
{
    std::vector<std::string> names;
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr)
        return names;
    while (const dirent *entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        names.push_back(name);
    }
    closedir(tasks);
    return names;
}

std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string self(path, size_t(length));
    return self.substr(0, self.find_last_of('/'));
}

long currentThreadId()
{
    return syscall(SYS_gettid);
}

long long runQueueWaitNs(long threadId)
{
    const std::string path = "/proc/self/task/" + std::to_string(threadId) + "/schedstat";
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (!file)
        return -1;
    unsigned long long running = 0, waiting = 0;
    const bool read = std::fscanf(file, "%llu %llu", &running, &waiting) == 2;
    std::fclose(file);
    return read ? static_cast<long long>(waiting) : -1;
}

} // namespace ProcessProbe
