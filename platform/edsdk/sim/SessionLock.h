#pragma once

#include <string>

namespace edsim {

// A camera's session held for the whole machine, not just this process: an exclusive lock on one file per
// camera port in the user's runtime folder. The system drops the lock when its holder dies, as a USB
// camera drops the session of a program that is gone.
class SessionLock
{
public:
    enum class Result
    {
        Taken,
        Busy,  // another holder has it
        Failed // no lock file could be made; the caller decides
    };

    SessionLock() = default;
    ~SessionLock() { release(); }
    SessionLock(const SessionLock &) = delete;
    SessionLock &operator=(const SessionLock &) = delete;

    // Takes the lock of `port` without waiting. On Failed, `why` says what went wrong.
    Result take(const std::string &port, std::string &why);
    void release();
    bool held() const;

    // The folder of the lock files: XDG_RUNTIME_DIR, else a folder of this user's under the temp folder.
    static std::string folder(std::string &why);
    // The lock file's name for a port: safe characters kept, every other byte as %XX.
    static std::string fileName(const std::string &port);

private:
#ifdef _WIN32
    void *m_handle = nullptr; // HANDLE of the locked file
#else
    int m_fd = -1;
#endif
};

} // namespace edsim
