#include "tests/driver/filter/base/TestSourceFilter.h"

#include <cstring>
#include <string>

TestSourcePin::TestSourcePin(HRESULT *phr, TestSourceFilter *filter, LPCWSTR name,
                             std::shared_ptr<StreamProbe> probe)
    : CSourceStream(NAME("Test pin"), phr, filter, name), m_probe(std::move(probe))
{
}

HRESULT TestSourcePin::Active()
{
    const HRESULT scripted = m_probe->activeResultOverride;
    if (FAILED(scripted))
        return scripted;
    return CSourceStream::Active();
}

HRESULT TestSourcePin::Run(REFERENCE_TIME tStart)
{
    m_probe->runCalls++;
    m_probe->workerExistedAtRun = ThreadExists() != FALSE;
    return CSourceStream::Run(tStart);
}

const GUID &TestSourcePin::offeredSubtype(int position)
{
    return position == 0 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
}

HRESULT TestSourcePin::GetMediaType(int iPosition, CMediaType *pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 1)
        return VFW_S_NO_MORE_ITEMS;
    VIDEOINFOHEADER *vih =
        reinterpret_cast<VIDEOINFOHEADER *>(pMediaType->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (vih == NULL)
        return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof(VIDEOINFOHEADER));
    vih->AvgTimePerFrame = 333333;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = 64;
    vih->bmiHeader.biHeight = 16;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = iPosition == 0 ? 32 : 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = 64 * 16 * vih->bmiHeader.biBitCount / 8;
    pMediaType->SetType(&MEDIATYPE_Video);
    pMediaType->SetSubtype(&offeredSubtype(iPosition));
    pMediaType->SetFormatType(&FORMAT_VideoInfo);
    pMediaType->SetTemporalCompression(FALSE);
    pMediaType->SetSampleSize(vih->bmiHeader.biSizeImage);
    return S_OK;
}

HRESULT TestSourcePin::CheckMediaType(const CMediaType *pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (*pMediaType->Type() != MEDIATYPE_Video || *pMediaType->FormatType() != FORMAT_VideoInfo)
        return E_INVALIDARG;
    if (*pMediaType->Subtype() != MEDIASUBTYPE_RGB24 && *pMediaType->Subtype() != MEDIASUBTYPE_RGB32)
        return E_INVALIDARG;
    return S_OK;
}

HRESULT TestSourcePin::DecideBufferSize(IMemAllocator *pAlloc, ALLOCATOR_PROPERTIES *pRequest)
{
    CheckPointer(pAlloc, E_POINTER);
    CheckPointer(pRequest, E_POINTER);
    CAutoLock lock(m_pFilter->pStateLock());
    m_probe->decideBufferSizeCalls++;
    pRequest->cBuffers = 1;
    pRequest->cbBuffer = kBufferSize;
    ALLOCATOR_PROPERTIES actual;
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < pRequest->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TestSourcePin::FillBuffer(IMediaSample *pSample)
{
    m_probe->fills++;
    m_probe->fillThreadId = GetCurrentThreadId();
    const int ordinal = ++m_delivered;
    const int before = m_probe->samplesBeforeEnd;
    if (before >= 0 && ordinal > before)
        return m_probe->endResult;
    BYTE *data = NULL;
    if (SUCCEEDED(pSample->GetPointer(&data)) && data != NULL) {
        const LONG size = pSample->GetSize();
        std::memset(data, ordinal & 0xff, static_cast<size_t>(size));
        pSample->SetActualDataLength(size);
    }
    // Pacing only, so that the delivery loop does not keep a core busy; no test depends on it.
    Sleep(1);
    return S_OK;
}

HRESULT TestSourcePin::OnThreadCreate()
{
    m_probe->threadCreates++;
    m_probe->createThreadId = GetCurrentThreadId();
    m_delivered = 0;
    return m_probe->onThreadCreateResult;
}

HRESULT TestSourcePin::OnThreadDestroy()
{
    m_probe->threadDestroys++;
    return S_OK;
}

TestSourceFilter::TestSourceFilter(LPUNKNOWN outer, HRESULT *phr,
                                   const std::vector<std::shared_ptr<StreamProbe>> &probes)
    : CSource(NAME("Test source"), outer, kClsid, phr)
{
    for (const auto &probe : probes)
        addPin(probe);
}

TestSourcePin *TestSourceFilter::addPin(std::shared_ptr<StreamProbe> probe)
{
    CAutoLock lock(&m_cStateLock);
    const std::wstring name = L"Out" + std::to_wstring(m_iPins + 1);
    HRESULT hr = S_OK;
    // The pin adds itself to the array, which deletes it with the filter.
    return new TestSourcePin(&hr, this, name.c_str(), std::move(probe));
}

CUnknown *WINAPI TestSourceFilter::CreateInstance(LPUNKNOWN outer, HRESULT *phr)
{
    return new (std::nothrow) TestSourceFilter(outer, phr, {std::make_shared<StreamProbe>()});
}

TestSourceFilter *makeTestFilter(int pinCount, std::vector<std::shared_ptr<StreamProbe>> *probes,
                                 LPUNKNOWN outer)
{
    probes->clear();
    for (int i = 0; i < pinCount; i++)
        probes->push_back(std::make_shared<StreamProbe>());
    HRESULT hr = S_OK;
    TestSourceFilter *filter = new TestSourceFilter(outer, &hr, *probes);
    filter->NonDelegatingAddRef();
    return filter;
}
