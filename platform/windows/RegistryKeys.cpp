#include "platform/windows/RegistryKeys.h"

#include <mutex>
#include <set>

namespace vistrel::win32 {

namespace {

// Windows' limit for one key name.
constexpr size_t kMaxKeyNameLength = 255;

struct OpenKeys
{
    std::mutex mutex;
    std::set<const KeyReference *> handles;
};

OpenKeys &openKeys()
{
    static OpenKeys *keys = new OpenKeys;
    return *keys;
}

bool predefinedRoot(HKEY key, RegistryRoot &root)
{
    if (key == HKEY_CLASSES_ROOT)
        root = RegistryRoot::ClassesRoot;
    else if (key == HKEY_CURRENT_USER)
        root = RegistryRoot::CurrentUser;
    else if (key == HKEY_LOCAL_MACHINE)
        root = RegistryRoot::LocalMachine;
    else if (key == HKEY_USERS)
        root = RegistryRoot::Users;
    else
        return false;
    return true;
}

} // namespace

LONG referenceKey(HKEY key, KeyReference &reference)
{
    RegistryRoot root;
    if (predefinedRoot(key, root)) {
        reference.root = root;
        reference.path.clear();
        reference.access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    OpenKeys &keys = openKeys();
    std::lock_guard<std::mutex> lock(keys.mutex);
    auto found = keys.handles.find(reinterpret_cast<const KeyReference *>(key));
    if (found == keys.handles.end())
        return ERROR_INVALID_HANDLE;
    reference = **found;
    return ERROR_SUCCESS;
}

HKEY openKeyHandle(const KeyReference &reference)
{
    auto *handle = new KeyReference(reference);
    OpenKeys &keys = openKeys();
    std::lock_guard<std::mutex> lock(keys.mutex);
    keys.handles.insert(handle);
    return reinterpret_cast<HKEY>(handle);
}

LONG closeKeyHandle(HKEY key)
{
    RegistryRoot root;
    if (predefinedRoot(key, root))
        return ERROR_SUCCESS;
    OpenKeys &keys = openKeys();
    std::lock_guard<std::mutex> lock(keys.mutex);
    auto found = keys.handles.find(reinterpret_cast<const KeyReference *>(key));
    if (found == keys.handles.end())
        return ERROR_INVALID_HANDLE;
    delete *found;
    keys.handles.erase(found);
    return ERROR_SUCCESS;
}

LONG splitKeyPath(LPCWSTR subKey, std::vector<std::wstring> &parts)
{
    parts.clear();
    if (!subKey)
        return ERROR_SUCCESS;
    if (subKey[0] == L'\\')
        return ERROR_BAD_PATHNAME;
    std::wstring part;
    for (const wchar_t *c = subKey;; ++c) {
        if (*c == L'\\' || *c == L'\0') {
            if (part.size() > kMaxKeyNameLength)
                return ERROR_INVALID_PARAMETER;
            if (!part.empty())
                parts.push_back(part);
            part.clear();
            if (*c == L'\0')
                return ERROR_SUCCESS;
        } else {
            part += *c;
        }
    }
}

RegistryKey *locateKey(RegistryTree &tree, const KeyReference &reference)
{
    RegistryKey *key = &tree.roots[int(reference.root)];
    for (const std::wstring &name : reference.path) {
        key = key->subkey(name);
        if (!key)
            return nullptr;
    }
    return key;
}

} // namespace vistrel::win32
