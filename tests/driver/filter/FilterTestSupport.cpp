#include "tests/driver/filter/FilterTestSupport.h"

#include "driver/capture/CaptureTimings.h"
#include "driver/capture/DeliveryClock.h"
#include "driver/filter/MessageForwarding.h"
#include "driver/filter/base/CBaseObject.h"
#include "platform/dshow/RuntimeObjects.h"
#include "platform/edsdk/EdsSimulator.h"
#include "settings/GlobalSettings.h"

#include <QDeadlineTimer>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <cstring>

namespace FilterTest {
namespace {

// A standard mutex, whose hand-over ThreadSanitizer can follow.
std::mutex logMutex;
QStringList lines;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::lock_guard<std::mutex> lock(logMutex);
    lines << message;
}

} // namespace

void captureLog()
{
    // Every filter installs the driver's forwarding handler, which hands lines to the handler that was
    // in force when the driver was loaded: that is the collector too.
    previousMessageHandler = collect;
    qInstallMessageHandler(collect);
}

void clearLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    lines.clear();
}

int countLines(const QString &line)
{
    std::lock_guard<std::mutex> lock(logMutex);
    return int(lines.count(line));
}

int countLinesStartingWith(const QString &prefix)
{
    std::lock_guard<std::mutex> lock(logMutex);
    int count = 0;
    for (const QString &line : lines)
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

void printLog()
{
    std::lock_guard<std::mutex> lock(logMutex);
    for (const QString &line : lines)
        std::fprintf(stderr, "  log: %s\n", qPrintable(line));
}

bool waitForLine(const QString &line, int times, int timeoutMs)
{
    return waitFor([&] { return countLines(line) >= times; }, timeoutMs);
}

bool waitFor(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(2);
    }
    return true;
}

void setUpCameras(bool withCamera)
{
    EdsSimReset(withCamera ? "Canon EOS 90D:startup=0" : "");
    CaptureTimings fast;
    fast.liveViewStartMs = 20;
    fast.retryPauseMs = 100;
    CaptureTimings::setForTesting(fast);
}

void saveSettings(double fps, const QSize &customSize)
{
    GlobalSettings *settings = GlobalSettings::instance(nullptr);
    settings->set_videoFps(fps);
    settings->set_customResolution(customSize.isValid());
    if (customSize.isValid())
        settings->set_videoResolution(customSize);
    settings->set_deviceInfo(QVariantMap{{"cn", "Canon EOS 90D"}, {"cp", "usb:1"}, {"nr", QSize(960, 640)}});
    settings->saveSettings();
    delete settings;
}

ComPtr<IBaseFilter> createFilter()
{
    HRESULT hr = S_OK;
    CUnknown *object = CVCam::CreateInstance(nullptr, &hr);
    if (object == nullptr || FAILED(hr)) {
        delete object;
        return {};
    }
    ComPtr<IBaseFilter> filter;
    object->NonDelegatingQueryInterface(IID_IBaseFilter, comOutput(filter));
    return filter;
}

CVCamStream *pinOf(IBaseFilter *filter)
{
    return filter != nullptr ? static_cast<CVCam *>(filter)->stream() : nullptr;
}

bool nothingAlive()
{
    return CBaseObject::ObjectsActive() == 0 && VistrelDShowLiveObjects() == 0 &&
           vistrel::sink::objectsAlive() == 0 && EdsSimInitializeCount() == 0 &&
           EdsSimLiveReferenceCount() == 0;
}

VCamGraph::~VCamGraph()
{
    if (m_control)
        m_control->Stop();
    m_control.Reset();
    m_graph.Reset();
    m_sinkFilter.Reset();
    m_filter.Reset();
}

HRESULT VCamGraph::build(const QByteArray &placeholder, const AM_MEDIA_TYPE *offered, bool keepBytes)
{
    m_placeholder = placeholder;
    m_keepBytes = keepBytes;
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  comOutput(m_graph));
    if (FAILED(hr))
        return hr;
    m_control = queryComPtr<IMediaControl>(m_graph, IID_IMediaControl);
    if (!m_control)
        return E_NOINTERFACE;
    m_filter = createFilter();
    if (!m_filter)
        return E_FAIL;

    vistrel::sink::SampleSinkOptions options;
    options.onSample = [this](const vistrel::sink::ReceivedSample &sample) { received(sample); };
    options.offeredType = offered;
    m_sink = vistrel::sink::SampleSink::create(options);
    if (m_sink == nullptr)
        return E_OUTOFMEMORY;
    m_sinkFilter = adoptComPtr<IBaseFilter>(m_sink);

    hr = m_graph->AddFilter(m_filter.Get(), L"Vistrel");
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(m_sinkFilter.Get(), L"Sink");
    if (SUCCEEDED(hr))
        hr = m_graph->ConnectDirect(static_cast<IPin *>(pin()), m_sink->inputPin(), NULL);
    return hr;
}

void VCamGraph::received(const vistrel::sink::ReceivedSample &sample)
{
    Sample seen;
    seen.receivedAt = clock100ns(0);
    seen.start = sample.start;
    seen.stop = sample.stop;
    seen.hasTimes = sample.hasStartTime && sample.hasStopTime;
    seen.syncPoint = sample.syncPoint;
    seen.bufferSize = sample.bufferSize;
    const LONG compared = qMin<LONG>(sample.bufferSize, LONG(m_placeholder.size()));
    seen.placeholder =
        compared > 0 && std::memcmp(sample.data, m_placeholder.constData(), size_t(compared)) == 0;
    if (m_keepBytes)
        seen.bytes = QByteArray(reinterpret_cast<const char *>(sample.data), int(sample.bufferSize));
    std::lock_guard<std::mutex> lock(m_lock);
    m_samples.append(seen);
}

QVector<Sample> VCamGraph::samples() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_samples;
}

int VCamGraph::sampleCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_samples.size();
}

bool VCamGraph::waitForSamples(int count, int timeoutMs) const
{
    return waitFor([&] { return sampleCount() >= count; }, timeoutMs);
}

int VCamGraph::waitForSample(int from, const std::function<bool(const Sample &)> &match, int timeoutMs) const
{
    int found = -1;
    waitFor(
        [&] {
            std::lock_guard<std::mutex> lock(m_lock);
            for (int i = from; i < m_samples.size(); ++i) {
                if (match(m_samples[i])) {
                    found = i;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

} // namespace FilterTest
