// Streams the virtual camera into a sink as a video application would, and notes when each new camera
// frame reaches the sink.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"
#include "tools/sample-sink/SampleSink.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

struct Arrival
{
    int code = -1;        // the index the picture spells, -1 if none
    int64_t steadyNs = 0; // when the sample reached the sink
};

class StreamProbe
{
public:
    explicit StreamProbe(size_t maxArrivals);
    ~StreamProbe();
    StreamProbe(const StreamProbe &) = delete;
    StreamProbe &operator=(const StreamProbe &) = delete;

    // Opens the device through the video input device category, connects it to a sink and runs the graph.
    // False with a reason in *error.
    bool start(const std::string &device, std::string *error);
    // Stops the graph; the sink's callback has returned for good afterwards.
    void stop();

    int width() const { return m_width; }
    int height() const { return m_height; }
    double outputFps() const { return m_outputFps; }

    // When the first sample differing from the very first one (the placeholder) arrived; 0 until then.
    int64_t cameraStartNs() const { return m_cameraStartNs.load(); }
    long samples() const { return m_samples.load(); }
    // The thread that delivers samples; 0 until the first.
    int senderThread() const { return m_senderThread.load(); }

    // New pictures in order of arrival (a repeated picture is noted once). Read after stop().
    const std::vector<Arrival> &arrivals() const { return m_arrivals; }

private:
    void onSample(const vistrel::sink::ReceivedSample &sample);

    ComPtr<IBaseFilter> m_source;
    ComPtr<vistrel::sink::SampleSink> m_sink;
    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IPin> m_output;
    int m_width = 0;
    int m_height = 0;
    long long m_stride = 0;
    double m_outputFps = 0;

    // Touched only by the sender's thread while the graph runs.
    std::vector<Arrival> m_arrivals;
    uint64_t m_firstChecksum = 0;
    uint64_t m_lastChecksum = 0;
    int m_lastCode = -1;
    bool m_running = false;

    std::atomic<int64_t> m_cameraStartNs{0};
    std::atomic<long> m_samples{0};
    std::atomic<int> m_senderThread{0};
};
