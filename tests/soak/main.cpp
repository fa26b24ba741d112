// vistrelsoak: a fault-injection soak of the virtual camera. It streams the driver through COM as a
// video application does while the simulated camera and the client misbehave at random (from a printed
// seed), and fails on a crash, a deadlock, a gap in the samples, memory growth, or anything left alive.
#include "platform/dshow/dshow.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/soak/CameraFaults.h"
#include "tests/soak/ClientMode.h"
#include "tests/soak/ClientProcesses.h"
#include "tests/soak/DriverLines.h"
#include "tests/soak/PictureWatch.h"
#include "tests/soak/ProcessProbe.h"
#include "tests/soak/SampleWatch.h"
#include "tests/soak/SoakClient.h"
#include "tests/soak/SoakOptions.h"
#include "tests/soak/SoakTrace.h"
#include "tests/soak/StallGuard.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double megabytes(long long bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Polls `condition` every 50 ms for up to `seconds`.
bool waitUntil(const std::function<bool()> &condition, int seconds)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// Threads in `now` that were not in `before`, by name.
std::vector<std::string> newThreads(std::vector<std::string> before, const std::vector<std::string> &now)
{
    std::vector<std::string> added;
    for (const std::string &name : now) {
        auto it = std::find(before.begin(), before.end(), name);
        if (it != before.end())
            before.erase(it);
        else
            added.push_back(name);
    }
    return added;
}

