#include "tools/capture-client/CaptureOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool parseCount(const std::string &text, uint64_t *value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v == 0 || v > 100000000ull)
        return false;
    *value = v;
    return true;
}

bool parseSeconds(const std::string &text, double *value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end == nullptr || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 7 * 86400)
        return false;
    *value = v;
    return true;
}

bool parseSnapshot(const std::string &text, SnapshotRequest *snapshot)
{
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon + 1 == text.size())
        return false;
    const std::string which = text.substr(0, colon);
    snapshot->path = text.substr(colon + 1);
    if (which == "last") {
        snapshot->frame = SnapshotRequest::kLastFrame;
        return true;
    }
    if (which.empty() || which.find_first_not_of("0123456789") != std::string::npos || which.size() > 9)
        return false;
    snapshot->frame = std::strtoll(which.c_str(), nullptr, 10);
    return true;
}

} // namespace

bool parseCaptureOptions(int argc, const char *const *argv, CaptureOptions *options, std::string *error)
{
    *options = CaptureOptions();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::string name = arg;
        std::string value;
        bool hasValue = false;
        const auto equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= argc)
                return false;
            value = argv[++i];
            return true;
        };

        if (name == "-h" || name == "--help") {
            options->showHelp = true;
        } else if (name == "-l" || name == "--list") {
            options->listDevices = true;
        } else if (name == "-d" || name == "--device") {
            if (!takeValue() || value.empty()) {
                *error = "--device needs the device's friendly name";
                return false;
            }
            options->device = value;
        } else if (name == "-o" || name == "--output") {
            if (!takeValue() || value.empty()) {
                *error = "--output needs a file name";
                return false;
            }
            options->output = value;
        } else if (name == "-n" || name == "--frames") {
            if (!takeValue() || !parseCount(value, &options->frames)) {
                *error = "--frames needs a whole number from 1 to 100000000";
                return false;
            }
        } else if (name == "-c" || name == "--camera-frames") {
            if (!takeValue() || !parseCount(value, &options->cameraFrames)) {
                *error = "--camera-frames needs a whole number from 1 to 100000000";
                return false;
            }
        } else if (name == "-t" || name == "--seconds") {
            if (!takeValue() || !parseSeconds(value, &options->seconds)) {
                *error = "--seconds needs a positive number of seconds (at most a week)";
                return false;
            }
        } else if (name == "-s" || name == "--snapshot") {
            SnapshotRequest snapshot;
            if (!takeValue() || !parseSnapshot(value, &snapshot)) {
                *error = "--snapshot needs FRAME:FILE.png, FRAME being a frame number from 0 or 'last'";
                return false;
            }
            options->snapshots.push_back(snapshot);
        } else {
            *error = "unknown argument '" + arg + "'";
            return false;
        }
    }
    if (options->frames == 0 && options->cameraFrames == 0 && options->seconds == 0)
        options->seconds = kDefaultSeconds;
    return true;
}

std::string captureUsage(const char *program)
{
    return std::string("Usage: ") + program +
           " [options]\n"
           "Records a video input device the way a video application opens it, into an uncompressed AVI.\n"
           "\n"
           "  -l, --list               list the video input devices and exit\n"
           "  -d, --device NAME        the device's friendly name (default \"VistrelToolx64\")\n"
           "  -o, --output FILE        the AVI file to write (default capture.avi)\n"
           "  -n, --frames N           stop after N frames\n"
           "  -c, --camera-frames N    stop after N frames of the camera's own picture (the placeholder\n"
           "                           not counted); fails when they have not come within " +
           std::to_string(int(kCameraFramesGuardSeconds / 60)) +
           " minutes\n"
           "  -t, --seconds S          stop after S seconds (default 5 when no limit is given)\n"
           "  -s, --snapshot F:FILE    also write frame F (from 0, or 'last') as a PNG picture; repeatable\n"
           "  -h, --help               show this help\n"
           "\n"
           "Ctrl+C ends the recording early; the AVI written so far stays valid.\n";
}
