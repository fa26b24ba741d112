// The small part of OLE Automation that device enumeration needs: BSTR strings and a VARIANT that carries
// them (IPropertyBag::Read). Reached through platform/dshow/dshow.h only.
#pragma once

#include "platform/windows/win32.h"

struct IUnknown;
struct IDispatch;

typedef OLECHAR *BSTR;

typedef struct tagVARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        BSTR bstrVal;
        IUnknown *punkVal;
        IDispatch *pdispVal;
        struct
        {
            void *pvRecord;
            void *pRecInfo;
        } brecVal;
    };
} VARIANT, VARIANTARG;

#if defined(__x86_64__) || defined(__aarch64__)
static_assert(sizeof(VARIANT) == 24, "VARIANT layout");
#endif

extern "C" {
// A BSTR points just past a 32-bit byte count and ends with a null character, as on Windows.
BSTR SysAllocString(const OLECHAR *psz);
BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);
void VariantInit(VARIANTARG *pvarg);
HRESULT VariantClear(VARIANTARG *pvarg);
}
