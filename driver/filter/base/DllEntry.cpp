#include "driver/filter/base/DllEntry.h"

#include "driver/filter/base/CBaseObject.h"
#include "driver/filter/base/CClassFactory.h"
#include "driver/filter/base/CFactoryTemplate.h"

#include <new>

HINSTANCE g_hInst = NULL;

namespace {
void DllInitClasses(BOOL bLoading)
{
    for (int i = 0; i < g_cTemplates; i++) {
        const CFactoryTemplate &entry = g_Templates[i];
        if (entry.m_lpfnInit != NULL)
            entry.m_lpfnInit(bLoading, entry.m_ClsID);
    }
}
} // namespace

extern "C" BOOL WINAPI DllEntryPoint(HINSTANCE hInstance, ULONG ulReason, LPVOID /*pv*/)
{
    switch (ulReason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(hInstance);
        g_hInst = hInstance;
        DllInitClasses(TRUE);
        break;
    case DLL_PROCESS_DETACH:
        DllInitClasses(FALSE);
        break;
    default:
        break;
    }
    return TRUE;
}

STDAPI AMovieDllGetClassObject(REFCLSID rClsID, REFIID riid, void **pv)
{
    CheckPointer(pv, E_POINTER);
    *pv = NULL;
    if (!(riid == IID_IUnknown) && !(riid == IID_IClassFactory))
        return E_NOINTERFACE;
    for (int i = 0; i < g_cTemplates; i++) {
        const CFactoryTemplate *pT = &g_Templates[i];
        if (!pT->IsClassID(rClsID))
            continue;
        CClassFactory *pFactory = new (std::nothrow) CClassFactory(pT);
        if (pFactory == NULL)
            return E_OUTOFMEMORY;
        pFactory->AddRef();
        *pv = static_cast<IClassFactory *>(pFactory);
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI AMovieDllCanUnloadNow()
{
    if (CClassFactory::IsLocked() || CBaseObject::ObjectsActive() != 0)
        return S_FALSE;
    return S_OK;
}
