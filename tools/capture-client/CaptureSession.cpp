#include "tools/capture-client/CaptureSession.h"

#include "platform/windows/ComPtr.h"
#include "platform/windows/HresultText.h"
#include "tools/capture-client/ProgressLine.h"
#include "tools/capture-client/Recorder.h"
#include "tools/capture-client/SampleQueue.h"
#include "tools/capture-client/VideoDevices.h"
#include "tools/common/Pins.h"
#include "tools/sample-sink/MediaTypeCopies.h"
#include "tools/sample-sink/SampleSink.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// A device that delivers nothing for this long is reported rather than waited on for ever.
constexpr double kNoFrameTimeoutSeconds = 20;
// Frames waiting for the recorder; about three seconds at 30 frames per second.
constexpr size_t kQueueCapacity = 90;

double monotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string hr(HRESULT code)
{
    return hresultText(static_cast<uint32_t>(code));
}

int fail(const std::string &message, int code = CaptureSession::DeviceFailure)
{
    std::fprintf(stderr, "vistrelcapture: %s\n", message.c_str());
    return code;
}

// Enters COM for the calling thread for as long as it lives.
class ComApartment
{
public:
    ComApartment() : m_result(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    HRESULT result() const { return m_result; }

private:
    HRESULT m_result;
};

// The library registered for the device's class, for messages about a filter that cannot be created.
std::string registeredLibraryOf(const VideoDeviceList &devices, const std::string &name)
{
    for (const VideoDevice &device : devices.devices()) {
        if (device.friendlyName != name)
            continue;
        IPropertyBag *bag = nullptr;
        if (FAILED(device.moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void **>(&bag))))
            return std::string();
        std::string path;
        VARIANT clsid;
        VariantInit(&clsid);
        if (SUCCEEDED(bag->Read(L"CLSID", &clsid, nullptr)) && clsid.vt == VT_BSTR) {
            const std::wstring key = std::wstring(L"CLSID\\") + clsid.bstrVal + L"\\InprocServer32";
            HKEY handle = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) == ERROR_SUCCESS) {
                char value[4096] = {};
                DWORD size = sizeof value - 1;
                DWORD type = 0;
                if (RegQueryValueExA(handle, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(value),
                                     &size) == ERROR_SUCCESS &&
                    type == REG_SZ)
                    path = value;
                RegCloseKey(handle);
            }
        }
        VariantClear(&clsid);
        bag->Release();
        return path;
    }
    return std::string();
}

bool describeFormat(const AM_MEDIA_TYPE &type, RecordingFormat *format, std::string *problem)
{
    if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !IsEqualGUID(type.formattype, FORMAT_VideoInfo) ||
        type.pbFormat == nullptr || type.cbFormat < sizeof(VIDEOINFOHEADER)) {
        *problem = "the device's format is not a video format with a VIDEOINFOHEADER";
        return false;
    }
    const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(type.pbFormat);
    if (!IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24) || info->bmiHeader.biBitCount != 24 ||
        info->bmiHeader.biCompression != 0) {
        *problem = "the device's format is not uncompressed 24-bit RGB";
        return false;
    }
    if (info->bmiHeader.biWidth <= 0 || info->bmiHeader.biHeight <= 0 || info->AvgTimePerFrame <= 0) {
        *problem = "the device's format has no usable picture size or frame interval (" +
                   std::to_string(info->bmiHeader.biWidth) + "x" + std::to_string(info->bmiHeader.biHeight) +
                   ", interval " + std::to_string(info->AvgTimePerFrame) + ")";
        return false;
    }
    format->width = info->bmiHeader.biWidth;
    format->height = info->bmiHeader.biHeight;
    format->frameInterval100ns = info->AvgTimePerFrame;
    return true;
}

