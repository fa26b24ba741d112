#include "tools/capture-client/AviWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

// Fixed layout of the headers written by open(); finish() patches these offsets.
constexpr uint64_t kRiffSizeAt = 4;
constexpr uint64_t kTotalFramesAt = 48;   // avih.dwTotalFrames
constexpr uint64_t kStreamLengthAt = 140; // strh.dwLength
constexpr uint64_t kMoviSizeAt = 216;
constexpr uint64_t kMoviFourccAt = 220;
constexpr uint64_t kHeaderBytes = 224;
constexpr uint32_t kAvifHasIndex = 0x10;
constexpr uint32_t kAviifKeyframe = 0x10;
// Frame intervals count 100-ns units.
constexpr uint32_t k100nsUnitsPerSecond = 10000000;
// RIFF sizes are 32-bit: keep the whole file, index included, below 4 GiB.
constexpr uint64_t kMaxFileBytes = 0xFFFFFFFFull;

class ByteWriter
{
public:
    void u16(uint16_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void u32(uint32_t v)
    {
        u16(static_cast<uint16_t>(v));
        u16(static_cast<uint16_t>(v >> 16));
    }
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void fourcc(const char *cc) { bytes.insert(bytes.end(), cc, cc + 4); }
    std::vector<uint8_t> bytes;
};

void putU32(uint8_t *dst, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        dst[i] = static_cast<uint8_t>(v >> (8 * i));
}

// RIFF header and the main AVI header (avih), opening the header list.
void putMainHeader(ByteWriter &w, int width, int height, uint32_t frameSize, int64_t frameInterval100ns)
{
    w.fourcc("RIFF");
    w.u32(0); // patched by finish()
    w.fourcc("AVI ");
    w.fourcc("LIST");
    w.u32(192);
    w.fourcc("hdrl");
    w.fourcc("avih");
    w.u32(56);
    w.u32(static_cast<uint32_t>(frameInterval100ns / 10)); // dwMicroSecPerFrame
    w.u32(static_cast<uint32_t>(
        std::min<double>(4e9, frameSize * (double(k100nsUnitsPerSecond) / frameInterval100ns))));
    w.u32(0);             // dwPaddingGranularity
    w.u32(kAvifHasIndex); // dwFlags
    w.u32(0);             // dwTotalFrames, patched
    w.u32(0);             // dwInitialFrames
    w.u32(1);             // dwStreams
    w.u32(frameSize + 8); // dwSuggestedBufferSize
    w.u32(static_cast<uint32_t>(width));
    w.u32(static_cast<uint32_t>(height));
    for (int i = 0; i < 4; ++i)
        w.u32(0);
}

// The video stream's list: its header (strh) with the rate and scale for the interval.
void putStreamHeader(ByteWriter &w, int width, int height, uint32_t frameSize, int64_t frameInterval100ns)
{
    uint32_t rate = 0;
    uint32_t scale = 0;
    AviWriter::rateForInterval(frameInterval100ns, &rate, &scale);
    w.fourcc("LIST");
    w.u32(116);
    w.fourcc("strl");
    w.fourcc("strh");
    w.u32(56);
    w.fourcc("vids");
    w.fourcc("DIB ");
    w.u32(0); // dwFlags
    w.u16(0); // wPriority
    w.u16(0); // wLanguage
    w.u32(0); // dwInitialFrames
    w.u32(scale);
    w.u32(rate);
    w.u32(0); // dwStart
    w.u32(0); // dwLength, patched
    w.u32(frameSize);
    w.u32(0xFFFFFFFFu); // dwQuality: default
    w.u32(frameSize);   // dwSampleSize: every frame has the same size
    w.u16(0);
    w.u16(0);
    w.u16(static_cast<uint16_t>(width));
    w.u16(static_cast<uint16_t>(height));
}

// The stream's format (strf): a BITMAPINFOHEADER of 24-bit BI_RGB bottom-up rows.
void putStreamFormat(ByteWriter &w, int width, int height, uint32_t frameSize)
{
    w.fourcc("strf");
    w.u32(40);
    w.u32(40); // biSize
    w.i32(width);
    w.i32(height); // positive: bottom-up rows
    w.u16(1);      // biPlanes
    w.u16(24);     // biBitCount
    w.u32(0);      // BI_RGB
    w.u32(frameSize);
    for (int i = 0; i < 4; ++i)
        w.u32(0);
}

// Everything before the first frame chunk: the headers and the opening of the movi list.
std::vector<uint8_t> headerBytes(int width, int height, uint32_t frameSize, int64_t frameInterval100ns)
{
    ByteWriter w;
    putMainHeader(w, width, height, frameSize, frameInterval100ns);
    putStreamHeader(w, width, height, frameSize, frameInterval100ns);
    putStreamFormat(w, width, height, frameSize);
    w.fourcc("LIST");
    w.u32(4); // patched
    w.fourcc("movi");
    return std::move(w.bytes);
}

} // namespace

