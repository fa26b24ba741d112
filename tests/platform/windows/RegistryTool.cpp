// A second process for the registry tests: writes and reads HKEY_CURRENT_USER values from the command line.
//   set <key> <name> <text>     REG_SZ value
//   get <key> <name>            prints the REG_SZ value
//   fill <key> <prefix> <n>     writes REG_DWORD values <prefix>0 .. <prefix>n-1, one call each
// Exits 0 on success; otherwise prints "status <code>" and exits 1.
#include "platform/windows/win32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int fail(LONG status)
{
    std::printf("status %ld\n", long(status));
    return 1;
}

LONG openKey(const char *path, HKEY &key)
{
    return RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    const std::string command = argv[1];
    HKEY key = nullptr;
    LONG status = openKey(argv[2], key);
    if (status != ERROR_SUCCESS)
        return fail(status);
    if (command == "set" && argc == 5) {
        status = RegSetValueExA(key, argv[3], 0, REG_SZ, reinterpret_cast<const BYTE *>(argv[4]),
                                DWORD(std::strlen(argv[4]) + 1));
    } else if (command == "get") {
        char buffer[1024] = {};
        DWORD size = sizeof(buffer) - 1;
        DWORD type = 0;
        status = RegQueryValueExA(key, argv[3], nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size);
        if (status == ERROR_SUCCESS)
            std::printf("%s\n", buffer);
    } else if (command == "fill" && argc == 5) {
        const int count = std::atoi(argv[4]);
        for (int i = 0; i < count && status == ERROR_SUCCESS; ++i) {
            const std::string name = argv[3] + std::to_string(i);
            const DWORD value = DWORD(i);
            status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                                    sizeof(value));
        }
    } else {
        RegCloseKey(key);
        return 2;
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : fail(status);
}
