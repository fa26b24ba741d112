#include "platform/mf/MfMediaTypeHandler.h"

namespace vistrel::mf {

MediaTypeHandler::MediaTypeHandler(DWORD count, IMFMediaType **types) : m_types(types, types + count)
{
    for (IMFMediaType *type : m_types)
        type->AddRef();
}

MediaTypeHandler::~MediaTypeHandler()
{
    for (IMFMediaType *type : m_types)
        type->Release();
    if (m_current != nullptr)
        m_current->Release();
}

HRESULT MediaTypeHandler::QueryInterface(REFIID riid, void **ppv)
{
    return answer(this, riid, ppv, {&IID_IMFMediaTypeHandler});
}

// A type is supported when the current type or one of the stream's types has its major type and subtype; like
// Windows' handler, this one leaves the rest (size, rate) to the source that uses the type.
HRESULT MediaTypeHandler::IsMediaTypeSupported(IMFMediaType *pMediaType, IMFMediaType **ppMediaType)
{
    if (pMediaType == nullptr)
        return E_POINTER;
    if (ppMediaType != nullptr)
        *ppMediaType = nullptr;
    const auto matches = [pMediaType](IMFMediaType *type) {
        const DWORD needed = MF_MEDIATYPE_EQUAL_MAJOR_TYPES | MF_MEDIATYPE_EQUAL_FORMAT_TYPES;
        DWORD flags = 0;
        return SUCCEEDED(type->IsEqual(pMediaType, &flags)) && (flags & needed) == needed;
    };
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_current != nullptr && matches(m_current))
        return S_OK;
    for (IMFMediaType *type : m_types) {
        if (matches(type))
            return S_OK;
    }
    return MF_E_INVALIDMEDIATYPE;
}

HRESULT MediaTypeHandler::GetMediaTypeCount(DWORD *pdwTypeCount)
{
    if (pdwTypeCount == nullptr)
        return E_POINTER;
    *pdwTypeCount = static_cast<DWORD>(m_types.size());
    return S_OK;
}

HRESULT MediaTypeHandler::GetMediaTypeByIndex(DWORD dwIndex, IMFMediaType **ppType)
{
    if (ppType == nullptr)
        return E_POINTER;
    *ppType = nullptr;
    if (dwIndex >= m_types.size())
        return MF_E_NO_MORE_TYPES;
    *ppType = m_types[dwIndex];
    (*ppType)->AddRef();
    return S_OK;
}

// Windows' handler takes the type as given, without checking it against the list.
HRESULT MediaTypeHandler::SetCurrentMediaType(IMFMediaType *pMediaType)
{
    if (pMediaType == nullptr)
        return E_POINTER;
    pMediaType->AddRef();
    IMFMediaType *previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        previous = m_current;
        m_current = pMediaType;
    }
    if (previous != nullptr)
        previous->Release();
    return S_OK;
}

HRESULT MediaTypeHandler::GetCurrentMediaType(IMFMediaType **ppMediaType)
{
    if (ppMediaType == nullptr)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *ppMediaType = m_current;
    if (m_current == nullptr)
        return MF_E_NOT_INITIALIZED;
    m_current->AddRef();
    return S_OK;
}

// The current type's major type, or else the first listed type's.
HRESULT MediaTypeHandler::GetMajorType(GUID *pguidMajorType)
{
    if (pguidMajorType == nullptr)
        return E_POINTER;
    IMFMediaType *type = nullptr;
    if (FAILED(GetCurrentMediaType(&type))) {
        if (m_types.empty())
            return MF_E_ATTRIBUTENOTFOUND;
        type = m_types.front();
        type->AddRef();
    }
    const HRESULT hr = type->GetMajorType(pguidMajorType);
    type->Release();
    return hr;
}

} // namespace vistrel::mf
