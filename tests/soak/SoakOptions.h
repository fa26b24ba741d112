// Command line of the soak run.
#pragma once

#include "tests/soak/SampleWatch.h"

#include <cstdint>
#include <string>

struct SoakOptions
{
    int seconds = 120; // length of the run
    uint64_t seed = 0; // random choices; printed so that a run can be repeated
    bool seedGiven = false;
    int maxGapMs = 1000; // longest time without a sample while the graph runs
    GapJudgement gaps = GapJudgement::Strict;
    int maxGrowthMb = 64;    // memory growth allowed after the warm-up
    int stallSeconds = 30;   // a client call that takes longer is a deadlock
    bool trace = false;      // print every fault and client action
    int clients = 0;         // client processes that join and leave, at most this many at once
    bool killHolder = false; // kill the process holding the camera at random (with --clients)
    bool asClient = false;   // run as one of those client processes
};

// False, with a message in `error`, for an unknown option or a bad value. `help` is set for --help.
bool parseSoakOptions(int argc, char **argv, SoakOptions &options, std::string &error, bool &help);
const char *soakUsage();
