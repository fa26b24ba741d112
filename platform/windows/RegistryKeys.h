// Internal: open registry key handles. A handle names a key by its root and path; the key itself is looked up
// afresh in every call, so another process deleting it shows as ERROR_KEY_DELETED.
#pragma once

#include "platform/windows/RegistryTree.h"

namespace vistrel::win32 {

struct KeyReference
{
    RegistryRoot root = RegistryRoot::ClassesRoot;
    std::vector<std::wstring> path;
    REGSAM access = 0;
};

// ERROR_INVALID_HANDLE for anything that is neither a predefined key nor an open handle.
LONG referenceKey(HKEY key, KeyReference &reference);
HKEY openKeyHandle(const KeyReference &reference);
LONG closeKeyHandle(HKEY key);

// Splits "a\\b\\c"; ERROR_BAD_PATHNAME for a leading backslash, ERROR_INVALID_PARAMETER for a name that is
// too long.
LONG splitKeyPath(LPCWSTR subKey, std::vector<std::wstring> &parts);

// The key a reference names, or null when it no longer exists.
RegistryKey *locateKey(RegistryTree &tree, const KeyReference &reference);

} // namespace vistrel::win32