AviWriter::~AviWriter()
{
    // A writer dropped without finish() still leaves a playable file.
    if (isOpen())
        finish();
}

size_t AviWriter::frameBytes(int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
    return stride * static_cast<size_t>(height);
}

void AviWriter::rateForInterval(int64_t frameInterval100ns, uint32_t *rate, uint32_t *scale)
{
    const double fps = double(k100nsUnitsPerSecond) / static_cast<double>(frameInterval100ns);
    for (const uint32_t denominator : {1u, 1001u}) {
        const double numerator = std::round(fps * denominator);
        // Producers truncate the interval to whole 100 ns units: accept a rate whose exact interval
        // lies within one unit of the given one.
        const bool ntscFamily = denominator == 1001;
        if (numerator >= 1 && numerator < 4e9 && (!ntscFamily || std::fmod(numerator, 1000.0) == 0) &&
            std::fabs(double(k100nsUnitsPerSecond) * denominator / numerator -
                      static_cast<double>(frameInterval100ns)) < 1.0) {
            *rate = static_cast<uint32_t>(numerator);
            *scale = denominator;
            return;
        }
    }
    *rate = k100nsUnitsPerSecond;
    *scale = static_cast<uint32_t>(frameInterval100ns);
}

bool AviWriter::open(const std::string &path, int width, int height, int64_t frameInterval100ns)
{
    if (isOpen())
        return fail("a file is already open", 0);
    m_error.clear();
    m_index.clear();
    m_writeFailed = false;
    m_path = path;
    if (!acceptFormat(width, height, frameInterval100ns))
        return false;

    if (!openFile("wb"))
        return fail("cannot create", errno);
    m_offset = 0;
    return writeHeaders(frameInterval100ns);
}

bool AviWriter::acceptFormat(int width, int height, int64_t frameInterval100ns)
{
    m_frameSize = frameBytes(width, height);
    if (m_frameSize == 0 || width > 32768 || height > 32768)
        return fail("unusable picture size " + std::to_string(width) + "x" + std::to_string(height), 0);
    if (frameInterval100ns <= 0 || frameInterval100ns > 0xFFFFFFFFll)
        return fail("unusable frame interval " + std::to_string(frameInterval100ns), 0);
    m_width = width;
    m_height = height;
    return true;
}

bool AviWriter::writeHeaders(int64_t frameInterval100ns)
{
    const std::vector<uint8_t> headers =
        headerBytes(m_width, m_height, static_cast<uint32_t>(m_frameSize), frameInterval100ns);
    if (headers.size() != kHeaderBytes)
        return fail("internal header layout error", 0);
    if (!writeAll(headers.data(), headers.size())) {
        closeFile();
        return false;
    }
    m_moviStart = kMoviFourccAt;
    m_goodEnd = m_offset;
    return true;
}

bool AviWriter::isFull() const
{
    const uint64_t frames = m_index.size() + 1;
    return m_offset + 8 + m_frameSize + 8 + frames * 16 > kMaxFileBytes;
}

bool AviWriter::writeFrame(const uint8_t *frame, size_t size)
{
    if (!isOpen())
        return fail("the file is not open", 0);
    if (m_writeFailed)
        return false;
    if (frame == nullptr || size != m_frameSize)
        return fail("frame of " + std::to_string(size) + " bytes, expected " + std::to_string(m_frameSize),
                    0);
    if (isFull())
        return fail("the AVI size limit (4 GiB) is reached", 0);

    uint8_t header[8] = {'0', '0', 'd', 'b', 0, 0, 0, 0};
    putU32(header + 4, static_cast<uint32_t>(size));
    const uint64_t chunkAt = m_offset;
    if (!writeAll(header, sizeof header) || !writeAll(frame, size)) {
        m_writeFailed = true;
        return false;
    }
    if (size % 2 != 0) {
        const uint8_t pad = 0;
        if (!writeAll(&pad, 1)) {
            m_writeFailed = true;
            return false;
        }
    }
    m_index.push_back(static_cast<uint32_t>(chunkAt - m_moviStart));
    m_goodEnd = m_offset;
    return true;
}