void printCounts(const char *title, const std::map<std::string, int> &counts)
{
    std::printf("%s:", title);
    if (counts.empty())
        std::printf(" none");
    for (const auto &entry : counts)
        std::printf(" %s %d;", entry.first.c_str(), entry.second);
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    SoakOptions options;
    std::string error;
    bool help = false;
    if (!parseSoakOptions(argc, argv, options, error, help)) {
        std::fprintf(stderr, "vistrelsoak: %s\n%s", error.c_str(), soakUsage());
        return 2;
    }
    if (help) {
        std::printf("%s", soakUsage());
        return 0;
    }
    if (options.asClient)
        return runAsClient(options);
    if (!options.seedGiven)
        options.seed = std::random_device()();
    static const char *const judgements[] = {"every gap judged",
                                             "judged on the time the pin's thread could run",
                                             "only a stall of the stream judged"};
    std::printf("vistrelsoak: seed %llu, %d s, gap limit %d ms (%s), growth limit %d MB\n",
                static_cast<unsigned long long>(options.seed), options.seconds, options.maxGapMs,
                judgements[int(options.gaps)], options.maxGrowthMb);
    if (options.clients > 0)
        std::printf("vistrelsoak: up to %d client process(es) joining and leaving%s\n", options.clients,
                    options.killHolder ? ", the camera's holder killed at random" : "");
    std::fflush(stdout);
    std::mt19937_64 random(options.seed);

    DriverLines::startCounting();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "vistrelsoak: COM cannot be initialised\n");
        return 1;
    }

    std::vector<std::string> failures;
    {
        EdsSimReset("");
        SampleWatch watch(options.maxGapMs, options.gaps);
        StallMonitor stalls(options.stallSeconds);
        CameraFaults faults(random, watch);
        if (!faults.plugIn()) {
            std::fprintf(stderr, "vistrelsoak: the simulated camera cannot be plugged in\n");
            return 1;
        }
        const std::vector<std::string> threadsBefore = ProcessProbe::threadNames();

        PictureWatch pictures;
        ClientProcesses processes(random, pictures, options.clients, options.killHolder,
                                  options.stallSeconds);
        if (options.clients > 0 && !processes.open(error)) {
            std::fprintf(stderr, "vistrelsoak: the camera's frame ring cannot be watched: %s\n",
                         error.c_str());
            return 1;
        }
        SoakClient client(random, watch, stalls);
        client.setPictureWatch(&pictures);
        if (!client.registerDriver(error) || !client.startStreaming(error)) {
            std::fprintf(stderr, "vistrelsoak: %s\n", error.c_str());
            return 1;
        }

        // The driver loads the camera SDK from its own folder at run time, this program links it: unless both
        // are one module, the faults below would hit a camera the driver never sees.
        if (!waitUntil([&] { return faults.sessionOpen(); }, 300)) {
            std::fprintf(stderr, "vistrelsoak: the driver opened no session on the camera this program "
                                 "controls: the stored settings choose another camera (run the soak with "
                                 "a settings store of its own, as the tests do), or the driver uses another "
                                 "copy of the camera SDK\n");
            return 1;
        }

        const Clock::time_point start = Clock::now();
        if (options.trace)
            SoakTrace::enable();
        const double warmUp = std::max(15.0, options.seconds * 0.2);
        long long baseline = 0, peak = 0;
        double nextMemorySample = 0, nextAction = 0, nextReport = 10;
        while (secondsSince(start) < options.seconds) {
            const double now = secondsSince(start);
            if (now >= nextMemorySample) {
                const long long rss = ProcessProbe::residentBytes();
                peak = std::max(peak, rss);
                if (baseline == 0 && now >= warmUp) {
                    baseline = rss;
                    std::printf("  warm-up over at %.0f s: RSS %.1f MB, %zu threads\n", now, megabytes(rss),
                                ProcessProbe::threadNames().size());
                    std::fflush(stdout);
                }
                nextMemorySample = now + 1;
            }
            if (now >= nextAction) {
                const int action = std::uniform_int_distribution<int>(0, 9)(random);
                if (options.clients > 0 && action >= 8)
                    processes.actOne(client);
                else if (action < (options.clients > 0 ? 5 : 6))
                    faults.injectOne();
                else
                    client.actOne();
                nextAction = now + std::uniform_int_distribution<int>(200, 1500)(random) / 1000.0;
            }
            if (now >= nextReport) {
                const SampleWatch::Figures figures = watch.figures();
                std::printf("  %4.0f s: %llu samples, longest gap %.0f ms, RSS %.1f MB\n", now,
                            static_cast<unsigned long long>(figures.samples), figures.longestGapMs,
                            megabytes(ProcessProbe::residentBytes()));
                std::fflush(stdout);
                nextReport += 10;
            }
            faults.tick();
            client.tick();
            processes.tick();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }

        // Everything healed: the stream must carry on, and memory must be where it was after warm-up.
        faults.heal();
        processes.leaveAll();
        client.settle();
        processes.finishHandOver();
        const bool streamingAtTheEnd = client.streaming();
        // The stream carries on: a sample after the faults, however long a busy machine takes to deliver it.
        const uint64_t samplesHealed = watch.figures().samples;
        const bool carriesOn =
            !streamingAtTheEnd ||
            waitUntil([&] { return watch.figures().samples > samplesHealed; }, kStreamStallMs / 1000);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const long long steady = ProcessProbe::residentBytes();
        peak = std::max(peak, steady);
        const SampleWatch::Figures figures = watch.figures();

        client.stopStreaming();
        // The guards only end a wait that would never end.
        const bool unloadable = waitUntil([&] { return client.canUnloadNow() == S_OK; }, 120);
        const bool sdkClean = waitUntil([] { return EdsSimInitializeCount() == 0; }, 120);
        const EdsUInt32 sdkReferences = EdsSimLiveReferenceCount();
        client.unregisterDriver();
        // Qt's global thread pool (used by QImage's smooth scaling) ends idle threads after 30 s.
        std::vector<std::string> leftThreads;
        waitUntil(
            [&] {
                leftThreads = newThreads(threadsBefore, ProcessProbe::threadNames());
                return leftThreads.empty();
            },
            120);
        const long long final = ProcessProbe::residentBytes();

        std::printf("vistrelsoak: seed %llu, ran %.0f s\n", static_cast<unsigned long long>(options.seed),
                    secondsSince(start));
        printCounts("faults injected", faults.counts());
        printCounts("client actions", client.counts());
        if (options.clients > 0) {
            printCounts("client process events", processes.counts());
            processes.printFigures();
        }
        std::printf("samples delivered: %llu (%llu while the camera was gone)\n",
                    static_cast<unsigned long long>(figures.samples),
                    static_cast<unsigned long long>(figures.samplesWhileCameraGone));
        std::printf("camera pictures in the soak's graph: %llu\n",
                    static_cast<unsigned long long>(pictures.cameraPictures()));
        std::printf("longest gap while running: %.0f ms (%.0f ms while the camera was gone)\n",
                    figures.longestGapMs, figures.longestGapWhileCameraGoneMs);
        std::printf("mean sample interval: %.1f ms (%.1f ms while the camera was gone)\n",
                    figures.meanIntervalMs, figures.meanIntervalWhileCameraGoneMs);
        std::printf("gaps over %d ms: %d judged the driver's, %d put down to the machine%s%s\n",
                    options.maxGapMs, figures.gapsOverLimit, figures.gapsExcused,
                    figures.gapsExcused ? "; longest: " : "", figures.longestGapExcused.c_str());
        std::printf("memory: after warm-up %.1f MB, peak %.1f MB, steady at the end %.1f MB, after teardown "
                    "%.1f MB\n",
                    megabytes(baseline), megabytes(peak), megabytes(steady), megabytes(final));
        std::printf(
            "at the end: DllCanUnloadNow %s, SDK initialised %u times, SDK references %u, threads left %zu\n",
            unloadable ? "S_OK" : "S_FALSE", EdsSimInitializeCount(), sdkReferences, leftThreads.size());
        if (DriverLines::counted() >= 0)
            std::printf("driver log lines: %lld\n", DriverLines::counted());
        else
            std::printf("driver log lines: not seen from here (they go to the debugger)\n");

        if (figures.gapsOverLimit > 0)
            failures.push_back(std::to_string(figures.gapsOverLimit) +
                               " gap(s) over the limit, first: " + figures.firstGapOverLimit);
        if (client.halfConnections() > 0)
            failures.push_back(std::to_string(client.halfConnections()) +
                               " change(s) of format left the pins joined one way only");
        if (!streamingAtTheEnd)
            failures.push_back("the client lost its stream: " + client.lastFailure());
        else if (!carriesOn)
            failures.push_back("the stream stalled: no sample within " +
                               std::to_string(kStreamStallMs / 1000) + " s after the faults healed");
        if (figures.samples == 0)
            failures.push_back("no sample was delivered");
        if (baseline > 0 && steady - baseline > (long long)options.maxGrowthMb * 1024 * 1024)
            failures.push_back("memory grew by " + std::to_string(int(megabytes(steady - baseline))) +
                               " MB after warm-up");
        if (!unloadable)
            failures.push_back("DllCanUnloadNow does not answer S_OK after the last release");
        if (!sdkClean)
            failures.push_back("the camera SDK was not shut down");
        if (sdkReferences != 0)
            failures.push_back(std::to_string(sdkReferences) + " camera SDK reference(s) not released");
        failures.insert(failures.end(), processes.failures().begin(), processes.failures().end());
        for (const std::string &name : leftThreads)
            failures.push_back("thread left running: " + name);
    }
    CoUninitialize();

    for (const std::string &failure : failures)
        std::printf("vistrelsoak: FAILED: %s\n", failure.c_str());
    if (failures.empty())
        std::printf("vistrelsoak: passed\n");
    return failures.empty() ? 0 : 1;
}
