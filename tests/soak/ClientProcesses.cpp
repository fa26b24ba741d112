#include "tests/soak/ClientProcesses.h"

#include "tests/soak/CameraFaults.h"
#include "tests/soak/PictureWatch.h"
#include "tests/soak/SoakClient.h"
#include "tests/soak/SoakTrace.h"
#include "tests/soak/StallGuard.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace {

double secondsBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// Polls `condition` every 50 ms for up to `seconds`: the guard only ends a wait that would never end.
template <typename Condition> bool waitFor(Condition condition, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void printSpread(const char *what, const std::vector<double> &seconds)
{
    if (seconds.empty()) {
        std::printf("  %s: none\n", what);
        return;
    }
    double sum = 0;
    for (double s : seconds)
        sum += s;
    std::printf("  %s: %zu, min %.2f s, mean %.2f s, max %.2f s\n", what, seconds.size(),
                *std::min_element(seconds.begin(), seconds.end()), sum / double(seconds.size()),
                *std::max_element(seconds.begin(), seconds.end()));
}

} // namespace

ClientProcesses::ClientProcesses(std::mt19937_64 &random, const PictureWatch &pictures, int maxClients,
                                 bool killHolder, int stallSeconds)
    : m_random(random), m_pictures(pictures), m_maxClients(maxClients), m_killHolder(killHolder),
      m_stallSeconds(stallSeconds)
{
}

bool ClientProcesses::open(std::string &why)
{
    return m_holder.open(CameraFaults::port(), why);
}

void ClientProcesses::actOne(SoakClient &soakClient)
{
    const int alive = int(std::count_if(m_clients.begin(), m_clients.end(), [](const Client &client) {
        return !client.leaving && !client.killed;
    }));
    const int choice = std::uniform_int_distribution<int>(0, 5)(m_random);
    if (alive < m_maxClients && (alive == 0 || choice < 3))
        join();
    else if (m_killHolder && choice < 5 && !m_handingOver)
        killHolder(soakClient);
    else if (alive > 0)
        leave();
}

void ClientProcesses::join()
{
    std::string error;
    const std::string seed = std::to_string(std::uniform_int_distribution<uint64_t>()(m_random) >> 1);
    std::unique_ptr<ChildProcess> process = ChildProcess::startSelf(
        {"--as-client", "--seed", seed, "--stall-seconds", std::to_string(m_stallSeconds)}, error);
    ++m_counts["joined"];
    if (!process) {
        ++m_counts["join failed"];
        m_failures.push_back("a client process could not start: " + error);
        return;
    }
    SoakTrace::line("client process " + std::to_string(process->id()) + " joins");
    m_clients.push_back(Client{std::move(process)});
    m_mostAtOnce = std::max(m_mostAtOnce, int(m_clients.size()));
}

void ClientProcesses::leave()
{
    std::vector<Client *> staying;
    for (Client &client : m_clients)
        if (!client.leaving && !client.killed)
            staying.push_back(&client);
    Client *client = staying[std::uniform_int_distribution<size_t>(0, staying.size() - 1)(m_random)];
    SoakTrace::line("client process " + std::to_string(client->process->id()) + " leaves");
    if (client->process->id() == m_holder.processId())
        ++m_counts["left holding the camera"];
    client->leaving = true;
    client->process->closeInput();
}

ClientProcesses::Client *ClientProcesses::clientWithId(uint32_t id)
{
    for (Client &client : m_clients)
        if (id != 0 && client.process->id() == id && !client.leaving && !client.killed)
            return &client;
    return nullptr;
}

void ClientProcesses::killHolder(SoakClient &soakClient)
{
    const uint32_t self = vistrel::ring::CameraShare::processId();
    const bool clientStaying = std::any_of(m_clients.begin(), m_clients.end(), [](const Client &client) {
        return !client.leaving && !client.killed;
    });
    if (m_holder.processId() == self && clientStaying) {
        // The soak's own graph holds the camera: it stops until a client has taken the session over.
        const bool handed = soakClient.stopWhile(
            [&] { return clientWithId(m_holder.processId()) != nullptr; }, m_stallSeconds);
        ++m_counts[handed ? "camera handed to a client" : "camera not taken by a client"];
    }
    Client *holder = clientWithId(m_holder.processId());
    if (holder == nullptr) {
        ++m_counts["kill skipped: no client held the camera"];
        return;
    }
    SoakTrace::line("client process " + std::to_string(holder->process->id()) + " killed holding the camera");
    m_killedId = holder->process->id();
    m_killedAt = Clock::now();
    holder->process->kill();
    holder->killed = true;
    ++m_counts["killed holding the camera"];
    m_handingOver = true;
    m_newHolderSeen = false;
    m_newFrameSeen = false;
}

