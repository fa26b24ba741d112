// vistrellatency: how much CPU the virtual camera costs while it streams, and how long a camera frame takes
// to reach the application. It records through COM as a video application does, in one process with the
// driver and the camera stand-in, so that the stand-in can say when each frame became ready.

#include "platform/dshow/dshow.h"
#include "platform/edsdk/EDSDK.h"
#include "tools/latency-probe/CodedFrames.h"
#include "tools/latency-probe/ProbeOptions.h"
#include "tools/latency-probe/StreamProbe.h"
#include "tools/latency-probe/ThreadTimes.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using ReadyTimeFunction = EdsError (*)(const char *, EdsUInt32, EdsUInt64 *);

int fail(const std::string &message)
{
    std::fprintf(stderr, "vistrellatency: %s\n", message.c_str());
    return 2;
}

double steadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string programFolder()
{
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string folder(path, size_t(length));
    return folder.substr(0, folder.rfind('/'));
}

// The settings store as the settings program leaves it: a custom output size and a frame rate.
bool writeSettings(const ProbeOptions &options, std::string *error)
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    const char *home = std::getenv("HOME");
    if ((!xdg || !*xdg) && (!home || !*home)) {
        *error = "neither XDG_CONFIG_HOME nor HOME is set";
        return false;
    }
    const std::string config = xdg && *xdg ? std::string(xdg) : std::string(home) + "/.config";
    const std::string folder = config + "/com.quorvane.vistrel";
    mkdir(config.c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    const std::string path = folder + "/Vistrel App.conf";
    FILE *file = std::fopen(path.c_str(), "w");
    if (!file) {
        *error = "cannot write " + path;
        return false;
    }
    std::fprintf(file, "[General]\ncustomResolution=true\nvideoFps=%g\nvideoResolution=@Size(%d %d)\n",
                 options.fps, options.outputWidth, options.outputHeight);
    if (std::fclose(file) != 0) {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

int removeEntry(const char *path, const struct stat *, int, FTW *)
{
    return remove(path);
}

double percentile(std::vector<double> values, double fraction)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(std::ceil(fraction * double(values.size()))) - 1);
    return values[index];
}

struct ThreadShare
{
    double cpuSeconds = 0;
    int threads = 0;
};

} // namespace

