// Not part of Windows' surface: how the platform's own libraries make their classes creatable through
// CoCreateInstance, as Windows' system DLLs are without any registry entry of ours.
#pragma once

#include "platform/windows/win32.h"

// Creates a new object of the class and answers `riid` on it; `outer` is the aggregating object or null.
typedef HRESULT (*CoBuiltinCreateFunction)(IUnknown *outer, REFIID riid, void **ppv);

// Makes `clsid` creatable. Called at load time (a static initialiser of the registering library); a second
// registration of the same class replaces the first. E_POINTER for a null function.
VISTREL_WIN32_API HRESULT CoRegisterBuiltinClass(REFCLSID clsid, CoBuiltinCreateFunction create);

// Withdraws a class, for a library that is being unloaded. S_FALSE when it was not registered.
VISTREL_WIN32_API HRESULT CoRevokeBuiltinClass(REFCLSID clsid);
