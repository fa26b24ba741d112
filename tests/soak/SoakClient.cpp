#include "tests/soak/SoakClient.h"

#include "tests/soak/PictureWatch.h"
#include "tests/soak/ProcessProbe.h"
#include "tests/soak/SampleWatch.h"
#include "tests/soak/SoakTrace.h"
#include "tests/soak/StallGuard.h"
#include "tools/capture-client/VideoDevices.h"
#include "tools/common/Pins.h"
#include "tools/sample-sink/MediaTypeCopies.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

const char kDeviceName[] = "VistrelToolx64";

typedef HRESULT(STDAPICALLTYPE *PlainEntry)();

PlainEntry entryPoint(HMODULE module, const char *name)
{
    return module ? reinterpret_cast<PlainEntry>(reinterpret_cast<void *>(GetProcAddress(module, name)))
                  : nullptr;
}

void pauseFor(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string hex(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

} // namespace

SoakClient::SoakClient(std::mt19937_64 &random, SampleWatch &watch, StallMonitor &stalls)
    : m_random(random), m_watch(watch), m_stalls(stalls)
{
}

SoakClient::~SoakClient()
{
    stopStreaming();
    unregisterDriver();
}

bool SoakClient::registerDriver(std::string &error)
{
    // The driver beside this program, as its installer puts it (file name from the build).
    const std::string path = ProcessProbe::programFolder() + "/" + VISTREL_DRIVER_FILE;
    m_driver = LoadLibraryA(path.c_str());
    if (m_driver == nullptr) {
        error = "cannot load " + path;
        return false;
    }
    VideoDeviceList before;
    before.load();
    ComPtr<IBaseFilter> existing;
    m_registeredHere = before.open(kDeviceName, existing.ReleaseAndGetAddressOf()) == VFW_E_NOT_FOUND;
    existing.Reset();
    if (!m_registeredHere)
        return true;
    auto registerServer = entryPoint(m_driver, "DllRegisterServer");
    const HRESULT hr = registerServer ? registerServer() : E_NOTIMPL;
    if (FAILED(hr)) {
        m_registeredHere = false;
        error = "DllRegisterServer failed: " + hex(hr);
        return false;
    }
    return true;
}

HRESULT SoakClient::openDevice(IBaseFilter **filter)
{
    VideoDeviceList devices;
    const HRESULT loaded = devices.load();
    if (FAILED(loaded))
        return loaded;
    return devices.open(kDeviceName, filter);
}

bool SoakClient::startStreaming(std::string &error)
{
    StallGuard guard(m_stalls, "building the graph");
    HRESULT hr = openDevice(m_source.ReleaseAndGetAddressOf());
    if (FAILED(hr) || !m_source) {
        error = "cannot open " + std::string(kDeviceName) + ": " + hex(hr);
        return false;
    }
    m_output = vistrel::tools::firstPin(m_source.Get(), PINDIR_OUTPUT);
    if (!m_output) {
        error = "the device has no output pin";
        return false;
    }
    vistrel::sink::SampleSinkOptions options;
    options.subtype = MEDIASUBTYPE_RGB24;
    options.formatType = FORMAT_VideoInfo;
    options.onSample = [this, pictures = m_pictures](const vistrel::sink::ReceivedSample &sample) {
        m_watch.sampleArrived();
        if (pictures)
            pictures->sampleArrived(sample);
    };
    m_sink = adoptComPtr(vistrel::sink::SampleSink::create(options));
    hr = m_sink ? CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   comOutput(m_graph))
                : E_OUTOFMEMORY;
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(m_source.Get(), L"Virtual camera");
    if (SUCCEEDED(hr))
        hr = m_graph->AddFilter(m_sink.Get(), L"Sink");
    if (SUCCEEDED(hr))
        hr = m_graph->Connect(m_output.Get(), m_sink->inputPin());
    if (SUCCEEDED(hr)) {
        m_control = queryComPtr<IMediaControl>(m_graph, IID_IMediaControl);
        hr = m_control ? m_control->Run() : E_NOINTERFACE;
    }
    if (FAILED(hr)) {
        error = "cannot stream the device: " + hex(hr);
        return false;
    }
    setRunning(true);
    return true;
}

void SoakClient::setRunning(bool running)
{
    m_watch.setRunning(running);
}

void SoakClient::note(const std::string &what, HRESULT hr)
{
    ++m_counts[what];
    SoakTrace::line("client: " + what + " " + hex(hr));
    if (FAILED(hr)) {
        ++m_counts[what + " failed"];
        m_lastFailure = what + ": " + hex(hr);
    }
}

void SoakClient::actOne()
{
    if (!m_control)
        return;
    switch (std::uniform_int_distribution<int>(0, 8)(m_random)) {
    case 0:
    case 1:
        pauseAndResume();
        break;
    case 2:
        stopAndRestart();
        break;
    case 3:
    case 4:
        setFormatWhileStreaming();
        break;
    case 8:
        releaseWhileRunning();
        break;
    default:
        createExtraFilter();
        break;
    }
}

void SoakClient::releaseWhileRunning()
{
    // As an application that quits without stopping: its last reference makes the graph stop and let go of
    // the filters. Then it opens the camera again.
    {
        StallGuard guard(m_stalls, "releasing the running graph");
        setRunning(false);
        m_source.Reset();
        m_output.Reset();
        m_control.Reset();
        m_graph.Reset();
        m_sink.Reset();
    }
    std::string error;
    const bool started = startStreaming(error);
    note("release while running", started ? S_OK : E_FAIL);
    if (!started)
        m_lastFailure = "release while running: " + error;
}