// The filter of the device named `name`, created as an application creates it. Success, or the exit
// code after a message that names what is missing.
int openSource(const VideoDeviceList &devices, const std::string &name, ComPtr<IBaseFilter> *source)
{
    const HRESULT opened = devices.open(name, source->ReleaseAndGetAddressOf());
    if (opened == VFW_E_NOT_FOUND)
        return fail("no video input device named \"" + name + "\" is registered (" +
                    (devices.devices().empty() ? std::string("none is") : "found: " + devices.names()) +
                    "); register the driver with vistrelregsvr first");
    if (FAILED(opened) || !*source) {
        const std::string library = registeredLibraryOf(devices, name);
        return fail("cannot create the device \"" + name + "\"" +
                    (library.empty() ? std::string() : " from " + library) + ": " + hr(opened));
    }
    return CaptureSession::Success;
}

// The format the device offers, as applications ask for it before connecting; only printed.
void reportOfferedFormat(const ComPtr<IPin> &output)
{
    ComPtr<IAMStreamConfig> config = queryComPtr<IAMStreamConfig>(output, IID_IAMStreamConfig);
    if (!config)
        return;
    AM_MEDIA_TYPE *offered = nullptr;
    const HRESULT got = config->GetFormat(&offered);
    if (SUCCEEDED(got) && offered) {
        RecordingFormat format;
        std::string problem;
        if (describeFormat(*offered, &format, &problem))
            std::printf("device format: %dx%d RGB24, %.3f frames/s\n", format.width, format.height,
                        1e7 / double(format.frameInterval100ns));
        vistrel::sink::deleteMediaTypeBlock(offered);
    } else {
        std::fprintf(stderr, "vistrelcapture: note: IAMStreamConfig::GetFormat failed: %s\n",
                     hr(got).c_str());
    }
}

// A sink that copies each frame on the sender's thread into `queue`, for the recorder on this one.
ComPtr<vistrel::sink::SampleSink> createQueueingSink(SampleQueue &queue)
{
    vistrel::sink::SampleSinkOptions sinkOptions;
    sinkOptions.subtype = MEDIASUBTYPE_RGB24;
    sinkOptions.formatType = FORMAT_VideoInfo;
    sinkOptions.onSample = [&queue](const vistrel::sink::ReceivedSample &sample) {
        QueuedFrame frame;
        frame.arrivalSeconds = monotonicSeconds();
        if (sample.data && sample.length > 0)
            frame.bytes.assign(sample.data, sample.data + sample.length);
        if (sample.hasStartTime)
            frame.start100ns = sample.start;
        queue.push(std::move(frame));
    };
    return adoptComPtr(vistrel::sink::SampleSink::create(sinkOptions));
}

// The graph: the device's output pin connected to the sink.
int connectGraph(const std::string &device, IBaseFilter *source, IPin *output,
                 vistrel::sink::SampleSink *sink, ComPtr<IGraphBuilder> *graph)
{
    HRESULT step = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    comOutput(*graph));
    if (FAILED(step))
        return fail("cannot create a filter graph: " + hr(step));
    if (FAILED(step = (*graph)->AddFilter(source, L"Video source")) ||
        FAILED(step = (*graph)->AddFilter(sink, L"Sink")))
        return fail("cannot add the filters to the graph: " + hr(step));
    step = (*graph)->Connect(output, sink->inputPin());
    if (FAILED(step))
        return fail("the device \"" + device + "\" refused the connection: " + hr(step));
    return CaptureSession::Success;
}

// The format the connection agreed on, if it is one the recorder can write.
int agreedFormat(IPin *output, RecordingFormat *format)
{
    AM_MEDIA_TYPE agreed{};
    const HRESULT read = output->ConnectionMediaType(&agreed);
    if (FAILED(read))
        return fail("cannot read the connection's format: " + hr(read));
    std::string problem;
    const bool usable = describeFormat(agreed, format, &problem);
    vistrel::sink::freeMediaTypeContents(agreed);
    return usable ? CaptureSession::Success : fail(problem);
}

