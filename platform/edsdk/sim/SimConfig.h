#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace edsim {

// One simulated camera as a configuration string describes it.
struct CameraConfig
{
    std::string model;
    std::string port; // empty: the simulator names it
    int width = 960;
    int height = 640;
    double framesPerSecond = 30.0;
    uint32_t idleMs = 300000;
    uint32_t startupMs = 300;
    std::string framesPath; // JPEG file or folder to replay; empty: the test picture
};

inline constexpr int maxLiveViewSide = 8192;

// Parses "model[:key=value...][;model...]". On failure returns false and says why in error.
bool parseCameraConfiguration(const std::string &text, std::vector<CameraConfig> &cameras,
                              std::string &error);

// Reads a JPEG file, or every *.jpg / *.jpeg file of a folder in name order. False when none could be read.
bool loadReplayFrames(const std::string &path, std::vector<std::vector<uint8_t>> &frames);

} // namespace edsim
