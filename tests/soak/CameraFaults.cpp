#include "tests/soak/CameraFaults.h"

#include "platform/edsdk/EdsSimulator.h"
#include "tests/soak/SampleWatch.h"
#include "tests/soak/SoakTrace.h"

#include <turbojpeg.h>

#include <cstdio>

namespace {

const char kPort[] = "soak-camera";
const char kCamera[] = "Canon EOS 90D:port=soak-camera:startup=300";

// A small picture of stripes as a JPEG, to mix with damaged ones.
std::vector<unsigned char> makeJpeg(int width, int height)
{
    std::vector<unsigned char> pixels(size_t(width) * height * 3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            unsigned char *p = &pixels[(size_t(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / width);
            p[1] = static_cast<unsigned char>(y * 255 / height);
            p[2] = static_cast<unsigned char>(((x / 16 + y / 16) % 2) * 255);
        }
    std::vector<unsigned char> jpeg;
    tjhandle compressor = tjInitCompress();
    if (compressor == nullptr)
        return jpeg;
    unsigned char *out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(compressor, pixels.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 80, 0) ==
        0)
        jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(compressor);
    return jpeg;
}

} // namespace

CameraFaults::CameraFaults(std::mt19937_64 &random, SampleWatch &watch)
    : m_random(random), m_watch(watch), m_goodJpeg(makeJpeg(640, 424))
{
}

const char *CameraFaults::port()
{
    return kPort;
}

bool CameraFaults::plugIn()
{
    if (EdsSimAddCameras(kCamera) != EDS_ERR_OK)
        return false;
    m_present = true;
    m_watch.setCameraGone(false);
    return true;
}

bool CameraFaults::sessionOpen() const
{
    EdsBool open = false;
    return EdsSimIsSessionOpen(kPort, &open) == EDS_ERR_OK && open;
}

void CameraFaults::injectOne()
{
    // Unplugging is rarer than the rest: each one costs the capture thread a full reconnection.
    switch (std::uniform_int_distribution<int>(0, 11)(m_random)) {
    case 0:
    case 1:
        unplug();
        break;
    case 2:
    case 3:
        notReadyStorm();
        break;
    case 4:
    case 5:
        downloadError();
        break;
    case 6:
    case 7:
        powerOffWarning();
        break;
    case 8:
    case 9:
        damagedFrames();
        break;
    default:
        sizeChange();
        break;
    }
}

void CameraFaults::tick()
{
    const Clock::time_point now = Clock::now();
    if (!m_present && now >= m_replugAt && plugIn())
        count("replug");
    if (m_replaying && now >= m_replayEndsAt && m_present) {
        EdsSimClearReplayFrames(kPort);
        m_replaying = false;
    }
}

void CameraFaults::heal()
{
    EdsSimClearInjections();
    if (!m_present)
        plugIn();
    if (m_replaying) {
        EdsSimClearReplayFrames(kPort);
        m_replaying = false;
    }
}

void CameraFaults::count(const char *fault)
{
    ++m_counts[fault];
    SoakTrace::line(std::string("fault: ") + fault);
}

void CameraFaults::unplug()
{
    if (!m_present)
        return;
    if (EdsSimUnplugCamera(kPort) != EDS_ERR_OK)
        return;
    m_present = false;
    m_replaying = false;
    m_watch.setCameraGone(true);
    m_replugAt =
        Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(500, 6000)(m_random));
    count("unplug");
}

void CameraFaults::notReadyStorm()
{
    const EdsUInt32 times = std::uniform_int_distribution<EdsUInt32>(20, 400)(m_random);
    if (EdsSimInjectError("EdsDownloadEvfImage", kPort, EDS_ERR_OBJECT_NOTREADY, times) == EDS_ERR_OK)
        count("not-ready storm");
}

void CameraFaults::downloadError()
{
    static const EdsError codes[] = {EDS_ERR_COMM_DISCONNECTED, EDS_ERR_DEVICE_BUSY, EDS_ERR_INTERNAL_ERROR,
                                     EDS_ERR_MEM_ALLOC_FAILED};
    const EdsError code = codes[std::uniform_int_distribution<int>(0, 3)(m_random)];
    if (EdsSimInjectError("EdsDownloadEvfImage", kPort, code, 1) == EDS_ERR_OK)
        count("download error");
}

void CameraFaults::powerOffWarning()
{
    if (m_present && EdsSimSendStateEvent(kPort, kEdsStateEvent_WillSoonShutDown, 0) == EDS_ERR_OK)
        count("power-off warning");
}

// Good frames and damaged ones in turn: truncated, with a broken header, and bytes that are no JPEG.
void CameraFaults::damagedFrames()
{
    if (!m_present || m_goodJpeg.empty())
        return;
    EdsSimClearReplayFrames(kPort);
    std::vector<unsigned char> truncated(m_goodJpeg.begin(),
                                         m_goodJpeg.begin() + long(m_goodJpeg.size() / 3));
    std::vector<unsigned char> brokenHeader(m_goodJpeg);
    for (size_t i = 2; i < 40 && i < brokenHeader.size(); ++i)
        brokenHeader[i] = static_cast<unsigned char>(m_random());
    std::vector<unsigned char> noise(4096);
    for (unsigned char &byte : noise)
        byte = static_cast<unsigned char>(m_random());
    for (const std::vector<unsigned char> *frame :
         {&m_goodJpeg, &truncated, &m_goodJpeg, &brokenHeader, &noise})
        EdsSimAddReplayFrame(kPort, frame->data(), EdsUInt32(frame->size()));
    m_replaying = true;
    m_replayEndsAt =
        Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(1000, 4000)(m_random));
    count("damaged frames");
}

void CameraFaults::sizeChange()
{
    static const int sizes[][2] = {{960, 640}, {640, 480}, {1024, 680}, {333, 217}, {1920, 1280}};
    const auto &size = sizes[std::uniform_int_distribution<int>(0, 4)(m_random)];
    if (m_present && EdsSimSetLiveViewSize(kPort, size[0], size[1]) == EDS_ERR_OK)
        count("size change");
}
