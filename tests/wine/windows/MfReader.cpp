// vistrel-mf-reader: a helper of the Wine tests, a Windows program. Reads the driver's Media Foundation
// source through the system's source reader, as an application that finds cameras through Media Foundation
// does, and writes what it read for the tests to judge.
//   vistrel-mf-reader --output FILE [--frames N] [--until FILE] [--second-frames M] [--second-until FILE]
// The first run reads N frames, or until the --until file exists; its source is then stopped, shut down and
// released. With a --second- option a second run does the same through a new source and reader. Frames go to
// FILE as rgb24, rows top-down, the second run's after the first run's. Standard output gets the offered
// types, one line per sample with its time stamp, each run's frame count, and each source's reference count
// after its final release. Ends with 0 only when every call succeeded.
#include "driver/filter/VistrelCamGuids.h"

#include <windows.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Owns one reference of a COM interface.
template <class T> class Com
{
public:
    Com() = default;
    ~Com() { reset(); }
    Com(const Com &) = delete;
    Com &operator=(const Com &) = delete;
    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    T **put()
    {
        reset();
        return &m_p;
    }
    void reset()
    {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }
    // Gives the reference up to the caller.
    T *detach()
    {
        T *p = m_p;
        m_p = nullptr;
        return p;
    }

private:
    T *m_p = nullptr;
};

// Prints the failed call and its code; false when `hr` failed.
bool check(HRESULT hr, const char *call)
{
    if (SUCCEEDED(hr))
        return true;
    std::fprintf(stderr, "FAILED %s: hr 0x%08lx\n", call, static_cast<unsigned long>(hr));
    std::fflush(stderr);
    return false;
}

void say(const char *format, ...) __attribute__((format(printf, 1, 2)));
void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
    std::fputc('\n', stdout);
    // The tests read the lines while the program runs.
    std::fflush(stdout);
}

std::string subtypeName(const GUID &subtype)
{
    struct Known
    {
        const GUID *guid;
        const char *name;
    };
    static const Known known[] = {{&MFVideoFormat_RGB32, "RGB32"}, {&MFVideoFormat_RGB24, "RGB24"},
                                  {&MFVideoFormat_NV12, "NV12"},   {&MFVideoFormat_YUY2, "YUY2"},
                                  {&MFVideoFormat_MJPG, "MJPG"},   {&MFVideoFormat_I420, "I420"}};
    for (const Known &k : known)
        if (IsEqualGUID(subtype, *k.guid))
            return k.name;
    char text[64];
    std::snprintf(text, sizeof text, "{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(subtype.Data1), subtype.Data2, subtype.Data3, subtype.Data4[0],
                  subtype.Data4[1], subtype.Data4[2], subtype.Data4[3], subtype.Data4[4], subtype.Data4[5],
                  subtype.Data4[6], subtype.Data4[7]);
    return text;
}

struct VideoType
{
    std::string subtype;
    UINT32 width = 0;
    UINT32 height = 0;
    UINT32 rateNumerator = 0;
    UINT32 rateDenominator = 0;
    LONG stride = 0; // 0: not given
};

VideoType describe(IMFMediaType *type)
{
    VideoType v;
    GUID subtype = {};
    type->GetGUID(MF_MT_SUBTYPE, &subtype);
    v.subtype = subtypeName(subtype);
    MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &v.width, &v.height);
    MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &v.rateNumerator, &v.rateDenominator);
    UINT32 stride = 0;
    if (SUCCEEDED(type->GetUINT32(MF_MT_DEFAULT_STRIDE, &stride)))
        v.stride = static_cast<INT32>(stride); // a signed value stored as UINT32
    return v;
}

void print(const char *what, const VideoType &v)
{
    say("%s %s %ux%u %u/%u stride %ld", what, v.subtype.c_str(), v.width, v.height, v.rateNumerator,
        v.rateDenominator, static_cast<long>(v.stride));
}

struct Options
{
    std::wstring output;
    std::wstring until;
    long frames = 0;
    long secondFrames = 0;
    std::wstring secondUntil;
    bool second() const { return secondFrames > 0 || !secondUntil.empty(); }
};

