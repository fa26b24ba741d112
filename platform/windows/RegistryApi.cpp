// The wide-character registry calls. Every call is one transaction on the registry file.
#include "platform/windows/RegistryFile.h"
#include "platform/windows/RegistryKeys.h"

#include <cstring>

using namespace vistrel::win32;

namespace {

// Resolves an open key handle and checks that it was opened with the access the call needs.
LONG referenceKeyWithAccess(HKEY hKey, REGSAM needed, KeyReference &reference)
{
    const LONG status = referenceKey(hKey, reference);
    if (status != ERROR_SUCCESS)
        return status;
    return (reference.access & needed) == needed ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Windows' contract for data out-parameters: size only, copy, or ERROR_MORE_DATA with the size needed.
LONG copyData(const std::vector<BYTE> &data, LPBYTE out, LPDWORD size)
{
    if (!size)
        return ERROR_SUCCESS;
    const DWORD available = *size;
    *size = DWORD(data.size());
    if (!out)
        return ERROR_SUCCESS;
    if (available < data.size())
        return ERROR_MORE_DATA;
    if (!data.empty())
        std::memcpy(out, data.data(), data.size());
    return ERROR_SUCCESS;
}

// Names out-parameter: the name and its terminator must fit; the count returned excludes the terminator.
LONG copyName(const std::wstring &name, LPWSTR out, LPDWORD count)
{
    if (!out || !count)
        return ERROR_INVALID_PARAMETER;
    if (*count < name.size() + 1)
        return ERROR_MORE_DATA;
    std::wmemcpy(out, name.c_str(), name.size() + 1);
    *count = DWORD(name.size());
    return ERROR_SUCCESS;
}

std::wstring valueName(LPCWSTR name)
{
    return name ? std::wstring(name) : std::wstring();
}

LONG deleteSubkey(HKEY hKey, LPCWSTR lpSubKey, bool wholeTree)
{
    KeyReference reference;
    LONG status = referenceKey(hKey, reference);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> parts;
    status = splitKeyPath(lpSubKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    return runRegistryTransaction(true, [&](RegistryTree &tree, bool &changed) -> LONG {
        std::vector<std::wstring> target = parts;
        RegistryKey *parent = locateKey(tree, reference);
        if (!parent)
            return ERROR_KEY_DELETED;
        if (target.empty() && wholeTree) {
            // RegDeleteTree without a subkey empties the key itself.
            changed = !parent->values.empty() || !parent->subkeys.empty();
            parent->values.clear();
            parent->subkeys.clear();
            return ERROR_SUCCESS;
        }
        if (target.empty()) {
            // RegDeleteKey with an empty subkey deletes the key of the handle itself.
            if (reference.path.empty())
                return ERROR_ACCESS_DENIED; // never a root
            KeyReference parentReference = reference;
            target.push_back(parentReference.path.back());
            parentReference.path.pop_back();
            parent = locateKey(tree, parentReference);
        }
        for (size_t i = 0; i + 1 < target.size(); ++i) {
            parent = parent->subkey(target[i]);
            if (!parent)
                return ERROR_FILE_NOT_FOUND;
        }
        auto found = parent->subkeys.find(foldedName(target.back()));
        if (found == parent->subkeys.end())
            return ERROR_FILE_NOT_FOUND;
        if (!wholeTree && !found->second->subkeys.empty())
            return ERROR_ACCESS_DENIED; // as Windows: only a key without subkeys is deleted
        parent->subkeys.erase(found);
        changed = true;
        return ERROR_SUCCESS;
    });
}

} // namespace

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult || !lpSubKey)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyReference reference;
    LONG status = referenceKey(hKey, reference);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> parts;
    status = splitKeyPath(lpSubKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    status = runRegistryTransaction(true, [&](RegistryTree &tree, bool &changed) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        for (const std::wstring &name : parts) {
            RegistryKey *existing = key->subkey(name);
            if (!existing) {
                existing = &key->createSubkey(name);
                disposition = REG_CREATED_NEW_KEY;
                changed = true;
            }
            key = existing;
        }
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS)
        return status;
    KeyReference opened = reference;
    opened.path.insert(opened.path.end(), parts.begin(), parts.end());
    opened.access = samDesired;
    *phkResult = openKeyHandle(opened);
    if (lpdwDisposition)
        *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult)
{
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    KeyReference reference;
    LONG status = referenceKey(hKey, reference);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<std::wstring> parts;
    status = splitKeyPath(lpSubKey, parts);
    if (status != ERROR_SUCCESS)
        return status;
    KeyReference opened = reference;
    opened.path.insert(opened.path.end(), parts.begin(), parts.end());
    opened.access = samDesired;
    status = runRegistryTransaction(false, [&](RegistryTree &tree, bool &) -> LONG {
        if (!locateKey(tree, reference))
            return ERROR_KEY_DELETED;
        return locateKey(tree, opened) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (status != ERROR_SUCCESS)
        return status;
    *phkResult = openKeyHandle(opened);
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE *lpData, DWORD cbData)
{
    if (!lpData && cbData)
        return ERROR_NOACCESS;
    KeyReference reference;
    const LONG status = referenceKeyWithAccess(hKey, KEY_SET_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    RegistryValue value;
    value.name = valueName(lpValueName);
    value.type = dwType;
    if (cbData)
        value.data.assign(lpData, lpData + cbData);
    return runRegistryTransaction(true, [&](RegistryTree &tree, bool &changed) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        if (RegistryValue *existing = key->value(value.name)) {
            existing->type = value.type;
            existing->data = value.data;
        } else {
            key->values.push_back(value);
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData)
{
    if (lpReserved || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    const LONG status = referenceKeyWithAccess(hKey, KEY_QUERY_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    return runRegistryTransaction(false, [&](RegistryTree &tree, bool &) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        const RegistryValue *value = key->value(valueName(lpValueName));
        if (!value)
            return ERROR_FILE_NOT_FOUND;
        if (lpType)
            *lpType = value->type;
        return copyData(value->data, lpData, lpcbData);
    });
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    if (!lpSubKey)
        return ERROR_INVALID_PARAMETER;
    return deleteSubkey(hKey, lpSubKey, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey)
{
    return deleteSubkey(hKey, lpSubKey, true);
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    KeyReference reference;
    const LONG status = referenceKeyWithAccess(hKey, KEY_SET_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    const std::wstring name = valueName(lpValueName);
    return runRegistryTransaction(true, [&](RegistryTree &tree, bool &changed) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        for (auto it = key->values.begin(); it != key->values.end(); ++it) {
            if (sameName(it->name, name)) {
                key->values.erase(it);
                changed = true;
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                      LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    if (lpReserved || !lpName || !lpcchName)
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    LONG status = referenceKeyWithAccess(hKey, KEY_ENUMERATE_SUB_KEYS, reference);
    if (status != ERROR_SUCCESS)
        return status;
    status = runRegistryTransaction(false, [&](RegistryTree &tree, bool &) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        if (dwIndex >= key->subkeys.size())
            return ERROR_NO_MORE_ITEMS;
        auto it = key->subkeys.begin();
        std::advance(it, dwIndex);
        return copyName(it->second->name, lpName, lpcchName);
    });
    if (status != ERROR_SUCCESS)
        return status;
    // Keys carry no class names or write times here.
    if (lpClass && lpcchClass && *lpcchClass > 0)
        lpClass[0] = L'\0';
    if (lpcchClass)
        *lpcchClass = 0;
    if (lpftLastWriteTime)
        *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                      LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    if (lpReserved || !lpValueName || !lpcchValueName || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    KeyReference reference;
    const LONG status = referenceKeyWithAccess(hKey, KEY_QUERY_VALUE, reference);
    if (status != ERROR_SUCCESS)
        return status;
    return runRegistryTransaction(false, [&](RegistryTree &tree, bool &) -> LONG {
        RegistryKey *key = locateKey(tree, reference);
        if (!key)
            return ERROR_KEY_DELETED;
        if (dwIndex >= key->values.size())
            return ERROR_NO_MORE_ITEMS;
        const RegistryValue &value = key->values[dwIndex];
        const LONG nameStatus = copyName(value.name, lpValueName, lpcchValueName);
        if (nameStatus != ERROR_SUCCESS)
            return nameStatus;
        if (lpType)
            *lpType = value.type;
        return copyData(value.data, lpData, lpcbData);
    });
}

LSTATUS RegCloseKey(HKEY hKey)
{
    return closeKeyHandle(hKey);
}
