// The camera's share on Windows: a named mutex for the holder lock and a named, page-file backed mapping
// for the ring, in the session's namespace, both allowing the current user only. Windows abandons a
// mutex whose owning thread ends, which wakes a waiter; that waiter then waits for the dead holder's
// process to end, so that everything else it held (the camera's session among them) is free too.
#ifdef _WIN32

#include "platform/ring/CameraShare.h"
#include "platform/ring/FrameRingLayout.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <sddl.h>

#include <atomic>
#include <vector>

namespace vistrel::ring {
namespace {

// The dead holder's process ends within moments of its thread; this only guards against a hang.
constexpr DWORD kProcessEndGuardMs = 10000;

std::string errorText(const std::string &what)
{
    return what + ": error " + std::to_string(GetLastError());
}

// Object names are plain ASCII (see objectName), so widening byte by byte is exact.
std::wstring widen(const std::string &text)
{
    return std::wstring(text.begin(), text.end());
}

// Security attributes granting the process's user, and nobody else, full access.
class UserOnly
{
public:
    ~UserOnly()
    {
        if (m_descriptor)
            LocalFree(m_descriptor);
    }
    bool make(std::string &why)
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            why = errorText("cannot open the process token");
            return false;
        }
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size ? size : 1);
        const BOOL got = GetTokenInformation(token, TokenUser, user.data(), size, &size);
        CloseHandle(token);
        LPWSTR sid = nullptr;
        if (!got || !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid, &sid)) {
            why = errorText("cannot read the user's identity");
            return false;
        }
        // Protected, so nothing is inherited: the user alone, with every right.
        const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
        LocalFree(sid);
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                  &m_descriptor, nullptr)) {
            why = errorText("cannot make the objects' security");
            return false;
        }
        m_attributes.nLength = sizeof m_attributes;
        m_attributes.lpSecurityDescriptor = m_descriptor;
        m_attributes.bInheritHandle = FALSE;
        return true;
    }
    SECURITY_ATTRIBUTES *attributes() { return &m_attributes; }

private:
    PSECURITY_DESCRIPTOR m_descriptor = nullptr;
    SECURITY_ATTRIBUTES m_attributes{};
};

void waitForProcessEnd(DWORD processId)
{
    if (processId == 0 || processId == GetCurrentProcessId())
        return;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process)
        return; // gone already
    WaitForSingleObject(process, kProcessEndGuardMs);
    CloseHandle(process);
}

class WindowsCameraShare : public CameraShare
{
public:
    ~WindowsCameraShare() override
    {
        release();
        if (m_view)
            UnmapViewOfFile(m_view);
        for (HANDLE handle : {m_mapping, m_mutex, m_interrupt})
            if (handle)
                CloseHandle(handle);
    }

    bool open(const std::string &cameraKey, std::string &why)
    {
        UserOnly security;
        if (!security.make(why))
            return false;
        const std::wstring base = L"Local\\" + widen(objectName(cameraKey));
        m_mutex = CreateMutexW(security.attributes(), FALSE, (base + L".lock").c_str());
        if (!m_mutex) {
            why = errorText("cannot open the holder lock");
            return false;
        }
        m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, security.attributes(), PAGE_READWRITE, 0,
                                       kRingSize, (base + L".ring").c_str());
        if (!m_mapping) {
            why = errorText("cannot open the frame ring");
            return false;
        }
        // A mapping made by another version keeps its own size: the view is the whole of it, and the ring's
        // reader checks its values against that.
        m_view = MapViewOfFile(m_mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0);
        MEMORY_BASIC_INFORMATION region{};
        if (!m_view || VirtualQuery(m_view, &region, sizeof region) == 0) {
            why = errorText("cannot map the frame ring");
            return false;
        }
        m_size = uint64_t(region.RegionSize);
        m_interrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!m_interrupt) {
            why = errorText("cannot make an event");
            return false;
        }
        return true;
    }

    Hold tryHold() override { return took(WaitForSingleObject(m_mutex, 0)); }

    Hold waitToHold() override
    {
        // The interrupt first: when both are signalled the wait takes it and leaves the lock alone.
        const HANDLE handles[2] = {m_interrupt, m_mutex};
        const DWORD result = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0)
            return Hold::Interrupted;
        if (result == WAIT_OBJECT_0 + 1)
            return took(WAIT_OBJECT_0);
        if (result == WAIT_ABANDONED_0 + 1)
            return took(WAIT_ABANDONED);
        return Hold::Failed;
    }

    void interrupt() override { SetEvent(m_interrupt); }

    void release() override
    {
        if (!m_holding)
            return;
        header()->holderProcessId.store(0);
        ReleaseMutex(m_mutex);
        m_holding = false;
    }

    void *ring() const override { return m_view; }
    uint64_t ringSize() const override { return m_size; }

private:
    RingHeader *header() const { return static_cast<RingHeader *>(m_view); }

    Hold took(DWORD result)
    {
        if (result == WAIT_TIMEOUT)
            return Hold::Busy;
        if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED)
            return Hold::Failed;
        // A second hold by the same thread would count the mutex up; it is held once.
        if (m_holding) {
            ReleaseMutex(m_mutex);
            return Hold::Taken;
        }
        m_holding = true;
        if (result == WAIT_ABANDONED)
            waitForProcessEnd(header()->holderProcessId.load());
        header()->holderProcessId.store(processId());
        return result == WAIT_ABANDONED ? Hold::TakenFromDead : Hold::Taken;
    }

    HANDLE m_mutex = nullptr;
    HANDLE m_mapping = nullptr;
    HANDLE m_interrupt = nullptr;
    void *m_view = nullptr;
    uint64_t m_size = 0;
    bool m_holding = false;
};

} // namespace

std::unique_ptr<CameraShare> CameraShare::open(const std::string &cameraKey, std::string &why)
{
    auto share = std::make_unique<WindowsCameraShare>();
    if (!share->open(cameraKey, why))
        return nullptr;
    return share;
}

uint32_t CameraShare::processId()
{
    return uint32_t(GetCurrentProcessId());
}

} // namespace vistrel::ring

#endif // _WIN32
