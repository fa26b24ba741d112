// The media source as a Media Foundation consumer drives it: its interfaces and offered types, the
// state machine with the events each step owes, what every call answers after Shutdown, and the samples.
#include "driver/capture/Placeholder.h"
#include "platform/edsdk/EdsSimulator.h"
#include "tests/driver/filter/FilterTestSupport.h"
#include "tests/driver/mediasource/SourceTestSupport.h"

#include <QtTest>

using namespace SourceTest;

namespace {

const LONGLONG k30fps = 333333;
const QSize kSize(960, 640);

ComPtr<IMFMediaStream> streamOf(const Event &event)
{
    return queryComPtr<IMFMediaStream>(event.unknown, IID_IMFMediaStream);
}

// The stream's current type as the consumer set it, read back from the descriptor.
GUID subtypeAt(IMFMediaTypeHandler *handler, DWORD index, IMFMediaType **type)
{
    GUID subtype = GUID_NULL;
    if (SUCCEEDED(handler->GetMediaTypeByIndex(index, type)))
        (*type)->GetGUID(MF_MT_SUBTYPE, &subtype);
    return subtype;
}

UINT32 uint32Of(IMFAttributes *attributes, REFGUID key)
{
    UINT32 value = 0xdeadbeef;
    attributes->GetUINT32(key, &value);
    return value;
}

} // namespace

