#include "driver/filter/base/CEnumPins.h"

#include "driver/filter/base/CBaseFilter.h"
#include "driver/filter/base/CBasePin.h"

#include <new>

CEnumPins::CEnumPins(CBaseFilter *pFilter, CEnumPins *pEnumPins)
    : CBaseObject(NAME("Pin Enumerator")), m_Position(0), m_PinCount(0), m_pFilter(pFilter), m_Version(0),
      m_cRef(1)
{
    m_pFilter->AddRef();
    if (pEnumPins == NULL) {
        m_Version = m_pFilter->GetPinVersion();
        m_PinCount = m_pFilter->GetPinCount();
    } else {
        m_Position = pEnumPins->m_Position;
        m_PinCount = pEnumPins->m_PinCount;
        m_Version = pEnumPins->m_Version;
    }
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::QueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumPins || riid == IID_IUnknown)
        return GetInterface(static_cast<IEnumPins *>(this), ppv);
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CEnumPins::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CEnumPins::Release()
{
    const LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return cRef > 0 ? static_cast<ULONG>(cRef) : 0;
}

BOOL CEnumPins::AreWeOutOfSync()
{
    return m_pFilter->GetPinVersion() != m_Version;
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin **ppPins, ULONG *pcFetched)
{
    CheckPointer(ppPins, E_POINTER);
    if (pcFetched != NULL)
        *pcFetched = 0;
    for (ULONG i = 0; i < cPins; i++)
        ppPins[i] = NULL;
    if (pcFetched == NULL && cPins > 1)
        return E_INVALIDARG;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;

    ULONG cFetched = 0;
    while (cFetched < cPins && m_Position < m_PinCount) {
        CBasePin *pPin = m_pFilter->GetPin(m_Position);
        if (pPin == NULL)
            break;
        m_Position++;
        ppPins[cFetched] = pPin;
        pPin->AddRef();
        cFetched++;
    }
    if (pcFetched != NULL)
        *pcFetched = cFetched;
    return cFetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins)
{
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const ULONG left = static_cast<ULONG>(m_PinCount - m_Position);
    if (cPins > left)
        return S_FALSE;
    m_Position += static_cast<int>(cPins);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_Version = m_pFilter->GetPinVersion();
    m_PinCount = m_pFilter->GetPinCount();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins **ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    *ppEnum = new (std::nothrow) CEnumPins(m_pFilter, this);
    return *ppEnum == NULL ? E_OUTOFMEMORY : S_OK;
}
