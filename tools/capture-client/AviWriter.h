#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes an uncompressed RIFF AVI: one video stream of BI_RGB 24-bit bottom-up frames (rows padded to
// 4 bytes), an idx1 index and headers patched with the final frame count. finish() leaves a valid,
// playable file whenever at least the headers could be written, also after a write error or an
// interrupted recording: the frames written so far stay in it.
class AviWriter
{
public:
    AviWriter() = default;
    ~AviWriter();
    AviWriter(const AviWriter &) = delete;
    AviWriter &operator=(const AviWriter &) = delete;

    // frameInterval100ns: the stream's frame interval in 100 ns units (> 0).
    bool open(const std::string &path, int width, int height, int64_t frameInterval100ns);
    // frame: exactly frameSize() bytes in the BI_RGB layout.
    bool writeFrame(const uint8_t *frame, size_t size);
    // Writes the index and patches the headers; the file is closed afterwards.
    bool finish();

    bool isOpen() const { return m_file != nullptr; }
    size_t frameSize() const { return m_frameSize; }
    uint32_t framesWritten() const { return static_cast<uint32_t>(m_index.size()); }
    // True when a further frame would push the file past what a RIFF AVI can address.
    bool isFull() const;
    const std::string &errorString() const { return m_error; }

    // Rate and scale of the stream header for a frame interval: exact integer rates (30, 25) and the
    // NTSC family (30000/1001) are recognised so players report them as such.
    static void rateForInterval(int64_t frameInterval100ns, uint32_t *rate, uint32_t *scale);
    // Bytes of one frame: rows of width * 3 raised to a multiple of 4.
    static size_t frameBytes(int width, int height);

private:
    // Checks the picture size and interval and takes them as the stream's.
    bool acceptFormat(int width, int height, int64_t frameInterval100ns);
    // Writes everything before the first frame into the new file.
    bool writeHeaders(int64_t frameInterval100ns);
    bool writeAll(const void *data, size_t size);
    bool writeAt(uint64_t offset, const void *data, size_t size);
    bool fail(const std::string &what, int error);
    bool openFile(const char *mode);
    // Cuts the file to `size` bytes; writing goes on at the new end.
    bool truncateTo(uint64_t size);
    void closeFile();

    std::FILE *m_file = nullptr;
    std::string m_path;
    std::string m_error;
    int m_width = 0;
    int m_height = 0;
    size_t m_frameSize = 0;
    uint64_t m_offset = 0;    // where the next byte goes
    uint64_t m_moviStart = 0; // offset of the 'movi' fourcc; idx1 offsets are relative to it
    uint64_t m_goodEnd = 0;   // end of the last completely written frame
    bool m_writeFailed = false;
    std::vector<uint32_t> m_index; // offset of each frame chunk, relative to m_moviStart
};
