// The system's memory allocator (CLSID_MemoryAllocator): a pool of equally sized sample buffers, handed out
// by GetBuffer and taken back when a sample's last reference goes.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace vistrel::dshow {

class MediaSample;

class MemoryAllocator final : public IMemAllocator, private LiveObject
{
public:
    static HRESULT create(IUnknown *outer, REFIID riid, void **ppv);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES *pRequest,
                                            ALLOCATOR_PROPERTIES *pActual) override;
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES *pProps) override;
    HRESULT STDMETHODCALLTYPE Commit() override;
    HRESULT STDMETHODCALLTYPE Decommit() override;
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample **ppBuffer, REFERENCE_TIME *pStartTime,
                                        REFERENCE_TIME *pEndTime, DWORD dwFlags) override;
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample *pBuffer) override;

    // A sample's last reference went: back into the pool, and the reference it held on us is dropped.
    void takeBack(MediaSample *sample);

private:
    MemoryAllocator() = default;
    ~MemoryAllocator();

    // Both with m_lock held.
    bool ownsSample(const IMediaSample *sample) const;
    void freeSamplesIfIdle();

    RefCount m_refs;
    std::mutex m_lock;
    std::condition_variable m_sampleFreed;
    ALLOCATOR_PROPERTIES m_props{};
    bool m_propsSet = false;
    bool m_committed = false;
    LONG m_outstanding = 0;
    std::vector<std::unique_ptr<MediaSample>> m_samples;
    std::vector<MediaSample *> m_free;
};

} // namespace vistrel::dshow
