#include "bench/latency-probe/StreamProbe.h"

#include "bench/latency-probe/CodedFrames.h"
#include "platform/windows/HresultText.h"
#include "tools/common/Pins.h"
#include "tools/sample-sink/MediaTypeCopies.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>

namespace {

int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string hr(HRESULT code)
{
    return hresultText(static_cast<uint32_t>(code));
}

// A cheap fingerprint of a picture: a few thousand bytes spread over it.
uint64_t checksum(const BYTE *data, LONG length)
{
    uint64_t sum = 1469598103934665603ull;
    const LONG step = length / 4096 + 1;
    for (LONG i = 0; i < length; i += step)
        sum = (sum ^ data[i]) * 1099511628211ull;
    return sum;
}

std::string narrow(const WCHAR *text)
{
    std::string out;
    for (; text && *text; ++text)
        out += char(*text < 128 ? *text : '?');
    return out;
}

// The device of that name in the video input device category, created by binding its moniker.
HRESULT openDevice(const std::string &name, IBaseFilter **filter)
{
    *filter = nullptr;
    ComPtr<ICreateDevEnum> enumerator;
    HRESULT result = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICreateDevEnum, comOutput(enumerator));
    if (FAILED(result))
        return result;
    ComPtr<IEnumMoniker> monikers;
    result = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory,
                                               monikers.ReleaseAndGetAddressOf(), 0);
    if (FAILED(result) || !monikers)
        return FAILED(result) ? result : VFW_E_NOT_FOUND;
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, comOutput(bag))) || !bag)
            continue;
        VARIANT value;
        VariantInit(&value);
        const bool match = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
                           narrow(value.bstrVal) == name;
        VariantClear(&value);
        if (match)
            return moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                         reinterpret_cast<void **>(filter));
    }
    return VFW_E_NOT_FOUND;
}

} // namespace

StreamProbe::StreamProbe(size_t maxArrivals)
{
    m_arrivals.reserve(maxArrivals);
}

StreamProbe::~StreamProbe()
{
    stop();
}

bool StreamProbe::start(const std::string &device, std::string *error)
{
    HRESULT step = openDevice(device, m_source.ReleaseAndGetAddressOf());
    if (FAILED(step) || !m_source) {
        *error = "cannot open the device \"" + device + "\" (is the driver registered?): " + hr(step);
        return false;
    }
    m_output = vistrel::tools::firstPin(m_source.Get(), PINDIR_OUTPUT);
    if (!m_output) {
        *error = "the device has no output pin";
        return false;
    }

    vistrel::sink::SampleSinkOptions options;
    options.subtype = MEDIASUBTYPE_RGB24;
    options.formatType = FORMAT_VideoInfo;
    options.onSample = [this](const vistrel::sink::ReceivedSample &sample) { onSample(sample); };
    m_sink = adoptComPtr(vistrel::sink::SampleSink::create(options));
    if (!m_sink) {
        *error = "out of memory creating the sink";
        return false;
    }
    if (FAILED(step = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                       comOutput(m_graph))) ||
        FAILED(step = m_graph->AddFilter(m_source.Get(), L"Video source")) ||
        FAILED(step = m_graph->AddFilter(m_sink.Get(), L"Sink")) ||
        FAILED(step = m_graph->Connect(m_output.Get(), m_sink->inputPin()))) {
        *error = "cannot build the graph: " + hr(step);
        return false;
    }

    AM_MEDIA_TYPE agreed{};
    if (FAILED(step = m_output->ConnectionMediaType(&agreed))) {
        *error = "cannot read the connection's format: " + hr(step);
        return false;
    }
    if (agreed.pbFormat && agreed.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto *info = reinterpret_cast<const VIDEOINFOHEADER *>(agreed.pbFormat);
        m_width = info->bmiHeader.biWidth;
        m_height = info->bmiHeader.biHeight;
        m_stride = ((3LL * m_width) + 3) / 4 * 4;
        m_outputFps = info->AvgTimePerFrame > 0 ? 1e7 / double(info->AvgTimePerFrame) : 0;
    }
    vistrel::sink::freeMediaTypeContents(agreed);
    if (m_width <= 0 || m_height <= 0) {
        *error = "the connection's format has no usable picture size";
        return false;
    }

    m_control = queryComPtr<IMediaControl>(m_graph, IID_IMediaControl);
    if (!m_control || FAILED(step = m_control->Run())) {
        *error = "the graph does not run: " + hr(m_control ? step : E_NOINTERFACE);
        return false;
    }
    m_running = true;
    return true;
}

void StreamProbe::stop()
{
    if (m_control && m_running)
        m_control->Stop();
    m_running = false;
    if (m_graph && m_output) {
        m_graph->Disconnect(m_output.Get());
        m_graph->Disconnect(m_sink->inputPin());
    }
}

void StreamProbe::onSample(const vistrel::sink::ReceivedSample &sample)
{
    const int64_t now = steadyNs();
    if (m_samples.fetch_add(1) == 0)
        m_senderThread.store(int(syscall(SYS_gettid)));
    if (!sample.data || sample.bufferSize <= 0)
        return;
    // The pin sets no data length; the whole buffer is the picture.
    const LONG length = sample.length > 0 ? sample.length : sample.bufferSize;

    const uint64_t sum = checksum(sample.data, length);
    if (m_samples.load() == 1)
        m_firstChecksum = sum;
    else if (m_cameraStartNs.load() == 0 && sum != m_firstChecksum)
        m_cameraStartNs.store(now);

    const int code = CodedFrames::read(sample.data, length, m_width, m_height, m_stride);
    // A repeated picture is the same camera frame again; only its first arrival counts.
    const bool repeated = code >= 0 ? code == m_lastCode : sum == m_lastChecksum;
    m_lastCode = code;
    m_lastChecksum = sum;
    if (repeated || m_cameraStartNs.load() == 0)
        return;
    if (m_arrivals.size() < m_arrivals.capacity())
        m_arrivals.push_back(Arrival{code, now});
}
