#include "driver/filter/CVCamStream.h"

#include "driver/capture/MediaProcessingThread.h"
#include "driver/filter/CVCam.h"
#include "driver/filter/VideoType.h"

#include <QDebug>

#include <cstring>
#include <limits>
#include <utility>

namespace {

// The pin offers its one type at nine positions, all alike: applications that enumerate the formats
// have always been shown nine identical entries, and the count stays so that none of them sees a
// different pin.
constexpr int kOfferedPositions = 9;

// a * b, held at the largest 64-bit value instead of wrapping.
LONGLONG saturatingProduct(LONGLONG a, LONGLONG b)
{
    const LONGLONG largest = std::numeric_limits<LONGLONG>::max();
    if (a <= 0 || b <= 0)
        return 0;
    return a > largest / b ? largest : a * b;
}

// Gives the type a VIDEOINFOHEADER to write into, keeping what a shorter or foreign block held of one.
VIDEOINFOHEADER *ensureVideoInfo(AM_MEDIA_TYPE *pmt)
{
    if (VIDEOINFOHEADER *vih = VideoType::videoInfo(*pmt))
        return vih;
    BYTE *block = static_cast<BYTE *>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (block == NULL)
        return NULL;
    std::memset(block, 0, sizeof(VIDEOINFOHEADER));
    if (pmt->formattype == FORMAT_VideoInfo && pmt->pbFormat != NULL)
        std::memcpy(block, pmt->pbFormat, pmt->cbFormat);
    if (pmt->pbFormat != NULL)
        CoTaskMemFree(pmt->pbFormat);
    pmt->pbFormat = block;
    pmt->cbFormat = sizeof(VIDEOINFOHEADER);
    return reinterpret_cast<VIDEOINFOHEADER *>(block);
}

} // namespace

CVCamStream::CVCamStream(HRESULT *phr, CVCam *pParent, LPCWSTR pPinName)
    : QObject(nullptr), CSourceStream(NULL, phr, pParent, pPinName), m_pParent(pParent), m_rtLastTime(0),
      m_startClock(0), m_pCaptureThread(nullptr), m_captureStopped(false)
{
    // The capture thread reads the settings now and opens the camera at once, before any streaming.
    m_pCaptureThread = new MediaProcessingThread(this);
    m_pCaptureThread->startCapture();

    const double fps = m_pCaptureThread->fps();
    if (!VideoType::isUsableFrameRate(fps))
        qDebug() << "Frame rate" << fps << "is not usable; the pin offers no frame interval it accepts";

    CAutoLock lock(&m_typeLock);
    const HRESULT hr = buildVideoType(&m_mt);
    if (FAILED(hr) && phr != NULL && SUCCEEDED(*phr))
        *phr = hr;
}

CVCamStream::~CVCamStream()
{
    // The filter stops its pins first; a worker that still ran would use the capture thread below.
    if (ThreadExists()) {
        Stop();
        Exit();
        Close();
    }
    if (m_pCaptureThread != nullptr) {
        delete m_pCaptureThread; // stops the capture thread and waits for it
        m_pCaptureThread = nullptr;
    }
}

STDMETHODIMP CVCamStream::QueryInterface(REFIID riid, void **ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IAMStreamConfig) {
        *ppv = static_cast<IAMStreamConfig *>(this);
        AddRef();
        return S_OK;
    }
    if (riid == IID_IKsPropertySet) {
        *ppv = static_cast<IKsPropertySet *>(this);
        AddRef();
        return S_OK;
    }
    return NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CVCamStream::buildVideoType(CMediaType *pmt)
{
    return VideoType::build(pmt, m_pCaptureThread->outputSize(),
                            VideoType::frameInterval(m_pCaptureThread->fps()));
}

HRESULT CVCamStream::currentType(CMediaType *pmt)
{
    CAutoLock lock(&m_typeLock);
    return pmt->Set(m_mt);
}

HRESULT CVCamStream::GetMediaType(int iPosition, CMediaType *pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition >= kOfferedPositions)
        return VFW_S_NO_MORE_ITEMS;
    return buildVideoType(pmt);
}

