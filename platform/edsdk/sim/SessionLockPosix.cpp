// The session lock on Linux: flock on a file in the runtime folder. The lock belongs to the open file,
// which the kernel closes when the process dies, however it dies.
#ifndef _WIN32

#include "platform/edsdk/sim/SessionLock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace edsim {
namespace {

std::string errorText(const std::string &what, const std::string &path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

// A folder only this user can use: made if missing, refused if someone else owns it or it is a link.
bool ensurePrivateFolder(const std::string &path, std::string &why)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        why = errorText("cannot make", path);
        return false;
    }
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0) {
        why = errorText("cannot look at", path);
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        why = path + " is not a folder of this user's";
        return false;
    }
    return true;
}

} // namespace

std::string SessionLock::folder(std::string &why)
{
    // Tests run in parallel, each with a runtime folder of its own, and so with cameras of their own.
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base;
    if (runtime && runtime[0] == '/') {
        base = runtime;
    } else {
        const char *temp = std::getenv("TMPDIR");
        base = std::string(temp && temp[0] == '/' ? temp : "/tmp") + "/vistrel-" + std::to_string(::getuid());
        if (!ensurePrivateFolder(base, why))
            return std::string();
    }
    const std::string path = base + "/vistrel-edsdk";
    return ensurePrivateFolder(path, why) ? path : std::string();
}

SessionLock::Result SessionLock::take(const std::string &port, std::string &why)
{
    release();
    const std::string dir = folder(why);
    if (dir.empty())
        return Result::Failed;
    const std::string path = dir + "/" + fileName(port);
    // Close-on-exec: a child started meanwhile must not inherit, and so outlive us in, the session.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        why = errorText("cannot open", path);
        return Result::Failed;
    }
    int result;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EWOULDBLOCK;
        if (!busy)
            why = errorText("cannot lock", path);
        ::close(fd);
        return busy ? Result::Busy : Result::Failed;
    }
    m_fd = fd;
    return Result::Taken;
}

void SessionLock::release()
{
    if (m_fd < 0)
        return;
    ::close(m_fd); // drops the lock
    m_fd = -1;
}

bool SessionLock::held() const
{
    return m_fd >= 0;
}

} // namespace edsim

#endif // !_WIN32