void ClientProcesses::reap(Client &client, int status)
{
    if (client.killed)
        return;
    if (!client.leaving) {
        ++m_counts["ended by itself"];
        m_failures.push_back("client process " + std::to_string(client.process->id()) +
                             " ended by itself with status " + std::to_string(status));
        return;
    }
    ++m_counts["left"];
    if (status == kClientHadCamera)
        ++m_counts["left having had the camera's picture"];
    else if (status == kClientOnlyPlaceholder)
        ++m_counts["left having had only the placeholder"];
    else if (status == kClientNoSample)
        ++m_counts["left before its first sample"];
    else
        m_failures.push_back("client process " + std::to_string(client.process->id()) + " left with status " +
                             std::to_string(status));
}

void ClientProcesses::tick()
{
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        int status = 0;
        if (it->process->ended(status)) {
            reap(*it, status);
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
    if (!m_handingOver)
        return;
    const Clock::time_point now = Clock::now();
    if (!m_newHolderSeen) {
        const uint32_t holder = m_holder.processId();
        if (holder == 0 || holder == m_killedId)
            return;
        m_newHolderSeen = true;
        m_frameAtNewHolder = m_holder.latestFrame();
        m_newHolderSeconds.push_back(secondsBetween(m_killedAt, now));
    }
    // The killed holder publishes nothing more: a newer frame is the new holder's.
    if (!m_newFrameSeen) {
        const uint32_t frame = m_holder.latestFrame();
        if (frame == 0 || frame == m_frameAtNewHolder)
            return;
        m_newFrameSeen = true;
        m_newFrameAt = now;
        m_newFrameSeconds.push_back(secondsBetween(m_killedAt, now));
    }
    // A picture read after that frame was in the ring, not the killed holder's last.
    const Clock::time_point picture = m_pictures.lastCameraPicture();
    if (picture <= m_newFrameAt)
        return;
    m_pictureSeconds.push_back(secondsBetween(m_killedAt, picture));
    SoakTrace::line("the soak's graph has the camera's picture again");
    m_handingOver = false;
}

void ClientProcesses::leaveAll()
{
    for (Client &client : m_clients)
        if (!client.killed && !client.leaving) {
            client.leaving = true;
            client.process->closeInput();
        }
    const bool allEnded = waitFor(
        [&] {
            tick();
            return m_clients.empty();
        },
        120);
    if (!allEnded)
        m_failures.push_back(std::to_string(m_clients.size()) + " client process(es) did not end when asked");
    m_clients.clear();
}

bool ClientProcesses::finishHandOver()
{
    if (waitFor(
            [&] {
                tick();
                return !m_handingOver;
            },
            180))
        return true;
    m_failures.push_back("after the holder was killed at " +
                         std::to_string(int(secondsBetween(m_origin, m_killedAt))) + " s, " +
                         (!m_newHolderSeen  ? "nobody took the camera's session over"
                          : !m_newFrameSeen ? "the new holder published no frame"
                                            : "the soak's graph never had the camera's picture again"));
    return false;
}

void ClientProcesses::printFigures() const
{
    auto count = [&](const char *name) {
        const auto it = m_counts.find(name);
        return it == m_counts.end() ? 0 : it->second;
    };
    std::printf(
        "client processes: %d joined, %d left (%d had the camera's picture, %d only the placeholder, %d "
        "no sample yet), %d killed holding the camera, at most %d at once\n",
        count("joined"), count("left"), count("left having had the camera's picture"),
        count("left having had only the placeholder"), count("left before its first sample"),
        count("killed holding the camera"), m_mostAtOnce);
    printSpread("hand-over, kill to another process holding the session", m_newHolderSeconds);
    printSpread("hand-over, kill to the new holder's first frame in the ring", m_newFrameSeconds);
    // Includes the time the soak's own camera was unplugged by a fault, when it was.
    printSpread("hand-over, kill to the soak's graph's next camera picture", m_pictureSeconds);
}