bool AviWriter::finish()
{
    if (!isOpen())
        return m_error.empty();
    bool ok = !m_writeFailed;
    // Drop a partly written frame so the movi list ends on a chunk boundary.
    if (m_offset != m_goodEnd) {
        if (!truncateTo(m_goodEnd) && ok)
            ok = fail("cannot truncate", errno);
        m_offset = m_goodEnd;
    }
    const uint64_t moviEnd = m_offset;

    std::vector<uint8_t> index(8 + m_index.size() * 16);
    std::memcpy(index.data(), "idx1", 4);
    putU32(index.data() + 4, static_cast<uint32_t>(m_index.size() * 16));
    for (size_t i = 0; i < m_index.size(); ++i) {
        uint8_t *entry = index.data() + 8 + i * 16;
        std::memcpy(entry, "00db", 4);
        putU32(entry + 4, kAviifKeyframe);
        putU32(entry + 8, m_index[i]);
        putU32(entry + 12, static_cast<uint32_t>(m_frameSize));
    }
    const bool indexWritten = writeAll(index.data(), index.size());
    ok = ok && indexWritten;
    if (!indexWritten) {
        // Without room for the index, keep at least a consistent file without one.
        if (truncateTo(moviEnd))
            m_offset = moviEnd;
    }

    uint8_t value[4];
    putU32(value, static_cast<uint32_t>(m_offset - 8));
    bool patched = writeAt(kRiffSizeAt, value, 4);
    putU32(value, static_cast<uint32_t>(moviEnd - kMoviSizeAt - 4));
    patched = writeAt(kMoviSizeAt, value, 4) && patched;
    putU32(value, framesWritten());
    patched = writeAt(kTotalFramesAt, value, 4) && patched;
    patched = writeAt(kStreamLengthAt, value, 4) && patched;
    ok = ok && patched;

    std::FILE *file = std::exchange(m_file, nullptr);
    if (std::fclose(file) != 0 && ok)
        ok = fail("cannot close", errno);
    return ok;
}

bool AviWriter::writeAll(const void *data, size_t size)
{
    const auto *p = static_cast<const uint8_t *>(data);
    while (size > 0) {
        errno = 0;
        const size_t n = std::fwrite(p, 1, size, m_file);
        p += n;
        size -= n;
        m_offset += n;
        if (size > 0) {
            if (errno == EINTR) {
                std::clearerr(m_file);
                continue;
            }
            return fail("cannot write", errno != 0 ? errno : ENOSPC);
        }
    }
    return true;
}

bool AviWriter::writeAt(uint64_t offset, const void *data, size_t size)
{
    // Only header fields are patched, all within the first kilobytes: a plain seek reaches them everywhere.
    errno = 0;
    if (offset > kHeaderBytes || std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, m_file) != size)
        return fail("cannot update the headers of", errno != 0 ? errno : ENOSPC);
    return true;
}

bool AviWriter::fail(const std::string &what, int error)
{
    // The first error is the one worth reporting; later ones are consequences.
    if (m_error.empty()) {
        if (error != 0)
            m_error = what + " " + m_path + ": " + std::strerror(error);
        else
            m_error = what + (m_path.empty() ? "" : " (" + m_path + ")");
    }
    return false;
}

bool AviWriter::openFile(const char *mode)
{
    m_file = std::fopen(m_path.c_str(), mode);
    if (!m_file)
        return false;
    // Unbuffered: a write error (a full disk) is reported by the write that meets it, with its errno.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
    return true;
}

bool AviWriter::truncateTo(uint64_t size)
{
    // Standard C++ truncates only a closed file: close it, cut it, and go on writing at its new end.
    std::fclose(std::exchange(m_file, nullptr));
    std::error_code error;
    std::filesystem::resize_file(m_path, size, error);
    const bool reopened = openFile("r+b") && std::fseek(m_file, 0, SEEK_END) == 0;
    if (error)
        errno = error.value();
    return !error && reopened;
}

void AviWriter::closeFile()
{
    if (m_file)
        std::fclose(std::exchange(m_file, nullptr));
}