bool parse(int argc, wchar_t **argv, Options &o)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const wchar_t *value = argv[i + 1];
        if (name == L"--output")
            o.output = value;
        else if (name == L"--until")
            o.until = value;
        else if (name == L"--frames")
            o.frames = std::wcstol(value, nullptr, 10);
        else if (name == L"--second-frames")
            o.secondFrames = std::wcstol(value, nullptr, 10);
        else if (name == L"--second-until")
            o.secondUntil = value;
        else
            return false;
    }
    return argc % 2 == 1 && !o.output.empty() && (o.frames > 0 || !o.until.empty());
}

bool exists(const std::wstring &path)
{
    return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Writes one RGB32 sample as rgb24 rows top-down. A negative stride means the rows are stored bottom-up.
bool writeFrame(IMFSample *sample, const VideoType &type, std::FILE *out)
{
    Com<IMFMediaBuffer> buffer;
    if (!check(sample->ConvertToContiguousBuffer(buffer.put()), "IMFSample::ConvertToContiguousBuffer"))
        return false;
    BYTE *data = nullptr;
    DWORD length = 0;
    if (!check(buffer->Lock(&data, nullptr, &length), "IMFMediaBuffer::Lock"))
        return false;
    const LONG stride = type.stride != 0 ? type.stride : static_cast<LONG>(type.width * 4);
    const size_t rowBytes = static_cast<size_t>(stride < 0 ? -stride : stride);
    bool ok = rowBytes >= type.width * 4 && length >= rowBytes * type.height;
    if (!ok)
        std::fprintf(stderr, "FAILED sample size: %lu bytes for %ux%u, stride %ld\n",
                     static_cast<unsigned long>(length), type.width, type.height, static_cast<long>(stride));
    std::vector<unsigned char> rgb(static_cast<size_t>(type.width) * 3);
    for (UINT32 y = 0; ok && y < type.height; ++y) {
        const BYTE *row = data + rowBytes * (stride < 0 ? type.height - 1 - y : y);
        for (UINT32 x = 0; x < type.width; ++x) {
            // RGB32 is blue, green, red, unused.
            rgb[x * 3] = row[x * 4 + 2];
            rgb[x * 3 + 1] = row[x * 4 + 1];
            rgb[x * 3 + 2] = row[x * 4];
        }
        ok = std::fwrite(rgb.data(), 1, rgb.size(), out) == rgb.size();
    }
    buffer->Unlock();
    // The tests read the file while it grows.
    return ok && std::fflush(out) == 0;
}

// Reads samples until `frames` have been read (0: no count) or the `until` file exists.
bool readRun(IMFSourceReader *reader, int run, const VideoType &type, const std::wstring &output, long frames,
             const std::wstring &until)
{
    // The second run's frames follow the first run's.
    std::FILE *out = _wfopen(output.c_str(), run == 1 ? L"wb" : L"ab");
    if (!out) {
        std::fprintf(stderr, "FAILED cannot write the frames' file\n");
        return false;
    }
    bool ok = true;
    long index = 0;
    while (ok && (frames == 0 || index < frames) && !exists(until)) {
        DWORD stream = 0;
        DWORD flags = 0;
        LONGLONG time = 0;
        Com<IMFSample> sample;
        ok = check(
            reader->ReadSample(MF_SOURCE_READER_FIRST_VIDEO_STREAM, 0, &stream, &flags, &time, sample.put()),
            "IMFSourceReader::ReadSample");
        if (ok && (flags & (MF_SOURCE_READERF_ERROR | MF_SOURCE_READERF_ENDOFSTREAM))) {
            std::fprintf(stderr, "FAILED IMFSourceReader::ReadSample: stream flags 0x%lx\n",
                         static_cast<unsigned long>(flags));
            ok = false;
        }
        if (!ok || !sample.get())
            continue; // a gap (stream tick) carries no sample
        LONGLONG duration = 0;
        sample->GetSampleDuration(&duration);
        ok = writeFrame(sample.get(), type, out);
        say("sample run %d index %ld time %lld duration %lld flags 0x%lx", run, index, time, duration,
            static_cast<unsigned long>(flags));
        ++index;
    }
    std::fclose(out);
    say("run %d read %ld frames", run, index);
    return ok;
}

// A source reader over `source` that leaves the source to its owner, set to deliver RGB32 at the size offered
// first; `type` gets what it delivers. The offered types are printed by the first reader only.
bool openReader(IMFMediaSource *source, bool printOffered, Com<IMFSourceReader> &reader, VideoType &type)
{
    Com<IMFAttributes> attributes;
    if (!check(MFCreateAttributes(attributes.put(), 1), "MFCreateAttributes"))
        return false;
    // The source is stopped and shut down here, by hand, and read again by another reader.
    attributes->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
    if (!check(MFCreateSourceReaderFromMediaSource(source, attributes.get(), reader.put()),
               "MFCreateSourceReaderFromMediaSource"))
        return false;

    VideoType offered;
    for (DWORD i = 0;; ++i) {
        Com<IMFMediaType> native;
        const HRESULT hr = reader->GetNativeMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, i, native.put());
        if (hr == MF_E_NO_MORE_TYPES && i > 0)
            break;
        if (!check(hr, "IMFSourceReader::GetNativeMediaType"))
            return false;
        const VideoType v = describe(native.get());
        char what[32];
        std::snprintf(what, sizeof what, "native %lu:", static_cast<unsigned long>(i));
        if (printOffered)
            print(what, v);
        if (i == 0)
            offered = v;
    }

    Com<IMFMediaType> wanted;
    if (!check(MFCreateMediaType(wanted.put()), "MFCreateMediaType"))
        return false;
    wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    wanted->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_RGB32);
    MFSetAttributeSize(wanted.get(), MF_MT_FRAME_SIZE, offered.width, offered.height);
    if (!check(reader->SetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, nullptr, wanted.get()),
               "IMFSourceReader::SetCurrentMediaType"))
        return false;
    Com<IMFMediaType> current;
    if (!check(reader->GetCurrentMediaType(MF_SOURCE_READER_FIRST_VIDEO_STREAM, current.put()),
               "IMFSourceReader::GetCurrentMediaType"))
        return false;
    type = describe(current.get());
    print("current:", type);
    if (type.subtype != "RGB32" || type.width == 0 || type.height == 0) {
        std::fprintf(stderr, "FAILED the current type is no RGB32 picture\n");
        return false;
    }
    return true;
}

