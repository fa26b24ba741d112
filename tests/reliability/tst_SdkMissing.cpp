// Without the camera SDK library the driver still works as a camera: the filter is created, streams
// the placeholder picture at its frame rate, and goes away cleanly.
#include "camera/EdsBinding.h"
#include "driver/capture/Placeholder.h"
#include "tests/driver/filter/FilterTestSupport.h"

#include <QtTest>

class TestSdkMissing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        FilterTest::captureLog();
        FilterTest::setUpCameras(true);
        QVERIFY(m_emptyFolder.isValid());
        eds::setLibraryFolderForTesting(m_emptyFolder.path().toStdString());
    }

    void cleanupTestCase()
    {
        eds::setLibraryFolderForTesting({});
        CoUninitialize();
    }

    void streamsThePlaceholderWithoutTheSdk()
    {
        FilterTest::saveSettings(30.0);
        {
            FilterTest::VCamGraph graph;
            QCOMPARE(graph.build(Placeholder::frame(QSize(960, 640))), S_OK);
            QVERIFY(FilterTest::waitForLine("Canon SDK init failed"));
            QCOMPARE(graph.control()->Run(), S_OK);
            QVERIFY(graph.waitForSamples(10));
            const QVector<FilterTest::Sample> samples = graph.samples();
            for (const FilterTest::Sample &sample : samples)
                QVERIFY(sample.placeholder);
            QCOMPARE(graph.control()->Stop(), S_OK);
        }
        QVERIFY(FilterTest::waitFor(FilterTest::nothingAlive));
    }

private:
    QTemporaryDir m_emptyFolder;
};

QTEST_GUILESS_MAIN(TestSdkMissing)
#include "tst_SdkMissing.moc"
