#include "driver/filter/base/CBasePin.h"

#include "driver/filter/base/CEnumMediaTypes.h"

#include <cwchar>
#include <new>

CBasePin::CBasePin(LPCTSTR pObjectName, CBaseFilter *pFilter, CCritSec *pLock, HRESULT *phr, LPCWSTR pName,
                   PIN_DIRECTION dir)
    : CUnknown(pObjectName, NULL), m_pName(NULL), m_Connected(NULL), m_dir(dir), m_pLock(pLock),
      m_bRunTimeError(false), m_bCanReconnectWhenActive(false), m_bTryMyTypesFirst(false), m_pFilter(pFilter),
      m_pQSink(NULL), m_TypeVersion(1), m_tStart(0), m_tStop(MAX_TIME), m_dRate(1.0)
{
    if (pName != NULL) {
        const size_t length = std::wcslen(pName) + 1;
        m_pName = new (std::nothrow) WCHAR[length];
        if (m_pName != NULL)
            std::wmemcpy(m_pName, pName, length);
        else if (phr != NULL && SUCCEEDED(*phr))
            *phr = E_OUTOFMEMORY;
    }
}

CBasePin::~CBasePin()
{
    // A connection still held here would keep the other pin's filter alive for ever.
    if (m_Connected != NULL) {
        m_Connected->Release();
        m_Connected = NULL;
    }
    delete[] m_pName;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IPin)
        return GetInterface(static_cast<IPin *>(this), ppv);
    if (riid == IID_IQualityControl)
        return GetInterface(static_cast<IQualityControl *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef()
{
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease()
{
    return m_pFilter->Release();
}

STDMETHODIMP CBasePin::Connect(IPin *pReceivePin, const AM_MEDIA_TYPE *pmt)
{
    CheckPointer(pReceivePin, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected != NULL)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    // CMediaType adds no data to AM_MEDIA_TYPE, so the caller's structure can be read through it.
    const HRESULT hr = AgreeMediaType(pReceivePin, static_cast<const CMediaType *>(pmt));
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    return S_OK;
}

HRESULT CBasePin::AgreeMediaType(IPin *pReceivePin, const CMediaType *pmt)
{
    // A fully specified type is tried alone.
    if (pmt != NULL && !pmt->IsPartiallySpecified())
        return AttemptConnection(pReceivePin, pmt);

    // Otherwise the receiving pin's types first (unless told to prefer ours), then ours.
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0; i < 2; i++) {
        IEnumMediaTypes *pEnum = NULL;
        HRESULT hr;
        if (i == static_cast<int>(m_bTryMyTypesFirst))
            hr = pReceivePin->EnumMediaTypes(&pEnum);
        else
            hr = EnumMediaTypes(&pEnum);
        if (SUCCEEDED(hr) && pEnum != NULL) {
            hr = TryMediaTypes(pReceivePin, pmt, pEnum);
            pEnum->Release();
            if (SUCCEEDED(hr))
                return S_OK;
            // Keep a specific reason rather than the generic refusals.
            if (hr != E_FAIL && hr != E_INVALIDARG && hr != VFW_E_TYPE_NOT_ACCEPTED)
                hrFailure = hr;
        }
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin *pReceivePin, const CMediaType *pmt, IEnumMediaTypes *pEnum)
{
    HRESULT hr = pEnum->Reset();
    if (FAILED(hr))
        return hr;

    HRESULT hrFailure = S_OK;
    for (;;) {
        AM_MEDIA_TYPE *pMediaType = NULL;
        ULONG cFetched = 0;
        hr = pEnum->Next(1, &pMediaType, &cFetched);
        if (hr != S_OK || cFetched != 1 || pMediaType == NULL) {
            DeleteMediaType(pMediaType);
            if (hrFailure == S_OK)
                hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
            return hrFailure;
        }
        const CMediaType *pCandidate = static_cast<const CMediaType *>(pMediaType);
        if (pmt == NULL || pCandidate->MatchesPartial(pmt)) {
            hr = AttemptConnection(pReceivePin, pCandidate);
            if (FAILED(hr) && SUCCEEDED(hrFailure) && hr != E_FAIL && hr != E_INVALIDARG &&
                hr != VFW_E_TYPE_NOT_ACCEPTED)
                hrFailure = hr;
        } else {
            hr = VFW_E_NO_ACCEPTABLE_TYPES;
        }
        DeleteMediaType(pMediaType);
        if (hr == S_OK)
            return hr;
    }
}

HRESULT CBasePin::AttemptConnection(IPin *pReceivePin, const CMediaType *pmt)
{
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }

    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin *>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr))
                    return hr;
                pReceivePin->Disconnect();
            }
        }
    } else if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }

    // Undo whatever this attempt set up, on our side and through the callbacks it made.
    BreakConnect();
    if (m_Connected != NULL) {
        m_Connected->Release();
        m_Connected = NULL;
    }
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin *pConnector, const AM_MEDIA_TYPE *pmt)
{
    CheckPointer(pConnector, E_POINTER);
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected != NULL)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;

    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType *pcmt = static_cast<const CMediaType *>(pmt);
    hr = CheckMediaType(pcmt);
    if (hr != S_OK) {
        BreakConnect();
        if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG)
            hr = VFW_E_TYPE_NOT_ACCEPTED;
        return hr;
    }

    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(pcmt);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pConnector);
        if (SUCCEEDED(hr))
            return S_OK;
    }
    m_Connected->Release();
    m_Connected = NULL;
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    return DisconnectInternal();
}

