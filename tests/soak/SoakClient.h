// The video application's side of the soak: registers the driver, opens the virtual camera through the
// video input device category, streams it into a sample sink, and at random pauses and resumes, stops
// and restarts, changes the format while streaming, creates and releases further filters, and releases
// the running graph without stopping it.
#pragma once

#include "platform/dshow/dshow.h"
#include "platform/windows/ComPtr.h"
#include "tools/sample-sink/SampleSink.h"

#include <chrono>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

class PictureWatch;
class SampleWatch;
class StallMonitor;

class SoakClient
{
public:
    using Clock = std::chrono::steady_clock;

    SoakClient(std::mt19937_64 &random, SampleWatch &watch, StallMonitor &stalls);
    ~SoakClient();
    SoakClient(const SoakClient &) = delete;
    SoakClient &operator=(const SoakClient &) = delete;

    // Loads the driver library beside this program and registers it. False with a message on failure.
    bool registerDriver(std::string &error);
    // Finds "VistrelToolx64" as applications do, connects it to the sink and runs the graph.
    bool startStreaming(std::string &error);
    // Also tells the camera's pictures apart in every graph built from now on.
    void setPictureWatch(PictureWatch *pictures) { m_pictures = pictures; }
    // Stops the graph until `condition` holds (or the guard of `guardSeconds` ends a wait that would never
    // end), then runs it again. Whether the condition held.
    bool stopWhile(const std::function<bool()> &condition, int guardSeconds);
    // One client action chosen at random.
    void actOne();
    // Releases the extra filters that are due.
    void tick();
    // Back to running with the main graph, extra filters released.
    void settle();
    // True while the client has a graph, false once it could not build one again.
    bool streaming() const { return bool(m_control); }
    // Stops and releases the graph and every filter.
    void stopStreaming();
    // The driver's DllCanUnloadNow, asked through its export.
    HRESULT canUnloadNow() const;
    // Unregisters (if this run registered), lets the library go and asks COM to unload it.
    void unregisterDriver();

    const std::map<std::string, int> &counts() const { return m_counts; }
    std::string lastFailure() const { return m_lastFailure; }
    // Changes of format after which one pin called itself connected and the other not: a graph that
    // can no longer stream.
    int halfConnections() const { return m_halfConnections; }

private:
    void setRunning(bool running);
    void pauseAndResume();
    void stopAndRestart();
    void setFormatWhileStreaming();
    void createExtraFilter();
    void releaseWhileRunning();
    HRESULT openDevice(IBaseFilter **filter);
    void note(const std::string &what, HRESULT hr);

    std::mt19937_64 &m_random;
    SampleWatch &m_watch;
    StallMonitor &m_stalls;
    PictureWatch *m_pictures = nullptr;
    HMODULE m_driver = nullptr;
    bool m_registeredHere = false;

    ComPtr<IGraphBuilder> m_graph;
    ComPtr<IMediaControl> m_control;
    ComPtr<IBaseFilter> m_source;
    ComPtr<IPin> m_output;
    ComPtr<vistrel::sink::SampleSink> m_sink;

    struct ExtraFilter
    {
        ComPtr<IBaseFilter> filter;
        Clock::time_point releaseAt;
    };
    std::vector<ExtraFilter> m_extraFilters;
    std::map<std::string, int> m_counts;
    std::string m_lastFailure;
    int m_halfConnections = 0;
};
