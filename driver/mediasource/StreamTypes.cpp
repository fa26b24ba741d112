#include "driver/mediasource/StreamTypes.h"

#include "driver/mediasource/FrameFormats.h"
#include "platform/windows/ComPtr.h"

#include <cmath>

namespace StreamTypes {
namespace {

// Whole rates as n/1, others (29.97) to a thousandth.
void frameRate(double fps, UINT32 *numerator, UINT32 *denominator)
{
    if (std::floor(fps) == fps) {
        *numerator = UINT32(fps);
        *denominator = 1;
        return;
    }
    *numerator = UINT32(std::lround(fps * 1000.0));
    *denominator = 1000;
}

size_t frameBytes(REFGUID subtype, const QSize &size)
{
    if (IsEqualGUID(subtype, MFVideoFormat_NV12))
        return FrameFormats::nv12Size(size.width(), size.height());
    if (IsEqualGUID(subtype, MFVideoFormat_RGB32))
        return FrameFormats::rgb32Size(size.width(), size.height());
    return 0;
}

LONG frameStride(REFGUID subtype, const QSize &size)
{
    return IsEqualGUID(subtype, MFVideoFormat_NV12) ? FrameFormats::nv12Stride(size.width())
                                                    : FrameFormats::rgb32Stride(size.width());
}

} // namespace

LONGLONG frameInterval(double fps)
{
    return fps > 0.0 ? LONGLONG(10000000.0 / fps) : 0;
}

HRESULT createVideoType(REFGUID subtype, const QSize &size, double fps, IMFMediaType **type)
{
    if (type == NULL)
        return E_POINTER;
    *type = NULL;
    const size_t bytes = frameBytes(subtype, size);
    if (bytes == 0 || fps <= 0.0)
        return MF_E_INVALIDMEDIATYPE;

    ComPtr<IMFMediaType> made;
    HRESULT hr = MFCreateMediaType(made.ReleaseAndGetAddressOf());
    UINT32 numerator = 0, denominator = 1;
    frameRate(fps, &numerator, &denominator);
    if (SUCCEEDED(hr))
        hr = made->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    if (SUCCEEDED(hr))
        hr = made->SetGUID(MF_MT_SUBTYPE, subtype);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeSize(made.Get(), MF_MT_FRAME_SIZE, UINT32(size.width()), UINT32(size.height()));
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(made.Get(), MF_MT_FRAME_RATE, numerator, denominator);
    if (SUCCEEDED(hr))
        hr = MFSetAttributeRatio(made.Get(), MF_MT_PIXEL_ASPECT_RATIO, 1, 1);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_MT_INTERLACE_MODE, MFVideoInterlace_Progressive);
    // A positive stride: the rows are top-down in both layouts.
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_MT_DEFAULT_STRIDE, UINT32(frameStride(subtype, size)));
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_MT_SAMPLE_SIZE, UINT32(bytes));
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    if (FAILED(hr))
        return hr;
    *type = made.Detach();
    return S_OK;
}

HRESULT createStreamDescriptor(const QSize &size, double fps, IMFStreamDescriptor **descriptor)
{
    if (descriptor == NULL)
        return E_POINTER;
    *descriptor = NULL;

    // NV12 needs even sides; a picture with an odd one is offered as RGB32 only.
    IMFMediaType *types[2] = {NULL, NULL};
    DWORD count = 0;
    HRESULT hr = S_OK;
    for (const GUID *subtype : {&MFVideoFormat_NV12, &MFVideoFormat_RGB32}) {
        if (frameBytes(*subtype, size) == 0)
            continue;
        hr = createVideoType(*subtype, size, fps, &types[count]);
        if (FAILED(hr))
            break;
        ++count;
    }
    ComPtr<IMFStreamDescriptor> made;
    if (SUCCEEDED(hr) && count == 0)
        hr = MF_E_INVALIDMEDIATYPE;
    if (SUCCEEDED(hr))
        hr = MFCreateStreamDescriptor(0, count, types, made.ReleaseAndGetAddressOf());
    for (IMFMediaType *type : types) {
        if (type != NULL)
            type->Release();
    }
    ComPtr<IMFMediaTypeHandler> handler;
    if (SUCCEEDED(hr))
        hr = made->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
    ComPtr<IMFMediaType> first;
    if (SUCCEEDED(hr))
        hr = handler->GetMediaTypeByIndex(0, first.ReleaseAndGetAddressOf());
    if (SUCCEEDED(hr))
        hr = handler->SetCurrentMediaType(first.Get());
    if (SUCCEEDED(hr))
        hr = made->SetGUID(MF_DEVICESTREAM_STREAM_CATEGORY, PINNAME_VIDEO_CAPTURE);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_DEVICESTREAM_STREAM_ID, 0);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_DEVICESTREAM_FRAMESERVER_SHARED, 1);
    if (SUCCEEDED(hr))
        hr = made->SetUINT32(MF_DEVICESTREAM_ATTRIBUTE_FRAMESOURCE_TYPES, MFFrameSourceTypes_Color);
    if (FAILED(hr))
        return hr;
    *descriptor = made.Detach();
    return S_OK;
}

HRESULT formatOf(IMFMediaType *type, const QSize &size, double fps, StreamFormat *format)
{
    if (type == NULL || format == NULL)
        return E_POINTER;
    GUID subtype = GUID_NULL;
    UINT32 width = 0, height = 0;
    if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) ||
        FAILED(MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &width, &height)))
        return MF_E_INVALIDMEDIATYPE;
    const size_t bytes = frameBytes(subtype, size);
    if (bytes == 0 || width != UINT32(size.width()) || height != UINT32(size.height()))
        return MF_E_INVALIDMEDIATYPE;
    format->subtype = subtype;
    format->size = size;
    format->frameInterval = frameInterval(fps);
    format->sampleSize = DWORD(bytes);
    return S_OK;
}

} // namespace StreamTypes
