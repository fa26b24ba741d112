// The memory allocator and its samples: properties, commit and decommit, blocking GetBuffer, recycling and
// reference counts.
#include "ComTestSupport.h"
#include "platform/windows/ComPtr.h"

#include <QtTest>

#include <future>
#include <thread>

Q_DECLARE_METATYPE(GUID)

class MemoryAllocatorTest : public QObject
{
    Q_OBJECT

private:
    ComPtr<IMemAllocator> makeAllocator(LONG buffers, LONG size)
    {
        ComPtr<IMemAllocator> allocator;
        if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                    comOutput(allocator))))
            return {};
        ALLOCATOR_PROPERTIES request{buffers, size, 1, 0};
        ALLOCATOR_PROPERTIES actual{};
        if (FAILED(allocator->SetProperties(&request, &actual)))
            return {};
        return allocator;
    }

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup() { QCOMPARE(VistrelDShowLiveObjects(), 0); }

    void setPropertiesAlignsOrRefuses_data()
    {
        QTest::addColumn<LONG>("buffers");
        QTest::addColumn<LONG>("size");
        QTest::addColumn<LONG>("align");
        QTest::addColumn<LONG>("prefix");
        QTest::addColumn<HRESULT>("result");
        QTest::addColumn<LONG>("actualSize");
        QTest::newRow("as asked") << 2 << 100 << 1 << 0 << S_OK << 100;
        QTest::newRow("rounded up to the alignment") << 1 << 100 << 16 << 0 << S_OK << 112;
        QTest::newRow("prefix counts toward the alignment") << 1 << 100 << 16 << 4 << S_OK << 108;
        QTest::newRow("no alignment") << 1 << 100 << 0 << 0 << VFW_E_BADALIGN << 0;
        QTest::newRow("alignment not a power of two") << 1 << 100 << 3 << 0 << VFW_E_BADALIGN << 0;
        QTest::newRow("negative size") << 1 << -5 << 1 << 0 << E_INVALIDARG << 0;
        QTest::newRow("absurd total") << 4096 << 0x7fffffff << 1 << 0 << E_OUTOFMEMORY << 0;
    }
    void setPropertiesAlignsOrRefuses()
    {
        QFETCH(LONG, buffers);
        QFETCH(LONG, size);
        QFETCH(LONG, align);
        QFETCH(LONG, prefix);
        QFETCH(HRESULT, result);
        QFETCH(LONG, actualSize);
        ComPtr<IMemAllocator> allocator;
        QCOMPARE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  comOutput(allocator)),
                 S_OK);
        ALLOCATOR_PROPERTIES request{buffers, size, align, prefix};
        ALLOCATOR_PROPERTIES actual{};
        QCOMPARE(allocator->SetProperties(&request, &actual), result);
        if (SUCCEEDED(result)) {
            QCOMPARE(actual.cbBuffer, actualSize);
            QCOMPARE(actual.cBuffers, buffers);
            QCOMPARE(allocator->Commit(), S_OK);
            ComPtr<IMediaSample> sample;
            QCOMPARE(allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
            BYTE *data = nullptr;
            QCOMPARE(sample->GetPointer(&data), S_OK);
            QCOMPARE(reinterpret_cast<uintptr_t>(data - prefix) % static_cast<uintptr_t>(align),
                     uintptr_t(0));
            QCOMPARE(sample->GetSize(), actualSize);
        }
    }

    void commitRules()
    {
        ComPtr<IMemAllocator> allocator;
        QCOMPARE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  comOutput(allocator)),
                 S_OK);
        QCOMPARE(allocator->Commit(), VFW_E_SIZENOTSET);
        IMediaSample *sample = sentinel<IMediaSample>();
        QCOMPARE(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
        QVERIFY(sample == nullptr);

        ALLOCATOR_PROPERTIES request{1, 64, 1, 0};
        ALLOCATOR_PROPERTIES actual{};
        QCOMPARE(allocator->SetProperties(&request, &actual), S_OK);
        QCOMPARE(allocator->Commit(), S_OK);
        QCOMPARE(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);
        QCOMPARE(allocator->Decommit(), S_OK);
        QCOMPARE(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
        // Committed again, it serves again.
        QCOMPARE(allocator->Commit(), S_OK);
        QCOMPARE(allocator->GetBuffer(&sample, nullptr, nullptr, 0), S_OK);
        sample->Release();
    }

    void getBufferWaitsForARelease()
    {
        ComPtr<IMemAllocator> allocator = makeAllocator(1, 64);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> first;
        QCOMPARE(allocator->GetBuffer(first.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        BYTE *firstData = nullptr;
        first->GetPointer(&firstData);
        // The pool is empty now...
        IMediaSample *none = nullptr;
        QCOMPARE(allocator->GetBuffer(&none, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

        // ...so a waiting caller can only succeed once the first sample has come back.
        auto waiting = std::async(std::launch::async, [&allocator] {
            IMediaSample *sample = nullptr;
            const HRESULT hr = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
            BYTE *data = nullptr;
            if (sample) {
                sample->GetPointer(&data);
                sample->Release();
            }
            return std::make_pair(hr, data);
        });
        first.Reset();
        QCOMPARE(waiting.wait_for(std::chrono::minutes(5)), std::future_status::ready);
        const auto [hr, data] = waiting.get();
        QCOMPARE(hr, S_OK);
        QCOMPARE(data, firstData);
    }

    void decommitWakesAWaitingGetBuffer()
    {
        ComPtr<IMemAllocator> allocator = makeAllocator(1, 64);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> held;
        QCOMPARE(allocator->GetBuffer(held.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        std::promise<void> calling;
        auto waiting = std::async(std::launch::async, [&] {
            IMediaSample *sample = sentinel<IMediaSample>();
            calling.set_value();
            const HRESULT hr = allocator->GetBuffer(&sample, nullptr, nullptr, 0);
            return hr == VFW_E_NOT_COMMITTED && sample == nullptr ? S_OK : E_FAIL;
        });
        calling.get_future().wait();
        QCOMPARE(allocator->Decommit(), S_OK);
        QCOMPARE(waiting.wait_for(std::chrono::minutes(5)), std::future_status::ready);
        QCOMPARE(waiting.get(), S_OK);

        // The buffers outlive the decommit while a sample is out, and go with its release.
        const LONG withSample = VistrelDShowLiveObjects();
        held.Reset();
        QCOMPARE(VistrelDShowLiveObjects(), withSample - 1);
    }

    void samplesCirculateBetweenThreads()
    {
        // More takers than buffers: every GetBuffer that has to wait must be woken by some release.
        ComPtr<IMemAllocator> allocator = makeAllocator(2, 32);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        std::vector<std::future<int>> workers;
        for (int w = 0; w < 4; ++w) {
            workers.push_back(std::async(std::launch::async, [&allocator] {
                int served = 0;
                for (int i = 0; i < 500; ++i) {
                    IMediaSample *sample = nullptr;
                    if (allocator->GetBuffer(&sample, nullptr, nullptr, 0) != S_OK)
                        break;
                    BYTE *data = nullptr;
                    sample->GetPointer(&data);
                    data[0] = static_cast<BYTE>(i);
                    sample->Release();
                    ++served;
                }
                return served;
            }));
        }
        for (auto &worker : workers) {
            QCOMPARE(worker.wait_for(std::chrono::minutes(5)), std::future_status::ready);
            QCOMPARE(worker.get(), 500);
        }
        QCOMPARE(referenceCount(allocator.Get()), ULONG(1));
    }

    void samplesComeBackReset()
    {
        ComPtr<IMemAllocator> allocator = makeAllocator(2, 64);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> a;
        ComPtr<IMediaSample> b;
        QCOMPARE(allocator->GetBuffer(a.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        QCOMPARE(allocator->GetBuffer(b.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        QVERIFY(a.Get() != b.Get());
        REFERENCE_TIME start = 10;
        REFERENCE_TIME stop = 20;
        a->SetTime(&start, &stop);
        a->SetSyncPoint(TRUE);
        a->SetDiscontinuity(TRUE);
        a->SetPreroll(TRUE);
        a->SetActualDataLength(3);
        IMediaSample *recycled = a.Get();
        a.Reset();

        ComPtr<IMediaSample> c;
        QCOMPARE(allocator->GetBuffer(c.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        QCOMPARE(c.Get(), recycled);
        QCOMPARE(c->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
        QCOMPARE(c->IsSyncPoint(), S_FALSE);
        QCOMPARE(c->IsDiscontinuity(), S_FALSE);
        QCOMPARE(c->IsPreroll(), S_FALSE);
        QCOMPARE(c->GetActualDataLength(), c->GetSize());
        QCOMPARE(referenceCount(c.Get()), ULONG(1));
    }

    void outstandingSampleKeepsItsAllocator()
    {
        ComPtr<IMemAllocator> allocator = makeAllocator(1, 16);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> sample;
        QCOMPARE(allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
        QCOMPARE(referenceCount(allocator.Get()), ULONG(2));
        allocator.Reset();
        BYTE *data = nullptr;
        QCOMPARE(sample->GetPointer(&data), S_OK);
        data[15] = 0x5a; // still the sample's own memory
        QVERIFY(VistrelDShowLiveObjects() > 0);
        sample.Reset(); // the last sample takes its allocator along
    }

    void sampleProperties()
    {
        ComPtr<IMemAllocator> allocator = makeAllocator(1, 16);
        QVERIFY(allocator);
        QCOMPARE(allocator->Commit(), S_OK);
        ComPtr<IMediaSample> sample;
        QCOMPARE(allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);

        REFERENCE_TIME start = 100;
        REFERENCE_TIME stop = 0;
        QCOMPARE(sample->SetTime(&start, nullptr), S_OK);
        QCOMPARE(sample->GetTime(&start, &stop), VFW_S_NO_STOP_TIME);
        QCOMPARE(stop, REFERENCE_TIME(101));
        QCOMPARE(sample->SetTime(nullptr, nullptr), S_OK);
        QCOMPARE(sample->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);

        QCOMPARE(sample->SetActualDataLength(17), VFW_E_BUFFER_OVERFLOW);
        QCOMPARE(sample->SetActualDataLength(-1), VFW_E_BUFFER_OVERFLOW);
        QCOMPARE(sample->SetActualDataLength(16), S_OK);

        LONGLONG mediaStart = 0;
        LONGLONG mediaStop = 0;
        QCOMPARE(sample->GetMediaTime(&mediaStart, &mediaStop), VFW_E_MEDIA_TIME_NOT_SET);
        mediaStart = 5;
        mediaStop = 6;
        QCOMPARE(sample->SetMediaTime(&mediaStart, &mediaStop), S_OK);
        mediaStart = mediaStop = 0;
        QCOMPARE(sample->GetMediaTime(&mediaStart, &mediaStop), S_OK);
        QCOMPARE(mediaStop, LONGLONG(6));

        AM_MEDIA_TYPE *type = sentinel<AM_MEDIA_TYPE>();
        QCOMPARE(sample->GetMediaType(&type), S_FALSE);
        QVERIFY(type == nullptr);
        VIDEOINFOHEADER format{};
        format.bmiHeader.biWidth = 7;
        AM_MEDIA_TYPE set{};
        set.majortype = MEDIATYPE_Video;
        set.formattype = FORMAT_VideoInfo;
        set.cbFormat = sizeof(format);
        set.pbFormat = reinterpret_cast<BYTE *>(&format);
        QCOMPARE(sample->SetMediaType(&set), S_OK);
        format.bmiHeader.biWidth = 8; // the sample keeps its own copy
        QCOMPARE(sample->GetMediaType(&type), S_OK);
        QVERIFY(type && type->pbFormat && type->pbFormat != set.pbFormat);
        QCOMPARE(reinterpret_cast<VIDEOINFOHEADER *>(type->pbFormat)->bmiHeader.biWidth, LONG(7));
        CoTaskMemFree(type->pbFormat);
        CoTaskMemFree(type);
    }

    void queryInterface_data()
    {
        QTest::addColumn<GUID>("iid");
        QTest::addColumn<bool>("answered");
        QTest::newRow("IUnknown") << IID_IUnknown << true;
        QTest::newRow("IMemAllocator") << IID_IMemAllocator << true;
        QTest::newRow("IMediaSample") << IID_IMediaSample << false;
        QTest::newRow("IBaseFilter") << IID_IBaseFilter << false;
    }
    void queryInterface()
    {
        QFETCH(GUID, iid);
        QFETCH(bool, answered);
        ComPtr<IUnknown> allocator;
        QCOMPARE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  comOutput(allocator)),
                 S_OK);
        void *answer = sentinel<void>();
        QCOMPARE(allocator->QueryInterface(iid, &answer), answered ? S_OK : E_NOINTERFACE);
        QCOMPARE(answer != nullptr, answered);
        if (answer)
            static_cast<IUnknown *>(answer)->Release();
        QCOMPARE(referenceCount(allocator.Get()), ULONG(1));
    }

    void aggregationIsRefused()
    {
        ComPtr<IUnknown> outer;
        QCOMPARE(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  comOutput(outer)),
                 S_OK);
        IUnknown *inner = sentinel<IUnknown>();
        QCOMPARE(CoCreateInstance(CLSID_MemoryAllocator, outer.Get(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void **>(&inner)),
                 CLASS_E_NOAGGREGATION);
        QVERIFY(inner == nullptr);
    }
};

QTEST_GUILESS_MAIN(MemoryAllocatorTest)
#include "tst_MemoryAllocator.moc"
