// LoadLibrary and friends over dlopen. An HMODULE is the object's load address; the dlopen handles
// taken through LoadLibrary are kept so that FreeLibrary can give exactly those back.
#include "platform/windows/Module.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <link.h>
#include <map>
#include <mutex>
#include <sys/auxv.h>
#include <unistd.h>
#include <vector>

namespace vistrel::win32 {

std::string wideToUtf8(LPCWSTR text)
{
    std::string out;
    if (!text || !*text)
        return out;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return out;
    out.resize(size_t(size));
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(size_t(size - 1));
    return out;
}

std::wstring utf8ToWide(const std::string &text)
{
    std::wstring out;
    if (text.empty())
        return out;
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (size <= 0)
        return out;
    out.resize(size_t(size));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &out[0], size);
    return out;
}

HMODULE moduleFromAddress(const void *address)
{
    Dl_info info{};
    if (!address || !dladdr(address, &info) || !info.dli_fbase)
        return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

} // namespace vistrel::win32

using namespace vistrel::win32;

namespace {

struct LoadedModules
{
    std::mutex mutex;
    // One entry per dlopen reference we hold on a module's behalf.
    std::multimap<HMODULE, void *> references;
};

LoadedModules &loadedModules()
{
    static LoadedModules *modules = new LoadedModules;
    return *modules;
}

HMODULE programModule()
{
    return moduleFromAddress(reinterpret_cast<const void *>(getauxval(AT_ENTRY)));
}

HMODULE moduleOfHandle(void *handle)
{
    link_map *map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return nullptr;
    return moduleFromAddress(map->l_ld);
}

std::string programFolder()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0)
        return std::string();
    std::string folder(path, size_t(length));
    return folder.substr(0, folder.rfind('/') + 1);
}

// Path of a loaded module, or empty when `module` is not the start of one.
std::string modulePath(HMODULE module)
{
    if (!module)
        return std::string();
    if (module == programModule()) {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
        return length > 0 ? std::string(path, size_t(length)) : std::string();
    }
    Dl_info info{};
    if (!dladdr(module, &info) || info.dli_fbase != module || !info.dli_fname)
        return std::string();
    std::string path = info.dli_fname;
    if (!path.empty() && path[0] != '/') {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved))
            path = resolved;
    }
    return path;
}

void rememberReference(HMODULE module, void *handle)
{
    LoadedModules &modules = loadedModules();
    std::lock_guard<std::mutex> lock(modules.mutex);
    modules.references.emplace(module, handle);
}

