#include "platform/dshow/RegistryKey.h"

#include <cstring>
#include <utility>

namespace vistrel::dshow {

RegistryKey::RegistryKey(RegistryKey &&other) noexcept : m_key(std::exchange(other.m_key, nullptr)) {}

RegistryKey &RegistryKey::operator=(RegistryKey &&other) noexcept
{
    if (this != &other) {
        close();
        m_key = std::exchange(other.m_key, nullptr);
    }
    return *this;
}

RegistryKey::~RegistryKey()
{
    close();
}

void RegistryKey::close()
{
    if (m_key)
        RegCloseKey(std::exchange(m_key, nullptr));
}

LSTATUS RegistryKey::open(HKEY root, const std::wstring &path, REGSAM access)
{
    close();
    return RegOpenKeyExW(root, path.c_str(), 0, access, &m_key);
}

LSTATUS RegistryKey::create(HKEY root, const std::wstring &path)
{
    close();
    return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                           nullptr, &m_key, nullptr);
}

LSTATUS RegistryKey::setString(const wchar_t *name, const std::wstring &value)
{
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()), bytes);
}

LSTATUS RegistryKey::setDword(const wchar_t *name, DWORD value)
{
    return RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof(value));
}

LSTATUS RegistryKey::setBinary(const wchar_t *name, const std::vector<BYTE> &value)
{
    return RegSetValueExW(m_key, name, 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size()));
}

std::optional<std::vector<BYTE>> RegistryKey::readRaw(const wchar_t *name, DWORD *type) const
{
    DWORD valueType = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueExW(m_key, name, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<BYTE> data(size);
    if (size > 0 && RegQueryValueExW(m_key, name, nullptr, &valueType, data.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    if (type)
        *type = valueType;
    return data;
}

std::optional<std::wstring> RegistryKey::readString(const wchar_t *name) const
{
    DWORD type = REG_NONE;
    const std::optional<std::vector<BYTE>> raw = readRaw(name, &type);
    if (!raw || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring text(raw->size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(&text[0], raw->data(), text.size() * sizeof(wchar_t));
    // The stored terminator (and anything after it) is not part of the text.
    const size_t end = text.find(L'\0');
    if (end != std::wstring::npos)
        text.resize(end);
    return text;
}

std::vector<std::wstring> RegistryKey::subkeyNames() const
{
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

std::wstring guidString(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

std::wstring categoryInstancePath(REFCLSID category)
{
    return L"CLSID\\" + guidString(category) + L"\\Instance";
}

} // namespace vistrel::dshow
