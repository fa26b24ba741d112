// A presentation descriptor: the source's stream descriptors, which of them are selected, and attributes
// (MFCreatePresentationDescriptor). Streams start deselected; clones share the stream descriptors and copy
// the rest.
#include "platform/mf/MfAttributesImpl.h"

#include <mutex>
#include <vector>

namespace vistrel::mf {
namespace {

class PresentationDescriptor final : public AttributesImpl<IMFPresentationDescriptor>
{
public:
    PresentationDescriptor(DWORD count, IMFStreamDescriptor *const *streams)
        : m_streams(streams, streams + count)
    {
        for (IMFStreamDescriptor *stream : m_streams)
            stream->AddRef();
        m_selected.assign(count, false);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes, &IID_IMFPresentationDescriptor});
    }

    HRESULT STDMETHODCALLTYPE GetStreamDescriptorCount(DWORD *pdwDescriptorCount) override
    {
        if (pdwDescriptorCount == nullptr)
            return E_POINTER;
        *pdwDescriptorCount = static_cast<DWORD>(m_streams.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetStreamDescriptorByIndex(DWORD dwIndex, BOOL *pfSelected,
                                                         IMFStreamDescriptor **ppDescriptor) override
    {
        if (pfSelected == nullptr || ppDescriptor == nullptr)
            return E_POINTER;
        *ppDescriptor = nullptr;
        if (dwIndex >= m_streams.size())
            return E_INVALIDARG;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            *pfSelected = m_selected[dwIndex] ? TRUE : FALSE;
        }
        *ppDescriptor = m_streams[dwIndex];
        (*ppDescriptor)->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SelectStream(DWORD dwDescriptorIndex) override
    {
        return select(dwDescriptorIndex, true);
    }

    HRESULT STDMETHODCALLTYPE DeselectStream(DWORD dwDescriptorIndex) override
    {
        return select(dwDescriptorIndex, false);
    }

    HRESULT STDMETHODCALLTYPE Clone(IMFPresentationDescriptor **ppPresentationDescriptor) override
    {
        if (ppPresentationDescriptor == nullptr)
            return E_POINTER;
        *ppPresentationDescriptor = nullptr;
        auto *clone = new PresentationDescriptor(static_cast<DWORD>(m_streams.size()), m_streams.data());
        {
            std::lock_guard<std::mutex> lock(m_lock);
            clone->m_selected = m_selected;
        }
        const HRESULT hr = m_attributes.copyAllItems(clone);
        if (FAILED(hr)) {
            clone->Release();
            return hr;
        }
        *ppPresentationDescriptor = clone;
        return S_OK;
    }

private:
    ~PresentationDescriptor() override
    {
        for (IMFStreamDescriptor *stream : m_streams)
            stream->Release();
    }

    HRESULT select(DWORD index, bool selected)
    {
        if (index >= m_streams.size())
            return E_INVALIDARG;
        std::lock_guard<std::mutex> lock(m_lock);
        m_selected[index] = selected;
        return S_OK;
    }

    const std::vector<IMFStreamDescriptor *> m_streams;
    std::mutex m_lock;
    std::vector<bool> m_selected;
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreatePresentationDescriptor(DWORD cStreamDescriptors, IMFStreamDescriptor **apStreamDescriptors,
                                       IMFPresentationDescriptor **ppPresentationDescriptor)
{
    if (ppPresentationDescriptor == nullptr)
        return E_POINTER;
    *ppPresentationDescriptor = nullptr;
    if (cStreamDescriptors != 0 && apStreamDescriptors == nullptr)
        return E_INVALIDARG;
    for (DWORD i = 0; i < cStreamDescriptors; ++i) {
        if (apStreamDescriptors[i] == nullptr)
            return E_INVALIDARG;
    }
    *ppPresentationDescriptor =
        new vistrel::mf::PresentationDescriptor(cStreamDescriptors, apStreamDescriptors);
    return S_OK;
}