HRESULT CBasePin::DisconnectInternal()
{
    if (m_Connected == NULL)
        return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    m_Connected->Release();
    m_Connected = NULL;
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin **pPin)
{
    CheckPointer(pPin, E_POINTER);
    IPin *pConnected = m_Connected;
    *pPin = pConnected;
    if (pConnected == NULL)
        return VFW_E_NOT_CONNECTED;
    pConnected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE *pmt)
{
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (!IsConnected()) {
        static_cast<CMediaType *>(pmt)->InitMediaType();
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO *pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    pInfo->pFilter = m_pFilter;
    if (m_pFilter != NULL)
        m_pFilter->AddRef();
    const size_t capacity = sizeof(pInfo->achName) / sizeof(pInfo->achName[0]);
    size_t i = 0;
    if (m_pName != NULL) {
        for (; i + 1 < capacity && m_pName[i] != L'\0'; ++i)
            pInfo->achName[i] = m_pName[i];
    }
    pInfo->achName[i] = L'\0';
    pInfo->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION *pPinDir)
{
    CheckPointer(pPinDir, E_POINTER);
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR *Id)
{
    CheckPointer(Id, E_POINTER);
    *Id = NULL;
    return AMGetWideString(m_pName != NULL ? m_pName : L"", Id);
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE *pmt)
{
    CheckPointer(pmt, E_POINTER);
    const HRESULT hr = CheckMediaType(static_cast<const CMediaType *>(pmt));
    return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes **ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = new (std::nothrow) CEnumMediaTypes(this, NULL);
    return *ppEnum == NULL ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin **apPin, ULONG *nPin)
{
    (void)apPin;
    (void)nPin;
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream()
{
    return S_OK;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter * /*pSender*/, Quality /*q*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl *piqc)
{
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

LONG CBasePin::GetMediaTypeVersion()
{
    return InterlockedCompareExchange(&m_TypeVersion, 0, 0);
}

void CBasePin::IncrementTypeVersion()
{
    InterlockedIncrement(&m_TypeVersion);
}

HRESULT CBasePin::Active()
{
    return S_OK;
}

HRESULT CBasePin::Inactive()
{
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME /*tStart*/)
{
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType *pmt)
{
    CheckPointer(pmt, E_POINTER);
    return m_mt.Set(*pmt);
}

// The two ends of a connection must face each other.
HRESULT CBasePin::CheckConnect(IPin *pPin)
{
    CheckPointer(pPin, E_POINTER);
    PIN_DIRECTION pd;
    const HRESULT hr = pPin->QueryDirection(&pd);
    if (FAILED(hr))
        return hr;
    if (pd == m_dir)
        return VFW_E_INVALID_DIRECTION;
    return S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin * /*pReceivePin*/)
{
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int /*iPosition*/, CMediaType * /*pMediaType*/)
{
    return E_UNEXPECTED;
}
