// CPU time of this process and of each of its threads, read from the kernel.
#pragma once

#include <map>
#include <string>

struct ThreadTime
{
    std::string name; // the thread's "comm"
    double cpuSeconds = 0;
};

struct ProcessTimes
{
    double cpuSeconds = 0;             // the whole process, user + system
    std::map<int, ThreadTime> threads; // by thread id, user + system
    double wallSeconds = 0;            // steady clock when read

    static ProcessTimes now();
};
