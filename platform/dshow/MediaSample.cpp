#include "platform/dshow/MediaSample.h"

#include "platform/dshow/MediaTypes.h"
#include "platform/dshow/MemoryAllocator.h"

#include <cstdint>

namespace vistrel::dshow {

MediaSample::MediaSample(MemoryAllocator &owner, LONG size, LONG align, LONG prefix)
    : m_owner(owner), m_size(size), m_actual(size)
{
    const size_t total = static_cast<size_t>(prefix) + static_cast<size_t>(size) + static_cast<size_t>(align);
    m_block.reset(new BYTE[total]);
    const auto base = reinterpret_cast<uintptr_t>(m_block.get());
    const uintptr_t aligned =
        (base + static_cast<uintptr_t>(align) - 1) & ~(static_cast<uintptr_t>(align) - 1);
    m_data = reinterpret_cast<BYTE *>(aligned) + prefix;
    m_refs.decrement(); // samples in the pool have no references
}

MediaSample::~MediaSample()
{
    clearMediaType();
}

void MediaSample::prepareForUse()
{
    m_refs.increment();
    m_actual = m_size;
    m_startValid = m_stopValid = false;
    m_start = m_stop = 0;
    m_mediaTimeValid = false;
    m_mediaStart = m_mediaStop = 0;
    m_syncPoint = m_preroll = m_discontinuity = false;
    clearMediaType();
}

void MediaSample::clearMediaType()
{
    deleteMediaTypeBlock(m_type);
    m_type = nullptr;
}

HRESULT STDMETHODCALLTYPE MediaSample::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMediaSample)
        return E_NOINTERFACE;
    *ppv = static_cast<IMediaSample *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE MediaSample::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE MediaSample::Release()
{
    const ULONG count = m_refs.decrement();
    // The allocator may destroy this sample (and itself) while taking it back: touch nothing afterwards.
    if (count == 0)
        m_owner.takeBack(this);
    return count;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetPointer(BYTE **ppBuffer)
{
    if (!ppBuffer)
        return E_POINTER;
    *ppBuffer = m_data;
    return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetSize()
{
    return m_size;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!m_startValid)
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_start;
    if (!m_stopValid) {
        *pTimeEnd = m_start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = m_stop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd)
{
    // No start time clears both; a start without a stop is allowed.
    m_startValid = pTimeStart != nullptr;
    m_stopValid = m_startValid && pTimeEnd != nullptr;
    m_start = m_startValid ? *pTimeStart : 0;
    m_stop = m_stopValid ? *pTimeEnd : 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsSyncPoint()
{
    return m_syncPoint ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetSyncPoint(BOOL bIsSyncPoint)
{
    m_syncPoint = bIsSyncPoint != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsPreroll()
{
    return m_preroll ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetPreroll(BOOL bIsPreroll)
{
    m_preroll = bIsPreroll != FALSE;
    return S_OK;
}

LONG STDMETHODCALLTYPE MediaSample::GetActualDataLength()
{
    return m_actual;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetActualDataLength(LONG length)
{
    if (length < 0 || length > m_size)
        return VFW_E_BUFFER_OVERFLOW;
    m_actual = length;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaType(AM_MEDIA_TYPE **ppMediaType)
{
    if (!ppMediaType)
        return E_POINTER;
    *ppMediaType = nullptr;
    if (!m_type)
        return S_FALSE;
    *ppMediaType = newMediaTypeCopy(*m_type);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaType(AM_MEDIA_TYPE *pMediaType)
{
    clearMediaType();
    if (!pMediaType)
        return S_OK;
    m_type = newMediaTypeCopy(*pMediaType);
    return m_type ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE MediaSample::IsDiscontinuity()
{
    return m_discontinuity ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetDiscontinuity(BOOL bDiscontinuity)
{
    m_discontinuity = bDiscontinuity != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::GetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd)
{
    if (!pTimeStart || !pTimeEnd)
        return E_POINTER;
    if (!m_mediaTimeValid)
        return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_mediaStart;
    *pTimeEnd = m_mediaStop;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaSample::SetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd)
{
    if (!pTimeStart) {
        m_mediaTimeValid = false;
        return S_OK;
    }
    if (!pTimeEnd)
        return E_POINTER;
    m_mediaTimeValid = true;
    m_mediaStart = *pTimeStart;
    m_mediaStop = *pTimeEnd;
    return S_OK;
}

} // namespace vistrel::dshow