int main(int argc, char **argv)
{
    ProbeOptions options;
    std::string error;
    if (!parseProbeOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "vistrellatency: %s\n%s", error.c_str(), probeUsage(argv[0]).c_str());
        return 1;
    }
    if (options.showHelp) {
        std::printf("%s", probeUsage(argv[0]).c_str());
        return 0;
    }
    if (!writeSettings(options, &error))
        return fail(error);

    // The camera stand-in reads its configuration when the driver first loads it.
    char folderTemplate[] = "/tmp/vistrellatency.XXXXXX";
    std::string framesFolder;
    // The only camera, hence on the first port (the configuration syntax has no room for a ':' in a value).
    std::string cameras = "Canon EOS 90D:size=" + std::to_string(options.cameraWidth) + "x" +
                          std::to_string(options.cameraHeight);
    if (options.codedFrames) {
        if (!mkdtemp(folderTemplate))
            return fail("cannot create a temporary folder");
        framesFolder = folderTemplate;
        if (!CodedFrames::write(framesFolder, options.cameraWidth, options.cameraHeight, &error))
            return fail(error);
        cameras += ":frames=" + framesFolder;
    }
    setenv("EDSDK_SIM_CAMERAS", cameras.c_str(), 1);

    // The same library the driver loads from beside itself, hence the same simulated camera.
    void *sdk = dlopen((programFolder() + "/libEDSDK.so").c_str(), RTLD_NOW);
    const auto readyTime =
        sdk ? reinterpret_cast<ReadyTimeFunction>(dlsym(sdk, "EdsSimGetFrameReadyTime")) : nullptr;
    if (!readyTime)
        std::fprintf(stderr,
                     "vistrellatency: the camera stand-in cannot tell frame times; no latency figures\n");

    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return fail("cannot enter COM");
    int exitCode = 0;
    {
        const double fpsBound = std::max(options.fps, 30.0) * 2;
        StreamProbe probe(size_t((options.seconds + options.warmupSeconds + 60) * fpsBound));
        if (!probe.start(options.device, &error)) {
            exitCode = fail(error);
        } else {
            const double waitStart = steadySeconds();
            while (probe.cameraStartNs() == 0 && steadySeconds() - waitStart < 30)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (probe.cameraStartNs() == 0) {
                probe.stop();
                exitCode = fail("no camera frame arrived within 30 seconds");
            } else {
                std::this_thread::sleep_for(std::chrono::duration<double>(options.warmupSeconds));
                const long samplesBefore = probe.samples();
                const ProcessTimes before = ProcessTimes::now();
                std::this_thread::sleep_for(std::chrono::duration<double>(options.seconds));
                const ProcessTimes after = ProcessTimes::now();
                const long samplesInWindow = probe.samples() - samplesBefore;

                // Frame n of the camera is ready at first + n * period.
                EdsUInt64 first = 0;
                EdsUInt64 later = 0;
                const EdsUInt32 span = 100000;
                const bool timed = readyTime && readyTime(options.port.c_str(), 0, &first) == EDS_ERR_OK &&
                                   readyTime(options.port.c_str(), span, &later) == EDS_ERR_OK;
                probe.stop();

                const double window = after.wallSeconds - before.wallSeconds;
                const double cpu = after.cpuSeconds - before.cpuSeconds;
                std::printf("output %dx%d at %.3f fps, camera %dx%d (%s), window %.1f s, %ld samples\n",
                            probe.width(), probe.height(), probe.outputFps(), options.cameraWidth,
                            options.cameraHeight,
                            options.codedFrames ? "numbered pictures replayed"
                                                : "test picture encoded by the stand-in per frame",
                            window, probe.samples());
                std::printf("samples at the sink: %.2f per second\n", double(samplesInWindow) / window);
                std::printf("process CPU: %.2f s = %.2f%% of one core\n", cpu, 100 * cpu / window);

                std::map<std::string, ThreadShare> shares;
                for (const auto &[tid, end] : after.threads) {
                    const auto start = before.threads.find(tid);
                    const double used =
                        end.cpuSeconds - (start != before.threads.end() ? start->second.cpuSeconds : 0);
                    std::string label = end.name;
                    if (tid == probe.senderThread())
                        label = "pin worker (FillBuffer, delivery)";
                    else if (tid == getpid())
                        label = "probe main";
                    else if (label.rfind("MediaProcessing", 0) == 0)
                        // Threads the capture thread starts (the SDK's event thread) inherit its name.
                        label = "capture (download, decode, scale)";
                    shares[label].cpuSeconds += used;
                    shares[label].threads += 1;
                }
                for (const auto &[label, share] : shares)
                    std::printf("  %-36s %2d thread(s) %7.2f%%\n", label.c_str(), share.threads,
                                100 * share.cpuSeconds / window);
                std::printf("RESULT cpu_percent=%.2f\nRESULT sample_rate=%.2f\n", 100 * cpu / window,
                            double(samplesInWindow) / window);
                for (const auto &[label, share] : shares) {
                    if (label.rfind("capture", 0) == 0)
                        std::printf("RESULT capture_thread_percent=%.2f\n", 100 * share.cpuSeconds / window);
                    if (label.rfind("pin worker", 0) == 0)
                        std::printf("RESULT pin_thread_percent=%.2f\n", 100 * share.cpuSeconds / window);
                }

                if (timed && options.codedFrames) {
                    const double period = double(later - first) / span / 1e9;
                    const int64_t windowStart = int64_t(before.wallSeconds * 1e9);
                    const int64_t windowEnd = int64_t(after.wallSeconds * 1e9);
                    std::vector<double> latencies;
                    for (const Arrival &arrival : probe.arrivals()) {
                        if (arrival.code < 0 || arrival.steadyNs < windowStart ||
                            arrival.steadyNs > windowEnd)
                            continue;
                        // The newest camera frame with this number that was ready by the time it arrived.
                        const double sinceFirst = double(arrival.steadyNs - int64_t(first)) / 1e9;
                        if (sinceFirst < 0)
                            continue;
                        const int64_t newest = int64_t(std::floor(sinceFirst / period));
                        const int64_t behind =
                            ((newest - arrival.code) % CodedFrames::kCount + CodedFrames::kCount) %
                            CodedFrames::kCount;
                        const int64_t frame = newest - behind;
                        latencies.push_back((sinceFirst - double(frame) * period) * 1e3);
                    }
                    if (latencies.empty()) {
                        exitCode = fail("no numbered camera frame reached the sink in the window");
                        latencies.push_back(0);
                    }
                    const double interval = period * 1e3;
                    const double median = percentile(latencies, 0.5);
                    const double p99 = percentile(latencies, 0.99);
                    std::printf(
                        "latency over %zu camera frames (camera made %.0f in the window): median %.1f ms "
                        "(%.2f intervals), 99th percentile %.1f ms (%.2f intervals), max %.1f ms\n",
                        latencies.size(), window / period, median, median / interval, p99, p99 / interval,
                        percentile(latencies, 1.0));
                    std::printf("RESULT latency_median_ms=%.1f\nRESULT latency_p99_ms=%.1f\n"
                                "RESULT latency_median_intervals=%.2f\nRESULT frames_seen=%zu\n",
                                median, p99, median / interval, latencies.size());
                }
            }
        }
    }
    CoUninitialize();
    if (!framesFolder.empty())
        nftw(framesFolder.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    return exitCode;
}