// Why the graph ended the stream, from the events waiting now; empty while it streams on.
std::string streamEndReason(IMediaEvent *events)
{
    std::string reason;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        events->FreeEventParams(code, p1, p2);
        if (code == EC_ERRORABORT)
            reason = "the device aborted the stream: " + hr(static_cast<HRESULT>(p1));
        else if (code == EC_COMPLETE)
            reason = "the device ended the stream";
    }
    return reason;
}

struct RecordingOutcome
{
    // Empty unless the device ended or stalled the stream, or never showed the camera frames asked for.
    std::string streamError;
    bool writeFailed = false;
};

// The message when the camera frames asked for have not come in time; empty while there is time left.
std::string cameraFramesGuardHit(const CaptureOptions &options, const CaptureStatistics &stats,
                                 double secondsRecorded)
{
    if (options.cameraFrames == 0 || stats.cameraFrames() >= options.cameraFrames ||
        secondsRecorded < kCameraFramesGuardSeconds)
        return std::string();
    return "gave up after " + std::to_string(int(kCameraFramesGuardSeconds / 60)) + " minutes with " +
           std::to_string(stats.cameraFrames()) + " of the " + std::to_string(options.cameraFrames) +
           " camera frames asked for (" + std::to_string(stats.placeholderFrames()) +
           " placeholder frames): the device does not deliver its camera's picture";
}

// Hands queued frames to the recorder until a limit, a stop request, the stream's end or a write error.
RecordingOutcome recordFrames(const CaptureOptions &options, SampleQueue &queue, Recorder &recorder,
                              IMediaEvent *events, const std::atomic<bool> &stopRequested)
{
    RecordingOutcome outcome;
    DWORD consoleMode = 0;
    ProgressLine progress(stdout, GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &consoleMode) != 0);
    const double runStart = monotonicSeconds();
    double firstFrame = -1;
    double lastFrame = runStart;
    bool cameraFrameSeen = false;
    const auto limitReached = [&]() {
        const CaptureStatistics &stats = recorder.statistics();
        if (options.frames > 0 && stats.frames() >= options.frames)
            return true;
        if (options.cameraFrames > 0 && stats.cameraFrames() >= options.cameraFrames)
            return true;
        return options.seconds > 0 && firstFrame >= 0 && monotonicSeconds() - firstFrame >= options.seconds;
    };

    while (!stopRequested.load() && !limitReached()) {
        if (std::optional<QueuedFrame> frame = queue.pop(std::chrono::milliseconds(100))) {
            if (firstFrame < 0)
                firstFrame = frame->arrivalSeconds;
            lastFrame = frame->arrivalSeconds;
            // Frames beyond the time limit are not recorded.
            if (options.seconds > 0 && frame->arrivalSeconds - firstFrame >= options.seconds)
                break;
            if (!recorder.addFrame(frame->bytes.data(), frame->bytes.size(), frame->arrivalSeconds,
                                   frame->start100ns)) {
                outcome.writeFailed = true;
                break;
            }
            const CaptureStatistics &stats = recorder.statistics();
            // Said the moment it happens: a device that shows a placeholder first (its camera busy or
            // still starting) can be watched switching over.
            if (stats.newFrames() == 1 && !cameraFrameSeen) {
                cameraFrameSeen = true;
                progress.finish();
                std::printf("first camera frame: frame %llu, %.2f s into the recording\n",
                            static_cast<unsigned long long>(stats.frames() - 1),
                            frame->arrivalSeconds - firstFrame);
                std::fflush(stdout);
            }
            progress.update(stats.frames(), stats.measuredRate(), frame->arrivalSeconds - firstFrame);
        }
        if (events) {
            outcome.streamError = streamEndReason(events);
            if (!outcome.streamError.empty())
                break;
        }
        outcome.streamError =
            cameraFramesGuardHit(options, recorder.statistics(), monotonicSeconds() - runStart);
        if (!outcome.streamError.empty())
            break;
        if (monotonicSeconds() - lastFrame > kNoFrameTimeoutSeconds) {
            outcome.streamError = "the device delivered no frame for " +
                                  std::to_string(int(kNoFrameTimeoutSeconds)) + " seconds";
            break;
        }
    }
    progress.finish();
    return outcome;
}

} // namespace

