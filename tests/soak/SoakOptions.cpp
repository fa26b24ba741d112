#include "tests/soak/SoakOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool parseNumber(const char *text, long long minimum, long long maximum, long long &value)
{
    if (text == nullptr || *text == '\0')
        return false;
    errno = 0;
    char *end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < minimum || parsed > maximum)
        return false;
    value = parsed;
    return true;
}

} // namespace

const char *soakUsage()
{
    return "usage: vistrelsoak [--seconds N] [--seed N] [--max-gap-ms N] [--gaps strict|runnable|stall]\n"
           "                   [--max-growth-mb N] [--stall-seconds N] [--clients N] [--kill-holder] "
           "[--trace]\n"
           "Streams the virtual camera through COM while the simulated camera and the client inject faults\n"
           "at random; fails on a crash, a stall, a gap in the samples, memory growth or anything left "
           "alive.\n"
           "--gaps: how a gap over --max-gap-ms is judged: strict (the default) fails on it; runnable\n"
           "subtracts the time the pin's thread waited for a CPU (for runs on a busy machine); stall only\n"
           "reports it (where that wait is not known). With either, no sample for 3 minutes still fails.\n"
           "--clients N: up to N client processes (this program with --as-client) open the camera beside\n"
           "the soak's graph, joining and leaving at random; --kill-holder: the process holding the\n"
           "camera's session is killed at random, and the soak's graph must get the camera's picture "
           "again.\n";
}

bool parseSoakOptions(int argc, char **argv, SoakOptions &options, std::string &error, bool &help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const char *name = argv[i];
        if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
            help = true;
            return true;
        }
        if (std::strcmp(name, "--trace") == 0) {
            options.trace = true;
            continue;
        }
        if (std::strcmp(name, "--kill-holder") == 0) {
            options.killHolder = true;
            continue;
        }
        if (std::strcmp(name, "--as-client") == 0) {
            options.asClient = true;
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long number = 0;
        bool ok = false;
        if (std::strcmp(name, "--seconds") == 0 && (ok = parseNumber(value, 5, 86400, number)))
            options.seconds = int(number);
        else if (std::strcmp(name, "--seed") == 0 && (ok = parseNumber(value, 0, INT64_MAX, number))) {
            options.seed = uint64_t(number);
            options.seedGiven = true;
        } else if (std::strcmp(name, "--max-gap-ms") == 0 && (ok = parseNumber(value, 10, 600000, number)))
            options.maxGapMs = int(number);
        else if (std::strcmp(name, "--gaps") == 0 && value != nullptr) {
            ok = true;
            if (std::strcmp(value, "strict") == 0)
                options.gaps = GapJudgement::Strict;
            else if (std::strcmp(value, "runnable") == 0)
                options.gaps = GapJudgement::Runnable;
            else if (std::strcmp(value, "stall") == 0)
                options.gaps = GapJudgement::StallOnly;
            else
                ok = false;
        } else if (std::strcmp(name, "--max-growth-mb") == 0 && (ok = parseNumber(value, 1, 65536, number)))
            options.maxGrowthMb = int(number);
        else if (std::strcmp(name, "--clients") == 0 && (ok = parseNumber(value, 0, 16, number)))
            options.clients = int(number);
        else if (std::strcmp(name, "--stall-seconds") == 0 && (ok = parseNumber(value, 1, 3600, number)))
            options.stallSeconds = int(number);
        if (!ok) {
            error = value == nullptr ? std::string("missing value or unknown option ") + name
                                     : std::string("bad option or value: ") + name + " " + value;
            return false;
        }
        ++i;
    }
    if (options.killHolder && options.clients == 0) {
        error = "--kill-holder needs --clients";
        return false;
    }
    if (options.killHolder && options.clients == 0) {
        error = "--kill-holder needs --clients";
        return false;
    }
    return true;
}
