#include "bench/latency-probe/ProbeOptions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool parseSize(const char *text, int *width, int *height)
{
    int w = 0;
    int h = 0;
    char tail = 0;
    if (std::sscanf(text, "%dx%d%c", &w, &h, &tail) != 2 || w <= 0 || h <= 0 || w > 8192 || h > 8192)
        return false;
    *width = w;
    *height = h;
    return true;
}

bool parsePositive(const char *text, double *value)
{
    char *end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(parsed > 0) || parsed > 1e6)
        return false;
    *value = parsed;
    return true;
}

} // namespace

bool parseProbeOptions(int argc, const char *const *argv, ProbeOptions *options, std::string *error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            options->showHelp = true;
            continue;
        }
        if (name == "--generated") {
            options->codedFrames = false;
            continue;
        }
        if (name == "--through-ring") {
            options->throughRing = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = "unknown option or missing value: " + name;
            return false;
        }
        const char *value = argv[++i];
        bool ok = true;
        if (name == "--device")
            options->device = value;
        else if (name == "--port")
            options->port = value;
        else if (name == "--camera-size")
            ok = parseSize(value, &options->cameraWidth, &options->cameraHeight);
        else if (name == "--size")
            ok = parseSize(value, &options->outputWidth, &options->outputHeight);
        else if (name == "--fps")
            ok = parsePositive(value, &options->fps);
        else if (name == "--seconds")
            ok = parsePositive(value, &options->seconds);
        else if (name == "--warmup")
            ok = parsePositive(value, &options->warmupSeconds);
        else {
            *error = "unknown option: " + name;
            return false;
        }
        if (!ok) {
            *error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

std::string probeUsage(const char *program)
{
    return std::string("usage: ") + program +
           " [--seconds S] [--warmup S] [--size WxH] [--fps F] [--camera-size WxH] [--generated]\n"
           "          [--device NAME] [--port PORT] [--through-ring]\n"
           "Streams the registered virtual camera into a sink for S seconds (default 60) and reports the\n"
           "process's CPU time per thread and the latency from each simulated camera frame becoming ready\n"
           "to the sample carrying it reaching the sink. Writes the output size and frame rate into the\n"
           "settings store first, so run it with a throw-away HOME. By default the camera replays pictures\n"
           "that carry their own number; --generated uses the camera stand-in's own test picture, which it\n"
           "encodes per frame (no latency figures then). --through-ring starts a first graph that holds the\n"
           "camera, so that the measured one gets the camera's picture through the shared frame ring (the "
           "CPU\n"
           "figures are then the process's, both graphs included).\n";
}
