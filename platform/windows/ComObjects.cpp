// Object creation: built-in classes first, then in-process servers named by the registry. Server libraries
// stay loaded until CoFreeUnusedLibraries finds that they agree to be unloaded.
#include "platform/windows/BuiltinClassFactory.h"
#include "platform/windows/ComApartment.h"
#include "platform/windows/Module.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

using namespace vistrel::win32;

namespace {

struct GuidLess
{
    bool operator()(const GUID &a, const GUID &b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct ServerLibrary
{
    HMODULE module = nullptr;
    LPFNGETCLASSOBJECT getClassObject = nullptr;
    LPFNCANUNLOADNOW canUnloadNow = nullptr;
};

struct ClassRegistry
{
    std::mutex builtinMutex;
    std::map<GUID, CoBuiltinCreateFunction, GuidLess> builtins;
    // Held across loading a server and its DllGetClassObject, and across the unload check, so a library
    // cannot be unloaded between handing out a factory and that factory being counted.
    std::recursive_mutex serverMutex;
    std::map<std::string, ServerLibrary> servers; // by path
};

ClassRegistry &classRegistry()
{
    static ClassRegistry *registry = new ClassRegistry; // built-in classes register during static init
    return *registry;
}

CoBuiltinCreateFunction builtinClass(REFCLSID clsid)
{
    ClassRegistry &registry = classRegistry();
    std::lock_guard<std::mutex> lock(registry.builtinMutex);
    auto found = registry.builtins.find(clsid);
    return found == registry.builtins.end() ? nullptr : found->second;
}

// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, default value.
HRESULT inprocServerPath(REFCLSID clsid, std::string &path)
{
    wchar_t guidText[40];
    StringFromGUID2(clsid, guidText, 40);
    const std::wstring keyPath = std::wstring(L"CLSID\\") + guidText + L"\\InprocServer32";
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS)
        return REGDB_E_READREGDB;
    DWORD type = 0;
    DWORD size = 0;
    status = RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size);
    std::wstring value;
    if (status == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t)) {
        value.resize(size / sizeof(wchar_t));
        status = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(&value[0]), &size);
        value.resize(wcsnlen(value.c_str(), value.size()));
    }
    RegCloseKey(key);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && value.empty()))
        return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS)
        return REGDB_E_READREGDB;
    path = wideToUtf8(value.c_str());
    return S_OK;
}

HRESULT serverClassObject(REFCLSID clsid, REFIID riid, void **ppv)
{
    std::string path;
    HRESULT hr = inprocServerPath(clsid, path);
    if (FAILED(hr))
        return hr;

    ClassRegistry &registry = classRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.serverMutex);
    auto found = registry.servers.find(path);
    if (found == registry.servers.end()) {
        ServerLibrary server;
        server.module = LoadLibraryA(path.c_str());
        if (!server.module) {
            std::fprintf(stderr, "COM: cannot load the server library %s\n", path.c_str());
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        server.getClassObject =
            reinterpret_cast<LPFNGETCLASSOBJECT>(GetProcAddress(server.module, "DllGetClassObject"));
        server.canUnloadNow =
            reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(server.module, "DllCanUnloadNow"));
        if (!server.getClassObject) {
            FreeLibrary(server.module);
            return CO_E_ERRORINDLL;
        }
        found = registry.servers.emplace(path, server).first;
    }
    return found->second.getClassObject(clsid, riid, ppv);
}

} // namespace

HRESULT CoRegisterBuiltinClass(REFCLSID clsid, CoBuiltinCreateFunction create)
{
    if (!create)
        return E_POINTER;
    ClassRegistry &registry = classRegistry();
    std::lock_guard<std::mutex> lock(registry.builtinMutex);
    registry.builtins[clsid] = create;
    return S_OK;
}

HRESULT CoRevokeBuiltinClass(REFCLSID clsid)
{
    ClassRegistry &registry = classRegistry();
    std::lock_guard<std::mutex> lock(registry.builtinMutex);
    return registry.builtins.erase(clsid) ? S_OK : S_FALSE;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID *ppv)
{
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (pvReserved)
        return E_INVALIDARG;
    if (!comInitializedOnThisThread())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC))
        return REGDB_E_CLASSNOTREG;
    if (CoBuiltinCreateFunction create = builtinClass(rclsid)) {
        auto *factory = new (std::nothrow) BuiltinClassFactory(create);
        if (!factory)
            return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    }
    return serverClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID *ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!comInitializedOnThisThread())
        return CO_E_NOTINITIALIZED;
    if (!(dwClsContext & CLSCTX_INPROC))
        return REGDB_E_CLASSNOTREG;
    if (CoBuiltinCreateFunction create = builtinClass(rclsid))
        return create(pUnkOuter, riid, ppv);

    IClassFactory *factory = nullptr;
    HRESULT hr = serverClassObject(rclsid, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr))
        return hr;
    if (!factory)
        return E_UNEXPECTED;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

void CoFreeUnusedLibraries()
{
    ClassRegistry &registry = classRegistry();
    std::lock_guard<std::recursive_mutex> lock(registry.serverMutex);
    for (auto it = registry.servers.begin(); it != registry.servers.end();) {
        // A server without DllCanUnloadNow never agrees to go.
        if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
            FreeLibrary(it->second.module);
            it = registry.servers.erase(it);
        } else {
            ++it;
        }
    }
}
