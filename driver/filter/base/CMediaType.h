// AM_MEDIA_TYPE with value semantics: copies own their format block (COM task memory), and the block and
// the pUnk reference are released with the object. Plus the free helpers for bare AM_MEDIA_TYPEs.
#pragma once

#include "driver/filter/base/BaseDefs.h"

class CMediaType : public AM_MEDIA_TYPE
{
public:
    CMediaType();
    explicit CMediaType(const GUID *majortype);
    CMediaType(const AM_MEDIA_TYPE &rt, HRESULT *phr = NULL);
    CMediaType(const CMediaType &rt, HRESULT *phr = NULL);
    ~CMediaType();

    CMediaType &operator=(const CMediaType &rt);
    CMediaType &operator=(const AM_MEDIA_TYPE &rt);

    // Same major type, subtype, format type and format block.
    BOOL operator==(const CMediaType &rt) const;
    BOOL operator!=(const CMediaType &rt) const;

    // Replaces this type by a copy of `rt`; E_OUTOFMEMORY when the format block could not be copied.
    HRESULT Set(const CMediaType &rt);
    HRESULT Set(const AM_MEDIA_TYPE &rt);

    BOOL IsValid() const;

    const GUID *Type() const { return &majortype; }
    void SetType(const GUID *ptype);
    const GUID *Subtype() const { return &subtype; }
    void SetSubtype(const GUID *ptype);
    const GUID *FormatType() const { return &formattype; }
    void SetFormatType(const GUID *pformattype);

    BOOL IsFixedSize() const { return bFixedSizeSamples; }
    BOOL IsTemporalCompressed() const { return bTemporalCompression; }
    ULONG GetSampleSize() const;
    void SetSampleSize(ULONG sz);
    void SetVariableSize();
    void SetTemporalCompression(BOOL bCompressed);

    BYTE *Format() const { return pbFormat; }
    ULONG FormatLength() const { return cbFormat; }
    // Copies `length` bytes into a format block of exactly that size.
    BOOL SetFormat(BYTE *pFormat, ULONG length);
    void ResetFormatBuffer();
    // A format block of `length` bytes (contents undefined when newly made); NULL when out of memory.
    BYTE *AllocFormatBuffer(ULONG length);
    // As AllocFormatBuffer, keeping the leading bytes of the old block.
    BYTE *ReallocFormatBuffer(ULONG length);

    // An empty type: everything zero, fixed-size samples of size 1.
    void InitMediaType();
    // Whether this type matches every field that `ppartial` specifies (non-null GUIDs).
    BOOL MatchesPartial(const CMediaType *ppartial) const;
    // Whether the major type or the format type is left open.
    BOOL IsPartiallySpecified() const;
};

// Releases the format block and pUnk of `mt`, leaving it without either.
void WINAPI FreeMediaType(AM_MEDIA_TYPE &mt);
// Frees a type made by CreateMediaType (or handed out by an enumerator), block and structure.
void WINAPI DeleteMediaType(AM_MEDIA_TYPE *pmt);
// A new copy in COM task memory, or NULL.
AM_MEDIA_TYPE *WINAPI CreateMediaType(const AM_MEDIA_TYPE *pSrc);
// Copies `pmtSource` into `pmtTarget` (which holds nothing that needs freeing). On failure the target owns
// nothing: no format block and no pUnk.
HRESULT WINAPI CopyMediaType(AM_MEDIA_TYPE *pmtTarget, const AM_MEDIA_TYPE *pmtSource);

// The media subtype that a bitmap header describes (GUID_NULL when it names none we know).
GUID WINAPI GetBitmapSubtype(const BITMAPINFOHEADER *pbmiHeader);
