// Further video applications beside the soak's own graph: client processes (this program in client mode)
// that join and leave at random, and the process holding the camera's session killed at random. After a
// kill, follows the hand-over until the soak's own graph has the camera's picture again.
#pragma once

#include "tests/soak/ChildProcess.h"
#include "tests/soak/RingHolder.h"

#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

class PictureWatch;
class SoakClient;

// A client's exit codes: it had the camera's picture, only the placeholder, or no sample at all.
constexpr int kClientHadCamera = 0;
constexpr int kClientOnlyPlaceholder = 10;
constexpr int kClientNoSample = 11;

class ClientProcesses
{
public:
    using Clock = std::chrono::steady_clock;

    ClientProcesses(std::mt19937_64 &random, const PictureWatch &pictures, int maxClients, bool killHolder,
                    int stallSeconds);

    // False with `why` when the camera's ring cannot be watched.
    bool open(std::string &why);
    // A client joins or leaves, or the holder is killed.
    void actOne(SoakClient &soakClient);
    // Reaps clients that ended; follows a hand-over.
    void tick();
    // Every client leaves; waits for them (the guard only ends a hang, then they are killed).
    void leaveAll();
    // After leaveAll: waits until a pending hand-over has ended; false if it never does.
    bool finishHandOver();

    const std::map<std::string, int> &counts() const { return m_counts; }
    void printFigures() const;
    const std::vector<std::string> &failures() const { return m_failures; }

private:
    struct Client
    {
        std::unique_ptr<ChildProcess> process;
        bool leaving = false;
        bool killed = false;
    };
    void join();
    void leave();
    void killHolder(SoakClient &soakClient);
    void reap(Client &client, int status);
    Client *clientWithId(uint32_t id);

    std::mt19937_64 &m_random;
    const PictureWatch &m_pictures;
    const int m_maxClients;
    const bool m_killHolder;
    const int m_stallSeconds;
    const Clock::time_point m_origin = Clock::now();
    RingHolder m_holder;
    std::vector<Client> m_clients;
    std::map<std::string, int> m_counts;
    std::vector<std::string> m_failures;
    int m_mostAtOnce = 0;

    // The hand-over after the last kill.
    bool m_handingOver = false;
    uint32_t m_killedId = 0;
    Clock::time_point m_killedAt;
    bool m_newHolderSeen = false;
    uint32_t m_frameAtNewHolder = 0;
    bool m_newFrameSeen = false;
    Clock::time_point m_newFrameAt;
    std::vector<double> m_newHolderSeconds; // kill to another process holding the session
    std::vector<double> m_newFrameSeconds;  // kill to the new holder's first frame in the ring
    std::vector<double> m_pictureSeconds;   // kill to the soak's graph's next camera picture
};
