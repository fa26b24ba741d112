#include "driver/filter/base/CEnumMediaTypes.h"

#include "driver/filter/base/CBasePin.h"
#include "driver/filter/base/CMediaType.h"

#include <climits>
#include <cstring>
#include <new>

CEnumMediaTypes::CEnumMediaTypes(CBasePin *pPin, CEnumMediaTypes *pEnumMediaTypes)
    : CBaseObject(NAME("Media Type Enumerator")), m_Position(0), m_pPin(pPin), m_Version(0), m_cRef(1)
{
    m_pPin->AddRef();
    if (pEnumMediaTypes == NULL) {
        m_Version = m_pPin->GetMediaTypeVersion();
    } else {
        m_Position = pEnumMediaTypes->m_Position;
        m_Version = pEnumMediaTypes->m_Version;
    }
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

STDMETHODIMP CEnumMediaTypes::QueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumMediaTypes || riid == IID_IUnknown)
        return GetInterface(static_cast<IEnumMediaTypes *>(this), ppv);
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumMediaTypes::Release()
{
    const LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef > 0 ? static_cast<ULONG>(cRef) : 0;
}

BOOL CEnumMediaTypes::AreWeOutOfSync()
{
    return m_pPin->GetMediaTypeVersion() != m_Version;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes, ULONG *pcFetched)
{
    CheckPointer(ppMediaTypes, E_POINTER);
    if (pcFetched != NULL)
        *pcFetched = 0;
    for (ULONG i = 0; i < cMediaTypes; i++)
        ppMediaTypes[i] = NULL;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    if (pcFetched == NULL && cMediaTypes > 1)
        return E_INVALIDARG;

    ULONG cFetched = 0;
    while (cFetched < cMediaTypes) {
        CMediaType cmt;
        const HRESULT hr = m_pPin->GetMediaType(m_Position, &cmt);
        if (hr != S_OK)
            break;
        AM_MEDIA_TYPE *pType = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (pType == NULL)
            break; // the position stays, so the type is offered again on the next call
        m_Position++;
        // The new block takes over the format block and pUnk; cmt is left owning nothing.
        std::memcpy(pType, static_cast<AM_MEDIA_TYPE *>(&cmt), sizeof(AM_MEDIA_TYPE));
        cmt.pbFormat = NULL;
        cmt.cbFormat = 0;
        cmt.pUnk = NULL;
        ppMediaTypes[cFetched++] = pType;
    }
    if (pcFetched != NULL)
        *pcFetched = cFetched;
    return cFetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes)
{
    if (cMediaTypes == 0)
        return S_OK;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const long long target = static_cast<long long>(m_Position) + cMediaTypes;
    m_Position = target > INT_MAX ? INT_MAX : static_cast<int>(target);
    // Whether the last skipped position exists tells if all were skipped.
    CMediaType cmt;
    return m_pPin->GetMediaType(m_Position - 1, &cmt) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_Position = 0;
    m_Version = m_pPin->GetMediaTypeVersion();
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes **ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    *ppEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    return *ppEnum == NULL ? E_OUTOFMEMORY : S_OK;
}
