// Media types reach the pin from applications and from the pins they connect to: any GUIDs, any
// flags, format blocks of any length or none, absurd sizes and frame intervals. The pin's type
// operations must answer each with a defined result and hand out only well-formed types.
//
// Input layout: one byte of choices, then the fields of an AM_MEDIA_TYPE, then an ALLOCATOR_PROPERTIES
// request, then the format block (the remaining bytes).
#include "driver/filter/CVCam.h"
#include "driver/filter/CVCamStream.h"
#include "fuzz/FuzzTarget.h"
#include "platform/dshow/dshow.h"
#include "platform/edsdk/EDSDK.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

class Reader
{
public:
    Reader(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    template <typename T> T take()
    {
        T value{};
        const size_t n = m_size < sizeof(T) ? m_size : sizeof(T);
        std::memcpy(&value, m_data, n);
        m_data += n;
        m_size -= n;
        return value;
    }
    const uint8_t *rest() const { return m_data; }
    size_t restSize() const { return m_size; }

private:
    const uint8_t *m_data;
    size_t m_size;
};

// Mostly the GUIDs the pin knows, so that the checks past the first are reached.
GUID pick(uint8_t choice, const GUID &wanted, const GUID &near, const GUID &raw)
{
    switch (choice % 4) {
    case 0:
    case 1:
        return wanted;
    case 2:
        return near;
    default:
        return raw;
    }
}

struct Fixture
{
    QCoreApplication *app = nullptr;
    IBaseFilter *filter = nullptr;
    CVCamStream *pin = nullptr;
    IMemAllocator *allocator = nullptr;
    AM_MEDIA_TYPE *original = nullptr;
};
Fixture g;

void tearDown()
{
    if (g.original)
        DeleteMediaType(g.original);
    if (g.allocator)
        g.allocator->Release();
    if (g.filter)
        g.filter->Release(); // deletes the pin, which waits for its capture thread
    CoUninitialize();
}

std::string binaryFolder(const char *program)
{
    const std::string path(program);
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

void checkHandedOut(const AM_MEDIA_TYPE *mt)
{
    FUZZ_CHECK(mt != nullptr);
    FUZZ_CHECK((mt->cbFormat == 0) == (mt->pbFormat == nullptr));
    // Every byte of a block handed out must be readable.
    volatile BYTE sum = 0;
    for (ULONG i = 0; i < mt->cbFormat; ++i)
        sum = BYTE(sum + mt->pbFormat[i]);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // No camera: the pin's capture thread only retries, quietly, while the types are exercised. Setting
    // the simulator up here also creates it before tearDown is registered, so that at exit tearDown
    // (which waits for the capture thread) runs before the simulator is destroyed.
    setenv("EDSDK_SIM_CAMERAS", "", 1);
    if (HMODULE sdk = LoadLibraryA((binaryFolder(**argv) + "/libEDSDK.so").c_str())) {
        using Reset = EdsError (*)(const char *);
        if (auto reset = reinterpret_cast<Reset>(GetProcAddress(sdk, "EdsSimReset")))
            reset("");
    }
    g.app = new QCoreApplication(*argc, *argv);
    FUZZ_CHECK(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));

    HRESULT hr = S_OK;
    CUnknown *object = CVCam::CreateInstance(nullptr, &hr);
    FUZZ_CHECK(object != nullptr && SUCCEEDED(hr));
    FUZZ_CHECK(SUCCEEDED(
        object->NonDelegatingQueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&g.filter))));
    g.pin = static_cast<CVCam *>(object)->stream();
    FUZZ_CHECK(g.pin != nullptr);
    FUZZ_CHECK(SUCCEEDED(g.pin->GetFormat(&g.original)));
    CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                     reinterpret_cast<void **>(&g.allocator));
    // After the filter has installed its forwarding handler, which passes to the one found at start.
    qInstallMessageHandler(quiet);
    std::atexit(tearDown);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    const uint8_t choices = in.take<uint8_t>();
    const GUID rawMajor = in.take<GUID>();
    const GUID rawSub = in.take<GUID>();
    const GUID rawFormat = in.take<GUID>();

    AM_MEDIA_TYPE mt;
    std::memset(&mt, 0, sizeof mt);
    mt.majortype = pick(choices, MEDIATYPE_Video, MEDIATYPE_Audio, rawMajor);
    mt.subtype = pick(choices >> 2, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32, rawSub);
    mt.formattype = pick(choices >> 4, FORMAT_VideoInfo, FORMAT_VideoInfo2, rawFormat);
    mt.bFixedSizeSamples = in.take<BOOL>();
    mt.bTemporalCompression = in.take<BOOL>();
    mt.lSampleSize = in.take<ULONG>();
    ALLOCATOR_PROPERTIES request = in.take<ALLOCATOR_PROPERTIES>();
    const int capsIndex = in.take<int>();

    // The format block: the rest of the input, or (bit 6) a null block that still claims a length.
    BYTE *block = nullptr;
    if (in.restSize() > 0) {
        block = static_cast<BYTE *>(CoTaskMemAlloc(in.restSize()));
        FUZZ_CHECK(block != nullptr);
        std::memcpy(block, in.rest(), in.restSize());
    }
    const bool lyingLength = (choices & 0x40) && block != nullptr;
    mt.pbFormat = lyingLength ? nullptr : block;
    mt.cbFormat = ULONG(in.restSize());

    // The pin's own judgement of the type, as a connection would ask it.
    if (!lyingLength) {
        CMediaType candidate(mt);
        const HRESULT checked = g.pin->CheckMediaType(&candidate);
        FUZZ_CHECK(checked == S_OK || checked == E_INVALIDARG);
    }

    // An application sets the type, then reads the format and capabilities back.
    const bool setFirst = choices & 0x80;
    if (setFirst)
        g.pin->SetFormat(&mt);
    AM_MEDIA_TYPE *current = nullptr;
    if (SUCCEEDED(g.pin->GetFormat(&current)))
        checkHandedOut(current);
    if (current)
        DeleteMediaType(current);

    int count = -1, capsSize = -1;
    FUZZ_CHECK(SUCCEEDED(g.pin->GetNumberOfCapabilities(&count, &capsSize)));
    FUZZ_CHECK(capsSize == int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));

    VIDEO_STREAM_CONFIG_CAPS caps;
    AM_MEDIA_TYPE *capsType = nullptr;
    if (SUCCEEDED(g.pin->GetStreamCaps(capsIndex, &capsType, reinterpret_cast<BYTE *>(&caps)))) {
        checkHandedOut(capsType);
        FUZZ_CHECK(capsType->cbFormat >= sizeof(VIDEOINFOHEADER));
    }
    if (capsType)
        DeleteMediaType(capsType);

    // Buffer negotiation reads the current type's image size.
    if (g.allocator) {
        ALLOCATOR_PROPERTIES asked = request;
        g.pin->DecideBufferSize(g.allocator, &asked);
    }

    // Null arguments get an answer, not a crash.
    g.pin->GetFormat(nullptr);
    g.pin->GetStreamCaps(0, nullptr, nullptr);
    g.pin->GetNumberOfCapabilities(nullptr, nullptr);
    g.pin->SetFormat(nullptr);

    // Back to the type the pin started with, so that each input starts from the same state.
    if (setFirst)
        g.pin->SetFormat(g.original);
    if (block)
        CoTaskMemFree(block);
    return 0;
}
