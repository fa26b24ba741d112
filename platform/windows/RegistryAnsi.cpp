// The narrow-character registry calls: names and string data pass through the ANSI code page (UTF-8 here)
// to the wide calls, so both see the same values.
#include "platform/windows/Module.h"

#include <cstring>
#include <vector>

using namespace vistrel::win32;

namespace {

// Null stays null: several calls give a null name its own meaning.
struct WideName
{
    explicit WideName(LPCSTR text) : isNull(text == nullptr), value(text ? utf8ToWide(text) : std::wstring())
    {
    }
    LPCWSTR get() const { return isNull ? nullptr : value.c_str(); }
    bool isNull;
    std::wstring value;
};

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::vector<BYTE> narrowToWideData(const BYTE *data, DWORD size)
{
    const std::wstring wide = utf8ToWide(std::string(reinterpret_cast<const char *>(data), size));
    const auto *bytes = reinterpret_cast<const BYTE *>(wide.data());
    return std::vector<BYTE>(bytes, bytes + wide.size() * sizeof(wchar_t));
}

std::string wideToNarrowData(const std::vector<BYTE> &data)
{
    std::wstring wide(data.size() / sizeof(wchar_t), L'\0');
    if (!wide.empty())
        std::memcpy(&wide[0], data.data(), wide.size() * sizeof(wchar_t));
    std::string narrow;
    if (!wide.empty()) {
        const int size =
            WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
        narrow.resize(size_t(size > 0 ? size : 0));
        if (size > 0)
            WideCharToMultiByte(CP_ACP, 0, wide.data(), int(wide.size()), &narrow[0], size, nullptr, nullptr);
    }
    return narrow;
}

LONG copyNarrowName(const std::wstring &name, LPSTR out, LPDWORD count)
{
    const std::string narrow = wideToUtf8(name.c_str());
    if (*count < narrow.size() + 1)
        return ERROR_MORE_DATA;
    std::memcpy(out, narrow.c_str(), narrow.size() + 1);
    *count = DWORD(narrow.size());
    return ERROR_SUCCESS;
}

} // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR, DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                        LPDWORD lpdwDisposition)
{
    const WideName subKey(lpSubKey);
    return RegCreateKeyExW(hKey, subKey.get(), Reserved, nullptr, dwOptions, samDesired, lpSecurityAttributes,
                           phkResult, lpdwDisposition);
}

LSTATUS RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult)
{
    const WideName subKey(lpSubKey);
    return RegOpenKeyExW(hKey, subKey.get(), ulOptions, samDesired, phkResult);
}

LSTATUS RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE *lpData,
                       DWORD cbData)
{
    const WideName name(lpValueName);
    if (!isStringType(dwType) || !lpData)
        return RegSetValueExW(hKey, name.get(), Reserved, dwType, lpData, cbData);
    const std::vector<BYTE> wide = narrowToWideData(lpData, cbData);
    return RegSetValueExW(hKey, name.get(), Reserved, dwType, wide.data(), DWORD(wide.size()));
}

LSTATUS RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    const WideName name(lpValueName);
    // Read the whole value wide first; it may grow between the two calls, so retry until it fits.
    std::vector<BYTE> data;
    DWORD type = REG_NONE;
    LONG status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
        DWORD size = 0;
        status = RegQueryValueExW(hKey, name.get(), nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            return status;
        data.resize(size);
        status = RegQueryValueExW(hKey, name.get(), nullptr, &type, data.data(), &size);
        data.resize(size);
    }
    if (status != ERROR_SUCCESS)
        return status;
    if (lpType)
        *lpType = type;
    if (isStringType(type)) {
        const std::string narrow = wideToNarrowData(data);
        data.assign(narrow.begin(), narrow.end());
    }
    if (!lpcbData)
        return ERROR_SUCCESS;
    const DWORD available = *lpcbData;
    *lpcbData = DWORD(data.size());
    if (!lpData)
        return ERROR_SUCCESS;
    if (available < data.size())
        return ERROR_MORE_DATA;
    if (!data.empty())
        std::memcpy(lpData, data.data(), data.size());
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey)
{
    const WideName subKey(lpSubKey);
    return RegDeleteKeyW(hKey, subKey.get());
}

LSTATUS RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey)
{
    const WideName subKey(lpSubKey);
    return RegDeleteTreeW(hKey, subKey.get());
}

LSTATUS RegDeleteValueA(HKEY hKey, LPCSTR lpValueName)
{
    const WideName name(lpValueName);
    return RegDeleteValueW(hKey, name.get());
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    // Key names are at most 255 characters; each may take four bytes in UTF-8.
    wchar_t wideName[256];
    DWORD wideCount = 256;
    const LONG status =
        RegEnumKeyExW(hKey, dwIndex, wideName, &wideCount, nullptr, nullptr, nullptr, lpftLastWriteTime);
    if (status != ERROR_SUCCESS)
        return status;
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = '\0';
    if (lpcchClass)
        *lpcchClass = 0;
    return copyNarrowName(std::wstring(wideName, wideCount), lpName, lpcchName);
}