int CaptureSession::listDevices()
{
    ComApartment com;
    if (FAILED(com.result()))
        return fail("cannot enter COM: " + hr(com.result()));
    VideoDeviceList devices;
    const HRESULT loaded = devices.load();
    if (FAILED(loaded))
        return fail("cannot list the video input devices: " + hr(loaded));
    if (devices.devices().empty())
        std::printf("no video input device is registered\n");
    for (const VideoDevice &device : devices.devices())
        std::printf("%s\n", device.friendlyName.c_str());
    return Success;
}

int CaptureSession::record(const std::atomic<bool> &stopRequested)
{
    ComApartment com;
    if (FAILED(com.result()))
        return fail("cannot enter COM: " + hr(com.result()));

    // The device, as an application finds it.
    VideoDeviceList devices;
    const HRESULT loaded = devices.load();
    if (FAILED(loaded))
        return fail("cannot list the video input devices: " + hr(loaded));
    ComPtr<IBaseFilter> source;
    if (const int status = openSource(devices, m_options.device, &source))
        return status;
    ComPtr<IPin> output = vistrel::tools::firstPin(source.Get(), PINDIR_OUTPUT);
    if (!output)
        return fail("the device \"" + m_options.device + "\" has no output pin");
    reportOfferedFormat(output);

    SampleQueue queue(kQueueCapacity);
    ComPtr<vistrel::sink::SampleSink> sink = createQueueingSink(queue);
    if (!sink)
        return fail("out of memory creating the sink");
    ComPtr<IGraphBuilder> graph;
    if (const int status = connectGraph(m_options.device, source.Get(), output.Get(), sink.Get(), &graph))
        return status;
    RecordingFormat format;
    if (const int status = agreedFormat(output.Get(), &format))
        return status;
    std::printf("recording %dx%d at %.3f frames/s into %s\n", format.width, format.height,
                1e7 / double(format.frameInterval100ns), m_options.output.c_str());

    Recorder recorder(format, m_options.output, m_options.snapshots);
    if (!recorder.start())
        return fail(recorder.errorString(), OutputFailure);

    ComPtr<IMediaControl> control = queryComPtr<IMediaControl>(graph, IID_IMediaControl);
    ComPtr<IMediaEvent> events = queryComPtr<IMediaEvent>(graph, IID_IMediaEvent);
    if (!control)
        return fail("the filter graph has no IMediaControl");
    const HRESULT ran = control->Run();
    if (FAILED(ran)) {
        control->Stop();
        recorder.finish();
        return fail("the graph does not run: " + hr(ran));
    }

    const RecordingOutcome outcome = recordFrames(m_options, queue, recorder, events.Get(), stopRequested);

    // Release a sender waiting for room before the graph stops, so Stop never waits on us.
    queue.close();
    control->Stop();
    graph->Disconnect(output.Get());
    graph->Disconnect(sink->inputPin());

    const bool finished = recorder.finish();
    for (const std::string &line : recorder.statistics().summaryLines())
        std::printf("%s\n", line.c_str());
    for (const std::string &note : recorder.notes())
        std::printf("%s\n", note.c_str());
    std::fflush(stdout);

    if (outcome.writeFailed || !finished)
        return fail(recorder.errorString(), OutputFailure);
    if (!outcome.streamError.empty())
        return fail(outcome.streamError);
    if (stopRequested.load()) {
        std::fprintf(stderr, "vistrelcapture: interrupted; the recording so far is complete and playable\n");
        return Interrupted;
    }
    return Success;
}
