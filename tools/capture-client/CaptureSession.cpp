#include "tools/capture-client/CaptureSession.h"

#include "platform/windows/com_ptr.h"
#include "tools/capture-client/ProgressLine.h"
#include "tools/capture-client/Recorder.h"
#include "tools/capture-client/SampleQueue.h"
#include "tools/capture-client/VideoDevices.h"
#include "tools/common/HResultText.h"
#include "tools/common/Pins.h"
#include "tools/sample-sink/MediaTypeCopies.h"
#include "tools/sample-sink/SampleSink.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>

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
    const HRESULT opened = devices.open(m_options.device, source.ReleaseAndGetAddressOf());
    if (opened == VFW_E_NOT_FOUND)
        return fail("no video input device named \"" + m_options.device + "\" is registered (" +
                    (devices.devices().empty() ? std::string("none is") : "found: " + devices.names()) +
                    "); register the driver with vistrelregsvr first");
    if (FAILED(opened) || !source) {
        const std::string library = registeredLibraryOf(devices, m_options.device);
        return fail("cannot create the device \"" + m_options.device + "\"" +
                    (library.empty() ? std::string() : " from " + library) + ": " + hr(opened));
    }

    ComPtr<IPin> output = vistrel::tools::firstPin(source.Get(), PINDIR_OUTPUT);
    if (!output)
        return fail("the device \"" + m_options.device + "\" has no output pin");

    // The format the device offers, as applications ask for it.
    RecordingFormat format;
    std::string problem;
    ComPtr<IAMStreamConfig> config = queryComPtr<IAMStreamConfig>(output, IID_IAMStreamConfig);
    if (config) {
        AM_MEDIA_TYPE *offered = nullptr;
        const HRESULT got = config->GetFormat(&offered);
        if (SUCCEEDED(got) && offered) {
            if (describeFormat(*offered, &format, &problem))
                std::printf("device format: %dx%d RGB24, %.3f frames/s\n", format.width, format.height,
                            1e7 / double(format.frameInterval100ns));
            vistrel::sink::deleteMediaTypeBlock(offered);
        } else {
            std::fprintf(stderr, "vistrelcapture: note: IAMStreamConfig::GetFormat failed: %s\n",
                         hr(got).c_str());
        }
    }

    // The graph: device -> sink. Frames are copied on the sender's thread and recorded on this one.
    SampleQueue queue(kQueueCapacity);
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
    ComPtr<vistrel::sink::SampleSink> sink = adoptComPtr(vistrel::sink::SampleSink::create(sinkOptions));
    if (!sink)
        return fail("out of memory creating the sink");

    ComPtr<IGraphBuilder> graph;
    HRESULT step = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                    comOutput(graph));
    if (FAILED(step))
        return fail("cannot create a filter graph: " + hr(step));
    if (FAILED(step = graph->AddFilter(source.Get(), L"Video source")) ||
        FAILED(step = graph->AddFilter(sink.Get(), L"Sink")))
        return fail("cannot add the filters to the graph: " + hr(step));
    step = graph->Connect(output.Get(), sink->inputPin());
    if (FAILED(step))
        return fail("the device \"" + m_options.device + "\" refused the connection: " + hr(step));

    AM_MEDIA_TYPE agreed{};
    if (FAILED(step = output->ConnectionMediaType(&agreed)))
        return fail("cannot read the connection's format: " + hr(step));
    const bool usable = describeFormat(agreed, &format, &problem);
    vistrel::sink::freeMediaTypeContents(agreed);
    if (!usable)
        return fail(problem);
    std::printf("recording %dx%d at %.3f frames/s into %s\n", format.width, format.height,
                1e7 / double(format.frameInterval100ns), m_options.output.c_str());

    Recorder recorder(format, m_options.output, m_options.snapshots);
    if (!recorder.start())
        return fail(recorder.errorString(), OutputFailure);

    ComPtr<IMediaControl> control = queryComPtr<IMediaControl>(graph, IID_IMediaControl);
    ComPtr<IMediaEvent> events = queryComPtr<IMediaEvent>(graph, IID_IMediaEvent);
    if (!control)
        return fail("the filter graph has no IMediaControl");
    if (FAILED(step = control->Run())) {
        control->Stop();
        recorder.finish();
        return fail("the graph does not run: " + hr(step));
    }

    ProgressLine progress(stdout, isatty(STDOUT_FILENO) == 1);
    const double runStart = monotonicSeconds();
    double firstFrame = -1;
    double lastFrame = runStart;
    std::string streamError;
    bool writeFailed = false;
    const auto limitReached = [&]() {
        const CaptureStatistics &stats = recorder.statistics();
        if (m_options.frames > 0 && stats.frames() >= m_options.frames)
            return true;
        return m_options.seconds > 0 && firstFrame >= 0 &&
               monotonicSeconds() - firstFrame >= m_options.seconds;
    };

    while (!stopRequested.load() && !limitReached()) {
        if (std::optional<QueuedFrame> frame = queue.pop(std::chrono::milliseconds(100))) {
            if (firstFrame < 0)
                firstFrame = frame->arrivalSeconds;
            lastFrame = frame->arrivalSeconds;
            // Frames beyond the time limit are not recorded.
            if (m_options.seconds > 0 && frame->arrivalSeconds - firstFrame >= m_options.seconds)
                break;
            if (!recorder.addFrame(frame->bytes.data(), frame->bytes.size(), frame->arrivalSeconds,
                                   frame->start100ns)) {
                writeFailed = true;
                break;
            }
            const CaptureStatistics &stats = recorder.statistics();
            progress.update(stats.frames(), stats.measuredRate(), frame->arrivalSeconds - firstFrame);
        }
        if (events) {
            LONG code = 0;
            LONG_PTR p1 = 0, p2 = 0;
            while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
                events->FreeEventParams(code, p1, p2);
                if (code == EC_ERRORABORT)
                    streamError = "the device aborted the stream: " + hr(static_cast<HRESULT>(p1));
                else if (code == EC_COMPLETE)
                    streamError = "the device ended the stream";
            }
            if (!streamError.empty())
                break;
        }
        if (monotonicSeconds() - lastFrame > kNoFrameTimeoutSeconds) {
            streamError = "the device delivered no frame for " + std::to_string(int(kNoFrameTimeoutSeconds)) +
                          " seconds";
            break;
        }
    }
    progress.finish();

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

    if (writeFailed || !finished)
        return fail(recorder.errorString(), OutputFailure);
    if (!streamError.empty())
        return fail(streamError);
    if (stopRequested.load()) {
        std::fprintf(stderr, "vistrelcapture: interrupted; the recording so far is complete and playable\n");
        return Interrupted;
    }
    return Success;
}
