#include "driver/filter/base/CBaseFilter.h"

#include "driver/filter/base/CBasePin.h"
#include "driver/filter/base/CEnumPins.h"

#include <cwchar>
#include <new>

namespace {
// Copies `source` (null meaning empty) into a fixed array, truncating and always terminating.
void copyName(WCHAR *target, size_t capacity, const WCHAR *source)
{
    size_t i = 0;
    if (source != NULL) {
        for (; i + 1 < capacity && source[i] != L'\0'; ++i)
            target[i] = source[i];
    }
    target[i] = L'\0';
}
} // namespace

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec *pLock, REFCLSID clsid)
    : CUnknown(pName, pUnk), m_State(State_Stopped), m_pClock(NULL), m_tStart(0), m_clsid(clsid),
      m_pLock(pLock), m_pName(NULL), m_pGraph(NULL), m_pSink(NULL), m_PinVersion(1)
{
}

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec *pLock, REFCLSID clsid, HRESULT * /*phr*/)
    : CBaseFilter(pName, pUnk, pLock, clsid)
{
}

CBaseFilter::~CBaseFilter()
{
    delete[] m_pName;
    if (m_pClock != NULL)
        m_pClock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IBaseFilter)
        return GetInterface(static_cast<IBaseFilter *>(this), ppv);
    if (riid == IID_IMediaFilter)
        return GetInterface(static_cast<IMediaFilter *>(this), ppv);
    if (riid == IID_IPersist)
        return GetInterface(static_cast<IPersist *>(this), ppv);
    if (riid == IID_IAMovieSetup)
        return GetInterface(static_cast<IAMovieSetup *>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID *pClsID)
{
    CheckPointer(pClsID, E_POINTER);
    *pClsID = m_clsid;
    return S_OK;
}

FILTER_STATE CBaseFilter::LoadState() const
{
    return __atomic_load_n(&m_State, __ATOMIC_ACQUIRE);
}

void CBaseFilter::StoreState(FILTER_STATE state)
{
    __atomic_store_n(&m_State, state, __ATOMIC_RELEASE);
}

// Answers at once and without the state lock: a pin's streaming thread asks while a state change that
// holds the lock waits for that thread.
STDMETHODIMP CBaseFilter::GetState(DWORD /*dwMSecs*/, FILTER_STATE *State)
{
    CheckPointer(State, E_POINTER);
    *State = LoadState();
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock *pClock)
{
    CAutoLock lock(m_pLock);
    if (pClock != NULL)
        pClock->AddRef();
    if (m_pClock != NULL)
        m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock **pClock)
{
    CheckPointer(pClock, E_POINTER);
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock != NULL)
        m_pClock->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (LoadState() != State_Stopped) {
        const int cPins = GetPinCount();
        for (int c = 0; c < cPins; c++) {
            CBasePin *pPin = GetPin(c);
            if (pPin == NULL)
                break;
            if (pPin->IsConnected()) {
                const HRESULT hrTmp = pPin->Inactive();
                if (FAILED(hrTmp) && SUCCEEDED(hr))
                    hr = hrTmp;
            }
        }
    }
    StoreState(State_Stopped);
    return hr;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (LoadState() == State_Stopped) {
        const HRESULT hr = ActivatePins();
        if (FAILED(hr))
            return hr;
    }
    StoreState(State_Paused);
    return S_OK;
}