// One application's use of the camera: a new source read by a new reader, then the source stopped, the
// reader released, the source shut down and released.
bool readSource(int run, const std::wstring &output, long frames, const std::wstring &until)
{
    Com<IMFMediaSource> source;
    if (!check(CoCreateInstance(CLSID_VistrelMediaSource, nullptr, CLSCTX_INPROC_SERVER, IID_IMFMediaSource,
                                reinterpret_cast<void **>(source.put())),
               "CoCreateInstance(CLSID_VistrelMediaSource)"))
        return false;
    bool ok = true;
    {
        Com<IMFSourceReader> reader;
        VideoType type;
        ok = openReader(source.get(), run == 1, reader, type) &&
             readRun(reader.get(), run, type, output, frames, until);
        ok = check(source->Stop(), "IMFMediaSource::Stop") && ok;
        say("run %d stopped", run);
    }
    // Whatever happened before: nothing of the source may run on.
    ok = check(source->Shutdown(), "IMFMediaSource::Shutdown") && ok;
    say("run %d source shut down, final reference count %lu", run,
        static_cast<unsigned long>(source.detach()->Release()));
    return ok;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: vistrel-mf-reader --output FILE [--frames N] [--until FILE] "
                             "[--second-frames M] [--second-until FILE]\n");
        return 2;
    }
    if (!check(CoInitializeEx(nullptr, COINIT_MULTITHREADED), "CoInitializeEx"))
        return 1;
    const bool started = check(MFStartup(MF_VERSION, MFSTARTUP_FULL), "MFStartup");
    // Stopped, the camera is opened again by a new source and reader, as a video application's next start
    // does. (A source stopped behind its reader's back is no longer read by Wine's reader: it stops listening
    // to the source's events at MESourceStopped, and releasing it stops the source once more.)
    bool ok = started && readSource(1, options.output, options.frames, options.until) &&
              (!options.second() || readSource(2, options.output, options.secondFrames, options.secondUntil));
    if (started)
        ok = check(MFShutdown(), "MFShutdown") && ok;
    CoUninitialize();
    say(ok ? "all calls succeeded" : "a call failed");
    return ok ? 0 : 1;
}
