// The video types the media source offers and the descriptor of its one stream: NV12 first (what
// capture pipelines prefer), then 32-bit RGB, both at the capture thread's output size and rate.
#pragma once

#include "platform/mf/mfidl.h"

#include <QSize>

// What a sample carries: the chosen type's subtype and picture, and the time one frame lasts.
struct StreamFormat
{
    GUID subtype = GUID_NULL;
    QSize size;
    LONGLONG frameInterval = 0; // 100-ns units
    DWORD sampleSize = 0;
};

namespace StreamTypes {

// The frame interval for `fps` frames per second, in 100-ns units, as the filter stamps it.
LONGLONG frameInterval(double fps);

// A new type of `subtype` (NV12 or RGB32) with every attribute a capture client looks at.
HRESULT createVideoType(REFGUID subtype, const QSize &size, double fps, IMFMediaType **type);

// The stream's descriptor (identifier 0) with the offered types, the first one current, and the
// attributes that tell the frame server a shared colour capture stream.
HRESULT createStreamDescriptor(const QSize &size, double fps, IMFStreamDescriptor **descriptor);

// The format `type` asks for, when it is one of ours at `size`; MF_E_INVALIDMEDIATYPE otherwise.
HRESULT formatOf(IMFMediaType *type, const QSize &size, double fps, StreamFormat *format);

} // namespace StreamTypes
