#include "platform/dshow/MediaTypeEnumerator.h"

#include "platform/dshow/MediaTypes.h"

#include <new>

namespace vistrel::dshow {

MediaTypeEnumerator::MediaTypeEnumerator(const std::vector<const AM_MEDIA_TYPE *> &types, size_t position)
    : m_position(position)
{
    for (const AM_MEDIA_TYPE *type : types) {
        // A type that cannot be copied is simply not offered.
        if (AM_MEDIA_TYPE *copy = type ? newMediaTypeCopy(*type) : nullptr)
            m_types.push_back(copy);
    }
}

MediaTypeEnumerator::~MediaTypeEnumerator()
{
    for (AM_MEDIA_TYPE *type : m_types)
        deleteMediaTypeBlock(type);
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IEnumMediaTypes)
        return E_NOINTERFACE;
    *ppv = static_cast<IEnumMediaTypes *>(this);
    AddRef();
    return S_OK;
}

ULONG STDMETHODCALLTYPE MediaTypeEnumerator::AddRef()
{
    return m_refs.increment();
}

ULONG STDMETHODCALLTYPE MediaTypeEnumerator::Release()
{
    const ULONG count = m_refs.decrement();
    if (count == 0)
        delete this;
    return count;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Next(ULONG cMediaTypes, AM_MEDIA_TYPE **ppMediaTypes,
                                                    ULONG *pcFetched)
{
    if (pcFetched)
        *pcFetched = 0;
    if (!ppMediaTypes)
        return E_POINTER;
    if (cMediaTypes > 1 && !pcFetched)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    ULONG fetched = 0;
    while (fetched < cMediaTypes && m_position < m_types.size()) {
        AM_MEDIA_TYPE *copy = newMediaTypeCopy(*m_types[m_position]);
        if (!copy)
            break;
        ppMediaTypes[fetched++] = copy;
        ++m_position;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cMediaTypes ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Skip(ULONG cMediaTypes)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (cMediaTypes > m_types.size() - m_position) {
        m_position = m_types.size();
        return S_FALSE;
    }
    m_position += cMediaTypes;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Reset()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_position = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE MediaTypeEnumerator::Clone(IEnumMediaTypes **ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    const std::vector<const AM_MEDIA_TYPE *> types(m_types.begin(), m_types.end());
    *ppEnum = new (std::nothrow) MediaTypeEnumerator(types, m_position);
    return *ppEnum ? S_OK : E_OUTOFMEMORY;
}

} // namespace vistrel::dshow
