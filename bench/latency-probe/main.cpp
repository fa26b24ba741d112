// vistrellatency: how much CPU the virtual camera costs while it streams, and how long a camera frame takes
// to reach the application. It records through COM as a video application does, in one process with the
// driver and the camera stand-in, so that the stand-in can say when each frame became ready.

#include "bench/latency-probe/CodedFrames.h"
#include "bench/latency-probe/ProbeOptions.h"
#include "bench/latency-probe/ProbeReport.h"
#include "bench/latency-probe/StreamProbe.h"
#include "bench/latency-probe/ThreadTimes.h"
#include "platform/dshow/dshow.h"
#include "platform/edsdk/EDSDK.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ftw.h>
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

// Live view starts some seconds after the graph runs; the placeholder comes meanwhile. False when no camera
// frame arrived within 30 seconds.
bool waitForCamera(const StreamProbe &probe)
{
    const double waitStart = steadySeconds();
    while (probe.cameraStartNs() == 0 && steadySeconds() - waitStart < 30)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return probe.cameraStartNs() != 0;
}

// Streams for the warm-up and the window, then prints the report. Returns the exit code.
int measure(const ProbeOptions &options, ReadyTimeFunction readyTime)
{
    std::string error;
    const double fpsBound = std::max(options.fps, 30.0) * 2;
    const size_t maxArrivals = size_t((options.seconds + options.warmupSeconds + 60) * fpsBound);
    // The holder decodes the camera's pictures into the frame ring; the measured graph reads them there.
    StreamProbe holder(maxArrivals);
    if (options.throughRing) {
        if (!holder.start(options.device, &error))
            return fail(error);
        if (!waitForCamera(holder))
            return fail("the graph holding the camera got no camera frame within 30 seconds");
    }
    StreamProbe probe(maxArrivals);
    if (!probe.start(options.device, &error))
        return fail(error);
    if (!waitForCamera(probe))
        return fail("no camera frame arrived within 30 seconds");

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
    if (options.throughRing)
        holder.stop();

    const double window = after.wallSeconds - before.wallSeconds;
    std::printf("output %dx%d at %.3f fps, camera %dx%d (%s), window %.1f s, %ld samples%s\n", probe.width(),
                probe.height(), probe.outputFps(), options.cameraWidth, options.cameraHeight,
                options.codedFrames ? "numbered pictures replayed"
                                    : "test picture encoded by the stand-in per frame",
                window, probe.samples(), options.throughRing ? ", through the frame ring" : "");
    ProbeReport::printCpu(before, after, probe.senderThread(), samplesInWindow);
    if (!timed || !options.codedFrames)
        return 0;

    const double period = double(later - first) / span / 1e9;
    const std::vector<double> latencies = ProbeReport::latencies(
        probe.arrivals(), first, period, int64_t(before.wallSeconds * 1e9), int64_t(after.wallSeconds * 1e9));
    if (!ProbeReport::printLatency(latencies, period, window / period))
        return fail("no numbered camera frame reached the sink in the window");
    return 0;
}

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
        if (!CodedFrames::write(framesFolder, options.cameraWidth, options.cameraHeight, &error)) {
            nftw(framesFolder.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
            return fail(error);
        }
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

    int exitCode = 0;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        exitCode = fail("cannot enter COM");
    } else {
        exitCode = measure(options, readyTime);
        CoUninitialize();
    }
    if (sdk)
        dlclose(sdk);
    if (!framesFolder.empty())
        nftw(framesFolder.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS);
    return exitCode;
}