void SoakClient::pauseAndResume()
{
    HRESULT hr;
    {
        StallGuard guard(m_stalls, "IMediaControl::Pause");
        setRunning(false);
        hr = m_control->Pause();
    }
    pauseFor(std::uniform_int_distribution<int>(10, 800)(m_random));
    if (SUCCEEDED(hr)) {
        StallGuard guard(m_stalls, "IMediaControl::Run after Pause");
        hr = m_control->Run();
    }
    setRunning(SUCCEEDED(hr));
    note("pause/run", hr);
}

void SoakClient::stopAndRestart()
{
    HRESULT hr;
    {
        StallGuard guard(m_stalls, "IMediaControl::Stop");
        setRunning(false);
        hr = m_control->Stop();
    }
    // Sometimes the format is changed while stopped, which makes the pin reconnect.
    if (SUCCEEDED(hr) && std::uniform_int_distribution<int>(0, 2)(m_random) == 0)
        setFormatWhileStreaming();
    pauseFor(std::uniform_int_distribution<int>(10, 500)(m_random));
    if (SUCCEEDED(hr)) {
        StallGuard guard(m_stalls, "IMediaControl::Run after Stop");
        hr = m_control->Run();
    }
    setRunning(SUCCEEDED(hr));
    note("stop/run", hr);
}

void SoakClient::setFormatWhileStreaming()
{
    static const REFERENCE_TIME intervals[] = {333333, 400000, 500000, 666666};
    ComPtr<IAMStreamConfig> config = queryComPtr<IAMStreamConfig>(m_output, IID_IAMStreamConfig);
    if (!config)
        return;
    StallGuard guard(m_stalls, "IAMStreamConfig::SetFormat");
    AM_MEDIA_TYPE *type = nullptr;
    HRESULT hr = config->GetFormat(&type);
    if (SUCCEEDED(hr) && type != nullptr) {
        if (type->formattype == FORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER) &&
            type->pbFormat)
            reinterpret_cast<VIDEOINFOHEADER *>(type->pbFormat)->AvgTimePerFrame =
                intervals[std::uniform_int_distribution<int>(0, 3)(m_random)];
        hr = config->SetFormat(type);
        vistrel::sink::deleteMediaTypeBlock(type);
    }
    note("set format", hr);
    // A change of type may make the graph reconnect the pin: whether the pins are still joined, both ways.
    ComPtr<IPin> peer, back;
    const HRESULT out = m_output->ConnectedTo(peer.ReleaseAndGetAddressOf());
    const HRESULT in = m_sink->inputPin()->ConnectedTo(back.ReleaseAndGetAddressOf());
    SoakTrace::line("  pin connected: " + hex(out) + ", sink connected: " + hex(in));
    if (SUCCEEDED(out) != SUCCEEDED(in)) {
        ++m_halfConnections;
        m_lastFailure = "after a change of format the pins are joined one way only: the pin " + hex(out) +
                        ", the sink " + hex(in);
    }
}

bool SoakClient::stopWhile(const std::function<bool()> &condition, int guardSeconds)
{
    if (!m_control)
        return false;
    HRESULT hr;
    {
        StallGuard guard(m_stalls, "IMediaControl::Stop");
        setRunning(false);
        hr = m_control->Stop();
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(guardSeconds);
    bool met = condition();
    while (SUCCEEDED(hr) && !met && Clock::now() < deadline) {
        pauseFor(50);
        met = condition();
    }
    if (SUCCEEDED(hr)) {
        StallGuard guard(m_stalls, "IMediaControl::Run after Stop");
        hr = m_control->Run();
    }
    setRunning(SUCCEEDED(hr));
    note("stop while a client takes the camera", hr);
    return met;
}

void SoakClient::createExtraFilter()
{
    StallGuard guard(m_stalls, "creating a further filter");
    ExtraFilter extra;
    const HRESULT hr = openDevice(extra.filter.ReleaseAndGetAddressOf());
    note("extra filter", hr);
    if (FAILED(hr))
        return;
    extra.releaseAt =
        Clock::now() + std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 3000)(m_random));
    m_extraFilters.push_back(std::move(extra));
}

void SoakClient::tick()
{
    const Clock::time_point now = Clock::now();
    for (auto it = m_extraFilters.begin(); it != m_extraFilters.end();) {
        if (now >= it->releaseAt) {
            StallGuard guard(m_stalls, "releasing a further filter");
            it = m_extraFilters.erase(it);
        } else {
            ++it;
        }
    }
}

void SoakClient::settle()
{
    {
        StallGuard guard(m_stalls, "releasing the further filters");
        m_extraFilters.clear();
    }
    if (m_control) {
        StallGuard guard(m_stalls, "IMediaControl::Run");
        setRunning(SUCCEEDED(m_control->Run()));
    }
}

void SoakClient::stopStreaming()
{
    StallGuard guard(m_stalls, "tearing the graph down");
    m_extraFilters.clear();
    setRunning(false);
    if (m_control)
        m_control->Stop();
    if (m_graph) {
        m_graph->RemoveFilter(m_sink.Get());
        m_graph->RemoveFilter(m_source.Get());
    }
    m_control.Reset();
    m_graph.Reset();
    m_output.Reset();
    m_sink.Reset();
    m_source.Reset();
}

HRESULT SoakClient::canUnloadNow() const
{
    const PlainEntry entry = entryPoint(m_driver, "DllCanUnloadNow");
    return entry ? entry() : E_UNEXPECTED;
}

void SoakClient::unregisterDriver()
{
    if (m_driver == nullptr)
        return;
    if (m_registeredHere) {
        auto unregisterServer = entryPoint(m_driver, "DllUnregisterServer");
        if (unregisterServer)
            unregisterServer();
        m_registeredHere = false;
    }
    FreeLibrary(m_driver);
    m_driver = nullptr;
    CoFreeUnusedLibraries();
}
