// A media sample of the memory allocator: a buffer with its properties. It goes back to its allocator's pool
// when its last reference is released.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

#include <memory>

namespace vistrel::dshow {

class MemoryAllocator;

class MediaSample final : public IMediaSample, private LiveObject
{
public:
    // Owns a buffer of `size` bytes, preceded by `prefix` bytes, whose prefix starts on an `align` boundary.
    // Throws std::bad_alloc when memory runs out (the allocator catches it).
    MediaSample(MemoryAllocator &owner, LONG size, LONG align, LONG prefix);
    ~MediaSample();

    // Called by the allocator as it hands the sample out: one reference, no properties, full length.
    void prepareForUse();
    ULONG referenceCount() const { return m_refs.value(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE **ppBuffer) override;
    LONG STDMETHODCALLTYPE GetSize() override;
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME *pTimeStart, REFERENCE_TIME *pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override;
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL bIsSyncPoint) override;
    HRESULT STDMETHODCALLTYPE IsPreroll() override;
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL bIsPreroll) override;
    LONG STDMETHODCALLTYPE GetActualDataLength() override;
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG length) override;
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE **ppMediaType) override;
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE *pMediaType) override;
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override;
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL bDiscontinuity) override;
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) override;
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG *pTimeStart, LONGLONG *pTimeEnd) override;

private:
    void clearMediaType();

    MemoryAllocator &m_owner;
    RefCount m_refs;
    std::unique_ptr<BYTE[]> m_block;
    BYTE *m_data = nullptr;
    LONG m_size = 0;
    LONG m_actual = 0;
    bool m_startValid = false;
    bool m_stopValid = false;
    REFERENCE_TIME m_start = 0;
    REFERENCE_TIME m_stop = 0;
    bool m_mediaTimeValid = false;
    LONGLONG m_mediaStart = 0;
    LONGLONG m_mediaStop = 0;
    bool m_syncPoint = false;
    bool m_preroll = false;
    bool m_discontinuity = false;
    AM_MEDIA_TYPE *m_type = nullptr;
};

} // namespace vistrel::dshow
