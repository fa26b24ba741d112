// A second process for the camera-share tests: takes the holder lock of the camera named by its argument,
// says "holding" and keeps it until killed or until its input ends.
#include "platform/ring/CameraShare.h"

#include <cstdio>
#include <iostream>
#include <string>

using vistrel::ring::CameraShare;

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    std::string why;
    auto share = CameraShare::open(argv[1], why);
    if (!share || share->waitToHold() != CameraShare::Hold::Taken) {
        std::fprintf(stderr, "share-holder: %s\n", why.c_str());
        return 1;
    }
    std::printf("holding\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
    }
    return 0;
}
