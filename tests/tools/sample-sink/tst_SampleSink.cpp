// The sample sink: accepting and refusing connections, receiving samples from a hand-written output pin,
// end of stream and completion, and releasing a blocked sender when it stops.
#include "platform/windows/ComPtr.h"
#include "tests/platform/dshow/ComTestSupport.h"
#include "tests/platform/dshow/TestFilter.h"
#include "tools/sample-sink/SampleSink.h"

#include <QtTest>

#include <cwchar>
#include <future>
#include <stdexcept>

using namespace vistrel::dshow;
using namespace vistrel::sink;

Q_DECLARE_METATYPE(GUID)

namespace {

struct Copy
{
    std::vector<BYTE> bytes;
    bool hasStartTime = false;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool syncPoint = false;
    GUID subtype{};
    LONG width = 0;
};

// A source and a sink in a running graph, every received sample copied.
struct Rig
{
    std::vector<Copy> received;
    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEvent> events;
    ComPtr<TestFilter> source;
    ComPtr<SampleSink> sink;
    VIDEOINFOHEADER format{};

    bool build(const SampleSinkOptions &extra = {})
    {
        SampleSinkOptions options = extra;
        if (!options.onSample) {
            options.onSample = [this](const ReceivedSample &sample) {
                Copy copy;
                copy.bytes.assign(sample.data, sample.data + sample.length);
                copy.hasStartTime = sample.hasStartTime;
                copy.start = sample.start;
                copy.stop = sample.stop;
                copy.syncPoint = sample.syncPoint;
                copy.subtype = sample.mediaType->subtype;
                copy.width =
                    reinterpret_cast<const VIDEOINFOHEADER *>(sample.mediaType->pbFormat)->bmiHeader.biWidth;
                received.push_back(copy);
            };
        }
        sink = adoptComPtr<SampleSink>(SampleSink::create(options));
        source = adoptComPtr<TestFilter>(new TestFilter("source", PINDIR_OUTPUT, nullptr));
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         comOutput(graph));
        if (!sink || !graph)
            return false;
        control = queryComPtr<IMediaControl>(graph, IID_IMediaControl);
        events = queryComPtr<IMediaEvent>(graph, IID_IMediaEvent);
        graph->AddFilter(source.Get(), L"source");
        graph->AddFilter(sink.Get(), L"sink");
        const AM_MEDIA_TYPE type = videoType(format, 4, 2);
        return graph->ConnectDirect(source->pin(), sink->inputPin(), &type) == S_OK;
    }
};

} // namespace

class SampleSinkTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        QCOMPARE(TestFilter::liveFilters.load(), 0);
        QCOMPARE(VistrelDShowLiveObjects(), 0);
        QCOMPARE(vistrel::sink::objectsAlive(), 0);
    }

    void receivesWhatTheSourceDelivers()
    {
        Rig rig;
        QVERIFY(rig.build());
        AM_MEDIA_TYPE connected{};
        QCOMPARE(rig.sink->inputPin()->ConnectionMediaType(&connected), S_OK);
        QVERIFY(connected.subtype == MEDIASUBTYPE_RGB24);
        QCOMPARE(connected.cbFormat, ULONG(sizeof(VIDEOINFOHEADER)));
        QVERIFY(connected.pbFormat != reinterpret_cast<BYTE *>(&rig.format));
        CoTaskMemFree(connected.pbFormat);

        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.sink->inputPin()->Disconnect(), VFW_E_NOT_STOPPED);
        for (BYTE i = 0; i < 3; ++i) {
            const std::vector<BYTE> bytes(24, static_cast<BYTE>(0x10 + i));
            QCOMPARE(rig.source->pin()->deliver(bytes, i * 333333, (i + 1) * 333333), S_OK);
        }
        QVERIFY(rig.sink->waitForSamples(3, 300000));
        QCOMPARE(rig.sink->samplesReceived(), LONG(3));
        QCOMPARE(rig.received.size(), size_t(3));
        QCOMPARE(rig.received[2].bytes, std::vector<BYTE>(24, 0x12));
        QVERIFY(rig.received[2].hasStartTime);
        QCOMPARE(rig.received[2].start, REFERENCE_TIME(666666));
        QCOMPARE(rig.received[2].stop, REFERENCE_TIME(999999));
        QVERIFY(rig.received[2].syncPoint);
        QVERIFY(rig.received[2].subtype == MEDIASUBTYPE_RGB24);
        QCOMPARE(rig.received[2].width, LONG(4));
        QCOMPARE(rig.control->Stop(), S_OK);
    }

    void reconnectionAgreesOnATypeAfresh()
    {
        Rig rig;
        QVERIFY(rig.build());
        // Without a type to insist on, the source proposes its own (64 x 48) and the sink takes it.
        QCOMPARE(rig.graph->Reconnect(rig.sink->inputPin()), S_OK);
        AM_MEDIA_TYPE connected{};
        QCOMPARE(rig.sink->inputPin()->ConnectionMediaType(&connected), S_OK);
        QCOMPARE(reinterpret_cast<VIDEOINFOHEADER *>(connected.pbFormat)->bmiHeader.biWidth, LONG(64));
        CoTaskMemFree(connected.pbFormat);
        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.source->pin()->deliver(std::vector<BYTE>(64 * 48 * 3, 7), 0, 1), S_OK);
        QVERIFY(rig.sink->waitForSamples(1, 300000));
        QCOMPARE(rig.received.front().width, LONG(64));
        QCOMPARE(rig.received.front().bytes.size(), size_t(64 * 48 * 3));
        QCOMPARE(rig.control->Stop(), S_OK);
    }

    void connectionTypes_data()
    {
        QTest::addColumn<GUID>("major");
        QTest::addColumn<GUID>("subtype");
        QTest::addColumn<GUID>("format");
        QTest::addColumn<ULONG>("formatSize");
        QTest::addColumn<HRESULT>("result");
        QTest::newRow("RGB24 video") << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << FORMAT_VideoInfo
                                     << ULONG(sizeof(VIDEOINFOHEADER)) << S_OK;
        QTest::newRow("audio") << MEDIATYPE_Audio << MEDIASUBTYPE_RGB24 << FORMAT_VideoInfo
                               << ULONG(sizeof(VIDEOINFOHEADER)) << VFW_E_TYPE_NOT_ACCEPTED;
        QTest::newRow("other subtype") << MEDIATYPE_Video << MEDIASUBTYPE_RGB32 << FORMAT_VideoInfo
                                       << ULONG(sizeof(VIDEOINFOHEADER)) << VFW_E_TYPE_NOT_ACCEPTED;
        QTest::newRow("other format") << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << FORMAT_VideoInfo2
                                      << ULONG(sizeof(VIDEOINFOHEADER)) << VFW_E_TYPE_NOT_ACCEPTED;
        QTest::newRow("short format block") << MEDIATYPE_Video << MEDIASUBTYPE_RGB24 << FORMAT_VideoInfo
                                            << ULONG(sizeof(VIDEOINFOHEADER) - 1) << VFW_E_TYPE_NOT_ACCEPTED;
    }
    void connectionTypes()
    {
        QFETCH(GUID, major);
        QFETCH(GUID, subtype);
        QFETCH(GUID, format);
        QFETCH(ULONG, formatSize);
        QFETCH(HRESULT, result);
        SampleSinkOptions options;
        options.subtype = MEDIASUBTYPE_RGB24;
        options.formatType = FORMAT_VideoInfo;
        ComPtr<SampleSink> sink = adoptComPtr<SampleSink>(SampleSink::create(options));
        ComPtr<TestFilter> source = adoptComPtr<TestFilter>(new TestFilter("source", PINDIR_OUTPUT, nullptr));
        VIDEOINFOHEADER header{};
        AM_MEDIA_TYPE type = videoType(header, 8, 8, subtype);
        type.majortype = major;
        type.formattype = format;
        type.cbFormat = formatSize;
        QCOMPARE(sink->inputPin()->QueryAccept(&type), result == S_OK ? S_OK : S_FALSE);
        QCOMPARE(sink->inputPin()->ReceiveConnection(source->pin(), &type), result);
        if (result == S_OK) {
            QCOMPARE(sink->inputPin()->ReceiveConnection(source->pin(), &type), VFW_E_ALREADY_CONNECTED);
            QCOMPARE(sink->inputPin()->Disconnect(), S_OK);
        }
        QCOMPARE(sink->inputPin()->Disconnect(), S_FALSE);
        QCOMPARE(referenceCount(source.Get()), ULONG(1));
    }

    void refusesSamplesItCannotTake()
    {
        Rig rig;
        QVERIFY(rig.build());
        // Stopped: the sender's allocator is not even committed, and a sample handed over anyway is refused.
        QCOMPARE(rig.source->pin()->deliver({1, 2, 3}, 0, 1), VFW_E_NOT_COMMITTED);
        IMemAllocator *allocator = rig.source->pin()->allocator();
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> sample;
        QCOMPARE(allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        ComPtr<IMemInputPin> input =
            queryComPtr<IMemInputPin>(ComPtr<IPin>(rig.sink->inputPin()), IID_IMemInputPin);
        QVERIFY(input);
        QCOMPARE(input->Receive(sample.Get()), VFW_E_WRONG_STATE);
        QCOMPARE(input->Receive(nullptr), E_POINTER);

        QCOMPARE(rig.control->Pause(), S_OK);
        QCOMPARE(input->Receive(sample.Get()), S_OK);
        QCOMPARE(input->ReceiveCanBlock(), S_FALSE);
        // After end of stream nothing more is taken until the next stop.
        QCOMPARE(rig.sink->inputPin()->EndOfStream(), S_OK);
        QCOMPARE(input->Receive(sample.Get()), VFW_E_SAMPLE_REJECTED_EOS);
        sample.Reset();
        QCOMPARE(rig.control->Stop(), S_OK);
        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.source->pin()->deliver({1, 2, 3}, 0, 1), S_OK);
        QCOMPARE(rig.control->Stop(), S_OK);
    }

    void endOfStreamCompletesWhenRunning()
    {
        Rig rig;
        QVERIFY(rig.build());
        LONG code = 0;
        LONG_PTR first = 0;
        LONG_PTR second = 0;

        // Paused: the completion waits for the run.
        QCOMPARE(rig.control->Pause(), S_OK);
        QCOMPARE(rig.source->pin()->deliverEndOfStream(), S_OK);
        QVERIFY(rig.sink->waitForEndOfStream(300000));
        QCOMPARE(rig.events->GetEvent(&code, &first, &second, 0), E_ABORT);
        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.events->GetEvent(&code, &first, &second, 300000), S_OK);
        QCOMPARE(code, LONG(EC_COMPLETE));
        QCOMPARE(second, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter *>(rig.sink.Get())));

        QCOMPARE(rig.control->Stop(), S_OK);
        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.source->pin()->deliverEndOfStream(), S_OK);
        QCOMPARE(rig.events->GetEvent(&code, &first, &second, 300000), S_OK);
        QCOMPARE(code, LONG(EC_COMPLETE));
        QCOMPARE(rig.sink->endOfStreamCount(), LONG(2));
        QCOMPARE(rig.control->Stop(), S_OK);
    }

    void stopReleasesASenderWaitingForABuffer()
    {
        Rig rig;
        QVERIFY(rig.build());
        QCOMPARE(rig.control->Run(), S_OK);
        IMemAllocator *allocator = rig.source->pin()->allocator();
        ComPtr<IMediaSample> first;
        ComPtr<IMediaSample> second;
        QCOMPARE(allocator->GetBuffer(first.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        QCOMPARE(allocator->GetBuffer(second.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        std::promise<void> calling;
        auto sender = std::async(std::launch::async, [&] {
            calling.set_value();
            return rig.source->pin()->deliver({1}, 0, 1);
        });
        calling.get_future().wait();
        QCOMPARE(rig.control->Stop(), S_OK);
        QCOMPARE(sender.wait_for(std::chrono::minutes(5)), std::future_status::ready);
        QCOMPARE(sender.get(), VFW_E_NOT_COMMITTED);
    }

    void aThrowingCallbackRefusesTheSample()
    {
        SampleSinkOptions options;
        options.onSample = [](const ReceivedSample &) { throw std::runtime_error("refused"); };
        Rig rig;
        QVERIFY(rig.build(options));
        QCOMPARE(rig.control->Run(), S_OK);
        QCOMPARE(rig.source->pin()->deliver({1, 2}, 0, 1), E_FAIL);
        QCOMPARE(rig.sink->samplesReceived(), LONG(0));
        QCOMPARE(rig.control->Stop(), S_OK);
    }

    void pinAndFilterBasics()
    {
        VIDEOINFOHEADER header{};
        const AM_MEDIA_TYPE offered = videoType(header, 16, 16);
        SampleSinkOptions options;
        options.offeredType = &offered;
        ComPtr<SampleSink> sink = adoptComPtr<SampleSink>(SampleSink::create(options));
        QVERIFY(sink);
        IPin *pin = sink->inputPin();

        PIN_DIRECTION direction = PINDIR_OUTPUT;
        QCOMPARE(pin->QueryDirection(&direction), S_OK);
        QCOMPARE(direction, PINDIR_INPUT);
        LPWSTR id = nullptr;
        QCOMPARE(pin->QueryId(&id), S_OK);
        QCOMPARE(std::wcscmp(id, L"In"), 0);
        CoTaskMemFree(id);
        PIN_INFO info{};
        QCOMPARE(pin->QueryPinInfo(&info), S_OK);
        QCOMPARE(info.pFilter, static_cast<IBaseFilter *>(sink.Get()));
        info.pFilter->Release();
        IPin *peer = sentinel<IPin>();
        QCOMPARE(pin->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        QVERIFY(peer == nullptr);

        ComPtr<IEnumMediaTypes> types;
        QCOMPARE(pin->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
        AM_MEDIA_TYPE *listed[2] = {};
        ULONG fetched = 0;
        QCOMPARE(types->Next(2, listed, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(1));
        QCOMPARE(reinterpret_cast<VIDEOINFOHEADER *>(listed[0]->pbFormat)->bmiHeader.biWidth, LONG(16));
        CoTaskMemFree(listed[0]->pbFormat);
        CoTaskMemFree(listed[0]);
        types.Reset();

        IPin *found = sentinel<IPin>();
        QCOMPARE(sink->FindPin(L"In", &found), S_OK);
        QCOMPARE(found, pin);
        found->Release();
        QCOMPARE(sink->FindPin(L"Out", &found), VFW_E_NOT_FOUND);
        QVERIFY(found == nullptr);
        ComPtr<IEnumPins> pins;
        QCOMPARE(sink->EnumPins(pins.ReleaseAndGetAddressOf()), S_OK);
        ComPtr<IPin> only;
        QCOMPARE(pins->Next(1, only.ReleaseAndGetAddressOf(), nullptr), S_OK);
        QCOMPARE(only.Get(), pin);
        QCOMPARE(pins->Next(1, only.ReleaseAndGetAddressOf(), nullptr), S_FALSE);
        pins.Reset();
        QCOMPARE(referenceCount(sink.Get()), ULONG(1));

        // The pin is the sink's: its references are the filter's.
        ComPtr<IMemInputPin> input = queryComPtr<IMemInputPin>(ComPtr<IPin>(pin), IID_IMemInputPin);
        QVERIFY(input);
        QCOMPARE(referenceCount(sink.Get()), ULONG(2));
        void *other = sentinel<void>();
        QCOMPARE(pin->QueryInterface(IID_IBaseFilter, &other), E_NOINTERFACE);
        QVERIFY(other == nullptr);
        QCOMPARE(sink->QueryInterface(IID_IPin, &other), E_NOINTERFACE);
    }
};

QTEST_GUILESS_MAIN(SampleSinkTest)
#include "tst_SampleSink.moc"
