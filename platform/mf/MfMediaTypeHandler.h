// The media type handler of a stream descriptor: the stream's list of types and the one chosen from them.
#pragma once

#include "platform/mf/MfObjects.h"

#include <mutex>
#include <vector>

namespace vistrel::mf {

class MediaTypeHandler final : public UnknownImpl<IMFMediaTypeHandler>
{
public:
    // Keeps a reference to each type.
    MediaTypeHandler(DWORD count, IMFMediaType **types);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    HRESULT STDMETHODCALLTYPE IsMediaTypeSupported(IMFMediaType *pMediaType,
                                                   IMFMediaType **ppMediaType) override;
    HRESULT STDMETHODCALLTYPE GetMediaTypeCount(DWORD *pdwTypeCount) override;
    HRESULT STDMETHODCALLTYPE GetMediaTypeByIndex(DWORD dwIndex, IMFMediaType **ppType) override;
    HRESULT STDMETHODCALLTYPE SetCurrentMediaType(IMFMediaType *pMediaType) override;
    HRESULT STDMETHODCALLTYPE GetCurrentMediaType(IMFMediaType **ppMediaType) override;
    HRESULT STDMETHODCALLTYPE GetMajorType(GUID *pguidMajorType) override;

private:
    ~MediaTypeHandler() override;

    std::vector<IMFMediaType *> m_types;
    std::mutex m_lock;
    IMFMediaType *m_current = nullptr;
};

} // namespace vistrel::mf
