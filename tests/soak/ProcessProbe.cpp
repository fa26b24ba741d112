#include "tests/soak/ProcessProbe.h"

#include <dirent.h>
#include <fstream>
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

} // namespace ProcessProbe
