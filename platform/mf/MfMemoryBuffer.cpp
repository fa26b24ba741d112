// A buffer in system memory (MFCreateMemoryBuffer): a fixed capacity and a current length within it.
#include "platform/mf/MfObjects.h"

#include <memory>
#include <mutex>

namespace vistrel::mf {
namespace {

class MemoryBuffer final : public UnknownImpl<IMFMediaBuffer>
{
public:
    explicit MemoryBuffer(DWORD maxLength)
        : m_data(new BYTE[maxLength == 0 ? 1 : maxLength]()), m_max(maxLength)
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFMediaBuffer});
    }

    // Locks nest; the memory stays where it is, so a lock only counts.
    HRESULT STDMETHODCALLTYPE Lock(BYTE **ppbBuffer, DWORD *pcbMaxLength, DWORD *pcbCurrentLength) override
    {
        if (ppbBuffer == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_locks;
        *ppbBuffer = m_data.get();
        if (pcbMaxLength != nullptr)
            *pcbMaxLength = m_max;
        if (pcbCurrentLength != nullptr)
            *pcbCurrentLength = m_length;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Unlock() override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_locks > 0)
            --m_locks;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentLength(DWORD *pcbCurrentLength) override
    {
        if (pcbCurrentLength == nullptr)
            return E_POINTER;
        std::lock_guard<std::mutex> lock(m_lock);
        *pcbCurrentLength = m_length;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCurrentLength(DWORD cbCurrentLength) override
    {
        if (cbCurrentLength > m_max)
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        m_length = cbCurrentLength;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMaxLength(DWORD *pcbMaxLength) override
    {
        if (pcbMaxLength == nullptr)
            return E_POINTER;
        *pcbMaxLength = m_max;
        return S_OK;
    }

private:
    const std::unique_ptr<BYTE[]> m_data;
    const DWORD m_max;
    std::mutex m_lock;
    DWORD m_length = 0;
    ULONG m_locks = 0;
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer **ppBuffer)
{
    if (ppBuffer == nullptr)
        return E_POINTER;
    *ppBuffer = new vistrel::mf::MemoryBuffer(cbMaxLength);
    return S_OK;
}
