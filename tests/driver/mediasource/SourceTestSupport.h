// Shared by the media source's tests: a source made through its factory function, its events read
// without blocking, and samples as a consumer sees them.
#pragma once

#include "platform/mf/mfidl.h"
#include "platform/windows/ComPtr.h"

#include <QByteArray>
#include <QSize>
#include <QVector>

namespace SourceTest {

ComPtr<IMFMediaSource> createSource();

// An event of a generator, read with MF_EVENT_FLAG_NO_WAIT.
struct Event
{
    MediaEventType type = MEUnknown;
    HRESULT status = S_OK;
    ComPtr<IUnknown> unknown; // a VT_UNKNOWN value
    bool hasTime = false;     // a VT_I8 value
};

// Waits until `generator` has an event; type MEUnknown on time-out.
Event nextEvent(IMFMediaEventGenerator *generator);
// The events already queued, without waiting.
QVector<MediaEventType> queuedEvents(IMFMediaEventGenerator *generator);

// Starts `source` with `descriptor` from the current position.
HRESULT start(IMFMediaSource *source, IMFPresentationDescriptor *descriptor);
// Makes `subtype` the current type of the descriptor's stream.
HRESULT chooseType(IMFPresentationDescriptor *descriptor, REFGUID subtype);

// A sample as the consumer gets it.
struct Sample
{
    LONGLONG time = -1;
    LONGLONG duration = -1;
    bool cleanPoint = false;
    ComPtr<IUnknown> token;
    QByteArray bytes;
};

// Requests one sample and waits for it among the stream's events (the other events are skipped).
bool requestSample(IMFMediaStream *stream, Sample &sample, IUnknown *token = nullptr);
// Reads MEMediaSample's value.
Sample sampleOf(const Event &event);

// The placeholder picture as the stream delivers it in 32-bit RGB.
QByteArray placeholderRgb32(const QSize &size);

} // namespace SourceTest
