#include "tests/soak/ClientMode.h"

#include "platform/dshow/dshow.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/soak/CameraFaults.h"
#include "tests/soak/ClientProcesses.h"
#include "tests/soak/DriverLines.h"
#include "tests/soak/PictureWatch.h"
#include "tests/soak/SampleWatch.h"
#include "tests/soak/SoakClient.h"
#include "tests/soak/SoakOptions.h"
#include "tests/soak/StallGuard.h"

#include <cstdio>
#include <random>
#include <string>

int runAsClient(const SoakOptions &options)
{
    DriverLines::startCounting();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "vistrelsoak client: COM cannot be initialised\n");
        return 1;
    }
    uint64_t samples = 0, cameraPictures = 0;
    {
        std::mt19937_64 random(options.seed);
        // Gaps are the soak's graph's to judge; here only a stalled call matters.
        SampleWatch watch(kStreamStallMs, GapJudgement::StallOnly);
        StallMonitor stalls(options.stallSeconds);
        // The same camera as the soak's, so that the driver here finds it and shares its ring.
        EdsSimReset("");
        CameraFaults camera(random, watch);
        PictureWatch pictures;
        SoakClient client(random, watch, stalls);
        client.setPictureWatch(&pictures);
        std::string error;
        if (!camera.plugIn() || !client.registerDriver(error) || !client.startStreaming(error)) {
            std::fprintf(stderr, "vistrelsoak client: %s\n", error.empty() ? "no camera" : error.c_str());
            return 1;
        }
        // Streams until the soak closes this end of the pipe (or dies).
        while (std::getchar() != EOF) {
        }
        client.stopStreaming();
        samples = watch.figures().samples;
        cameraPictures = pictures.cameraPictures();
    }
    CoUninitialize();
    return cameraPictures > 0 ? kClientHadCamera : samples > 0 ? kClientOnlyPlaceholder : kClientNoSample;
}
