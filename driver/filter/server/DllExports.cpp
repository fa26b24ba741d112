// The exports of the vistrelcam library. Everything else is in static libraries and stays hidden
// (vistrelcam.map): an application sees only what COM and installers call.
#include "driver/filter/base/DllEntry.h"
#include "driver/filter/server/VistrelServer.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE hModule, DWORD dwReason, LPVOID lpReserved)
{
    return DllEntryPoint(hModule, dwReason, lpReserved);
}

STDAPI DllGetClassObject(REFCLSID rClsID, REFIID riid, void **pv)
{
    return AMovieDllGetClassObject(rClsID, riid, pv);
}

STDAPI DllCanUnloadNow()
{
    return AMovieDllCanUnloadNow();
}

STDAPI DllRegisterServer()
{
    return registerServer(true);
}

STDAPI DllUnregisterServer()
{
    return registerServer(false);
}

// The command line carries nothing this server needs.
STDAPI DllInstall(BOOL bInstall, LPCWSTR /*pszCmdLine*/)
{
    return registerServer(bInstall != FALSE);
}
