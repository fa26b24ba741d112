// vistrel-restrict-key: a helper of the Wine tests, a Windows program. Makes a key under HKEY_CURRENT_USER
// read-only for everyone (as an administrator's policy or a broken profile would), or writable again.
//   vistrel-restrict-key read-only|writable SUBKEY
// Ends with 0 when the key's access list was replaced.
#include <windows.h>

#include <aclapi.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t **argv)
{
    const bool readOnly = argc == 3 && std::wcscmp(argv[1], L"read-only") == 0;
    if (argc != 3 || (!readOnly && std::wcscmp(argv[1], L"writable") != 0)) {
        std::fprintf(stderr, "usage: vistrel-restrict-key read-only|writable SUBKEY\n");
        return 2;
    }
    HKEY key = nullptr;
    LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, argv[2], 0, nullptr, 0, READ_CONTROL | WRITE_DAC,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot open the key: error %ld\n", result);
        return 1;
    }
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = readOnly ? KEY_READ : KEY_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = const_cast<wchar_t *>(L"CURRENT_USER");
    PACL list = nullptr;
    result = SetEntriesInAclW(1, &access, nullptr, &list);
    if (result == ERROR_SUCCESS) {
        // Protected: nothing inherited from the parent key grants more.
        result = SetSecurityInfo(key, SE_REGISTRY_KEY,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                 nullptr, list, nullptr);
        LocalFree(list);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        std::fprintf(stderr, "cannot set the key's access list: error %ld\n", result);
        return 1;
    }
    return 0;
}
