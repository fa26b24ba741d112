// The registration tool: Windows' regsvr32 for this platform. Loads a server library, calls its
// registration export and reports the HRESULT in words and hex.
#include "platform/windows/HresultText.h"
#include "platform/windows/regsvr/RegistrationCommand.h"
#include "platform/windows/win32.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <vector>

namespace {

typedef HRESULT(STDAPICALLTYPE *PlainEntry)();
typedef HRESULT(STDAPICALLTYPE *InstallEntry)(BOOL, LPCWSTR);

// A server records the path it was loaded from; a relative one would break as soon as an application
// with another working folder loads it.
std::string absoluteLibraryPath(const std::string &library)
{
    char resolved[PATH_MAX];
    if (::realpath(library.c_str(), resolved) != nullptr)
        return resolved;
    return library;
}

std::wstring widen(const std::string &text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::vector<WCHAR> wide(static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
    return std::wstring(wide.data());
}

} // namespace

int main(int argc, char **argv)
{
    const char *program = "vistrelregsvr";
    RegistrationCommand command;
    std::string error;
    if (!parseRegistrationCommand(argc, argv, &command, &error)) {
        std::fprintf(stderr, "%s: %s\n\n%s", program, error.c_str(), registrationUsage(program).c_str());
        return 1;
    }
    if (command.showHelp) {
        std::fputs(registrationUsage(program).c_str(), stdout);
        return 0;
    }

    const std::string library = absoluteLibraryPath(command.library);
    const char *entryName = registrationEntryPoint(command);

    // As Windows' tool does, the calling thread is in COM while the server registers itself.
    const HRESULT comInit = CoInitialize(nullptr);

    int status = 0;
    HMODULE module = LoadLibraryA(library.c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        // The loader's own reason (a missing file, a missing dependency) says more than the code.
        const char *reason = dlerror();
        std::fprintf(stderr, "%s: cannot load %s: %s%s%s\n", program, library.c_str(),
                     hresultText(static_cast<uint32_t>(HRESULT_FROM_WIN32(code))).c_str(), reason ? "; " : "",
                     reason ? reason : "");
        status = 2;
    } else {
        FARPROC entry = GetProcAddress(module, entryName);
        if (entry == nullptr) {
            std::fprintf(stderr, "%s: %s has no entry point %s; it is not a COM server library\n", program,
                         library.c_str(), entryName);
            status = 3;
        } else {
            HRESULT hr = E_FAIL;
            std::string call = entryName;
            if (command.install) {
                const std::wstring commandLine = widen(command.commandLine);
                const BOOL install = command.unregister ? FALSE : TRUE;
                call += install ? "(TRUE" : "(FALSE";
                call += command.commandLine.empty() ? ")" : ", \"" + command.commandLine + "\")";
                hr = reinterpret_cast<InstallEntry>(reinterpret_cast<void *>(entry))(install,
                                                                                     commandLine.c_str());
            } else {
                hr = reinterpret_cast<PlainEntry>(reinterpret_cast<void *>(entry))();
            }
            const std::string result = hresultText(static_cast<uint32_t>(hr));
            if (SUCCEEDED(hr)) {
                std::printf("%s in %s succeeded: %s\n", call.c_str(), library.c_str(), result.c_str());
            } else {
                std::fprintf(stderr, "%s: %s in %s failed: %s\n", program, call.c_str(), library.c_str(),
                             result.c_str());
                status = 4;
            }
        }
        FreeLibrary(module);
    }
    if (SUCCEEDED(comInit))
        CoUninitialize();
    return status;
}
