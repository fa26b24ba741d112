// A client process of the soak: this program started again, whose standard input is a pipe the soak
// keeps. Closing it asks the client to leave; kill() ends it at once (SIGKILL, TerminateProcess). CMake
// picks ChildProcessPosix.cpp or ChildProcessWindows.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ChildProcess
{
public:
    // Null with `error` when the system refuses to start it.
    static std::unique_ptr<ChildProcess> startSelf(const std::vector<std::string> &arguments,
                                                   std::string &error);
    // Kills the process if it still runs, and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // The system's process id, as the frame ring records its holder.
    uint32_t id() const;
    void closeInput();
    void kill();
    // True once it has ended, without waiting; `status` is its exit code, or minus the signal that ended it.
    bool ended(int &status);

private:
    struct Handles;
    explicit ChildProcess(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> m_handles;
};