HRESULT CBaseFilter::ActivatePins()
{
    const int cPins = GetPinCount();
    for (int c = 0; c < cPins; c++) {
        CBasePin *pPin = GetPin(c);
        if (pPin == NULL)
            break;
        if (!pPin->IsConnected())
            continue;
        const HRESULT hr = pPin->Active();
        if (FAILED(hr)) {
            // The filter stays stopped, so no earlier pin may be left streaming with nobody to stop it.
            for (int d = 0; d < c; d++) {
                CBasePin *pActivated = GetPin(d);
                if (pActivated != NULL && pActivated->IsConnected())
                    pActivated->Inactive();
            }
            return hr;
        }
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (LoadState() == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (LoadState() != State_Running) {
        const int cPins = GetPinCount();
        for (int c = 0; c < cPins; c++) {
            CBasePin *pPin = GetPin(c);
            if (pPin == NULL)
                break;
            if (pPin->IsConnected()) {
                const HRESULT hr = pPin->Run(tStart);
                if (FAILED(hr))
                    return hr;
            }
        }
    }
    StoreState(State_Running);
    return S_OK;
}

BOOL CBaseFilter::IsActive()
{
    CAutoLock lock(m_pLock);
    const FILTER_STATE state = LoadState();
    return state == State_Paused || state == State_Running;
}

BOOL CBaseFilter::IsStopped()
{
    return LoadState() == State_Stopped;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins **ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = new (std::nothrow) CEnumPins(this, NULL);
    return *ppEnum == NULL ? E_OUTOFMEMORY : S_OK;
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin **ppPin)
{
    CheckPointer(ppPin, E_POINTER);
    *ppPin = NULL;
    CheckPointer(Id, E_POINTER);
    CAutoLock lock(m_pLock);
    const int iCount = GetPinCount();
    for (int i = 0; i < iCount; i++) {
        CBasePin *pPin = GetPin(i);
        if (pPin == NULL)
            break;
        if (pPin->Name() != NULL && std::wcscmp(pPin->Name(), Id) == 0) {
            *ppPin = pPin;
            pPin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO *pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    CAutoLock lock(m_pLock);
    copyName(pInfo->achName, sizeof(pInfo->achName) / sizeof(pInfo->achName[0]), m_pName);
    pInfo->pGraph = m_pGraph;
    if (m_pGraph != NULL)
        m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph *pGraph, LPCWSTR pName)
{
    CAutoLock lock(m_pLock);
    WCHAR *pNewName = NULL;
    if (pName != NULL) {
        const size_t length = std::wcslen(pName) + 1;
        pNewName = new (std::nothrow) WCHAR[length];
        if (pNewName == NULL)
            return E_OUTOFMEMORY;
        std::wmemcpy(pNewName, pName, length);
    }
    m_pGraph = pGraph;
    IMediaEventSink *pSink = NULL;
    if (pGraph != NULL &&
        SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void **>(&pSink))) &&
        pSink != NULL) {
        // Kept without a reference: the sink is part of the graph that holds this filter.
        pSink->Release();
    } else {
        pSink = NULL;
    }
    __atomic_store_n(&m_pSink, pSink, __ATOMIC_RELEASE);
    delete[] m_pName;
    m_pName = pNewName;
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR *pVendorInfo)
{
    if (pVendorInfo != NULL)
        *pVendorInfo = NULL;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    // Read without the state lock: the streaming thread reports while a state change may hold it.
    IMediaEventSink *pSink = __atomic_load_n(&m_pSink, __ATOMIC_ACQUIRE);
    if (pSink == NULL)
        return E_NOTIMPL;
    if (EventCode == EC_COMPLETE)
        EventParam2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter *>(this));
    return pSink->Notify(EventCode, EventParam1, EventParam2);
}

HRESULT CBaseFilter::ReconnectPin(IPin *pPin, const AM_MEDIA_TYPE * /*pmt*/)
{
    if (m_pGraph == NULL)
        return E_NOINTERFACE;
    return m_pGraph->Reconnect(pPin);
}

LONG CBaseFilter::GetPinVersion()
{
    return InterlockedCompareExchange(&m_PinVersion, 0, 0);
}

void CBaseFilter::IncrementPinVersion()
{
    InterlockedIncrement(&m_PinVersion);
}

STDMETHODIMP CBaseFilter::Register()
{
    const AMOVIESETUP_FILTER *pSetup = GetSetupData();
    if (pSetup == NULL)
        return S_FALSE;
    const HRESULT hrInit = CoInitialize(NULL);
    IFilterMapper2 *pMapper = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void **>(&pMapper));
    if (SUCCEEDED(hr)) {
        REGFILTER2 rf2;
        rf2.dwVersion = 1;
        rf2.dwMerit = pSetup->dwMerit;
        rf2.cPins = pSetup->nPins;
        rf2.rgPins = pSetup->lpPin;
        IMoniker *pMoniker = NULL;
        hr = pMapper->RegisterFilter(*pSetup->clsID, pSetup->strName, &pMoniker,
                                     &CLSID_LegacyAmFilterCategory, NULL, &rf2);
        if (pMoniker != NULL)
            pMoniker->Release();
        pMapper->Release();
    }
    if (SUCCEEDED(hrInit))
        CoUninitialize();
    return hr;
}

STDMETHODIMP CBaseFilter::Unregister()
{
    const AMOVIESETUP_FILTER *pSetup = GetSetupData();
    if (pSetup == NULL)
        return S_FALSE;
    const HRESULT hrInit = CoInitialize(NULL);
    IFilterMapper2 *pMapper = NULL;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  reinterpret_cast<void **>(&pMapper));
    if (SUCCEEDED(hr)) {
        hr = pMapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, NULL, *pSetup->clsID);
        pMapper->Release();
    }
    if (SUCCEEDED(hrInit))
        CoUninitialize();
    return hr;
}