HMODULE loadLibrary(const std::string &name)
{
    if (name.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void *handle = nullptr;
    // A bare file name is looked for beside the program first, as Windows does.
    if (name.find('/') == std::string::npos) {
        const std::string besideProgram = programFolder() + name;
        if (access(besideProgram.c_str(), F_OK) == 0)
            handle = dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (!handle)
        handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const HMODULE module = moduleOfHandle(handle);
    if (!module) {
        dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    rememberReference(module, handle);
    return module;
}

// Takes one more reference on an already loaded module (and, with `pin`, keeps it loaded for good).
bool referenceModule(HMODULE module, bool pin)
{
    const std::string path = modulePath(module);
    if (path.empty())
        return false;
    if (module == programModule())
        return true;
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD | (pin ? RTLD_NODELETE : 0));
    if (!handle)
        return false;
    if (pin)
        dlclose(handle); // RTLD_NODELETE already holds it; the reference itself is not needed
    else
        rememberReference(module, handle);
    return true;
}

HMODULE moduleByName(const std::string &name)
{
    if (name.empty())
        return programModule();
    std::vector<std::string> candidates;
    if (name.find('/') == std::string::npos)
        candidates.push_back(programFolder() + name);
    candidates.push_back(name);
    for (const std::string &candidate : candidates) {
        if (void *handle = dlopen(candidate.c_str(), RTLD_LAZY | RTLD_NOLOAD)) {
            const HMODULE module = moduleOfHandle(handle);
            dlclose(handle);
            return module;
        }
    }
    return nullptr;
}

BOOL getModuleHandleEx(DWORD flags, const void *nameOrAddress, bool wide, HMODULE *out)
{
    if (!out ||
        (flags & GET_MODULE_HANDLE_EX_FLAG_PIN && flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *out = nullptr;
    HMODULE module = nullptr;
    if (flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)
        module = moduleFromAddress(nameOrAddress);
    else if (!nameOrAddress)
        module = programModule();
    else
        module = moduleByName(wide ? wideToUtf8(static_cast<LPCWSTR>(nameOrAddress))
                                   : std::string(static_cast<LPCSTR>(nameOrAddress)));
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    if (!(flags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) &&
        !referenceModule(module, (flags & GET_MODULE_HANDLE_EX_FLAG_PIN) != 0)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    *out = module;
    return TRUE;
}

} // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName)
{
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return loadLibrary(lpLibFileName);
}

HMODULE LoadLibraryW(LPCWSTR lpLibFileName)
{
    if (!lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return loadLibrary(wideToUtf8(lpLibFileName));
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    // Exports are found by name only; ordinals have no meaning for ELF objects.
    if (!lpProcName || IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const HMODULE module = hModule ? hModule : programModule();
    const std::string path = module == programModule() ? std::string() : modulePath(module);
    if (module != programModule() && path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void *handle = dlopen(path.empty() ? nullptr : path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void *symbol = dlsym(handle, lpProcName);
    dlclose(handle);
    // dlsym also searches the module's dependencies; GetProcAddress answers only the module's own exports.
    if (!symbol || moduleFromAddress(symbol) != module) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule)
{
    void *handle = nullptr;
    {
        LoadedModules &modules = loadedModules();
        std::lock_guard<std::mutex> lock(modules.mutex);
        auto found = modules.references.find(hLibModule);
        if (found == modules.references.end()) {
            SetLastError(hLibModule && hLibModule == programModule() ? ERROR_SUCCESS : ERROR_MOD_NOT_FOUND);
            return hLibModule && hLibModule == programModule() ? TRUE : FALSE;
        }
        handle = found->second;
        modules.references.erase(found);
    }
    // Outside the lock: unloading runs the library's detach code, which may call back in here.
    dlclose(handle);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName)
{
    HMODULE module = nullptr;
    getModuleHandleEx(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, false, &module);
    return module;
}

HMODULE GetModuleHandleW(LPCWSTR lpModuleName)
{
    HMODULE module = nullptr;
    getModuleHandleEx(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, lpModuleName, true, &module);
    return module;
}

BOOL GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE *phModule)
{
    return getModuleHandleEx(dwFlags, lpModuleName, false, phModule);
}

BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE *phModule)
{
    return getModuleHandleEx(dwFlags, lpModuleName, true, phModule);
}

namespace {

// Windows' contract: on truncation the result is nSize, the text cut to nSize - 1 characters and terminated.
template <typename Char> DWORD copyModulePath(const std::basic_string<Char> &path, Char *buffer, DWORD nSize)
{
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!buffer || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        std::char_traits<Char>::copy(buffer, path.data(), nSize - 1);
        buffer[nSize - 1] = Char(0);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::char_traits<Char>::copy(buffer, path.data(), path.size());
    buffer[path.size()] = Char(0);
    SetLastError(ERROR_SUCCESS);
    return DWORD(path.size());
}

} // namespace

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize)
{
    return copyModulePath(modulePath(hModule ? hModule : programModule()), lpFilename, nSize);
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    return copyModulePath(utf8ToWide(modulePath(hModule ? hModule : programModule())), lpFilename, nSize);
}

// Thread attach and detach notifications are never sent, so there is nothing to turn off.
BOOL DisableThreadLibraryCalls(HMODULE hLibModule)
{
    if (!hLibModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void OutputDebugStringA(LPCSTR lpOutputString)
{
    if (lpOutputString)
        std::fputs(lpOutputString, stderr);
}

void OutputDebugStringW(LPCWSTR lpOutputString)
{
    if (lpOutputString)
        std::fputs(wideToUtf8(lpOutputString).c_str(), stderr);
}
