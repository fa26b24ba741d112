#include "driver/filter/CVCam.h"

#include "driver/filter/CVCamStream.h"
#include "driver/filter/MessageForwarding.h"
#include "driver/filter/VistrelCamGuids.h"

#include <new>

CVCam::CVCam(LPUNKNOWN lpunk, HRESULT *phr) : CSource(NULL, lpunk, CLSID_VistrelCam, phr) {}

CVCam::~CVCam() {}

CUnknown *WINAPI CVCam::CreateInstance(LPUNKNOWN lpunk, HRESULT *phr)
{
    HRESULT ignored = S_OK;
    if (phr == NULL)
        phr = &ignored;

    CVCam *filter = new (std::nothrow) CVCam(lpunk, phr);
    if (filter == NULL) {
        *phr = E_OUTOFMEMORY;
        return NULL;
    }

    // Every filter installs it again: the driver's log lines go to the host's own handler.
    qInstallMessageHandler(forwardingMessageHandler);

    CAutoLock lock(&filter->m_cStateLock);
    filter->m_paStreams = new (std::nothrow) CSourceStream *[1];
    if (filter->m_paStreams == NULL) {
        *phr = E_OUTOFMEMORY;
        return filter;
    }
    filter->m_paStreams[0] = NULL;
    // The pin adds itself to the filter's array as it is constructed. Nothing thrown may reach the
    // class factory: a pin that could not be made is reported through phr, and the factory then
    // destroys the filter.
    CVCamStream *pin = NULL;
    try {
        pin = new CVCamStream(phr, filter, L"Video");
    } catch (...) {
        *phr = E_OUTOFMEMORY;
        return filter;
    }
    if (filter->FindPinNumber(pin) < 0) {
        // Not in the array, so the filter would never delete it.
        delete pin;
        if (SUCCEEDED(*phr))
            *phr = E_OUTOFMEMORY;
        return filter;
    }
    filter->m_paStreams[0] = pin;
    return filter;
}

CVCamStream *CVCam::stream()
{
    CAutoLock lock(&m_cStateLock);
    if (m_iPins < 1 || m_paStreams == NULL)
        return NULL;
    return static_cast<CVCamStream *>(m_paStreams[0]);
}

bool CVCam::isPinInterface(REFIID riid)
{
    return riid == IID_IAMStreamConfig || riid == IID_IKsPropertySet;
}

HRESULT CVCam::queryPin(REFIID riid, void **ppv)
{
    CVCamStream *pin = stream();
    if (pin == NULL) {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    return static_cast<IPin *>(pin)->QueryInterface(riid, ppv);
}

STDMETHODIMP CVCam::NonDelegatingQueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (isPinInterface(riid))
        return queryPin(riid, ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CVCam::QueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (isPinInterface(riid))
        return queryPin(riid, ppv);
    return GetOwner()->QueryInterface(riid, ppv);
}
