#include "platform/windows/RegistryFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vistrel::win32 {

namespace {

std::string configFolder()
{
    const char *xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd *entry = getpwuid(getuid());
        home = entry ? entry->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

std::string registryFolder()
{
    return configFolder() + "/vistrel";
}

bool makeFolders(const std::string &path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
        if (slash == std::string::npos)
            return true;
    }
}

// Closes the descriptor (and so drops its lock) on every path out.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// One line per damaged file per process, not one per call; a repaired file that breaks again is told again.
void noteFileState(const std::string &path, bool damaged)
{
    static std::mutex mutex;
    static std::string reported;
    std::lock_guard<std::mutex> lock(mutex);
    if (!damaged) {
        if (reported == path)
            reported.clear();
        return;
    }
    if (reported == path)
        return;
    reported = path;
    std::fprintf(
        stderr,
        "registry: %s is damaged; it is left untouched and registry calls fail until it is repaired\n",
        path.c_str());
}

LONG readContents(const std::string &path, std::string &contents)
{
    contents.clear();
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0)
        return errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_CANTREAD;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(file.get(), buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ERROR_CANTREAD;
        if (got == 0)
            return ERROR_SUCCESS;
        contents.append(buffer, size_t(got));
    }
}

bool writeAll(int fd, const std::string &contents)
{
    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t put = write(fd, contents.data() + written, contents.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        written += size_t(put);
    }
    return true;
}

LONG replaceContents(const std::string &path, const std::string &contents)
{
    const std::string temporary = path + "." + std::to_string(getpid()) + ".tmp";
    {
        FileDescriptor file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        if (file.get() < 0)
            return ERROR_CANTWRITE;
        // Synced before the rename, so that even a power cut leaves either the old file or the new one.
        if (!writeAll(file.get(), contents) || fsync(file.get()) != 0) {
            unlink(temporary.c_str());
            return ERROR_CANTWRITE;
        }
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return ERROR_CANTWRITE;
    }
    return ERROR_SUCCESS;
}

} // namespace

std::string registryFilePath()
{
    return registryFolder() + "/registry";
}

LONG runRegistryTransaction(bool write, const RegistryOperation &operation)
{
    const std::string folder = registryFolder();
    const std::string path = registryFilePath();
    if (write && !makeFolders(folder))
        return ERROR_CANTWRITE;

    // The lock lives on a file of its own: the registry file itself is replaced by rename. Readers need it
    // less (a rename never shows half a file), so a reader that cannot open it reads without it.
    const std::string lockPath = folder + "/registry.lock";
    FileDescriptor lockFile(write ? open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)
                                  : open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (write && lockFile.get() < 0)
        return ERROR_CANTWRITE;
    if (lockFile.get() >= 0) {
        while (flock(lockFile.get(), write ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR)
                return write ? ERROR_CANTWRITE : ERROR_CANTREAD;
        }
    }

    RegistryTree tree;
    std::string contents;
    const LONG readStatus = readContents(path, contents);
    if (readStatus != ERROR_SUCCESS && readStatus != ERROR_FILE_NOT_FOUND)
        return readStatus;
    if (readStatus == ERROR_SUCCESS) {
        const bool damaged = !tree.parse(contents);
        noteFileState(path, damaged);
        if (damaged)
            return ERROR_REGISTRY_CORRUPT;
    }

    bool changed = false;
    const LONG status = operation(tree, changed);
    if (status != ERROR_SUCCESS || !changed)
        return status;
    if (!write)
        return ERROR_SUCCESS;
    return replaceContents(path, tree.serialize());
}

} // namespace vistrel::win32
