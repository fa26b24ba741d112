// COM conformance of the framework's filter, pins and enumerators: the interfaces answered and refused,
// reference counts, out-parameters on failure, and connection negotiation with a real sink.
#include "platform/dshow/RuntimeObjects.h"
#include "tests/driver/filter/base/TestGraph.h"

#include <QtTest>

#include <functional>

Q_DECLARE_METATYPE(GUID)

namespace {
void *const kSentinel = reinterpret_cast<void *>(0xdeadbeef);

ULONG refCount(IUnknown *unknown)
{
    unknown->AddRef();
    return unknown->Release();
}

// A filter with `pins` pins and the probes that come with them, released at the end of the scope.
struct LoneFilter
{
    std::vector<std::shared_ptr<StreamProbe>> probes;
    TestSourceFilter *filter;
    explicit LoneFilter(int pins = 1) : filter(makeTestFilter(pins, &probes)) {}
    ~LoneFilter() { filter->Release(); }
};

// An outer object that aggregates a framework object: counts its own references, hands other interfaces
// to the inner object's non-delegating unknown.
struct OuterUnknown : IUnknown
{
    LONG refs = 1;
    INonDelegatingUnknown *inner = nullptr;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown *>(this);
            AddRef();
            return S_OK;
        }
        return inner->NonDelegatingQueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};
} // namespace

