// The COM server's entry logic over the template table: the DLL entry point, and what the exported
// DllGetClassObject and DllCanUnloadNow do.
#pragma once

#include "driver/filter/base/BaseDefs.h"

// The server library's module handle, recorded at process attach.
extern HINSTANCE g_hInst;

// Process attach: no thread notifications, remember the module, run the templates' init functions
// (loading). Process detach: run them again (unloading). Always TRUE.
extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID pv);

// A new class factory for `rClsID` answering `riid` (IID_IUnknown or IID_IClassFactory only).
STDAPI AMovieDllGetClassObject(REFCLSID rClsID, REFIID riid, void **pv);

// S_OK when no server lock is held and no framework object is alive, else S_FALSE.
STDAPI AMovieDllCanUnloadNow();