HRESULT CVCamStream::CheckMediaType(const CMediaType *pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (pmt->majortype != MEDIATYPE_Video || pmt->formattype != FORMAT_VideoInfo ||
        pmt->subtype != MEDIASUBTYPE_RGB24)
        return E_INVALIDARG;
    // A format block too short to hold the header is refused rather than read past its end.
    const VIDEOINFOHEADER *vih = VideoType::videoInfo(*pmt);
    if (vih == NULL || !VideoType::isAcceptedInterval(vih->AvgTimePerFrame))
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CVCamStream::SetMediaType(const CMediaType *pmt)
{
    CAutoLock lock(&m_typeLock);
    return CSourceStream::SetMediaType(pmt);
}

HRESULT CVCamStream::DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pProperties)
{
    CheckPointer(pAlloc, E_POINTER);
    CheckPointer(pProperties, E_POINTER);
    CAutoLock lock(m_pFilter->pStateLock());

    const VIDEOINFOHEADER *vih = VideoType::videoInfo(m_mt);
    if (vih == NULL)
        return E_UNEXPECTED;
    // An image size beyond what a buffer can describe is no size an allocator could grant.
    if (vih->bmiHeader.biSizeImage > DWORD(std::numeric_limits<LONG>::max()))
        return E_FAIL;
    pProperties->cBuffers = 1;
    pProperties->cbBuffer = LONG(vih->bmiHeader.biSizeImage);

    ALLOCATOR_PROPERTIES actual;
    std::memset(&actual, 0, sizeof(actual));
    const HRESULT hr = pAlloc->SetProperties(pProperties, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < pProperties->cbBuffer ? E_FAIL : S_OK;
}

STDMETHODIMP CVCamStream::SetFormat(AM_MEDIA_TYPE *pmt)
{
    CheckPointer(pmt, E_POINTER);
    // Everything downstream reads the header; a type without one would be read past its end.
    if (VideoType::videoInfo(*pmt) == NULL)
        return VFW_E_INVALIDMEDIATYPE;

    CMediaType replacement;
    HRESULT hr = replacement.Set(*pmt);
    if (FAILED(hr))
        return hr;
    {
        CAutoLock state(m_pFilter->pStateLock());
        CAutoLock type(&m_typeLock);
        std::swap(static_cast<AM_MEDIA_TYPE &>(m_mt), static_cast<AM_MEDIA_TYPE &>(replacement));
    }

    IPin *connected = NULL;
    if (SUCCEEDED(ConnectedTo(&connected)) && connected != NULL) {
        connected->Release();
        // A graph that cannot reconnect now (running, say) keeps the connection as it is.
        IFilterGraph *graph = m_pFilter->GetFilterGraph();
        if (graph != NULL)
            graph->Reconnect(static_cast<IPin *>(this));
    }
    return S_OK;
}

STDMETHODIMP CVCamStream::GetFormat(AM_MEDIA_TYPE **ppmt)
{
    CheckPointer(ppmt, E_POINTER);
    CAutoLock lock(&m_typeLock);
    *ppmt = CreateMediaType(&m_mt);
    return *ppmt != NULL ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CVCamStream::GetNumberOfCapabilities(int *piCount, int *piSize)
{
    CheckPointer(piCount, E_POINTER);
    CheckPointer(piSize, E_POINTER);
    *piCount = 1;
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

// Every index describes the one capability: the current type's frame interval at the capture size.
STDMETHODIMP CVCamStream::GetStreamCaps(int /*iIndex*/, AM_MEDIA_TYPE **ppmt, BYTE *pSCC)
{
    CheckPointer(ppmt, E_POINTER);
    *ppmt = NULL;
    CheckPointer(pSCC, E_POINTER);

    AM_MEDIA_TYPE *pmt = NULL;
    {
        CAutoLock lock(&m_typeLock);
        pmt = CreateMediaType(&m_mt);
    }
    if (pmt == NULL)
        return E_OUTOFMEMORY;
    VIDEOINFOHEADER *vih = ensureVideoInfo(pmt);
    if (vih == NULL) {
        DeleteMediaType(pmt);
        return E_OUTOFMEMORY;
    }

    // The offered type's picture and type fields; the frame interval stays the current type's, and
    // samples are not promised to be of a fixed size.
    const QSize size = m_pCaptureThread->outputSize();
    VideoType::describePicture(vih, size);
    VideoType::describeType(pmt, *vih, FALSE);
    pmt->cbFormat = sizeof(VIDEOINFOHEADER);

    const LONG w = size.width();
    const LONG h = size.height();
    const REFERENCE_TIME interval = vih->AvgTimePerFrame;
    VIDEO_STREAM_CONFIG_CAPS caps;
    std::memset(&caps, 0, sizeof(caps));
    caps.guid = FORMAT_VideoInfo;
    caps.VideoStandard = AnalogVideo_None;
    caps.InputSize = {w, h};
    caps.MinCroppingSize = {w, h};
    caps.MaxCroppingSize = {w, h};
    caps.CropGranularityX = w;
    caps.CropGranularityY = h;
    caps.MinOutputSize = {w, h};
    caps.MaxOutputSize = {w, h};
    caps.MinFrameInterval = interval;
    caps.MaxFrameInterval = interval;
    // Computed in 64 bits and held at the 32-bit maximum; no interval means no bit rate.
    const LONGLONG framesPerSecond = interval > 0 ? VideoType::kUnitsPerSecond / interval : 0;
    const LONGLONG bits = saturatingProduct(saturatingProduct(saturatingProduct(framesPerSecond, w), h), 24);
    const LONG bitRate = LONG(qMin<LONGLONG>(bits, std::numeric_limits<LONG>::max()));
    caps.MinBitsPerSecond = bitRate;
    caps.MaxBitsPerSecond = bitRate;
    // The caller's buffer need not be aligned for the structure.
    std::memcpy(pSCC, &caps, sizeof(caps));

    *ppmt = pmt;
    return S_OK;
}

STDMETHODIMP CVCamStream::Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CVCamStream::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID /*pInstanceData*/,
                              DWORD /*cbInstanceData*/, LPVOID pPropData, DWORD cbPropData,
                              DWORD *pcbReturned)
{
    if (guidPropSet != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (pPropData == NULL && pcbReturned == NULL)
        return E_POINTER;
    if (pcbReturned != NULL)
        *pcbReturned = sizeof(GUID);
    if (pPropData == NULL)
        return S_OK;
    if (cbPropData < sizeof(GUID))
        return E_UNEXPECTED;
    std::memcpy(pPropData, &PIN_CATEGORY_CAPTURE, sizeof(GUID));
    return S_OK;
}

STDMETHODIMP CVCamStream::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD *pTypeSupport)
{
    if (guidPropSet != AMPROPSETID_Pin)
        return E_PROP_SET_UNSUPPORTED;
    if (dwPropID != AMPROPERTY_PIN_CATEGORY)
        return E_PROP_ID_UNSUPPORTED;
    if (pTypeSupport != NULL)
        *pTypeSupport = KSPROPERTY_SUPPORT_GET;
    return S_OK;
}
