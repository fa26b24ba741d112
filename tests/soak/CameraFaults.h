// Faults on the camera's side, injected through the simulated camera's control interface: unplugging
// (and plugging back in later), storms of "not ready", download errors, the power-off warning, damaged
// JPEGs among good ones, and changes of the live-view size. Counts what it injected, by kind.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

class SampleWatch;

class CameraFaults
{
public:
    using Clock = std::chrono::steady_clock;

    CameraFaults(std::mt19937_64 &random, SampleWatch &watch);

    // The simulated camera's port name, which also names its frame ring.
    static const char *port();
    // Plugs in the one simulated camera. False if the simulator refuses.
    bool plugIn();
    // Injects one fault chosen at random.
    void injectOne();
    // Undoes what is due: plugs the camera back in, ends a replay of damaged frames.
    void tick();
    // Camera back, replay ended, injections cleared.
    void heal();

    bool cameraPresent() const { return m_present; }
    // Whether a session is open on the camera: someone, the driver in this soak, is using it.
    bool sessionOpen() const;
    const std::map<std::string, int> &counts() const { return m_counts; }

private:
    void unplug();
    void notReadyStorm();
    void downloadError();
    void powerOffWarning();
    void damagedFrames();
    void sizeChange();
    void count(const char *fault);

    std::mt19937_64 &m_random;
    SampleWatch &m_watch;
    bool m_present = false;
    Clock::time_point m_replugAt;
    bool m_replaying = false;
    Clock::time_point m_replayEndsAt;
    std::vector<unsigned char> m_goodJpeg;
    std::map<std::string, int> m_counts;
};
