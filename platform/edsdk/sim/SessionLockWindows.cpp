// The session lock on Windows: LockFileEx on a file in the user's temp folder. Windows removes a
// process's file locks when it ends, however it ends.
#ifdef _WIN32

#include "platform/edsdk/sim/SessionLock.h"

#include <windows.h>

namespace edsim {
namespace {

std::string errorText(const std::string &what, const std::wstring &path)
{
    return what + " " + std::string(path.begin(), path.end()) + ": error " + std::to_string(GetLastError());
}

// The file names are plain ASCII (see fileName), so widening byte by byte is exact.
std::wstring widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

std::wstring folderPath(std::string &why)
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        why = "no temp folder: error " + std::to_string(GetLastError());
        return std::wstring();
    }
    // The temp folder is the user's own on Windows.
    const std::wstring path = std::wstring(temp, length) + L"vistrel-edsdk";
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        why = errorText("cannot make", path);
        return std::wstring();
    }
    return path;
}

} // namespace

std::string SessionLock::folder(std::string &why)
{
    const std::wstring path = folderPath(why);
    return std::string(path.begin(), path.end());
}

SessionLock::Result SessionLock::take(const std::string &port, std::string &why)
{
    release();
    const std::wstring dir = folderPath(why);
    if (dir.empty())
        return Result::Failed;
    const std::wstring path = dir + L"\\" + widen(fileName(port));
    // Shared opening: only the byte lock below says who has the session. Not inheritable by children.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        why = errorText("cannot open", path);
        return Result::Failed;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        const bool busy = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
        if (!busy)
            why = errorText("cannot lock", path);
        CloseHandle(file);
        return busy ? Result::Busy : Result::Failed;
    }
    m_handle = file;
    return Result::Taken;
}

void SessionLock::release()
{
    if (!m_handle)
        return;
    CloseHandle(static_cast<HANDLE>(m_handle)); // drops the lock
    m_handle = nullptr;
}

bool SessionLock::held() const
{
    return m_handle != nullptr;
}

} // namespace edsim

#endif // _WIN32
