// A media sample (MFCreateSample): buffers in order, a time and a duration, flags, and attributes.
#include "platform/mf/MfAttributesImpl.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace vistrel::mf {
namespace {

// Copies the current contents of `buffers`, one after another, into `target` (which has room for them).
HRESULT copyInto(const std::vector<IMFMediaBuffer *> &buffers, BYTE *target)
{
    for (IMFMediaBuffer *buffer : buffers) {
        BYTE *data = nullptr;
        DWORD length = 0;
        const HRESULT hr = buffer->Lock(&data, nullptr, &length);
        if (FAILED(hr))
            return hr;
        std::memcpy(target, data, length);
        target += length;
        buffer->Unlock();
    }
    return S_OK;
}

class Sample final : public AttributesImpl<IMFSample>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes, &IID_IMFSample});
    }

    HRESULT STDMETHODCALLTYPE GetSampleFlags(DWORD *pdwSampleFlags) override
    {
        if (pdwSampleFlags == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *pdwSampleFlags = m_flags;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSampleFlags(DWORD dwSampleFlags) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flags = dwSampleFlags;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetSampleTime(LONGLONG *phnsSampleTime) override
    {
        if (phnsSampleTime == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_hasTime)
            return MF_E_NO_SAMPLE_TIMESTAMP;
        *phnsSampleTime = m_time;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSampleTime(LONGLONG hnsSampleTime) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_time = hnsSampleTime;
        m_hasTime = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetSampleDuration(LONGLONG *phnsSampleDuration) override
    {
        if (phnsSampleDuration == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_hasDuration)
            return MF_E_NO_SAMPLE_DURATION;
        *phnsSampleDuration = m_duration;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSampleDuration(LONGLONG hnsSampleDuration) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_duration = hnsSampleDuration;
        m_hasDuration = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferCount(DWORD *pdwBufferCount) override
    {
        if (pdwBufferCount == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *pdwBufferCount = static_cast<DWORD>(m_buffers.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetBufferByIndex(DWORD dwIndex, IMFMediaBuffer **ppBuffer) override
    {
        if (ppBuffer == nullptr)
            return E_POINTER;
        *ppBuffer = nullptr;
        std::lock_guard<std::mutex> lock(m_lock);
        if (dwIndex >= m_buffers.size())
            return E_INVALIDARG;
        *ppBuffer = m_buffers[dwIndex];
        (*ppBuffer)->AddRef();
        return S_OK;
    }

    // The one buffer itself, or a new buffer holding all of them one after another, which then replaces them.
    HRESULT STDMETHODCALLTYPE ConvertToContiguousBuffer(IMFMediaBuffer **ppBuffer) override
    {
        if (ppBuffer == nullptr)
            return E_POINTER;
        *ppBuffer = nullptr;
        std::vector<IMFMediaBuffer *> replaced;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (m_buffers.empty())
                return E_UNEXPECTED;
            if (m_buffers.size() == 1) {
                *ppBuffer = m_buffers.front();
                (*ppBuffer)->AddRef();
                return S_OK;
            }
            DWORD total = 0;
            HRESULT hr = totalLengthLocked(&total);
            IMFMediaBuffer *joined = nullptr;
            if (SUCCEEDED(hr))
                hr = MFCreateMemoryBuffer(total, &joined);
            BYTE *target = nullptr;
            if (SUCCEEDED(hr))
                hr = joined->Lock(&target, nullptr, nullptr);
            if (SUCCEEDED(hr)) {
                hr = copyInto(m_buffers, target);
                joined->Unlock();
            }
            if (SUCCEEDED(hr))
                hr = joined->SetCurrentLength(total);
            if (FAILED(hr)) {
                if (joined != nullptr)
                    joined->Release();
                return hr;
            }
            replaced.swap(m_buffers);
            joined->AddRef();
            m_buffers.push_back(joined);
            *ppBuffer = joined;
        }
        for (IMFMediaBuffer *buffer : replaced)
            buffer->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE AddBuffer(IMFMediaBuffer *pBuffer) override
    {
        if (pBuffer == nullptr)
            return E_INVALIDARG;
        pBuffer->AddRef();
        std::lock_guard<std::mutex> lock(m_lock);
        m_buffers.push_back(pBuffer);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveBufferByIndex(DWORD dwIndex) override
    {
        IMFMediaBuffer *removed = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (dwIndex >= m_buffers.size())
                return E_INVALIDARG;
            removed = m_buffers[dwIndex];
            m_buffers.erase(m_buffers.begin() + dwIndex);
        }
        removed->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveAllBuffers() override
    {
        std::vector<IMFMediaBuffer *> removed;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            removed.swap(m_buffers);
        }
        for (IMFMediaBuffer *buffer : removed)
            buffer->Release();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTotalLength(DWORD *pcbTotalLength) override
    {
        if (pcbTotalLength == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        return totalLengthLocked(pcbTotalLength);
    }

    HRESULT STDMETHODCALLTYPE CopyToBuffer(IMFMediaBuffer *pBuffer) override
    {
        if (pBuffer == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        DWORD total = 0;
        HRESULT hr = totalLengthLocked(&total);
        if (FAILED(hr))
            return hr;
        BYTE *target = nullptr;
        DWORD capacity = 0;
        hr = pBuffer->Lock(&target, &capacity, nullptr);
        if (FAILED(hr))
            return hr;
        if (capacity < total)
            hr = MF_E_BUFFERTOOSMALL;
        else
            hr = copyInto(m_buffers, target);
        pBuffer->Unlock();
        return SUCCEEDED(hr) ? pBuffer->SetCurrentLength(total) : hr;
    }

private:
    ~Sample() override
    {
        for (IMFMediaBuffer *buffer : m_buffers)
            buffer->Release();
    }

    HRESULT totalLengthLocked(DWORD *total)
    {
        *total = 0;
        for (IMFMediaBuffer *buffer : m_buffers) {
            DWORD length = 0;
            const HRESULT hr = buffer->GetCurrentLength(&length);
            if (FAILED(hr))
                return hr;
            *total += length;
        }
        return S_OK;
    }

    std::mutex m_lock;
    std::vector<IMFMediaBuffer *> m_buffers;
    DWORD m_flags = 0;
    bool m_hasTime = false;
    bool m_hasDuration = false;
    LONGLONG m_time = 0;
    LONGLONG m_duration = 0;
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateSample(IMFSample **ppIMFSample)
{
    if (ppIMFSample == nullptr)
        return E_POINTER;
    *ppIMFSample = new vistrel::mf::Sample();
    return S_OK;
}
