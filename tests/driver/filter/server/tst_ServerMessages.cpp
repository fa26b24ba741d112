// The driver's log lines reach the message handler that the host had installed when it loaded the
// driver, and the host keeps a working handler after the driver is unloaded.
#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"
#include "tests/driver/filter/server/ServerTestSupport.h"
#include "tools/sample-sink/SampleSink.h"

#include <QProcess>
#include <QThread>
#include <QtTest>

#include <dlfcn.h>
#include <mutex>

using vistrel::sink::SampleSink;

namespace {

struct Received
{
    QString message;
    Qt::HANDLE thread;
};

// A standard mutex: the thread sanitizer cannot see inside Qt's uninstrumented QMutex.
std::mutex receivedLock;
QVector<Received> received;

void hostHandler(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(receivedLock);
    // The paused pin logs about once a millisecond; the first few thousand lines are plenty.
    if (received.size() < 20000)
        received.append({message, QThread::currentThreadId()});
}

bool receivedFromOtherThread(const QString &message, Qt::HANDLE mainThread)
{
    std::lock_guard<std::mutex> lock(receivedLock);
    for (const Received &r : received) {
        if (r.message == message && r.thread != mainThread)
            return true;
    }
    return false;
}

bool received_(const QString &message)
{
    std::lock_guard<std::mutex> lock(receivedLock);
    for (const Received &r : received) {
        if (r.message == message)
            return true;
    }
    return false;
}

bool driverLoaded()
{
    void *handle = dlopen(driverLibraryPath().toLocal8Bit().constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

ComPtr<IPin> outputPin(IBaseFilter *filter)
{
    ComPtr<IEnumPins> pins;
    filter->EnumPins(pins.ReleaseAndGetAddressOf());
    ComPtr<IPin> pin;
    while (pins && pins->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION direction;
        if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT)
            return pin;
    }
    return {};
}

} // namespace

class TestServerMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pinLinesReachTheLoadTimeHandler();
    void hostHandlerWorksAfterUnload();
    void cleanupTestCase();

private:
    HRESULT m_comInit = E_FAIL;
};

void TestServerMessages::initTestCase()
{
    // Registered by another process, as an installer would, so this one loads the driver only through COM.
    QProcess tool;
    tool.start(qEnvironmentVariable("VISTREL_BIN_DIR") + "/vistrelregsvr", {driverLibraryPath()});
    QVERIFY(tool.waitForFinished(300000));
    QVERIFY2(tool.exitCode() == 0, tool.readAllStandardError().constData());
    QVERIFY(!driverLoaded());

    qInstallMessageHandler(hostHandler);
    m_comInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

void TestServerMessages::cleanupTestCase()
{
    qInstallMessageHandler(nullptr);
    if (SUCCEEDED(m_comInit))
        CoUninitialize();
}

void TestServerMessages::pinLinesReachTheLoadTimeHandler()
{
    const Qt::HANDLE mainThread = QThread::currentThreadId();
    {
        ComPtr<IBaseFilter> filter;
        QCOMPARE(CoCreateInstance(kVistrelCamClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  comOutput(filter)),
                 S_OK);
        QVERIFY(driverLoaded());

        vistrel::sink::SampleSinkOptions options;
        ComPtr<SampleSink> sink = adoptComPtr<SampleSink>(SampleSink::create(options));
        ComPtr<IGraphBuilder> graph;
        QCOMPARE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  comOutput(graph)),
                 S_OK);
        QCOMPARE(graph->AddFilter(filter.Get(), L"Vistrel"), S_OK);
        QCOMPARE(graph->AddFilter(sink.Get(), L"Sink"), S_OK);
        ComPtr<IPin> output = outputPin(filter.Get());
        QVERIFY(output);
        QCOMPARE(graph->Connect(output.Get(), sink->inputPin()), S_OK);

        // Paused, the pin's worker waits for the running state and says so.
        ComPtr<IMediaControl> control = queryComPtr<IMediaControl>(graph, IID_IMediaControl);
        QVERIFY(SUCCEEDED(control->Pause()));
        QTRY_VERIFY_WITH_TIMEOUT(
            receivedFromOtherThread("sleeping till graph running for video...", mainThread), 300000);
        QVERIFY(SUCCEEDED(control->Stop()));
        QTRY_VERIFY_WITH_TIMEOUT(received_("exiting early from CMD_STOP thinger"), 300000);
        graph->Disconnect(output.Get());
        graph->Disconnect(sink->inputPin());
    }
    // The last filter is gone: the runtime may now unload the driver.
    CoFreeUnusedLibraries();
}

void TestServerMessages::hostHandlerWorksAfterUnload()
{
    // With its last object gone the runtime unloaded the driver. A handler of the driver's left installed
    // would now point at unmapped code; the host's own lines must reach the host's handler instead.
    QVERIFY(!driverLoaded());
    qDebug("a line of the host's own");
    QVERIFY(received_("a line of the host's own"));
}

QTEST_GUILESS_MAIN(TestServerMessages)
#include "tst_ServerMessages.moc"
