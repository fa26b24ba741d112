// Linked last into a library (see vistrel_add_dll_entry), so that this object's initialiser runs after all
// others of the library and its destructor before theirs.
#include "platform/windows/DllEntry.h"

#include <cstdio>
#include <dlfcn.h>

namespace {

HINSTANCE ownModule()
{
    Dl_info info{};
    if (!dladdr(reinterpret_cast<const void *>(&ownModule), &info))
        return nullptr;
    return static_cast<HINSTANCE>(info.dli_fbase);
}

const char *ownPath()
{
    Dl_info info{};
    return dladdr(reinterpret_cast<const void *>(&ownModule), &info) && info.dli_fname ? info.dli_fname : "?";
}

BOOL callEntry(HINSTANCE module, DWORD reason)
{
    try {
        return DllMain(module, reason, nullptr);
    } catch (...) {
        std::fprintf(stderr, "%s: DllMain let an exception escape\n", ownPath());
        return FALSE;
    }
}

class DllEntry
{
public:
    DllEntry() : m_module(ownModule())
    {
        m_attached = callEntry(m_module, DLL_PROCESS_ATTACH) != FALSE;
        if (!m_attached) {
            std::fprintf(stderr, "%s: DllMain refused process attach\n", ownPath());
            callEntry(m_module, DLL_PROCESS_DETACH);
        }
    }
    ~DllEntry()
    {
        if (m_attached)
            callEntry(m_module, DLL_PROCESS_DETACH);
    }
    DllEntry(const DllEntry &) = delete;
    DllEntry &operator=(const DllEntry &) = delete;

private:
    HINSTANCE m_module;
    bool m_attached = false;
};

DllEntry entry;

} // namespace
