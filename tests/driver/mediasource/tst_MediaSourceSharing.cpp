// A DirectShow filter and a media source in one application, as a video call and a camera app open the
// camera at once: one camera session, and both deliver the camera's picture, not the placeholder.
#include "driver/capture/Placeholder.h"
#include "tests/driver/filter/FilterTestSupport.h"
#include "tests/driver/mediasource/SourceTestSupport.h"

#include <QtTest>

using namespace SourceTest;

class TestMediaSourceSharing : public QObject
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
    void cleanup()
    {
        if (QTest::currentTestFailed())
            FilterTest::printLog();
        // Media Foundation's objects too: event queues, descriptors, samples.
        QVERIFY(
            FilterTest::waitFor([] { return FilterTest::nothingAlive() && VistrelMfLiveObjects() == 0; }));
    }

    void filterAndSourceBothShowTheCamera()
    {
        FilterTest::setUpCameras(true);
        FilterTest::saveSettings(30.0);
        const QSize size(960, 640);

        FilterTest::VCamGraph graph;
        QCOMPARE(graph.build(Placeholder::frame(size)), S_OK);
        QCOMPARE(graph.control()->Run(), S_OK);

        ComPtr<IMFMediaSource> source = createSource();
        QVERIFY(source);
        ComPtr<IMFPresentationDescriptor> descriptor;
        QCOMPARE(source->CreatePresentationDescriptor(descriptor.ReleaseAndGetAddressOf()), S_OK);
        QCOMPARE(chooseType(descriptor.Get(), MFVideoFormat_RGB32), S_OK);
        QCOMPARE(start(source.Get(), descriptor.Get()), S_OK);
        ComPtr<IMFMediaStream> stream =
            queryComPtr<IMFMediaStream>(nextEvent(source.Get()).unknown, IID_IMFMediaStream);
        QVERIFY(stream);

        const QByteArray placeholder = placeholderRgb32(size);
        Sample sample;
        int samples = 0;
        do {
            QVERIFY(requestSample(stream.Get(), sample));
            QCOMPARE(sample.bytes.size(), placeholder.size());
            QVERIFY2(++samples < 100000, "the media source never showed the camera");
        } while (sample.bytes == placeholder);
        QVERIFY(graph.waitForSample(0, [](const FilterTest::Sample &seen) { return !seen.placeholder; }) >=
                0);

        QCOMPARE(source->Shutdown(), S_OK);
        QCOMPARE(graph.control()->Stop(), S_OK);
    }
};

QTEST_GUILESS_MAIN(TestMediaSourceSharing)
#include "tst_MediaSourceSharing.moc"
