// Applications call the filter and its pin with whatever they have: null pointers, indexes out of any
// range, property sets nobody knows. Every call must give a defined answer (and clear its
// out-parameters when it fails) instead of crashing.
#include "tests/driver/filter/FilterTestSupport.h"

#include <QtTest>

#include <climits>
#include <functional>

namespace {

struct Objects
{
    IBaseFilter *filter = nullptr;
    CVCamStream *pin = nullptr;
    IPin *ipin = nullptr;
    IAMStreamConfig *config = nullptr;
    IKsPropertySet *properties = nullptr;
};

using Call = std::function<HRESULT(const Objects &)>;

// Marks a result whose out-parameter was not left cleared, so that the comparison fails visibly.
const HRESULT kNotCleared = HRESULT(0xDEADBEEF);

template <typename T> T *sentinel()
{
    return reinterpret_cast<T *>(quintptr(0xdeadbeef));
}

template <typename T> HRESULT cleared(HRESULT hr, T *out)
{
    return out == nullptr ? hr : kNotCleared;
}

const GUID kUnknownSet = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

} // namespace

Q_DECLARE_METATYPE(Call)

class TestComArguments : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        FilterTest::captureLog();
        FilterTest::setUpCameras(false);
    }

    void badArgumentsGetDefinedAnswers_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<HRESULT>("expected");

        // The filter.
        QTest::newRow("filter QueryInterface, no out")
            << Call([](const Objects &o) { return o.filter->QueryInterface(IID_IBaseFilter, nullptr); })
            << E_POINTER;
        QTest::newRow("filter QueryInterface, unknown interface") << Call([](const Objects &o) {
            void *out = sentinel<void>();
            const HRESULT hr = o.filter->QueryInterface(kUnknownSet, &out);
            return cleared(hr, out);
        }) << E_NOINTERFACE;
        QTest::newRow("GetState, no out")
            << Call([](const Objects &o) { return o.filter->GetState(0, nullptr); }) << E_POINTER;
        QTest::newRow("GetState, absurd time-out") << Call([](const Objects &o) {
            FILTER_STATE state = FILTER_STATE(-1);
            const HRESULT hr = o.filter->GetState(INFINITE, &state);
            return state == State_Stopped ? hr : kNotCleared;
        }) << S_OK;
        QTest::newRow("EnumPins, no out")
            << Call([](const Objects &o) { return o.filter->EnumPins(nullptr); }) << E_POINTER;
        QTest::newRow("FindPin, no name") << Call([](const Objects &o) {
            IPin *pin = sentinel<IPin>();
            const HRESULT hr = o.filter->FindPin(nullptr, &pin);
            return cleared(hr, pin);
        }) << E_POINTER;
        QTest::newRow("FindPin, no out")
            << Call([](const Objects &o) { return o.filter->FindPin(L"Video", nullptr); }) << E_POINTER;
        QTest::newRow("FindPin, unknown name") << Call([](const Objects &o) {
            IPin *pin = sentinel<IPin>();
            const HRESULT hr = o.filter->FindPin(L"No such pin", &pin);
            return cleared(hr, pin);
        }) << VFW_E_NOT_FOUND;
        QTest::newRow("QueryFilterInfo, no out")
            << Call([](const Objects &o) { return o.filter->QueryFilterInfo(nullptr); }) << E_POINTER;
        QTest::newRow("GetClassID, no out")
            << Call([](const Objects &o) { return o.filter->GetClassID(nullptr); }) << E_POINTER;
        QTest::newRow("GetSyncSource, no out")
            << Call([](const Objects &o) { return o.filter->GetSyncSource(nullptr); }) << E_POINTER;

        // The pin, as IPin.
        QTest::newRow("pin QueryInterface, no out")
            << Call([](const Objects &o) { return o.ipin->QueryInterface(IID_IAMStreamConfig, nullptr); })
            << E_POINTER;
        QTest::newRow("ConnectedTo, no out")
            << Call([](const Objects &o) { return o.ipin->ConnectedTo(nullptr); }) << E_POINTER;
        QTest::newRow("ConnectedTo, unconnected") << Call([](const Objects &o) {
            IPin *peer = sentinel<IPin>();
            const HRESULT hr = o.ipin->ConnectedTo(&peer);
            return cleared(hr, peer);
        }) << VFW_E_NOT_CONNECTED;
        QTest::newRow("ConnectionMediaType, no out")
            << Call([](const Objects &o) { return o.ipin->ConnectionMediaType(nullptr); }) << E_POINTER;
        QTest::newRow("ConnectionMediaType, unconnected") << Call([](const Objects &o) {
            AM_MEDIA_TYPE type{};
            return o.ipin->ConnectionMediaType(&type);
        }) << VFW_E_NOT_CONNECTED;
        QTest::newRow("QueryPinInfo, no out")
            << Call([](const Objects &o) { return o.ipin->QueryPinInfo(nullptr); }) << E_POINTER;
        QTest::newRow("QueryDirection, no out")
            << Call([](const Objects &o) { return o.ipin->QueryDirection(nullptr); }) << E_POINTER;
        QTest::newRow("QueryId, no out")
            << Call([](const Objects &o) { return o.ipin->QueryId(nullptr); }) << E_POINTER;
        QTest::newRow("EnumMediaTypes, no out")
            << Call([](const Objects &o) { return o.ipin->EnumMediaTypes(nullptr); }) << E_POINTER;
        QTest::newRow("Connect, no pin")
            << Call([](const Objects &o) { return o.ipin->Connect(nullptr, nullptr); }) << E_POINTER;
        QTest::newRow("QueryAccept, no type")
            << Call([](const Objects &o) { return o.ipin->QueryAccept(nullptr); }) << E_POINTER;

        // The pin's formats.
        QTest::newRow("GetMediaType, negative position") << Call([](const Objects &o) {
            CMediaType type;
            return o.pin->GetMediaType(-1, &type);
        }) << E_INVALIDARG;
        QTest::newRow("GetMediaType, largest position") << Call([](const Objects &o) {
            CMediaType type;
            return o.pin->GetMediaType(INT_MAX, &type);
        }) << VFW_S_NO_MORE_ITEMS;
        QTest::newRow("CheckMediaType, no type")
            << Call([](const Objects &o) { return o.pin->CheckMediaType(nullptr); }) << E_POINTER;
        QTest::newRow("CheckMediaType, RGB24 without a format block") << Call([](const Objects &o) {
            CMediaType type;
            type.SetType(&MEDIATYPE_Video);
            type.SetSubtype(&MEDIASUBTYPE_RGB24);
            type.SetFormatType(&FORMAT_VideoInfo);
            return o.pin->CheckMediaType(&type);
        }) << E_INVALIDARG;
        QTest::newRow("DecideBufferSize, nothing given")
            << Call([](const Objects &o) { return o.pin->DecideBufferSize(nullptr, nullptr); }) << E_POINTER;

        // IAMStreamConfig.
        QTest::newRow("SetFormat, no type")
            << Call([](const Objects &o) { return o.config->SetFormat(nullptr); }) << E_POINTER;
        QTest::newRow("SetFormat, video info claimed but no block") << Call([](const Objects &o) {
            AM_MEDIA_TYPE type{};
            type.majortype = MEDIATYPE_Video;
            type.subtype = MEDIASUBTYPE_RGB24;
            type.formattype = FORMAT_VideoInfo;
            type.cbFormat = sizeof(VIDEOINFOHEADER);
            return o.config->SetFormat(&type);
        }) << VFW_E_INVALIDMEDIATYPE;
        QTest::newRow("GetFormat, no out")
            << Call([](const Objects &o) { return o.config->GetFormat(nullptr); }) << E_POINTER;
        QTest::newRow("GetNumberOfCapabilities, no count") << Call([](const Objects &o) {
            int size = 0;
            return o.config->GetNumberOfCapabilities(nullptr, &size);
        }) << E_POINTER;
        QTest::newRow("GetNumberOfCapabilities, no size") << Call([](const Objects &o) {
            int count = 0;
            return o.config->GetNumberOfCapabilities(&count, nullptr);
        }) << E_POINTER;
        QTest::newRow("GetStreamCaps, no type out") << Call([](const Objects &o) {
            VIDEO_STREAM_CONFIG_CAPS caps;
            return o.config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE *>(&caps));
        }) << E_POINTER;
        QTest::newRow("GetStreamCaps, no capability structure") << Call([](const Objects &o) {
            AM_MEDIA_TYPE *type = sentinel<AM_MEDIA_TYPE>();
            const HRESULT hr = o.config->GetStreamCaps(0, &type, nullptr);
            return cleared(hr, type);
        }) << E_POINTER;
        for (int index : {-1, 1000, INT_MAX, INT_MIN}) {
            QTest::addRow("GetStreamCaps, index %d", index) << Call([index](const Objects &o) {
                AM_MEDIA_TYPE *type = nullptr;
                VIDEO_STREAM_CONFIG_CAPS caps;
                const HRESULT hr = o.config->GetStreamCaps(index, &type, reinterpret_cast<BYTE *>(&caps));
                if (type)
                    DeleteMediaType(type);
                return hr;
            }) << S_OK;
        }

        // IKsPropertySet.
        QTest::newRow("Get, unknown set") << Call([](const Objects &o) {
            DWORD returned = 0;
            GUID data;
            return o.properties->Get(kUnknownSet, 0, nullptr, 0, &data, sizeof data, &returned);
        }) << E_PROP_SET_UNSUPPORTED;
        QTest::newRow("Get, unknown property") << Call([](const Objects &o) {
            GUID data;
            return o.properties->Get(AMPROPSETID_Pin, 0xFFFFFFFF, nullptr, 0, &data, sizeof data, nullptr);
        }) << E_PROP_ID_UNSUPPORTED;
        QTest::newRow("Get, nowhere to write") << Call([](const Objects &o) {
            return o.properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, nullptr, 0,
                                     nullptr);
        }) << E_POINTER;
        QTest::newRow("Get, length given but buffer absurdly short") << Call([](const Objects &o) {
            BYTE data[1];
            return o.properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, data, 1, nullptr);
        }) << E_UNEXPECTED;
        QTest::newRow("Set, anything") << Call([](const Objects &o) {
            return o.properties->Set(kUnknownSet, 7, nullptr, 99, nullptr, 99);
        }) << E_NOTIMPL;
        QTest::newRow("QuerySupported, no out") << Call([](const Objects &o) {
            return o.properties->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr);
        }) << S_OK;
        QTest::newRow("QuerySupported, unknown set") << Call([](const Objects &o) {
            DWORD support = 0;
            return o.properties->QuerySupported(kUnknownSet, 0, &support);
        }) << E_PROP_SET_UNSUPPORTED;
    }

    void badArgumentsGetDefinedAnswers()
    {
        QFETCH(Call, call);
        QFETCH(HRESULT, expected);

        {
            ComPtr<IBaseFilter> filter = FilterTest::createFilter();
            QVERIFY(filter);
            Objects objects;
            objects.filter = filter.Get();
            objects.pin = FilterTest::pinOf(filter.Get());
            QVERIFY(objects.pin);
            objects.ipin = static_cast<IPin *>(objects.pin);
            ComPtr<IAMStreamConfig> config;
            QCOMPARE(filter->QueryInterface(IID_IAMStreamConfig, comOutput(config)), S_OK);
            ComPtr<IKsPropertySet> properties;
            QCOMPARE(filter->QueryInterface(IID_IKsPropertySet, comOutput(properties)), S_OK);
            objects.config = config.Get();
            objects.properties = properties.Get();

            QCOMPARE(QString::number(uint(call(objects)), 16), QString::number(uint(expected), 16));
        }
        // Whatever the call did, it left no reference behind.
        QVERIFY(FilterTest::waitFor(FilterTest::nothingAlive));
    }
};

QTEST_GUILESS_MAIN(TestComArguments)
#include "tst_ComArguments.moc"
