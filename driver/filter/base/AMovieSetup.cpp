#include "driver/filter/base/AMovieSetup.h"

#include <cwchar>

namespace {
// "CLSID\{...}" fits easily: 6 + 38 characters and the terminator.
const int kClsidKeyLength = 64;
// Registry key names are at most 255 characters.
const DWORD kMaxKeyName = 256;

// The key's path below HKEY_CLASSES_ROOT; false if the GUID could not be formatted.
bool clsidKeyPath(REFCLSID clsid, WCHAR (&path)[kClsidKeyLength])
{
    const WCHAR prefix[] = L"CLSID\\";
    const int prefixLength = static_cast<int>(sizeof(prefix) / sizeof(prefix[0])) - 1;
    std::wmemcpy(path, prefix, prefixLength);
    return StringFromGUID2(clsid, path + prefixLength, kClsidKeyLength - prefixLength) > 0;
}

// Closes the key when the scope ends.
class ScopedKey
{
public:
    ScopedKey() = default;
    ~ScopedKey()
    {
        if (m_key != NULL)
            RegCloseKey(m_key);
    }
    ScopedKey(const ScopedKey &) = delete;
    ScopedKey &operator=(const ScopedKey &) = delete;

    HKEY *receive() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = NULL;
};

LONG setString(HKEY key, LPCWSTR valueName, LPCWSTR text)
{
    const DWORD bytes = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(WCHAR));
    return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), bytes);
}

// Removes `subKey` of `parent` and everything below it.
LONG eliminateSubKey(HKEY parent, LPCWSTR subKey)
{
    if (subKey == NULL || subKey[0] == L'\0')
        return ERROR_INVALID_PARAMETER; // never the parent itself
    {
        ScopedKey key;
        LONG result = RegOpenKeyExW(parent, subKey, 0, KEY_ALL_ACCESS, key.receive());
        if (result != ERROR_SUCCESS)
            return result;
        // Always the first child, since each one is gone before the next is looked up. A child that
        // cannot be removed ends the walk rather than being found again for ever.
        for (;;) {
            WCHAR child[kMaxKeyName];
            DWORD length = kMaxKeyName;
            result = RegEnumKeyExW(key.get(), 0, child, &length, NULL, NULL, NULL, NULL);
            if (result == ERROR_NO_MORE_ITEMS)
                break;
            if (result != ERROR_SUCCESS)
                return result;
            result = eliminateSubKey(key.get(), child);
            if (result != ERROR_SUCCESS)
                return result;
        }
    }
    return RegDeleteKeyW(parent, subKey);
}
} // namespace

STDAPI AMovieSetupRegisterServer(CLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                 LPCWSTR szThreadingModel, LPCWSTR szServerType)
{
    CheckPointer(szDescription, E_POINTER);
    CheckPointer(szFileName, E_POINTER);
    CheckPointer(szThreadingModel, E_POINTER);
    CheckPointer(szServerType, E_POINTER);

    WCHAR path[kClsidKeyLength];
    if (!clsidKeyPath(clsServer, path))
        return E_INVALIDARG;

    ScopedKey classKey;
    LONG result = RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  NULL, classKey.receive(), NULL);
    if (result != ERROR_SUCCESS)
        return AmHresultFromWin32(result);
    result = setString(classKey.get(), NULL, szDescription);
    if (result != ERROR_SUCCESS)
        return AmHresultFromWin32(result);

    ScopedKey serverKey;
    result = RegCreateKeyExW(classKey.get(), szServerType, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             NULL, serverKey.receive(), NULL);
    if (result != ERROR_SUCCESS)
        return AmHresultFromWin32(result);
    result = setString(serverKey.get(), NULL, szFileName);
    if (result != ERROR_SUCCESS)
        return AmHresultFromWin32(result);
    result = setString(serverKey.get(), L"ThreadingModel", szThreadingModel);
    if (result != ERROR_SUCCESS)
        return AmHresultFromWin32(result);
    return S_OK;
}

STDAPI AMovieSetupUnregisterServer(CLSID clsServer)
{
    WCHAR path[kClsidKeyLength];
    if (!clsidKeyPath(clsServer, path))
        return E_INVALIDARG;
    const LONG result = eliminateSubKey(HKEY_CLASSES_ROOT, path);
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND)
        return S_OK;
    return AmHresultFromWin32(result);
}
