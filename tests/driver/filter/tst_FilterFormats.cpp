// The pin's formats as applications see them: the offered type, which types it accepts, the stream
// configuration and pin category interfaces, and how the filter routes queries to the pin.
#include "driver/filter/VideoType.h"
#include "driver/filter/VistrelCamGuids.h"
#include "tests/driver/filter/FilterTestSupport.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace FilterTest;

namespace {

// A bare type as an application would hand it in, owning its format block.
struct TestType
{
    CMediaType mt;
    VIDEOINFOHEADER *vih = nullptr;

    TestType(const QSize &size, REFERENCE_TIME interval, const GUID &subtype = MEDIASUBTYPE_RGB24)
    {
        VideoType::build(&mt, size, interval);
        mt.subtype = subtype;
        vih = reinterpret_cast<VIDEOINFOHEADER *>(mt.pbFormat);
    }
};

REFERENCE_TIME intervalOf(const AM_MEDIA_TYPE &mt)
{
    const VIDEOINFOHEADER *vih = VideoType::videoInfo(mt);
    return vih != nullptr ? vih->AvgTimePerFrame : -1;
}

struct Caps
{
    HRESULT hr = E_FAIL;
    AM_MEDIA_TYPE *type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ~Caps() { DeleteMediaType(type); }
};

void readCaps(IAMStreamConfig *config, int index, Caps *out)
{
    out->hr = config->GetStreamCaps(index, &out->type, reinterpret_cast<BYTE *>(&out->caps));
}

} // namespace

class TestFilterFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED)));
        captureLog();
    }
    void cleanupTestCase() { CoUninitialize(); }
    void init()
    {
        // No camera: the formats do not depend on one, and the capture thread just retries.
        setUpCameras(false);
        saveSettings(30.0);
        clearLog();
    }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            printLog();
        QVERIFY(waitFor(nothingAlive));
    }

    void offersNineIdenticalTypes()
    {
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        CVCamStream *pin = pinOf(filter.Get());

        ComPtr<IEnumMediaTypes> types;
        QCOMPARE(static_cast<IPin *>(pin)->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
        QVector<AM_MEDIA_TYPE *> seen;
        for (;;) {
            AM_MEDIA_TYPE *type = nullptr;
            ULONG fetched = 0;
            if (types->Next(1, &type, &fetched) != S_OK)
                break;
            seen << type;
        }
        QCOMPARE(seen.size(), 9);
        const CMediaType first(*seen.first());
        for (AM_MEDIA_TYPE *type : seen) {
            QVERIFY(first == CMediaType(*type));
            QCOMPARE(type->lSampleSize, ULONG(960 * 640 * 3));
            QVERIFY(type->bFixedSizeSamples);
            DeleteMediaType(type);
        }
        const VIDEOINFOHEADER *vih = VideoType::videoInfo(first);
        QVERIFY(vih != nullptr);
        QVERIFY(first.subtype == MEDIASUBTYPE_RGB24);
        QCOMPARE(vih->AvgTimePerFrame, REFERENCE_TIME(333333));
        QCOMPARE(vih->bmiHeader.biWidth, LONG(960));
        QCOMPARE(vih->bmiHeader.biHeight, LONG(640));
        QCOMPARE(vih->bmiHeader.biSizeImage, DWORD(1843200));

        CMediaType type;
        QCOMPARE(pin->GetMediaType(-1, &type), E_INVALIDARG);
        QCOMPARE(pin->GetMediaType(9, &type), VFW_S_NO_MORE_ITEMS);
        QCOMPARE(pin->GetMediaType(0, nullptr), E_POINTER);
    }

    // The configured rate gives the offered interval; the pin accepts it only from 10 to 10,000 fps.
    void offeredIntervalFollowsFrameRate_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<qlonglong>("interval");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("30") << 30.0 << 333333LL << true;
        QTest::newRow("25") << 25.0 << 400000LL << true;
        QTest::newRow("29.97") << 29.97 << 333667LL << true;
        QTest::newRow("10") << 10.0 << 1000000LL << true;
        QTest::newRow("9.99") << 9.99 << 1001001LL << false;
        QTest::newRow("10000") << 10000.0 << 1000LL << true;
        QTest::newRow("10001") << 10001.0 << 999LL << false;
        const qlonglong longest = std::numeric_limits<qlonglong>::max();
        QTest::newRow("zero") << 0.0 << longest << false;
        QTest::newRow("negative") << -5.0 << longest << false;
        QTest::newRow("not a number") << std::nan("") << longest << false;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << longest << false;
    }
    void offeredIntervalFollowsFrameRate()
    {
        QFETCH(double, fps);
        QFETCH(qlonglong, interval);
        QFETCH(bool, accepted);
        saveSettings(fps);
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        CVCamStream *pin = pinOf(filter.Get());

        CMediaType offered;
        QCOMPARE(pin->GetMediaType(0, &offered), S_OK);
        QCOMPARE(qlonglong(intervalOf(offered)), interval);
        QCOMPARE(pin->CheckMediaType(&offered), accepted ? S_OK : E_INVALIDARG);
        // An unusable rate is reported once, when the pin is made, not at every enumeration.
        QCOMPARE(countLinesStartingWith("Frame rate"),
                 interval == std::numeric_limits<qlonglong>::max() ? 1 : 0);
    }

    void acceptsOnlyRgb24VideoInfo_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<HRESULT>("expected");
        QTest::newRow("other picture size") << 0 << S_OK;
        QTest::newRow("RGB32") << 1 << E_INVALIDARG;
        QTest::newRow("VideoInfo2") << 2 << E_INVALIDARG;
        QTest::newRow("interval 0") << 3 << E_INVALIDARG;
        QTest::newRow("negative interval") << 4 << E_INVALIDARG;
        QTest::newRow("audio") << 5 << E_INVALIDARG;
        QTest::newRow("format block too short") << 6 << E_INVALIDARG;
        QTest::newRow("no format block") << 7 << E_INVALIDARG;
    }
    void acceptsOnlyRgb24VideoInfo()
    {
        QFETCH(int, variant);
        QFETCH(HRESULT, expected);
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        TestType type(QSize(320, 240), 400000, variant == 1 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24);
        if (variant == 2)
            type.mt.formattype = FORMAT_VideoInfo2;
        if (variant == 3)
            type.vih->AvgTimePerFrame = 0;
        if (variant == 4)
            type.vih->AvgTimePerFrame = -333333;
        if (variant == 5)
            type.mt.majortype = MEDIATYPE_Audio;
        if (variant == 6)
            type.mt.cbFormat = 40;
        if (variant == 7)
            type.mt.ResetFormatBuffer();
        QCOMPARE(pinOf(filter.Get())->CheckMediaType(&type.mt), expected);
    }

    void streamCapsAreOneCapabilityForEveryIndex()
    {
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        IAMStreamConfig *config = pinOf(filter.Get());

        int count = 0;
        int size = 0;
        QCOMPARE(config->GetNumberOfCapabilities(&count, &size), S_OK);
        QCOMPARE(count, 1);
        QCOMPARE(size, 128);

        Caps first, second, seventh;
        readCaps(config, 0, &first);
        readCaps(config, 1, &second);
        readCaps(config, 7, &seventh);
        for (Caps *caps : {&first, &second, &seventh}) {
            QCOMPARE(caps->hr, S_OK);
            QVERIFY(std::memcmp(&caps->caps, &first.caps, sizeof(first.caps)) == 0);
            QVERIFY(CMediaType(*caps->type) == CMediaType(*first.type));
        }
        const VIDEO_STREAM_CONFIG_CAPS &c = first.caps;
        QVERIFY(c.guid == FORMAT_VideoInfo);
        QCOMPARE(c.InputSize.cx, LONG(960));
        QCOMPARE(c.MaxOutputSize.cy, LONG(640));
        QCOMPARE(c.CropGranularityX, 960);
        QCOMPARE(c.MinFrameInterval, LONGLONG(333333));
        QCOMPARE(c.MaxFrameInterval, LONGLONG(333333));
        QCOMPARE(c.MinBitsPerSecond, LONG(442368000));
        QCOMPARE(c.MaxBitsPerSecond, LONG(442368000));
        QVERIFY(!first.type->bFixedSizeSamples);
        QCOMPARE(first.type->lSampleSize, ULONG(1843200));
    }

    // The caps take the interval of the type set last and the size of the capture thread; the bit rate
    // neither wraps nor divides by zero.
    void streamCapsFollowTheFormatSet_data()
    {
        QTest::addColumn<QSize>("outputSize");
        QTest::addColumn<qlonglong>("interval");
        QTest::addColumn<qlonglong>("bitRate");
        QTest::newRow("25 fps") << QSize(960, 640) << 400000LL << 25LL * 960 * 640 * 24;
        QTest::newRow("past 32 bits")
            << QSize(1920, 1080) << 1000LL << qlonglong(std::numeric_limits<LONG>::max());
        QTest::newRow("interval 0") << QSize(960, 640) << 0LL << 0LL;
        QTest::newRow("negative interval") << QSize(960, 640) << -400000LL << 0LL;
    }
    void streamCapsFollowTheFormatSet()
    {
        QFETCH(QSize, outputSize);
        QFETCH(qlonglong, interval);
        QFETCH(qlonglong, bitRate);
        saveSettings(30.0, outputSize);
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        IAMStreamConfig *config = pinOf(filter.Get());

        TestType set(QSize(320, 240), interval);
        QCOMPARE(config->SetFormat(&set.mt), S_OK);
        AM_MEDIA_TYPE *got = nullptr;
        QCOMPARE(config->GetFormat(&got), S_OK);
        QVERIFY(CMediaType(*got) == set.mt);
        QCOMPARE(got->lSampleSize, set.mt.lSampleSize);
        DeleteMediaType(got);

        Caps caps;
        readCaps(config, 0, &caps);
        QCOMPARE(caps.hr, S_OK);
        QCOMPARE(qlonglong(caps.caps.MinFrameInterval), interval);
        QCOMPARE(qlonglong(caps.caps.MaxFrameInterval), interval);
        QCOMPARE(caps.caps.MinOutputSize.cx, LONG(outputSize.width()));
        QCOMPARE(caps.caps.MinOutputSize.cy, LONG(outputSize.height()));
        QCOMPARE(qlonglong(caps.caps.MaxBitsPerSecond), bitRate);
        const VIDEOINFOHEADER *vih = VideoType::videoInfo(*caps.type);
        QCOMPARE(vih->bmiHeader.biWidth, LONG(outputSize.width()));
        QCOMPARE(vih->AvgTimePerFrame, REFERENCE_TIME(interval));
    }

    void streamConfigRefusesWhatItCannotRead()
    {
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        IAMStreamConfig *config = pinOf(filter.Get());
        AM_MEDIA_TYPE *sentinel = reinterpret_cast<AM_MEDIA_TYPE *>(0xdeadbeef);

        QCOMPARE(config->SetFormat(nullptr), E_POINTER);
        QCOMPARE(config->GetFormat(nullptr), E_POINTER);
        int count = 0;
        QCOMPARE(config->GetNumberOfCapabilities(nullptr, &count), E_POINTER);
        QCOMPARE(config->GetNumberOfCapabilities(&count, nullptr), E_POINTER);
        VIDEO_STREAM_CONFIG_CAPS caps{};
        QCOMPARE(config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE *>(&caps)), E_POINTER);
        AM_MEDIA_TYPE *type = sentinel;
        QCOMPARE(config->GetStreamCaps(0, &type, nullptr), E_POINTER);
        QVERIFY(type == nullptr);

        // A type without a whole VIDEOINFOHEADER changes nothing.
        TestType shortBlock(QSize(320, 240), 400000);
        shortBlock.mt.cbFormat = 40;
        QCOMPARE(config->SetFormat(&shortBlock.mt), VFW_E_INVALIDMEDIATYPE);
        TestType otherFormat(QSize(320, 240), 400000);
        otherFormat.mt.formattype = FORMAT_VideoInfo2;
        QCOMPARE(config->SetFormat(&otherFormat.mt), VFW_E_INVALIDMEDIATYPE);
        QCOMPARE(config->GetFormat(&type), S_OK);
        QCOMPARE(intervalOf(*type), REFERENCE_TIME(333333));
        QCOMPARE(VideoType::videoInfo(*type)->bmiHeader.biWidth, LONG(960));
        DeleteMediaType(type);
    }

    void pinCategoryProperty_data()
    {
        QTest::addColumn<bool>("otherSet");
        QTest::addColumn<DWORD>("property");
        QTest::addColumn<int>("bufferSize"); // -1: no buffer
        QTest::addColumn<bool>("withLength");
        QTest::addColumn<HRESULT>("expected");
        QTest::addColumn<DWORD>("returned");
        QTest::newRow("category") << false << DWORD(AMPROPERTY_PIN_CATEGORY) << 16 << true << S_OK
                                  << DWORD(16);
        QTest::newRow("category, no length")
            << false << DWORD(AMPROPERTY_PIN_CATEGORY) << 16 << false << S_OK << DWORD(0xdeadbeef);
        QTest::newRow("length only") << false << DWORD(AMPROPERTY_PIN_CATEGORY) << -1 << true << S_OK
                                     << DWORD(16);
        QTest::newRow("8-byte buffer")
            << false << DWORD(AMPROPERTY_PIN_CATEGORY) << 8 << true << E_UNEXPECTED << DWORD(16);
        QTest::newRow("nothing to write to")
            << false << DWORD(AMPROPERTY_PIN_CATEGORY) << -1 << false << E_POINTER << DWORD(0xdeadbeef);
        QTest::newRow("other property") << false << DWORD(AMPROPERTY_PIN_MEDIUM) << 16 << true
                                        << E_PROP_ID_UNSUPPORTED << DWORD(0xdeadbeef);
        QTest::newRow("other set") << true << DWORD(AMPROPERTY_PIN_CATEGORY) << 16 << true
                                   << E_PROP_SET_UNSUPPORTED << DWORD(0xdeadbeef);
    }
    void pinCategoryProperty()
    {
        QFETCH(bool, otherSet);
        QFETCH(DWORD, property);
        QFETCH(int, bufferSize);
        QFETCH(bool, withLength);
        QFETCH(HRESULT, expected);
        QFETCH(DWORD, returned);
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        IKsPropertySet *properties = pinOf(filter.Get());
        const GUID &set = otherSet ? MEDIATYPE_Video : AMPROPSETID_Pin;

        GUID category = GUID_NULL;
        DWORD length = 0xdeadbeef;
        QCOMPARE(properties->Get(set, property, nullptr, 0, bufferSize < 0 ? nullptr : &category,
                                 DWORD(qMax(bufferSize, 0)), withLength ? &length : nullptr),
                 expected);
        QCOMPARE(length, returned);
        const bool written = expected == S_OK && bufferSize >= 16;
        QVERIFY((category == PIN_CATEGORY_CAPTURE) == written);

        DWORD support = 0;
        const HRESULT supportExpected =
            expected == E_PROP_ID_UNSUPPORTED || expected == E_PROP_SET_UNSUPPORTED ? expected : S_OK;
        QCOMPARE(properties->QuerySupported(set, property, &support), supportExpected);
        QCOMPARE(support, supportExpected == S_OK ? DWORD(KSPROPERTY_SUPPORT_GET) : DWORD(0));
        QCOMPARE(properties->Set(set, property, nullptr, 0, &category, 16), E_NOTIMPL);
    }

    void filterHandsPinInterfacesToThePin()
    {
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        CVCamStream *pin = pinOf(filter.Get());
        IPin *pinEntry = pin;
        CUnknown *filterObject = static_cast<CVCam *>(filter.Get());

        for (const GUID *iid : {&IID_IAMStreamConfig, &IID_IKsPropertySet}) {
            ComPtr<IUnknown> fromPin, fromFilter, fromFilterEntry;
            QCOMPARE(pinEntry->QueryInterface(*iid, comOutput(fromPin)), S_OK);
            QCOMPARE(filterObject->NonDelegatingQueryInterface(*iid, comOutput(fromFilter)), S_OK);
            QCOMPARE(filter->QueryInterface(*iid, comOutput(fromFilterEntry)), S_OK);
            QVERIFY(fromPin.Get() == fromFilter.Get());
            QVERIFY(fromPin.Get() == fromFilterEntry.Get());
        }
        {
            ComPtr<IUnknown> config;
            QCOMPARE(pinEntry->QueryInterface(IID_IAMStreamConfig, comOutput(config)), S_OK);
            QVERIFY(config.Get() == static_cast<IAMStreamConfig *>(pin));

            // Everything else keeps its own owner: the filter answers for itself, the pin for itself.
            ComPtr<IUnknown> setup, pinFromConfig, none;
            QCOMPARE(filter->QueryInterface(IID_IAMovieSetup, comOutput(setup)), S_OK);
            QCOMPARE(static_cast<IAMStreamConfig *>(pin)->QueryInterface(IID_IPin, comOutput(pinFromConfig)),
                     S_OK);
            QVERIFY(pinFromConfig.Get() == pinEntry);
            void *refused = reinterpret_cast<void *>(0xdeadbeef);
            QCOMPARE(filter->QueryInterface(IID_IMemInputPin, &refused), E_NOINTERFACE);
            QVERIFY(refused == nullptr);
            QCOMPARE(filter->QueryInterface(IID_IAMStreamConfig, nullptr), E_POINTER);
        }
        // Every reference handed out went back: the test's own is the only one left.
        QCOMPARE(filter->AddRef(), ULONG(2));
        QCOMPARE(filter->Release(), ULONG(1));

        CLSID clsid = GUID_NULL;
        QCOMPARE(filter->GetClassID(&clsid), S_OK);
        QVERIFY(clsid == CLSID_VistrelCam);
    }

    void pinIsAQtObjectOfItsBases()
    {
        ComPtr<IBaseFilter> filter = createFilter();
        QVERIFY(filter);
        CVCamStream *pin = pinOf(filter.Get());
        QCOMPARE(pin->metaObject()->className(), "CVCamStream");
        QVERIFY(pin->qt_metacast("CSourceStream") == static_cast<CSourceStream *>(pin));
        QVERIFY(pin->qt_metacast("IAMStreamConfig") == static_cast<IAMStreamConfig *>(pin));
        QVERIFY(pin->qt_metacast("IKsPropertySet") == static_cast<IKsPropertySet *>(pin));
        // The capture thread is the pin's child, running from the moment the filter exists.
        const QList<QThread *> children = pin->findChildren<QThread *>();
        QCOMPARE(children.size(), 1);
        QVERIFY(waitFor([&] { return children.first()->isRunning(); }));
    }
};

QTEST_GUILESS_MAIN(TestFilterFormats)
#include "tst_FilterFormats.moc"
