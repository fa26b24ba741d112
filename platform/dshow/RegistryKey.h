// An open registry key that closes itself, with the few value accessors the runtime needs.
#pragma once

#include "platform/dshow/dshow.h"

#include <optional>
#include <string>
#include <vector>

namespace vistrel::dshow {

class RegistryKey
{
public:
    RegistryKey() = default;
    RegistryKey(const RegistryKey &) = delete;
    RegistryKey &operator=(const RegistryKey &) = delete;
    RegistryKey(RegistryKey &&other) noexcept;
    RegistryKey &operator=(RegistryKey &&other) noexcept;
    ~RegistryKey();

    // Win32 error codes, as the registry API answers.
    LSTATUS open(HKEY root, const std::wstring &path, REGSAM access);
    LSTATUS create(HKEY root, const std::wstring &path);

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

    LSTATUS setString(const wchar_t *name, const std::wstring &value);
    LSTATUS setDword(const wchar_t *name, DWORD value);
    LSTATUS setBinary(const wchar_t *name, const std::vector<BYTE> &value);
    // The value's type and raw bytes; nullopt when it is absent or unreadable.
    std::optional<std::vector<BYTE>> readRaw(const wchar_t *name, DWORD *type) const;
    std::optional<std::wstring> readString(const wchar_t *name) const;
    std::vector<std::wstring> subkeyNames() const;

private:
    void close();

    HKEY m_key = nullptr;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the registry's spelling of a GUID.
std::wstring guidString(REFGUID guid);

// Where the filter mapper keeps a category's entries: CLSID\{category}\Instance.
std::wstring categoryInstancePath(REFCLSID category);

} // namespace vistrel::dshow
