#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SnapshotRequest
{
    static constexpr int64_t kLastFrame = -1;
    int64_t frame = kLastFrame; // index counted from 0, or kLastFrame
    std::string path;
};

struct CaptureOptions
{
    bool showHelp = false;
    bool listDevices = false;
    std::string device = "VistrelToolx64";
    std::string output = "capture.avi";
    uint64_t frames = 0;       // 0: not limited by count
    uint64_t cameraFrames = 0; // 0: not limited by the count of the camera's own frames
    double seconds = 0;        // 0: not limited by time
    std::vector<SnapshotRequest> snapshots;
};

// Parses the command line (argv[0] is the program). Without --frames, --camera-frames or --seconds a
// recording lasts kDefaultSeconds. On a bad argument returns false with a one-line reason in *error.
bool parseCaptureOptions(int argc, const char *const *argv, CaptureOptions *options, std::string *error);
std::string captureUsage(const char *program);

constexpr double kDefaultSeconds = 5;
// A recording waiting for camera frames gives up after this long: a device that only ever shows its
// placeholder would otherwise record for ever.
constexpr double kCameraFramesGuardSeconds = 10 * 60;
