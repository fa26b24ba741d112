#include "driver/filter/base/CMediaType.h"

#include <cstring>

CMediaType::CMediaType()
{
    InitMediaType();
}

CMediaType::CMediaType(const GUID *type)
{
    InitMediaType();
    if (type != NULL)
        majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE &rt, HRESULT *phr)
{
    InitMediaType();
    const HRESULT hr = CopyMediaType(this, &rt);
    if (FAILED(hr) && phr != NULL)
        *phr = hr;
}

CMediaType::CMediaType(const CMediaType &rt, HRESULT *phr)
    : CMediaType(static_cast<const AM_MEDIA_TYPE &>(rt), phr)
{
}

CMediaType::~CMediaType()
{
    FreeMediaType(*this);
}

CMediaType &CMediaType::operator=(const CMediaType &rt)
{
    Set(rt);
    return *this;
}

CMediaType &CMediaType::operator=(const AM_MEDIA_TYPE &rt)
{
    Set(rt);
    return *this;
}

BOOL CMediaType::operator==(const CMediaType &rt) const
{
    if (majortype != rt.majortype || subtype != rt.subtype || formattype != rt.formattype)
        return FALSE;
    if (cbFormat != rt.cbFormat)
        return FALSE;
    if (cbFormat == 0)
        return TRUE;
    return pbFormat != NULL && rt.pbFormat != NULL && std::memcmp(pbFormat, rt.pbFormat, cbFormat) == 0;
}

BOOL CMediaType::operator!=(const CMediaType &rt) const
{
    return !(*this == rt);
}

HRESULT CMediaType::Set(const CMediaType &rt)
{
    return Set(static_cast<const AM_MEDIA_TYPE &>(rt));
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE &rt)
{
    if (&rt == this)
        return S_OK;
    FreeMediaType(*this);
    const HRESULT hr = CopyMediaType(this, &rt);
    return FAILED(hr) ? E_OUTOFMEMORY : S_OK;
}

BOOL CMediaType::IsValid() const
{
    return majortype != GUID_NULL;
}

void CMediaType::SetType(const GUID *ptype)
{
    majortype = *ptype;
}

void CMediaType::SetSubtype(const GUID *ptype)
{
    subtype = *ptype;
}

void CMediaType::SetFormatType(const GUID *pformattype)
{
    formattype = *pformattype;
}

ULONG CMediaType::GetSampleSize() const
{
    return IsFixedSize() ? lSampleSize : 0;
}

void CMediaType::SetSampleSize(ULONG sz)
{
    if (sz == 0) {
        SetVariableSize();
    } else {
        bFixedSizeSamples = TRUE;
        lSampleSize = sz;
    }
}

void CMediaType::SetVariableSize()
{
    bFixedSizeSamples = FALSE;
}

void CMediaType::SetTemporalCompression(BOOL bCompressed)
{
    bTemporalCompression = bCompressed;
}

BOOL CMediaType::SetFormat(BYTE *pFormat, ULONG length)
{
    if (length != 0 && pFormat == NULL)
        return FALSE;
    if (AllocFormatBuffer(length) == NULL && length != 0)
        return FALSE;
    if (length != 0)
        std::memcpy(pbFormat, pFormat, length);
    return TRUE;
}

void CMediaType::ResetFormatBuffer()
{
    if (pbFormat != NULL)
        CoTaskMemFree(pbFormat);
    cbFormat = 0;
    pbFormat = NULL;
}

BYTE *CMediaType::AllocFormatBuffer(ULONG length)
{
    if (length == 0) {
        ResetFormatBuffer();
        return NULL;
    }
    if (cbFormat == length && pbFormat != NULL)
        return pbFormat;
    BYTE *pNewFormat = static_cast<BYTE *>(CoTaskMemAlloc(length));
    if (pNewFormat == NULL)
        return NULL;
    ResetFormatBuffer();
    cbFormat = length;
    pbFormat = pNewFormat;
    return pbFormat;
}

BYTE *CMediaType::ReallocFormatBuffer(ULONG length)
{
    if (length == 0) {
        ResetFormatBuffer();
        return NULL;
    }
    if (cbFormat == length && pbFormat != NULL)
        return pbFormat;
    BYTE *pNewFormat = static_cast<BYTE *>(CoTaskMemAlloc(length));
    if (pNewFormat == NULL)
        return NULL;
    if (pbFormat != NULL)
        std::memcpy(pNewFormat, pbFormat, cbFormat < length ? cbFormat : length);
    ResetFormatBuffer();
    cbFormat = length;
    pbFormat = pNewFormat;
    return pbFormat;
}

void CMediaType::InitMediaType()
{
    std::memset(static_cast<AM_MEDIA_TYPE *>(this), 0, sizeof(AM_MEDIA_TYPE));
    lSampleSize = 1;
    bFixedSizeSamples = TRUE;
}

