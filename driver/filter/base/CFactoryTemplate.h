// One creatable class of the COM server: its name, class identifier, the function that makes an object
// and the filter setup data. The server library supplies the table, g_Templates with g_cTemplates entries.
#pragma once

#include "driver/filter/base/BaseDefs.h"

class CUnknown;

typedef CUnknown *(CALLBACK *LPFNNewCOMObject)(LPUNKNOWN pUnkOuter, HRESULT *phr);
// Called with TRUE as the library loads and FALSE as it unloads.
typedef void(CALLBACK *LPFNInitRoutine)(BOOL bLoading, const CLSID *rclsid);

class CFactoryTemplate
{
public:
    const WCHAR *m_Name;
    const CLSID *m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER *m_pAMovieSetup_Filter;

    BOOL IsClassID(REFCLSID rclsid) const { return m_ClsID != NULL && IsEqualCLSID(*m_ClsID, rclsid); }

    // A new object with no reference yet; NULL (and a reason in `phr`) when it could not be made.
    CUnknown *CreateInstance(LPUNKNOWN pUnk, HRESULT *phr) const
    {
        CheckPointer(phr, NULL);
        if (m_lpfnNew == NULL) {
            *phr = E_UNEXPECTED;
            return NULL;
        }
        return m_lpfnNew(pUnk, phr);
    }
};

extern CFactoryTemplate g_Templates[];
extern int g_cTemplates;
