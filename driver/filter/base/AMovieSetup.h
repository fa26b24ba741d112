// Writing and removing an in-process COM server's class keys under HKEY_CLASSES_ROOT.
#pragma once

#include "driver/filter/base/BaseDefs.h"

// Writes CLSID\{clsid} (default value: the description), its `szServerType` subkey (default value: the
// file name) and that subkey's "ThreadingModel". A registry failure comes back as 0x80070000 combined with
// the Windows error code; E_POINTER for a missing string.
STDAPI AMovieSetupRegisterServer(CLSID clsServer, LPCWSTR szDescription, LPCWSTR szFileName,
                                 LPCWSTR szThreadingModel = L"Both",
                                 LPCWSTR szServerType = L"InprocServer32");

// Deletes CLSID\{clsid} with all its subkeys, deepest first. S_OK also when the key is absent; a key that
// exists but cannot be removed is reported as 0x80070000 combined with the Windows error code.
STDAPI AMovieSetupUnregisterServer(CLSID clsServer);
