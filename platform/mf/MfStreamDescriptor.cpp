// A stream descriptor: the stream's identifier, attributes and media type handler (MFCreateStreamDescriptor).
#include "platform/mf/MfAttributesImpl.h"
#include "platform/mf/MfMediaTypeHandler.h"

namespace vistrel::mf {
namespace {

class StreamDescriptor final : public AttributesImpl<IMFStreamDescriptor>
{
public:
    StreamDescriptor(DWORD identifier, DWORD count, IMFMediaType **types)
        : m_identifier(identifier), m_handler(new MediaTypeHandler(count, types))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes, &IID_IMFStreamDescriptor});
    }

    HRESULT STDMETHODCALLTYPE GetStreamIdentifier(DWORD *pdwStreamIdentifier) override
    {
        if (pdwStreamIdentifier == nullptr)
            return E_POINTER;
        *pdwStreamIdentifier = m_identifier;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetMediaTypeHandler(IMFMediaTypeHandler **ppMediaTypeHandler) override
    {
        if (ppMediaTypeHandler == nullptr)
            return E_POINTER;
        m_handler->AddRef();
        *ppMediaTypeHandler = m_handler;
        return S_OK;
    }

private:
    ~StreamDescriptor() override { m_handler->Release(); }

    const DWORD m_identifier;
    MediaTypeHandler *const m_handler;
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateStreamDescriptor(DWORD dwStreamIdentifier, DWORD cMediaTypes, IMFMediaType **apMediaTypes,
                                 IMFStreamDescriptor **ppDescriptor)
{
    if (ppDescriptor == nullptr)
        return E_POINTER;
    *ppDescriptor = nullptr;
    if (cMediaTypes == 0 || apMediaTypes == nullptr)
        return E_INVALIDARG;
    for (DWORD i = 0; i < cMediaTypes; ++i) {
        if (apMediaTypes[i] == nullptr)
            return E_INVALIDARG;
    }
    *ppDescriptor = new vistrel::mf::StreamDescriptor(dwStreamIdentifier, cMediaTypes, apMediaTypes);
    return S_OK;
}
