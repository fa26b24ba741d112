#include "tests/driver/mediasource/SourceTestSupport.h"

#include "driver/capture/Placeholder.h"
#include "driver/mediasource/FrameFormats.h"
#include "driver/mediasource/VistrelMediaSource.h"
#include "tests/driver/filter/FilterTestSupport.h"

namespace SourceTest {

ComPtr<IMFMediaSource> createSource()
{
    HRESULT hr = S_OK;
    CUnknown *object = VistrelMediaSource::CreateInstance(nullptr, &hr);
    if (object == nullptr || FAILED(hr))
        return {};
    ComPtr<IMFMediaSource> source;
    object->NonDelegatingAddRef();
    object->NonDelegatingQueryInterface(IID_IMFMediaSource, comOutput(source));
    object->NonDelegatingRelease();
    return source;
}

Event nextEvent(IMFMediaEventGenerator *generator)
{
    Event event;
    ComPtr<IMFMediaEvent> got;
    FilterTest::waitFor([&] {
        return generator->GetEvent(MF_EVENT_FLAG_NO_WAIT, got.ReleaseAndGetAddressOf()) !=
               MF_E_NO_EVENTS_AVAILABLE;
    });
    if (!got)
        return event;
    got->GetType(&event.type);
    got->GetStatus(&event.status);
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(got->GetValue(&value))) {
        if (value.vt == VT_UNKNOWN)
            event.unknown = value.punkVal;
        event.hasTime = value.vt == VT_I8;
    }
    PropVariantClear(&value);
    return event;
}

QVector<MediaEventType> queuedEvents(IMFMediaEventGenerator *generator)
{
    QVector<MediaEventType> types;
    ComPtr<IMFMediaEvent> got;
    while (generator->GetEvent(MF_EVENT_FLAG_NO_WAIT, got.ReleaseAndGetAddressOf()) == S_OK) {
        MediaEventType type = MEUnknown;
        got->GetType(&type);
        types << type;
    }
    return types;
}

HRESULT start(IMFMediaSource *source, IMFPresentationDescriptor *descriptor)
{
    PROPVARIANT position;
    PropVariantInit(&position);
    return source->Start(descriptor, &GUID_NULL, &position);
}

HRESULT chooseType(IMFPresentationDescriptor *descriptor, REFGUID subtype)
{
    BOOL selected = FALSE;
    ComPtr<IMFStreamDescriptor> stream;
    HRESULT hr = descriptor->GetStreamDescriptorByIndex(0, &selected, stream.ReleaseAndGetAddressOf());
    ComPtr<IMFMediaTypeHandler> handler;
    if (SUCCEEDED(hr))
        hr = stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf());
    DWORD count = 0;
    if (SUCCEEDED(hr))
        hr = handler->GetMediaTypeCount(&count);
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        ComPtr<IMFMediaType> type;
        GUID offered = GUID_NULL;
        hr = handler->GetMediaTypeByIndex(i, type.ReleaseAndGetAddressOf());
        if (SUCCEEDED(hr))
            hr = type->GetGUID(MF_MT_SUBTYPE, &offered);
        if (SUCCEEDED(hr) && IsEqualGUID(offered, subtype))
            return handler->SetCurrentMediaType(type.Get());
    }
    return FAILED(hr) ? hr : MF_E_INVALIDMEDIATYPE;
}

Sample sampleOf(const Event &event)
{
    Sample seen;
    ComPtr<IMFSample> sample = queryComPtr<IMFSample>(event.unknown, IID_IMFSample);
    if (!sample)
        return seen;
    sample->GetSampleTime(&seen.time);
    sample->GetSampleDuration(&seen.duration);
    UINT32 cleanPoint = 0;
    seen.cleanPoint =
        SUCCEEDED(sample->GetUINT32(MFSampleExtension_CleanPoint, &cleanPoint)) && cleanPoint != 0;
    sample->GetUnknown(MFSampleExtension_Token, IID_IUnknown, comOutput(seen.token));
    ComPtr<IMFMediaBuffer> buffer;
    if (SUCCEEDED(sample->GetBufferByIndex(0, buffer.ReleaseAndGetAddressOf()))) {
        BYTE *data = nullptr;
        DWORD length = 0;
        if (SUCCEEDED(buffer->Lock(&data, nullptr, &length))) {
            seen.bytes = QByteArray(reinterpret_cast<const char *>(data), int(length));
            buffer->Unlock();
        }
    }
    return seen;
}

bool requestSample(IMFMediaStream *stream, Sample &sample, IUnknown *token)
{
    if (FAILED(stream->RequestSample(token)))
        return false;
    for (;;) {
        const Event event = nextEvent(stream);
        if (event.type == MEUnknown)
            return false;
        if (event.type == MEMediaSample) {
            sample = sampleOf(event);
            return true;
        }
    }
}

QByteArray placeholderRgb32(const QSize &size)
{
    const QByteArray frame = Placeholder::frame(size);
    QByteArray converted(int(FrameFormats::rgb32Size(size.width(), size.height())), '\0');
    FrameFormats::bgrBottomUpToRgb32(reinterpret_cast<const uint8_t *>(frame.constData()), size.width(),
                                     size.height(), reinterpret_cast<uint8_t *>(converted.data()));
    return converted;
}

} // namespace SourceTest
