// A media type: attributes plus the comparisons that format negotiation uses (MFCreateMediaType).
#include "platform/mf/MfAttributesImpl.h"

namespace vistrel::mf {
namespace {

// Whether the attributes of one type are a subset of the other's with equal values, leaving out those that
// IsEqual ignores for the format data.
bool formatDataEqual(IMFMediaType *a, IMFMediaType *b)
{
    const auto ignored = [](REFGUID key) {
        return IsEqualGUID(key, MF_MT_USER_DATA) || IsEqualGUID(key, MF_MT_FRAME_RATE_RANGE_MIN) ||
               IsEqualGUID(key, MF_MT_FRAME_RATE_RANGE_MAX);
    };
    const auto containedIn = [&](IMFMediaType *smaller, IMFMediaType *larger) {
        UINT32 count = 0;
        if (FAILED(smaller->GetCount(&count)))
            return false;
        for (UINT32 i = 0; i < count; ++i) {
            GUID key;
            PROPVARIANT value;
            PropVariantInit(&value);
            if (FAILED(smaller->GetItemByIndex(i, &key, &value)))
                return false;
            BOOL equal = TRUE;
            if (!ignored(key))
                equal = SUCCEEDED(larger->CompareItem(key, value, &equal)) && equal;
            PropVariantClear(&value);
            if (!equal)
                return false;
        }
        return true;
    };
    return containedIn(a, b) || containedIn(b, a);
}

bool sameItem(IMFMediaType *a, IMFMediaType *b, REFGUID key)
{
    PROPVARIANT first, second;
    PropVariantInit(&first);
    PropVariantInit(&second);
    const bool inFirst = SUCCEEDED(a->GetItem(key, &first));
    const bool inSecond = SUCCEEDED(b->GetItem(key, &second));
    const bool same = inFirst == inSecond && (!inFirst || attributeValuesEqual(first, second));
    PropVariantClear(&first);
    PropVariantClear(&second);
    return same;
}

class MediaType final : public AttributesImpl<IMFMediaType>
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        return answer(this, riid, ppv, {&IID_IMFAttributes, &IID_IMFMediaType});
    }

    HRESULT STDMETHODCALLTYPE GetMajorType(GUID *pguidMajorType) override
    {
        return m_attributes.getGUID(MF_MT_MAJOR_TYPE, pguidMajorType);
    }

    HRESULT STDMETHODCALLTYPE IsCompressedFormat(BOOL *pfCompressed) override
    {
        if (pfCompressed == nullptr)
            return E_POINTER;
        UINT32 independent = 0;
        *pfCompressed =
            FAILED(m_attributes.getUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, &independent)) || !independent;
        return S_OK;
    }

    // S_OK when the types match in every respect, otherwise S_FALSE with the respects in which they match.
    HRESULT STDMETHODCALLTYPE IsEqual(IMFMediaType *pIMediaType, DWORD *pdwFlags) override
    {
        if (pdwFlags == nullptr)
            return E_POINTER;
        *pdwFlags = 0;
        if (pIMediaType == nullptr)
            return E_INVALIDARG;

        GUID ours = GUID_NULL, theirs = GUID_NULL;
        if (FAILED(GetMajorType(&ours)) || FAILED(pIMediaType->GetMajorType(&theirs)))
            return E_INVALIDARG;
        if (IsEqualGUID(ours, theirs))
            *pdwFlags |= MF_MEDIATYPE_EQUAL_MAJOR_TYPES;
        if (sameItem(this, pIMediaType, MF_MT_SUBTYPE))
            *pdwFlags |= MF_MEDIATYPE_EQUAL_FORMAT_TYPES;
        if (formatDataEqual(this, pIMediaType))
            *pdwFlags |= MF_MEDIATYPE_EQUAL_FORMAT_DATA;
        if (sameItem(this, pIMediaType, MF_MT_USER_DATA))
            *pdwFlags |= MF_MEDIATYPE_EQUAL_FORMAT_USER_DATA;

        const DWORD all = MF_MEDIATYPE_EQUAL_MAJOR_TYPES | MF_MEDIATYPE_EQUAL_FORMAT_TYPES |
                          MF_MEDIATYPE_EQUAL_FORMAT_DATA | MF_MEDIATYPE_EQUAL_FORMAT_USER_DATA;
        return *pdwFlags == all ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE GetRepresentation(GUID, LPVOID *ppvRepresentation) override
    {
        if (ppvRepresentation == nullptr)
            return E_POINTER;
        *ppvRepresentation = nullptr;
        return MF_E_UNSUPPORTED_REPRESENTATION;
    }

    HRESULT STDMETHODCALLTYPE FreeRepresentation(GUID, LPVOID) override
    {
        return MF_E_UNSUPPORTED_REPRESENTATION;
    }
};

} // namespace
} // namespace vistrel::mf

HRESULT MFCreateMediaType(IMFMediaType **ppMFType)
{
    if (ppMFType == nullptr)
        return E_POINTER;
    *ppMFType = new vistrel::mf::MediaType();
    return S_OK;
}
