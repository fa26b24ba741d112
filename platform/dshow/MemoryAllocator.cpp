#include "platform/dshow/MemoryAllocator.h"

#include "platform/dshow/MediaSample.h"

#include <algorithm>
#include <new>

namespace vistrel::dshow {

namespace {

// Beyond these the request is absurd: refuse it rather than try to satisfy it.
constexpr LONG kMaxBuffers = 4096;
constexpr long long kMaxTotalBytes = 0x7fffffffLL;

} // namespace

HRESULT MemoryAllocator::create(IUnknown *outer, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto *allocator = new (std::nothrow) MemoryAllocator();
    if (!allocator)
        return E_OUTOFMEMORY;
    const HRESULT hr = allocator->QueryInterface(riid, ppv);
    allocator->Release();
    return hr;
}

MemoryAllocator::~MemoryAllocator() = default;

HRESULT STDMETHODCALLTYPE MemoryAllocator::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IMemAllocator)
        return E_NOINTERFACE;
    *ppv = static_cast<IMemAllocator *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE MemoryAllocator::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE MemoryAllocator::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::SetProperties(ALLOCATOR_PROPERTIES *pRequest,
                                                         ALLOCATOR_PROPERTIES *pActual)
{
    if (!pRequest || !pActual)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_committed)
        return VFW_E_ALREADY_COMMITTED;
    if (m_outstanding > 0 || !m_samples.empty())
        return VFW_E_BUFFERS_OUTSTANDING;
    const LONG align = pRequest->cbAlign;
    if (align <= 0 || (align & (align - 1)) != 0)
        return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;

    // The buffer grows so that prefix plus buffer is a whole number of alignment units.
    long long size = static_cast<long long>(pRequest->cbBuffer) + pRequest->cbPrefix;
    if (size % align != 0)
        size += align - size % align;
    size -= pRequest->cbPrefix;
    const long long total = (size + pRequest->cbPrefix + align) * pRequest->cBuffers;
    if (pRequest->cBuffers > kMaxBuffers || size > kMaxTotalBytes || total > kMaxTotalBytes)
        return E_OUTOFMEMORY;

    m_props.cBuffers = pRequest->cBuffers;
    m_props.cbBuffer = static_cast<LONG>(size);
    m_props.cbAlign = align;
    m_props.cbPrefix = pRequest->cbPrefix;
    m_propsSet = true;
    *pActual = m_props;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::GetProperties(ALLOCATOR_PROPERTIES *pProps)
{
    if (!pProps)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *pProps = m_props;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::Commit()
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_committed)
        return S_OK;
    if (!m_propsSet || m_props.cBuffers == 0 || m_props.cbBuffer == 0)
        return VFW_E_SIZENOTSET;
    // After a decommit with samples still out, the old pool is reused as it is.
    if (m_samples.empty()) {
        try {
            for (LONG i = 0; i < m_props.cBuffers; ++i) {
                m_samples.push_back(std::make_unique<MediaSample>(*this, m_props.cbBuffer, m_props.cbAlign,
                                                                  m_props.cbPrefix));
                m_free.push_back(m_samples.back().get());
            }
        } catch (const std::bad_alloc &) {
            m_free.clear();
            m_samples.clear();
            return E_OUTOFMEMORY;
        }
    }
    m_committed = true;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::Decommit()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_committed)
            return S_OK;
        m_committed = false;
        freeSamplesIfIdle();
    }
    // Whoever waits in GetBuffer learns that the allocator is no longer committed.
    m_sampleFreed.notify_all();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::GetBuffer(IMediaSample **ppBuffer, REFERENCE_TIME *,
                                                     REFERENCE_TIME *, DWORD dwFlags)
{
    if (!ppBuffer)
        return E_POINTER;
    *ppBuffer = nullptr;
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_committed)
        return VFW_E_NOT_COMMITTED;
    if (m_free.empty() && (dwFlags & AM_GBF_NOWAIT))
        return VFW_E_TIMEOUT;
    m_sampleFreed.wait(lock, [this] { return !m_committed || !m_free.empty(); });
    if (!m_committed)
        return VFW_E_NOT_COMMITTED;
    MediaSample *sample = m_free.back();
    m_free.pop_back();
    ++m_outstanding;
    sample->prepareForUse();
    m_refs.increment(); // an outstanding sample keeps its allocator alive
    *ppBuffer = sample;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryAllocator::ReleaseBuffer(IMediaSample *pBuffer)
{
    if (!pBuffer)
        return E_POINTER;
    MediaSample *sample = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!ownsSample(pBuffer))
            return E_INVALIDARG;
        sample = static_cast<MediaSample *>(pBuffer);
        // Only a sample nobody references any more may go back; anything else would hand it out twice.
        if (sample->referenceCount() != 0 || std::find(m_free.begin(), m_free.end(), sample) != m_free.end())
            return E_UNEXPECTED;
    }
    takeBack(sample);
    return S_OK;
}

void MemoryAllocator::takeBack(MediaSample *sample)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_free.push_back(sample);
        --m_outstanding;
        freeSamplesIfIdle();
    }
    m_sampleFreed.notify_all();
    Release(); // the reference the sample held; may destroy the allocator
}

bool MemoryAllocator::ownsSample(const IMediaSample *sample) const
{
    return std::any_of(m_samples.begin(), m_samples.end(),
                       [sample](const std::unique_ptr<MediaSample> &own) { return own.get() == sample; });
}

void MemoryAllocator::freeSamplesIfIdle()
{
    if (m_committed || m_outstanding > 0)
        return;
    m_free.clear();
    m_samples.clear();
}

} // namespace vistrel::dshow