BOOL CMediaType::MatchesPartial(const CMediaType *ppartial) const
{
    if (ppartial->majortype != GUID_NULL && majortype != ppartial->majortype)
        return FALSE;
    if (ppartial->subtype != GUID_NULL && subtype != ppartial->subtype)
        return FALSE;
    if (ppartial->formattype != GUID_NULL) {
        if (formattype != ppartial->formattype || cbFormat != ppartial->cbFormat)
            return FALSE;
        if (cbFormat != 0 && (pbFormat == NULL || ppartial->pbFormat == NULL ||
                              std::memcmp(pbFormat, ppartial->pbFormat, cbFormat) != 0))
            return FALSE;
    }
    return TRUE;
}

BOOL CMediaType::IsPartiallySpecified() const
{
    return majortype == GUID_NULL || formattype == GUID_NULL;
}

void WINAPI FreeMediaType(AM_MEDIA_TYPE &mt)
{
    if (mt.cbFormat != 0 && mt.pbFormat != NULL)
        CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = NULL;
    if (mt.pUnk != NULL) {
        mt.pUnk->Release();
        mt.pUnk = NULL;
    }
}

void WINAPI DeleteMediaType(AM_MEDIA_TYPE *pmt)
{
    if (pmt == NULL)
        return;
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
}

AM_MEDIA_TYPE *WINAPI CreateMediaType(const AM_MEDIA_TYPE *pSrc)
{
    if (pSrc == NULL)
        return NULL;
    AM_MEDIA_TYPE *pMediaType = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (pMediaType == NULL)
        return NULL;
    if (FAILED(CopyMediaType(pMediaType, pSrc))) {
        CoTaskMemFree(pMediaType);
        return NULL;
    }
    return pMediaType;
}

HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE *pmtTarget, const AM_MEDIA_TYPE *pmtSource)
{
    CheckPointer(pmtTarget, E_POINTER);
    if (pmtSource == NULL) {
        std::memset(pmtTarget, 0, sizeof(AM_MEDIA_TYPE));
        return E_POINTER;
    }
    if (pmtTarget == pmtSource)
        return S_OK;
    *pmtTarget = *pmtSource;
    // The target never shares the source's block: a type whose block length is 0 carries no block.
    pmtTarget->pbFormat = NULL;
    pmtTarget->cbFormat = 0;
    if (pmtSource->cbFormat != 0) {
        // A type that claims a format block but has none is refused rather than read through a null pointer.
        if (pmtSource->pbFormat == NULL) {
            pmtTarget->pUnk = NULL;
            return E_INVALIDARG;
        }
        pmtTarget->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(pmtSource->cbFormat));
        if (pmtTarget->pbFormat == NULL) {
            // The pUnk was copied without a reference of its own; the target must not release it.
            pmtTarget->pUnk = NULL;
            return E_OUTOFMEMORY;
        }
        std::memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
        pmtTarget->cbFormat = pmtSource->cbFormat;
    }
    if (pmtTarget->pUnk != NULL)
        pmtTarget->pUnk->AddRef();
    return S_OK;
}

namespace {
// Subtypes of uncompressed bitmaps and the base of FOURCC subtypes, by their Windows SDK values.
constexpr GUID kSubtypeRgb1 = {0xe436eb78, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kSubtypeRgb4 = {0xe436eb79, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kSubtypeRgb8 = {0xe436eb7a, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kSubtypeRgb555 = {
    0xe436eb7c, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kSubtypeRgb24 = {0xe436eb7d, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kSubtypeRgb32 = {0xe436eb7e, 0x524f, 0x11ce, {0x9f, 0x53, 0x00, 0x20, 0xaf, 0x0b, 0xa7, 0x70}};
constexpr GUID kFourccBase = {0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
} // namespace

GUID WINAPI GetBitmapSubtype(const BITMAPINFOHEADER *pbmiHeader)
{
    if (pbmiHeader == NULL)
        return GUID_NULL;
    if (pbmiHeader->biCompression == BI_RGB) {
        switch (pbmiHeader->biBitCount) {
        case 1:
            return kSubtypeRgb1;
        case 4:
            return kSubtypeRgb4;
        case 8:
            return kSubtypeRgb8;
        case 16:
            return kSubtypeRgb555;
        case 24:
            return kSubtypeRgb24;
        case 32:
            return kSubtypeRgb32;
        default:
            return GUID_NULL;
        }
    }
    if (pbmiHeader->biCompression == BI_BITFIELDS)
        return GUID_NULL; // which one depends on colour masks that a bare header does not carry
    GUID fourcc = kFourccBase;
    fourcc.Data1 = pbmiHeader->biCompression;
    return fourcc;
}