class TestMediaSource : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED)));
        QCOMPARE(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
        FilterTest::captureLog();
    }
    void cleanupTestCase()
    {
        MFShutdown();
        CoUninitialize();
    }
    void init()
    {
        FilterTest::setUpCameras(false);
        FilterTest::saveSettings(30.0);
        FilterTest::clearLog();
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            FilterTest::printLog();
        // Media Foundation's objects too: event queues, descriptors, samples.
        QVERIFY(
            FilterTest::waitFor([] { return FilterTest::nothingAlive() && VistrelMfLiveObjects() == 0; }));
    }

    void interfacesAndDescriptor()
    {
        ComPtr<IMFMediaSource> source = createSource();
        QVERIFY(source);
        for (const IID *iid : {&IID_IMFMediaSourceEx, &IID_IMFMediaEventGenerator, &IID_IMFGetService,
                               &IID_IKsControl, &IID_IUnknown}) {
            ComPtr<IUnknown> answered;
            QCOMPARE(source->QueryInterface(*iid, comOutput(answered)), S_OK);
        }
        void *refused = reinterpret_cast<void *>(0xdeadbeef);
        QCOMPARE(source->QueryInterface(IID_IMFMediaStream, &refused), E_NOINTERFACE);
        QVERIFY(refused == nullptr);

        DWORD characteristics = 0;
        QCOMPARE(source->GetCharacteristics(&characteristics), S_OK);
        QCOMPARE(characteristics, DWORD(MFMEDIASOURCE_IS_LIVE));
        ComPtr<IMFGetService> services = queryComPtr<IMFGetService>(source, IID_IMFGetService);
        QCOMPARE(services->GetService(GUID_NULL, IID_IUnknown, &refused), MF_E_UNSUPPORTED_SERVICE);
        QVERIFY(refused == nullptr);
        ComPtr<IKsControl> ks = queryComPtr<IKsControl>(source, IID_IKsControl);
        KSPROPERTY property{};
        ULONG returned = 7;
        QCOMPARE(ks->KsProperty(&property, sizeof(property), nullptr, 0, &returned),
                 HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND));
        QCOMPARE(returned, ULONG(0));

        ComPtr<IMFMediaSourceEx> sourceEx = queryComPtr<IMFMediaSourceEx>(source, IID_IMFMediaSourceEx);
        ComPtr<IMFAttributes> attributes;
        QCOMPARE(sourceEx->GetSourceAttributes(attributes.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(attributes);
        QCOMPARE(sourceEx->GetStreamAttributes(1, attributes.ReleaseAndGetAddressOf()),
                 MF_E_INVALIDSTREAMNUMBER);
        QCOMPARE(sourceEx->GetStreamAttributes(0, attributes.ReleaseAndGetAddressOf()), S_OK);
        GUID category = GUID_NULL;
        QCOMPARE(attributes->GetGUID(MF_DEVICESTREAM_STREAM_CATEGORY, &category), S_OK);
        QVERIFY(IsEqualGUID(category, PINNAME_VIDEO_CAPTURE));
        QCOMPARE(uint32Of(attributes.Get(), MF_DEVICESTREAM_STREAM_ID), UINT32(0));
        QCOMPARE(uint32Of(attributes.Get(), MF_DEVICESTREAM_FRAMESERVER_SHARED), UINT32(1));
        QCOMPARE(uint32Of(attributes.Get(), MF_DEVICESTREAM_ATTRIBUTE_FRAMESOURCE_TYPES),
                 UINT32(MFFrameSourceTypes_Color));

        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        DWORD streams = 0;
        QCOMPARE(descriptor->GetStreamDescriptorCount(&streams), S_OK);
        QCOMPARE(streams, DWORD(1));
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> stream;
        QCOMPARE(descriptor->GetStreamDescriptorByIndex(0, &selected, stream.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(selected);
        ComPtr<IMFMediaTypeHandler> handler;
        QCOMPARE(stream->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf()), S_OK);
        DWORD types = 0;
        QCOMPARE(handler->GetMediaTypeCount(&types), S_OK);
        QCOMPARE(types, DWORD(2));
        const struct
        {
            const GUID *subtype;
            UINT32 stride;
            UINT32 sampleSize;
        } expected[] = {{&MFVideoFormat_NV12, 960, 960 * 640 * 3 / 2},
                        {&MFVideoFormat_RGB32, 3840, 960 * 640 * 4}};
        for (DWORD i = 0; i < 2; ++i) {
            ComPtr<IMFMediaType> type;
            QVERIFY(IsEqualGUID(subtypeAt(handler.Get(), i, type.ReleaseAndGetAddressOf()),
                                *expected[i].subtype));
            GUID major = GUID_NULL;
            QCOMPARE(type->GetGUID(MF_MT_MAJOR_TYPE, &major), S_OK);
            QVERIFY(IsEqualGUID(major, MFMediaType_Video));
            UINT32 a = 0, b = 0;
            QCOMPARE(MFGetAttributeSize(type.Get(), MF_MT_FRAME_SIZE, &a, &b), S_OK);
            QCOMPARE(QSize(int(a), int(b)), kSize);
            QCOMPARE(MFGetAttributeRatio(type.Get(), MF_MT_FRAME_RATE, &a, &b), S_OK);
            QCOMPARE(double(a) / double(b), 30.0);
            QCOMPARE(MFGetAttributeRatio(type.Get(), MF_MT_PIXEL_ASPECT_RATIO, &a, &b), S_OK);
            QCOMPARE(a, b);
            QCOMPARE(uint32Of(type.Get(), MF_MT_INTERLACE_MODE), UINT32(MFVideoInterlace_Progressive));
            QCOMPARE(uint32Of(type.Get(), MF_MT_DEFAULT_STRIDE), expected[i].stride);
            QCOMPARE(uint32Of(type.Get(), MF_MT_FIXED_SIZE_SAMPLES), UINT32(TRUE));
            QCOMPARE(uint32Of(type.Get(), MF_MT_SAMPLE_SIZE), expected[i].sampleSize);
            QCOMPARE(uint32Of(type.Get(), MF_MT_ALL_SAMPLES_INDEPENDENT), UINT32(TRUE));
        }
        QCOMPARE(source->Shutdown(), S_OK);
    }

    // NV12 needs even sides: an odd picture is offered, and delivered whole, as 32-bit RGB only.
    void oddSizeIsOfferedAsRgb32Only()
    {
        const QSize odd(1365, 767);
        FilterTest::saveSettings(30.0, odd);
        ComPtr<IMFMediaSource> source = createSource();
        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        BOOL selected = FALSE;
        ComPtr<IMFStreamDescriptor> streamDescriptor;
        QCOMPARE(
            descriptor->GetStreamDescriptorByIndex(0, &selected, streamDescriptor.ReleaseAndGetAddressOf()),
            S_OK);
        ComPtr<IMFMediaTypeHandler> handler;
        QCOMPARE(streamDescriptor->GetMediaTypeHandler(handler.ReleaseAndGetAddressOf()), S_OK);
        DWORD types = 0;
        QCOMPARE(handler->GetMediaTypeCount(&types), S_OK);
        QCOMPARE(types, DWORD(1));
        ComPtr<IMFMediaType> type;
        QVERIFY(IsEqualGUID(subtypeAt(handler.Get(), 0, type.ReleaseAndGetAddressOf()), MFVideoFormat_RGB32));

        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        ComPtr<IMFMediaStream> stream = streamOf(nextEvent(source.Get()));
        QVERIFY(stream);
        Sample sample;
        QVERIFY(requestSample(stream.Get(), sample));
        QVERIFY(sample.bytes == placeholderRgb32(odd));
        QCOMPARE(source->Shutdown(), S_OK);
    }

    // Start, pause, start again, stop, start again: the events of each step, and what is refused.
    void stateMachineAndEvents()
    {
        ComPtr<IMFMediaSource> source = createSource();
        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(source->Pause(), MF_E_INVALID_STATE_TRANSITION);

        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        const Event newStream = nextEvent(source.Get());
        QCOMPARE(newStream.type, MediaEventType(MENewStream));
        ComPtr<IMFMediaStream> stream = streamOf(newStream);
        QVERIFY(stream);
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MESourceStarted));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamStarted));
        ComPtr<IMFMediaSource> owner;
        QCOMPARE(stream->GetMediaSource(owner.ReleaseAndGetAddressOf()), S_OK);
        QVERIFY(owner.Get() == source.Get());
        ComPtr<IMFMediaStream2> stream2 = queryComPtr<IMFMediaStream2>(stream, IID_IMFMediaStream2);
        MF_STREAM_STATE state = MF_STREAM_STATE_STOPPED;
        QCOMPARE(stream2->GetStreamState(&state), S_OK);
        QCOMPARE(state, MF_STREAM_STATE_RUNNING);
        // The stream alone, as the frame server toggles it.
        QCOMPARE(stream2->SetStreamState(MF_STREAM_STATE_PAUSED), S_OK);
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamPaused));
        QCOMPARE(stream2->GetStreamState(&state), S_OK);
        QCOMPARE(state, MF_STREAM_STATE_PAUSED);
        QCOMPARE(stream2->SetStreamState(MF_STREAM_STATE(7)), E_INVALIDARG);
        QCOMPARE(stream2->SetStreamState(MF_STREAM_STATE_RUNNING), S_OK);
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamStarted));

        QCOMPARE(source->Pause(), S_OK);
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MESourcePaused));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamPaused));
        QCOMPARE(source->Pause(), MF_E_INVALID_STATE_TRANSITION);
        // A request while paused waits for the next start.
        QCOMPARE(stream->RequestSample(nullptr), S_OK);
        QCOMPARE(queuedEvents(stream.Get()), QVector<MediaEventType>());

        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        const Event updated = nextEvent(source.Get());
        QCOMPARE(updated.type, MediaEventType(MEUpdatedStream));
        QVERIFY(streamOf(updated).Get() == stream.Get());
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MESourceStarted));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamStarted));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEMediaSample));

        QCOMPARE(source->Stop(), S_OK);
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MESourceStopped));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamStopped));
        QCOMPARE(stream->RequestSample(nullptr), MF_E_MEDIA_SOURCE_WRONGSTATE);
        QCOMPARE(source->Pause(), MF_E_INVALID_STATE_TRANSITION);

        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MEUpdatedStream));
        QCOMPARE(nextEvent(source.Get()).type, MediaEventType(MESourceStarted));
        QCOMPARE(nextEvent(stream.Get()).type, MediaEventType(MEStreamStarted));
        QCOMPARE(source->Shutdown(), S_OK);
    }

    // A second descriptor with another type, then one with the stream deselected and selected again.
    void restartWithNewDescriptors()
    {
        ComPtr<IMFMediaSource> source = createSource();
        ComPtr<IMFPresentationDescriptor> first;
        QCOMPARE(source->CreatePresentationDescriptor(first.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(start(source.Get(), first.Get()), S_OK);
        ComPtr<IMFMediaStream> stream = streamOf(nextEvent(source.Get()));
        QVERIFY(stream);
        Sample sample;
        QVERIFY(requestSample(stream.Get(), sample));
        QCOMPARE(sample.bytes.size(), 960 * 640 * 3 / 2);

        ComPtr<IMFPresentationDescriptor> second;
        QCOMPARE(source->CreatePresentationDescriptor(second.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(chooseType(second.Get(), MFVideoFormat_RGB32), S_OK);
        QCOMPARE(start(source.Get(), second.Get()), S_OK);
        QCOMPARE(queuedEvents(source.Get()),
                 QVector<MediaEventType>({MESourceStarted, MEUpdatedStream, MESourceStarted}));
        QVERIFY(requestSample(stream.Get(), sample));
        QCOMPARE(sample.bytes.size(), 960 * 640 * 4);

        QCOMPARE(second->DeselectStream(0), S_OK);
        QCOMPARE(start(source.Get(), second.Get()), S_OK);
        QCOMPARE(queuedEvents(source.Get()), QVector<MediaEventType>({MESourceStarted}));
        QCOMPARE(stream->RequestSample(nullptr), MF_E_INVALIDREQUEST);

        QCOMPARE(second->SelectStream(0), S_OK);
        QCOMPARE(start(source.Get(), second.Get()), S_OK);
        QCOMPARE(queuedEvents(source.Get()), QVector<MediaEventType>({MENewStream, MESourceStarted}));
        QCOMPARE(source->Shutdown(), S_OK);
    }

    void everythingAfterShutdownIsShutdown()
    {
        ComPtr<IMFMediaSource> source = createSource();
        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        ComPtr<IMFMediaStream> stream = streamOf(nextEvent(source.Get()));
        QVERIFY(stream);
        QCOMPARE(stream->RequestSample(nullptr), S_OK);
        QCOMPARE(source->Shutdown(), S_OK);

        void *sentinel = reinterpret_cast<void *>(0xdeadbeef);
        auto out = [&]() {
            sentinel = reinterpret_cast<void *>(0xdeadbeef);
            return &sentinel;
        };
        DWORD characteristics = 0;
        PROPVARIANT empty;
        PropVariantInit(&empty);
        QCOMPARE(source->GetCharacteristics(&characteristics), MF_E_SHUTDOWN);
        QCOMPARE(source->CreatePresentationDescriptor(reinterpret_cast<IMFPresentationDescriptor **>(out())),
                 MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(start(source.Get(), descriptor.Get()), MF_E_SHUTDOWN);
        QCOMPARE(source->Pause(), MF_E_SHUTDOWN);
        QCOMPARE(source->Stop(), MF_E_SHUTDOWN);
        QCOMPARE(source->Shutdown(), MF_E_SHUTDOWN);
        QCOMPARE(source->GetEvent(MF_EVENT_FLAG_NO_WAIT, reinterpret_cast<IMFMediaEvent **>(out())),
                 MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(source->QueueEvent(MEError, GUID_NULL, S_OK, &empty), MF_E_SHUTDOWN);
        ComPtr<IMFMediaSourceEx> sourceEx = queryComPtr<IMFMediaSourceEx>(source, IID_IMFMediaSourceEx);
        QCOMPARE(sourceEx->GetSourceAttributes(reinterpret_cast<IMFAttributes **>(out())), MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(sourceEx->GetStreamAttributes(0, reinterpret_cast<IMFAttributes **>(out())), MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(sourceEx->SetD3DManager(nullptr), MF_E_SHUTDOWN);
        ComPtr<IMFGetService> services = queryComPtr<IMFGetService>(source, IID_IMFGetService);
        QCOMPARE(services->GetService(GUID_NULL, IID_IUnknown, out()), MF_E_SHUTDOWN);
        ComPtr<IKsControl> ks = queryComPtr<IKsControl>(source, IID_IKsControl);
        ULONG returned = 0;
        QCOMPARE(ks->KsProperty(nullptr, 0, nullptr, 0, &returned), MF_E_SHUTDOWN);
        QCOMPARE(ks->KsMethod(nullptr, 0, nullptr, 0, &returned), MF_E_SHUTDOWN);
        QCOMPARE(ks->KsEvent(nullptr, 0, nullptr, 0, &returned), MF_E_SHUTDOWN);

        QCOMPARE(stream->GetMediaSource(reinterpret_cast<IMFMediaSource **>(out())), MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(stream->GetStreamDescriptor(reinterpret_cast<IMFStreamDescriptor **>(out())), MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(stream->RequestSample(nullptr), MF_E_SHUTDOWN);
        QCOMPARE(stream->GetEvent(MF_EVENT_FLAG_NO_WAIT, reinterpret_cast<IMFMediaEvent **>(out())),
                 MF_E_SHUTDOWN);
        QVERIFY(sentinel == nullptr);
        QCOMPARE(stream->QueueEvent(MEError, GUID_NULL, S_OK, &empty), MF_E_SHUTDOWN);
        ComPtr<IMFMediaStream2> stream2 = queryComPtr<IMFMediaStream2>(stream, IID_IMFMediaStream2);
        MF_STREAM_STATE state = MF_STREAM_STATE_RUNNING;
        QCOMPARE(stream2->GetStreamState(&state), MF_E_SHUTDOWN);
        QCOMPARE(stream2->SetStreamState(MF_STREAM_STATE_RUNNING), MF_E_SHUTDOWN);
    }

    // Time stamps from 0, one frame interval long and increasing; the placeholder first, then the camera.
    void samplesCarryTimesThenTheCamerasPicture()
    {
        ComPtr<IMFMediaSource> source = createSource();
        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(chooseType(descriptor.Get(), MFVideoFormat_RGB32), S_OK);
        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        ComPtr<IMFMediaStream> stream = streamOf(nextEvent(source.Get()));
        QVERIFY(stream);

        const QByteArray placeholder = placeholderRgb32(kSize);
        ComPtr<IUnknown> token = queryComPtr<IUnknown>(descriptor, IID_IUnknown);
        Sample sample;
        QVERIFY(requestSample(stream.Get(), sample, token.Get()));
        QCOMPARE(sample.time, LONGLONG(0));
        QCOMPARE(sample.duration, k30fps);
        QVERIFY(sample.cleanPoint);
        QVERIFY(sample.token.Get() == token.Get());
        QVERIFY(sample.bytes == placeholder);
        // The camera comes once the capture thread tries again.
        QCOMPARE(EdsSimAddCameras("Canon EOS 90D:startup=0"), EDS_ERR_OK);
        LONGLONG last = sample.time;
        int samples = 1;
        do {
            QVERIFY(requestSample(stream.Get(), sample));
            QVERIFY(sample.time > last);
            QCOMPARE(sample.duration, k30fps);
            QCOMPARE(sample.bytes.size(), placeholder.size());
            last = sample.time;
            QVERIFY2(++samples < 100000, "no camera picture");
        } while (sample.bytes == placeholder);

        // A paused run keeps its time line; requests made meanwhile are served after the start.
        QCOMPARE(source->Pause(), S_OK);
        QCOMPARE(stream->RequestSample(nullptr), S_OK);
        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        Event event;
        do
            event = nextEvent(stream.Get());
        while (event.type != MEMediaSample && event.type != MEUnknown);
        QVERIFY(sampleOf(event).time > last);
        QCOMPARE(source->Shutdown(), S_OK);
    }
};

QTEST_GUILESS_MAIN(TestMediaSource)
#include "tst_MediaSource.moc"
