// IEnumMediaTypes over a fixed list of types; every type handed out is a new task-allocated copy.
#pragma once

#include "platform/dshow/RuntimeObjects.h"
#include "platform/dshow/dshow.h"

#include <mutex>
#include <vector>

namespace vistrel::dshow {

class MediaTypeEnumerator final : public IEnumMediaTypes, private LiveObject
{
public:
    // Copies the types; an empty list enumerates nothing.
    explicit MediaTypeEnumerator(const std::vector<const AM_MEDIA_TYPE *> &types, size_t position = 0);
    ~MediaTypeEnumerator();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes,
                                   ULONG *pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cMediaTypes) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes **ppEnum) override;

private:
    RefCount m_refs;
    std::mutex m_lock;
    std::vector<AM_MEDIA_TYPE *> m_types;
    size_t m_position;
};

} // namespace vistrel::dshow
