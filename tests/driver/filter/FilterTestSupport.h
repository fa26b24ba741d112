// Shared by the filter's tests: settings and simulated cameras set up before a filter is made, log
// capture, and a graph of the virtual camera feeding the platform's sample sink.
#pragma once

#include "driver/filter/CVCam.h"
#include "driver/filter/CVCamStream.h"
#include "platform/windows/ComPtr.h"
#include "tools/sample-sink/SampleSink.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QVector>

#include <functional>
#include <mutex>

namespace FilterTest {

// Waits are for conditions; a time-out only guards against a hang, however busy the machine.
constexpr int kGuardMs = 300000;

// Log lines of every thread, from the first call on (also those the filter's handler forwards).
void captureLog();
void clearLog();
int countLines(const QString &line);
int countLinesStartingWith(const QString &prefix);
bool waitForLine(const QString &line, int times = 1, int timeoutMs = kGuardMs);
// Writes the collected lines to the standard error stream, to tell what led to a failure.
void printLog();

// Waits until `condition` holds; false on time-out.
bool waitFor(const std::function<bool()> &condition, int timeoutMs = kGuardMs);

// One simulated camera (or none), short capture-thread waits, and the settings a new filter reads.
void setUpCameras(bool withCamera);
void saveSettings(double fps, const QSize &customSize = QSize());

// A new filter through its factory function, with one reference held by the pointer.
ComPtr<IBaseFilter> createFilter();
CVCamStream *pinOf(IBaseFilter *filter);

// Whether nothing made by the framework or the platform runtime is left, and the camera SDK has been
// shut down (so the capture thread has ended).
bool nothingAlive();

// A sample as the sink saw it.
struct Sample
{
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    bool hasTimes = false;
    bool syncPoint = false;
    LONG bufferSize = 0;
    bool placeholder = false; // its first bytes are the placeholder picture's
    LONGLONG receivedAt = 0;  // delivery clock when the sink got it
    QByteArray bytes;         // kept only when asked for
};

// The virtual camera connected to a sample sink in the platform's filter graph.
class VCamGraph
{
public:
    VCamGraph() = default;
    ~VCamGraph();
    VCamGraph(const VCamGraph &) = delete;
    VCamGraph &operator=(const VCamGraph &) = delete;

    // `placeholder` is compared with each sample's first bytes; `offered` is the sink's preferred type.
    HRESULT build(const QByteArray &placeholder = QByteArray(), const AM_MEDIA_TYPE *offered = nullptr,
                  bool keepBytes = false);

    IMediaControl *control() const { return m_control.Get(); }
    IBaseFilter *filter() const { return m_filter.Get(); }
    CVCamStream *pin() const { return pinOf(m_filter.Get()); }
    vistrel::sink::SampleSink *sink() const { return m_sink; }

    QVector<Sample> samples() const;
    int sampleCount() const;
    bool waitForSamples(int count, int timeoutMs = kGuardMs) const;
    // Waits until a sample after index `from` satisfies `match`; its index, or -1 on time-out.
    int waitForSample(int from, const std::function<bool(const Sample &)> &match,
                      int timeoutMs = kGuardMs) const;

private:
    void received(const vistrel::sink::ReceivedSample &sample);

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IBaseFilter> m_filter;
    ComPtr<IBaseFilter> m_sinkFilter;
    vistrel::sink::SampleSink *m_sink = nullptr; // held by m_sinkFilter
    QByteArray m_placeholder;
    bool m_keepBytes = false;
    mutable std::mutex m_lock;
    QVector<Sample> m_samples;
};

} // namespace FilterTest
