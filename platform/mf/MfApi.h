// Media Foundation's functions (mfapi.h, mfidl.h, propidl.h) as the stand-in exports them, and the SDK's
// inline helpers for packed attribute pairs. Reached through platform/mf/mfidl.h only.
#pragma once

#include "platform/mf/MfInterfaces.h"
#include "platform/mf/MfTypes.h"

#include <cstring>

#define VISTREL_MF_API extern "C" __attribute__((visibility("default")))

// Property variants.
inline void PropVariantInit(PROPVARIANT *pvar)
{
    std::memset(pvar, 0, sizeof(PROPVARIANT));
}
VISTREL_MF_API HRESULT PropVariantClear(PROPVARIANT *pvar);
VISTREL_MF_API HRESULT PropVariantCopy(PROPVARIANT *pvarDest, const PROPVARIANT *pvarSrc);

// The platform: started and shut down in pairs; the asynchronous work queue runs while it is started.
VISTREL_MF_API HRESULT MFStartup(ULONG Version, DWORD dwFlags = MFSTARTUP_FULL);
VISTREL_MF_API HRESULT MFShutdown();
VISTREL_MF_API MFTIME MFGetSystemTime();

// Objects.
VISTREL_MF_API HRESULT MFCreateAttributes(IMFAttributes **ppMFAttributes, UINT32 cInitialSize);
VISTREL_MF_API HRESULT MFCreateMediaType(IMFMediaType **ppMFType);
VISTREL_MF_API HRESULT MFCreateMediaEvent(MediaEventType met, REFGUID guidExtendedType, HRESULT hrStatus,
                                          const PROPVARIANT *pvValue, IMFMediaEvent **ppEvent);
VISTREL_MF_API HRESULT MFCreateEventQueue(IMFMediaEventQueue **ppMediaEventQueue);
VISTREL_MF_API HRESULT MFCreateAsyncResult(IUnknown *punkObject, IMFAsyncCallback *pCallback,
                                           IUnknown *punkState, IMFAsyncResult **ppAsyncResult);
VISTREL_MF_API HRESULT MFInvokeCallback(IMFAsyncResult *pAsyncResult);
VISTREL_MF_API HRESULT MFCreateStreamDescriptor(DWORD dwStreamIdentifier, DWORD cMediaTypes,
                                                IMFMediaType **apMediaTypes,
                                                IMFStreamDescriptor **ppDescriptor);
VISTREL_MF_API HRESULT MFCreatePresentationDescriptor(DWORD cStreamDescriptors,
                                                      IMFStreamDescriptor **apStreamDescriptors,
                                                      IMFPresentationDescriptor **ppPresentationDescriptor);
VISTREL_MF_API HRESULT MFCreateSample(IMFSample **ppIMFSample);
VISTREL_MF_API HRESULT MFCreateMemoryBuffer(DWORD cbMaxLength, IMFMediaBuffer **ppBuffer);

// Number of stand-in objects alive right now, so that tests can prove that nothing was leaked. Not Windows'.
VISTREL_MF_API LONG VistrelMfLiveObjects();

// Two 32-bit values packed into one 64-bit attribute: the high half first (a width, a numerator).
inline UINT64 Pack2UINT32AsUINT64(UINT32 unHigh, UINT32 unLow)
{
    return (static_cast<UINT64>(unHigh) << 32) | unLow;
}

inline void Unpack2UINT32AsUINT64(UINT64 unPacked, UINT32 *punHigh, UINT32 *punLow)
{
    *punHigh = static_cast<UINT32>(unPacked >> 32);
    *punLow = static_cast<UINT32>(unPacked);
}

inline HRESULT MFSetAttribute2UINT32asUINT64(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 unHigh32,
                                             UINT32 unLow32)
{
    return pAttributes->SetUINT64(guidKey, Pack2UINT32AsUINT64(unHigh32, unLow32));
}

inline HRESULT MFGetAttribute2UINT32asUINT64(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 *punHigh32,
                                             UINT32 *punLow32)
{
    UINT64 packed = 0;
    const HRESULT hr = pAttributes->GetUINT64(guidKey, &packed);
    if (SUCCEEDED(hr))
        Unpack2UINT32AsUINT64(packed, punHigh32, punLow32);
    return hr;
}

inline HRESULT MFSetAttributeSize(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 unWidth,
                                  UINT32 unHeight)
{
    return MFSetAttribute2UINT32asUINT64(pAttributes, guidKey, unWidth, unHeight);
}

inline HRESULT MFGetAttributeSize(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 *punWidth,
                                  UINT32 *punHeight)
{
    return MFGetAttribute2UINT32asUINT64(pAttributes, guidKey, punWidth, punHeight);
}

inline HRESULT MFSetAttributeRatio(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 unNumerator,
                                   UINT32 unDenominator)
{
    return MFSetAttribute2UINT32asUINT64(pAttributes, guidKey, unNumerator, unDenominator);
}

inline HRESULT MFGetAttributeRatio(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 *punNumerator,
                                   UINT32 *punDenominator)
{
    return MFGetAttribute2UINT32asUINT64(pAttributes, guidKey, punNumerator, punDenominator);
}

inline UINT32 MFGetAttributeUINT32(IMFAttributes *pAttributes, REFGUID guidKey, UINT32 unDefault)
{
    UINT32 value = 0;
    return SUCCEEDED(pAttributes->GetUINT32(guidKey, &value)) ? value : unDefault;
}

inline UINT64 MFGetAttributeUINT64(IMFAttributes *pAttributes, REFGUID guidKey, UINT64 unDefault)
{
    UINT64 value = 0;
    return SUCCEEDED(pAttributes->GetUINT64(guidKey, &value)) ? value : unDefault;
}