class TestFrameworkCom : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        QCOMPARE(CBaseObject::ObjectsActive(), 0);
        QCOMPARE(VistrelDShowLiveObjects(), 0);
        QCOMPARE(vistrel::sink::objectsAlive(), 0);
    }

    void queryInterfaceTable_data()
    {
        QTest::addColumn<bool>("onPin");
        QTest::addColumn<GUID>("iid");
        QTest::addColumn<bool>("answered");
        QTest::newRow("filter IUnknown") << false << IID_IUnknown << true;
        QTest::newRow("filter IBaseFilter") << false << IID_IBaseFilter << true;
        QTest::newRow("filter IMediaFilter") << false << IID_IMediaFilter << true;
        QTest::newRow("filter IPersist") << false << IID_IPersist << true;
        QTest::newRow("filter IAMovieSetup") << false << IID_IAMovieSetup << true;
        QTest::newRow("filter IPin") << false << IID_IPin << false;
        QTest::newRow("filter IQualityControl") << false << IID_IQualityControl << false;
        QTest::newRow("filter IEnumPins") << false << IID_IEnumPins << false;
        QTest::newRow("filter IClassFactory") << false << IID_IClassFactory << false;
        QTest::newRow("pin IUnknown") << true << IID_IUnknown << true;
        QTest::newRow("pin IPin") << true << IID_IPin << true;
        QTest::newRow("pin IQualityControl") << true << IID_IQualityControl << true;
        QTest::newRow("pin IBaseFilter") << true << IID_IBaseFilter << false;
        QTest::newRow("pin IMemInputPin") << true << IID_IMemInputPin << false;
        QTest::newRow("pin IAMStreamConfig") << true << IID_IAMStreamConfig << false;
        QTest::newRow("pin IEnumMediaTypes") << true << IID_IEnumMediaTypes << false;
    }

    void queryInterfaceTable()
    {
        QFETCH(bool, onPin);
        QFETCH(GUID, iid);
        QFETCH(bool, answered);
        LoneFilter lone;
        IUnknown *object = onPin ? static_cast<IUnknown *>(static_cast<IPin *>(lone.filter->pin(0)))
                                 : static_cast<IUnknown *>(static_cast<IBaseFilter *>(lone.filter));
        const ULONG before = refCount(object);
        void *result = kSentinel;
        const HRESULT hr = object->QueryInterface(iid, &result);
        if (!answered) {
            QCOMPARE(hr, E_NOINTERFACE);
            QVERIFY(result == NULL);
            QCOMPARE(refCount(object), before);
            return;
        }
        QCOMPARE(hr, S_OK);
        QVERIFY(result != NULL);
        IUnknown *answer = static_cast<IUnknown *>(result);
        QCOMPARE(refCount(object), before + 1);
        // One identity: IUnknown through the answer is IUnknown through the object.
        IUnknown *identityA = NULL;
        IUnknown *identityB = NULL;
        QCOMPARE(answer->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identityA)), S_OK);
        QCOMPARE(object->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identityB)), S_OK);
        QVERIFY(identityA == identityB);
        identityA->Release();
        identityB->Release();
        answer->Release();
        QCOMPARE(refCount(object), before);
    }

    void pinsLiveOnTheFiltersCount()
    {
        LoneFilter lone;
        IBaseFilter *filter = lone.filter;
        QCOMPARE(refCount(filter), ULONG(1));
        IPin *pin = lone.filter->pin(0);
        pin->AddRef();
        QCOMPARE(refCount(filter), ULONG(2));
        pin->Release();
        QCOMPARE(refCount(filter), ULONG(1));
    }

    void aggregatedFilterDelegatesToTheOuterObject()
    {
        OuterUnknown outer;
        std::vector<std::shared_ptr<StreamProbe>> probes;
        TestSourceFilter *filter = makeTestFilter(1, &probes, &outer);
        outer.inner = filter;
        IBaseFilter *asFilter = filter;
        asFilter->AddRef();
        QCOMPARE(outer.refs, LONG(2));
        asFilter->Release();
        IUnknown *identity = NULL;
        QCOMPARE(asFilter->QueryInterface(IID_IUnknown, reinterpret_cast<void **>(&identity)), S_OK);
        QVERIFY(identity == &outer);
        identity->Release();
        IPersist *persist = NULL;
        QCOMPARE(asFilter->QueryInterface(IID_IPersist, reinterpret_cast<void **>(&persist)), S_OK);
        CLSID clsid = GUID_NULL;
        QCOMPARE(persist->GetClassID(&clsid), S_OK);
        QVERIFY(clsid == TestSourceFilter::kClsid);
        persist->Release();
        QCOMPARE(outer.refs, LONG(1));
        filter->NonDelegatingRelease();
    }

    void enumeratorsHoldAndReturnReferences()
    {
        LoneFilter lone(2);
        IBaseFilter *filter = lone.filter;
        const ULONG baseline = refCount(filter);

        IEnumPins *pins = NULL;
        QCOMPARE(filter->EnumPins(&pins), S_OK);
        QCOMPARE(refCount(filter), baseline + 1);
        IPin *pin = NULL;
        ULONG fetched = 0;
        QCOMPARE(pins->Next(1, &pin, &fetched), S_OK);
        QCOMPARE(refCount(filter), baseline + 2);
        IEnumPins *clone = NULL;
        QCOMPARE(pins->Clone(&clone), S_OK);
        QCOMPARE(refCount(filter), baseline + 3);

        IEnumMediaTypes *types = NULL;
        QCOMPARE(pin->EnumMediaTypes(&types), S_OK);
        QCOMPARE(refCount(filter), baseline + 4);
        IEnumMediaTypes *typesClone = NULL;
        QCOMPARE(types->Clone(&typesClone), S_OK);
        QCOMPARE(refCount(filter), baseline + 5);

        PIN_INFO info;
        QCOMPARE(pin->QueryPinInfo(&info), S_OK);
        QVERIFY(info.pFilter == filter);
        QCOMPARE(QString::fromWCharArray(info.achName), QStringLiteral("Out1"));
        QCOMPARE(info.dir, PINDIR_OUTPUT);
        QCOMPARE(refCount(filter), baseline + 6);
        info.pFilter->Release();

        IPin *found = NULL;
        QCOMPARE(filter->FindPin(L"Out2", &found), S_OK);
        QVERIFY(found == static_cast<IPin *>(lone.filter->pin(1)));
        found->Release();

        typesClone->Release();
        types->Release();
        clone->Release();
        pin->Release();
        pins->Release();
        QCOMPARE(refCount(filter), baseline);
    }

    void pinEnumerationFollowsThePinSet()
    {
        LoneFilter lone(2);
        IEnumPins *pins = NULL;
        QCOMPARE(lone.filter->EnumPins(&pins), S_OK);
        IPin *got[3] = {NULL, NULL, NULL};
        ULONG fetched = 99;

        QCOMPARE(pins->Next(2, got, NULL), E_INVALIDARG);
        QCOMPARE(pins->Next(3, got, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(2));
        QVERIFY(got[0] == static_cast<IPin *>(lone.filter->pin(0)));
        QVERIFY(got[1] == static_cast<IPin *>(lone.filter->pin(1)));
        QVERIFY(got[2] == NULL);
        got[0]->Release();
        got[1]->Release();
        QCOMPARE(pins->Next(1, got, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(0));
        QCOMPARE(pins->Reset(), S_OK);
        QCOMPARE(pins->Skip(1), S_OK);
        QCOMPARE(pins->Skip(2), S_FALSE);

        // A pin added after the enumerator was made puts it out of step until Reset.
        lone.probes.push_back(std::make_shared<StreamProbe>());
        lone.filter->addPin(lone.probes.back());
        got[0] = static_cast<IPin *>(kSentinel);
        fetched = 99;
        QCOMPARE(pins->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
        QCOMPARE(fetched, ULONG(0));
        QVERIFY(got[0] == NULL);
        QCOMPARE(pins->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
        IEnumPins *clone = static_cast<IEnumPins *>(kSentinel);
        QCOMPARE(pins->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
        QVERIFY(clone == NULL);
        QCOMPARE(pins->Reset(), S_OK);
        QCOMPARE(pins->Next(3, got, &fetched), S_OK);
        QCOMPARE(fetched, ULONG(3));
        for (IPin *pin : got)
            pin->Release();
        pins->Release();
    }

    void mediaTypeEnumerationFollowsTheTypeVersion()
    {
        LoneFilter lone;
        TestSourcePin *pin = lone.filter->pin(0);
        IEnumMediaTypes *types = NULL;
        QCOMPARE(pin->EnumMediaTypes(&types), S_OK);
        AM_MEDIA_TYPE *got[4] = {NULL, NULL, NULL, NULL};
        ULONG fetched = 99;

        QCOMPARE(types->Next(1, NULL, &fetched), E_POINTER);
        QCOMPARE(types->Next(2, got, NULL), E_INVALIDARG);
        QCOMPARE(types->Next(4, got, &fetched), S_FALSE);
        QCOMPARE(fetched, ULONG(2));
        for (int i = 0; i < 2; i++) {
            CMediaType expected;
            QCOMPARE(pin->GetMediaType(i, &expected), S_OK);
            QVERIFY(expected == *static_cast<CMediaType *>(got[i]));
            QVERIFY(got[i]->pbFormat != expected.pbFormat);
            DeleteMediaType(got[i]);
            got[i] = NULL;
        }
        QVERIFY(got[2] == NULL);
        QCOMPARE(types->Reset(), S_OK);
        QCOMPARE(types->Skip(2), S_OK);
        QCOMPARE(types->Skip(1), S_FALSE);

        // A change of the offered types puts the enumerator out of step until Reset.
        pin->IncrementTypeVersion();
        got[0] = static_cast<AM_MEDIA_TYPE *>(kSentinel);
        fetched = 99;
        QCOMPARE(types->Next(1, got, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
        QCOMPARE(fetched, ULONG(0));
        QVERIFY(got[0] == NULL);
        QCOMPARE(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
        IEnumMediaTypes *clone = static_cast<IEnumMediaTypes *>(kSentinel);
        QCOMPARE(types->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
        QVERIFY(clone == NULL);
        QCOMPARE(types->Reset(), S_OK);
        QCOMPARE(types->Next(1, got, NULL), S_OK);
        DeleteMediaType(got[0]);
        types->Release();
    }

    void failedCallsClearTheirOutParameters()
    {
        LoneFilter lone;
        TestSourceFilter *filter = lone.filter;
        TestSourcePin *pin = filter->pin(0);
        struct Case
        {
            const char *name;
            HRESULT expected;
            std::function<HRESULT(void **)> call;
        };
        const Case cases[] = {
            {"FindPin of an unknown name", VFW_E_NOT_FOUND,
             [&](void **out) { return filter->FindPin(L"Nothing", reinterpret_cast<IPin **>(out)); }},
            {"FindPin without a name", E_POINTER,
             [&](void **out) { return filter->FindPin(NULL, reinterpret_cast<IPin **>(out)); }},
            {"QueryVendorInfo", E_NOTIMPL,
             [&](void **out) { return filter->QueryVendorInfo(reinterpret_cast<LPWSTR *>(out)); }},
            {"ConnectedTo while unconnected", VFW_E_NOT_CONNECTED,
             [&](void **out) { return pin->ConnectedTo(reinterpret_cast<IPin **>(out)); }},
            {"GetDeliveryBuffer without an allocator", E_NOINTERFACE,
             [&](void **out) {
                 return pin->GetDeliveryBuffer(reinterpret_cast<IMediaSample **>(out), NULL, NULL, 0);
             }},
            {"filter QueryInterface of a foreign interface", E_NOINTERFACE,
             [&](void **out) {
                 return static_cast<IBaseFilter *>(filter)->QueryInterface(IID_IMemInputPin, out);
             }},
        };
        for (const Case &c : cases) {
            void *out = kSentinel;
            QVERIFY2(c.call(&out) == c.expected, c.name);
            QVERIFY2(out == NULL, c.name);
        }

        // Null out-pointers are refused, not written through.
        QCOMPARE(filter->GetState(0, NULL), E_POINTER);
        QCOMPARE(filter->GetClassID(NULL), E_POINTER);
        QCOMPARE(filter->EnumPins(NULL), E_POINTER);
        QCOMPARE(filter->QueryFilterInfo(NULL), E_POINTER);
        QCOMPARE(pin->QueryPinInfo(NULL), E_POINTER);
        QCOMPARE(pin->QueryDirection(NULL), E_POINTER);
        QCOMPARE(pin->QueryId(NULL), E_POINTER);
        QCOMPARE(pin->EnumMediaTypes(NULL), E_POINTER);
        QCOMPARE(pin->Connect(NULL, NULL), E_POINTER);
        QCOMPARE(static_cast<IBaseFilter *>(filter)->QueryInterface(IID_IBaseFilter, NULL), E_POINTER);

        AM_MEDIA_TYPE connection;
        std::memset(&connection, 0xab, sizeof(connection));
        QCOMPARE(pin->ConnectionMediaType(&connection), VFW_E_NOT_CONNECTED);
        QVERIFY(connection.pbFormat == NULL && connection.pUnk == NULL && connection.cbFormat == 0);

        // The quality interface of a source pin takes no reports; IAMovieSetup has nothing to register.
        Quality quality = {Famine, 1000, 0, 0};
        QCOMPARE(pin->Notify(filter, quality), E_NOTIMPL);
        QCOMPARE(filter->Register(), S_FALSE);
        QCOMPARE(filter->Unregister(), S_FALSE);
    }

    void pinIdRoundTripsThroughFindPin()
    {
        LoneFilter lone(2);
        LPWSTR id = NULL;
        QCOMPARE(lone.filter->pin(1)->QueryId(&id), S_OK);
        IPin *found = NULL;
        QCOMPARE(lone.filter->FindPin(id, &found), S_OK);
        QVERIFY(found == static_cast<IPin *>(lone.filter->pin(1)));
        found->Release();
        CoTaskMemFree(id);
    }

    void connectionAgreesOnATypeBothAccept_data()
    {
        QTest::addColumn<bool>("sinkRestricted");
        QTest::addColumn<GUID>("sinkSubtype");
        QTest::addColumn<bool>("sinkOffers");
        QTest::addColumn<bool>("partialRequest");
        QTest::addColumn<GUID>("expected");
        // The sink offers nothing of its own: our first offered type.
        QTest::newRow("our first type") << false << GUID_NULL << false << false << MEDIASUBTYPE_RGB32;
        QTest::newRow("our second type")
            << true << MEDIASUBTYPE_RGB24 << false << false << MEDIASUBTYPE_RGB24;
        // The receiving pin's own types are tried before ours.
        QTest::newRow("the sink's type") << false << GUID_NULL << true << false << MEDIASUBTYPE_RGB24;
        // A partial type narrows the candidates.
        QTest::newRow("partial request") << false << GUID_NULL << false << true << MEDIASUBTYPE_RGB24;
    }

    void connectionAgreesOnATypeBothAccept()
    {
        QFETCH(bool, sinkRestricted);
        QFETCH(GUID, sinkSubtype);
        QFETCH(bool, sinkOffers);
        QFETCH(bool, partialRequest);
        QFETCH(GUID, expected);

        LoneFilter lone;
        CMediaType rgb24;
        QCOMPARE(lone.filter->pin(0)->GetMediaType(1, &rgb24), S_OK);
        vistrel::sink::SampleSinkOptions options;
        if (sinkRestricted)
            options.subtype = sinkSubtype;
        if (sinkOffers)
            options.offeredType = &rgb24;
        SampleSink *sink = SampleSink::create(options);
        CMediaType partial(&MEDIATYPE_Video);
        partial.SetSubtype(&MEDIASUBTYPE_RGB24);

        TestSourcePin *pin = lone.filter->pin(0);
        QCOMPARE(pin->Connect(sink->inputPin(), partialRequest ? &partial : NULL), S_OK);
        QVERIFY(pin->GetConnected() == sink->inputPin());
        QVERIFY(*pin->currentType().Subtype() == expected);
        CMediaType connection;
        QCOMPARE(pin->ConnectionMediaType(&connection), S_OK);
        QVERIFY(connection == pin->currentType());
        QCOMPARE(lone.probes[0]->decideBufferSizeCalls.load(), 1);

        QCOMPARE(pin->Connect(sink->inputPin(), NULL), VFW_E_ALREADY_CONNECTED);
        QCOMPARE(lone.filter->Pause(), S_OK);
        QCOMPARE(pin->Disconnect(), VFW_E_NOT_STOPPED);
        QCOMPARE(lone.filter->Stop(), S_OK);
        QCOMPARE(pin->Disconnect(), S_OK);
        QCOMPARE(pin->Disconnect(), S_FALSE);
        QCOMPARE(sink->inputPin()->Disconnect(), S_OK);
        sink->Release();
    }

    void connectionFailuresLeaveNoConnection_data()
    {
        QTest::addColumn<int>("scenario");
        QTest::addColumn<HRESULT>("expected");
        QTest::newRow("no common type") << 0 << VFW_E_NO_ACCEPTABLE_TYPES;
        QTest::newRow("full type we refuse") << 1 << VFW_E_TYPE_NOT_ACCEPTED;
        QTest::newRow("two output pins") << 2 << VFW_E_INVALID_DIRECTION;
    }

    void connectionFailuresLeaveNoConnection()
    {
        QFETCH(int, scenario);
        QFETCH(HRESULT, expected);
        LoneFilter lone(2);
        vistrel::sink::SampleSinkOptions options;
        if (scenario == 0)
            options.subtype = MEDIASUBTYPE_MJPG;
        SampleSink *sink = SampleSink::create(options);
        CMediaType yuy2;
        QCOMPARE(lone.filter->pin(0)->GetMediaType(1, &yuy2), S_OK);
        yuy2.SetSubtype(&MEDIASUBTYPE_YUY2);

        TestSourcePin *pin = lone.filter->pin(0);
        IPin *target = scenario == 2 ? static_cast<IPin *>(lone.filter->pin(1)) : sink->inputPin();
        QCOMPARE(pin->Connect(target, scenario == 1 ? &yuy2 : NULL), expected);
        QVERIFY(!pin->IsConnected());
        IPin *peer = static_cast<IPin *>(kSentinel);
        QCOMPARE(sink->inputPin()->ConnectedTo(&peer), VFW_E_NOT_CONNECTED);
        QVERIFY(peer == NULL);
        QCOMPARE(lone.probes[0]->decideBufferSizeCalls.load(), 0);
        sink->Release();
    }
};

QTEST_GUILESS_MAIN(TestFrameworkCom)
#include "tst_FilterBaseCom.moc"
