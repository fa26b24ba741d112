// The binding finds the SDK library at run time; without it, the product must fail cleanly, not crash.

#include "camera/EdsBinding.h"
#include "platform/edsdk/EdsSimulator.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex logMutex;
QStringList logLines;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines << message;
}

QStringList takeLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    return std::exchange(logLines, {});
}

} // namespace

class TestEdsBinding : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(collect); }
    void cleanupTestCase() { qInstallMessageHandler(nullptr); }
    void init()
    {
        eds::setLibraryFolderForTesting({});
        QCOMPARE(EdsSimReset("Canon EOS 90D;Canon EOS R6"), EDS_ERR_OK);
        takeLog();
    }
    void cleanup() { eds::setLibraryFolderForTesting({}); }

    void bindsTheLibraryBesideTheProgram()
    {
        QCOMPARE(eds::EdsInitializeSDK(), EDS_ERR_OK);
        EdsCameraListRef list = nullptr;
        EdsUInt32 count = 0;
        QCOMPARE(eds::EdsGetCameraList(&list), EDS_ERR_OK);
        QCOMPARE(eds::EdsGetChildCount(list, &count), EDS_ERR_OK);
        QCOMPARE(count, 2u);
        EdsCameraRef camera = nullptr;
        EdsDeviceInfo info;
        QCOMPARE(eds::EdsGetChildAtIndex(list, 1, &camera), EDS_ERR_OK);
        QCOMPARE(eds::EdsGetDeviceInfo(camera, &info), EDS_ERR_OK);
        QCOMPARE(QString(info.szDeviceDescription), QString("Canon EOS R6"));
        QCOMPARE(EdsRetain(camera), 2u); // the stand-in's own export, to see the count go down
        QCOMPARE(eds::EdsRelease(camera), 1u);
        QCOMPARE(eds::EdsRelease(camera), 0u);
        QCOMPARE(eds::EdsRelease(list), 0u);
        QCOMPARE(eds::EdsTerminateSDK(), EDS_ERR_OK);
        QCOMPARE(EdsSimLiveReferenceCount(), 0u);
        QCOMPARE(takeLog(), QStringList());
    }

    void firstUseFromManyThreadsLoadsOnce()
    {
        std::vector<std::thread> threads;
        std::vector<EdsError> results(8, 0xFFFF);
        for (std::size_t i = 0; i < results.size(); ++i)
            threads.emplace_back([&results, i] { results[i] = eds::EdsInitializeSDK(); });
        for (auto &thread : threads)
            thread.join();
        for (EdsError result : results)
            QCOMPARE(result, EDS_ERR_OK);
        QCOMPARE(EdsSimInitializeCount(), 8u);
        for (std::size_t i = 0; i < results.size(); ++i)
            QCOMPARE(eds::EdsTerminateSDK(), EDS_ERR_OK);
    }

    void unusableLibraryFailsEveryCall_data()
    {
        QTest::addColumn<QString>("replacement"); // what lies where the SDK library should be; empty: nothing
        QTest::addColumn<QString>("expectedLine");
        QTest::newRow("missing") << QString() << "Canon SDK library could not be loaded";
        QTest::newRow("not a library") << "garbage"
                                       << "Canon SDK library could not be loaded";
        QTest::newRow("lacks the operations") << "library"
                                              << "Canon SDK library lacks EdsInitializeSDK (ordinal 1)";
    }
    void unusableLibraryFailsEveryCall()
    {
        QFETCH(QString, replacement);
        QFETCH(QString, expectedLine);
        QTemporaryDir folder;
        const QString target = folder.filePath("libEDSDK.so");
        if (replacement == "garbage") {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("this is not an ELF file");
        } else if (replacement == "library") {
            // A real shared library without the SDK's operations.
            const QString other = QCoreApplication::applicationDirPath() + "/libtst_not_the_sdk.so";
            QVERIFY2(QFile::copy(other, target), qPrintable(other));
        }
        eds::setLibraryFolderForTesting(folder.path().toStdString());

        QCOMPARE(eds::EdsInitializeSDK(), EDS_ERR_MISSING_SUBCOMPONENT);
        EdsCameraListRef list = nullptr;
        QCOMPARE(eds::EdsGetCameraList(&list), EDS_ERR_MISSING_SUBCOMPONENT);
        QVERIFY(!list);
        QCOMPARE(eds::EdsRelease(list), 0xFFFFFFFFu);
        QCOMPARE(eds::EdsTerminateSDK(), EDS_ERR_MISSING_SUBCOMPONENT);
        QVERIFY(!eds::isAvailable());
        const QStringList lines = takeLog();
        QCOMPARE(lines.size(), 1); // one line, not one per call
        QVERIFY2(lines.first().startsWith(expectedLine), qPrintable(lines.first()));
        QCOMPARE(EdsSimInitializeCount(), 0u);
    }
};

QTEST_GUILESS_MAIN(TestEdsBinding)
#include "tst_EdsBinding.moc"
