#pragma once

#include <string>

struct ProbeOptions
{
    bool showHelp = false;
    std::string device = "VistrelToolx64";
    std::string port = "usb:1"; // the simulated camera's port
    bool codedFrames = true;    // false: the stand-in's own test picture, encoded per frame
    int cameraWidth = 960;
    int cameraHeight = 640;
    int outputWidth = 1920; // custom output size written to the settings
    int outputHeight = 1080;
    double fps = 30;          // frame rate written to the settings
    double seconds = 60;      // measured window
    double warmupSeconds = 2; // after the first camera frame, before the window
    // Another graph of the same process holds the camera first, so the measured one reads its frame ring.
    bool throughRing = false;
};

// Parses argv (argv[0] is the program); false with a one-line reason in *error.
bool parseProbeOptions(int argc, const char *const *argv, ProbeOptions *options, std::string *error);
std::string probeUsage(const char *program);
