// Internal: the registry's contents in memory, and their text form on disk.
//
// File format (UTF-8 text, one record per line, fields separated by tabs):
//   VistrelRegistry<TAB>1                       first line
//   # ...                                        comment, ignored
//   K<TAB><root><TAB><name><TAB><name>...        a key; its parents appear before it
//   V<TAB><type><TAB><name><TAB>s:<text>          a value of the key above: string data as text
//   V<TAB><type><TAB><name><TAB>x:<hex>           ... or any data as hex bytes
//   End                                          last line; a file without it is damaged
// <root> is HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or HKEY_USERS; <type> is decimal.
// Names and text escape '%', tab, line breaks and other control bytes as %XX. String data (REG_SZ,
// REG_EXPAND_SZ, REG_MULTI_SZ) is kept as the wide characters the caller wrote, terminators included.
#pragma once

#include "platform/windows/win32.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::win32 {

// Windows compares key and value names without regard to case.
std::wstring foldedName(const std::wstring &name);
bool sameName(const std::wstring &a, const std::wstring &b);

struct RegistryValue
{
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct RegistryKey
{
    std::wstring name;
    std::vector<RegistryValue> values;                            // in the order they were first written
    std::map<std::wstring, std::unique_ptr<RegistryKey>> subkeys; // by folded name: enumeration order

    RegistryKey *subkey(const std::wstring &name) const;
    RegistryKey &createSubkey(const std::wstring &name);
    RegistryValue *value(const std::wstring &name);
};

enum class RegistryRoot
{
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    Count
};

struct RegistryTree
{
    RegistryKey roots[int(RegistryRoot::Count)];

    std::string serialize() const;
    // False when the text is not a complete registry file.
    bool parse(const std::string &text);
};

} // namespace vistrel::win32
