// The camera's share on Linux: a mapped file for the ring and a robust process-shared mutex, in a second
// mapped file, for the holder lock, both in a folder of the user's own. When a holder dies the kernel marks
// the mutex's owner dead and wakes a waiter, which then waits for the dead process to end, so that
// everything else it held (the camera's session among them) is free too.
#ifndef _WIN32

#include "platform/ring/CameraShare.h"
#include "platform/ring/FrameRingLayout.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vistrel::ring {
namespace {

// How long a wait for the lock runs before it looks at interrupt(): the lock's release and its holder's
// death wake the waiter at once; only the caller's own stop is seen this late.
constexpr long kInterruptCheckNs = 50 * 1000 * 1000;
// The dead holder's process ends within moments of its thread; this only guards against a hang.
constexpr int kProcessEndGuardMs = 10000;

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
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        why = path + " is not a private folder of this user's";
        return false;
    }
    return true;
}

std::string shareFolder(std::string &why)
{
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
    const std::string path = base + "/vistrel-cameras";
    return ensurePrivateFolder(path, why) ? path : std::string();
}

// A file of this user's, mapped shared; `size` bytes are made when it is new, an existing one is mapped
// at its own size (which the ring's reader checks).
class MappedFile
{
public:
    ~MappedFile()
    {
        if (m_address)
            ::munmap(m_address, m_size);
    }
    bool open(const std::string &path, uint64_t size, std::string &why)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) {
            why = errorText("cannot open", path);
            return false;
        }
        struct stat info
        {
        };
        bool ok = ::fstat(fd, &info) == 0;
        if (ok && (!S_ISREG(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0)) {
            why = path + " is not a private file of this user's";
            ok = false;
        } else if (!ok) {
            why = errorText("cannot look at", path);
        }
        // Every opener sizes a new file alike, so it does not matter who comes first.
        if (ok && info.st_size == 0 && ::ftruncate(fd, off_t(size)) != 0) {
            why = errorText("cannot size", path);
            ok = false;
        }
        if (ok && ::fstat(fd, &info) != 0) {
            why = errorText("cannot look at", path);
            ok = false;
        }
        if (ok && (info.st_size <= 0 || uint64_t(info.st_size) > 4 * uint64_t(kRingSize))) {
            why = path + " has an implausible size";
            ok = false;
        }
        if (ok) {
            void *address = ::mmap(nullptr, size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (address == MAP_FAILED) {
                why = errorText("cannot map", path);
                ok = false;
            } else {
                m_address = address;
                m_size = uint64_t(info.st_size);
            }
        }
        ::close(fd);
        return ok;
    }
    void *address() const { return m_address; }
    uint64_t size() const { return m_size; }

private:
    void *m_address = nullptr;
    uint64_t m_size = 0;
};

struct LockBlock
{
    std::atomic<uint32_t> state; // 0: new, 1: being set up, 2: ready
    std::atomic<uint32_t> holderProcessId;
    pthread_mutex_t mutex;
};

enum : uint32_t
{
    kLockNew = 0,
    kLockSettingUp = 1,
    kLockReady = 2
};

bool setUpLock(LockBlock &block, std::string &why)
{
    uint32_t expected = kLockNew;
    if (block.state.compare_exchange_strong(expected, kLockSettingUp)) {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
        pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
        const int result = pthread_mutex_init(&block.mutex, &attributes);
        pthread_mutexattr_destroy(&attributes);
        if (result != 0) {
            block.state.store(kLockNew);
            why = std::string("cannot make the holder lock: ") + std::strerror(result);
            return false;
        }
        block.state.store(kLockReady, std::memory_order_release);
        return true;
    }
    // Another opener is setting it up, which takes microseconds; one that died doing so leaves it unusable.
    for (int i = 0; i < 100000 && block.state.load(std::memory_order_acquire) != kLockReady; ++i)
        sched_yield();
    if (block.state.load(std::memory_order_acquire) != kLockReady) {
        why = "the holder lock was never set up";
        return false;
    }
    return true;
}

// Until the process has ended; pidfd makes it a wait, not a poll.
void waitForProcessEnd(uint32_t processId)
{
    if (processId == 0 || processId == uint32_t(::getpid()) || processId > uint32_t(INT32_MAX))
        return;
    const int fd = int(::syscall(SYS_pidfd_open, pid_t(processId), 0));
    if (fd < 0)
        return; // gone already
    pollfd ended{fd, POLLIN, 0};
    while (::poll(&ended, 1, kProcessEndGuardMs) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

class PosixCameraShare : public CameraShare
{
public:
    bool open(const std::string &cameraKey, std::string &why)
    {
        const std::string folder = shareFolder(why);
        if (folder.empty())
            return false;
        const std::string base = folder + "/" + objectName(cameraKey);
        if (!m_lockFile.open(base + ".lock", kPage, why) || !m_ringFile.open(base + ".ring", kRingSize, why))
            return false;
        if (m_lockFile.size() < sizeof(LockBlock)) {
            why = base + ".lock is too small";
            return false;
        }
        m_lock = static_cast<LockBlock *>(m_lockFile.address());
        return setUpLock(*m_lock, why);
    }
    ~PosixCameraShare() override { release(); }

    Hold tryHold() override { return took(pthread_mutex_trylock(&m_lock->mutex)); }

    Hold waitToHold() override
    {
        for (;;) {
            if (m_interrupted.load())
                return Hold::Interrupted;
            timespec deadline{};
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_nsec += kInterruptCheckNs;
            if (deadline.tv_nsec >= 1000000000L) {
                deadline.tv_nsec -= 1000000000L;
                ++deadline.tv_sec;
            }
            const int result = pthread_mutex_timedlock(&m_lock->mutex, &deadline);
            if (result != ETIMEDOUT)
                return took(result);
        }
    }

    void interrupt() override { m_interrupted.store(true); }

    void release() override
    {
        if (!m_holding)
            return;
        m_lock->holderProcessId.store(0);
        pthread_mutex_unlock(&m_lock->mutex);
        m_holding = false;
    }

    void *ring() const override { return m_ringFile.address(); }
    uint64_t ringSize() const override { return m_ringFile.size(); }

private:
    Hold took(int result)
    {
        if (result == EBUSY)
            return Hold::Busy;
        bool fromDead = false;
        if (result == EOWNERDEAD) {
            // The lock is ours; marked consistent, it serves the next holder as a plain one.
            pthread_mutex_consistent(&m_lock->mutex);
            waitForProcessEnd(m_lock->holderProcessId.load());
            fromDead = true;
        } else if (result != 0) {
            return Hold::Failed;
        }
        m_holding = true;
        m_lock->holderProcessId.store(processId());
        return fromDead ? Hold::TakenFromDead : Hold::Taken;
    }

    MappedFile m_lockFile;
    MappedFile m_ringFile;
    LockBlock *m_lock = nullptr;
    bool m_holding = false;
    std::atomic<bool> m_interrupted{false};
};

} // namespace

std::unique_ptr<CameraShare> CameraShare::open(const std::string &cameraKey, std::string &why)
{
    auto share = std::make_unique<PosixCameraShare>();
    if (!share->open(cameraKey, why))
        return nullptr;
    return share;
}

uint32_t CameraShare::processId()
{
    return uint32_t(::getpid());
}

} // namespace vistrel::ring

#endif // !_WIN32
