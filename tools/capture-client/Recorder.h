#pragma once

#include "tools/capture-client/AviWriter.h"
#include "tools/capture-client/CaptureOptions.h"
#include "tools/capture-client/CaptureStatistics.h"
#include "tools/capture-client/FrameClassifier.h"

#include <cstdint>
#include <string>
#include <vector>

struct RecordingFormat
{
    int width = 0;
    int height = 0;
    int64_t frameInterval100ns = 0;
};

// Everything done with a received frame: counted and classified, appended to the AVI, written as a PNG
// when a snapshot of it was asked for.
class Recorder
{
public:
    Recorder(const RecordingFormat &format, const std::string &aviPath,
             std::vector<SnapshotRequest> snapshots);

    bool start();
    // False after a write error (see errorString()); the frames before it stay recorded.
    bool addFrame(const uint8_t *frame, size_t size, double arrivalSeconds,
                  std::optional<int64_t> start100ns);
    // Finishes the AVI and writes the snapshots still due. False when any output failed.
    bool finish();

    const CaptureStatistics &statistics() const { return m_statistics; }
    const std::string &errorString() const { return m_error; }
    // Notes for the user about what was written.
    const std::vector<std::string> &notes() const { return m_notes; }
    size_t frameSize() const { return m_avi.frameSize(); }

private:
    bool snapshot(const SnapshotRequest &request, const uint8_t *frame);
    bool setError(const std::string &error);

    RecordingFormat m_format;
    std::string m_aviPath;
    std::vector<SnapshotRequest> m_snapshots;
    std::vector<bool> m_snapshotDone;
    bool m_wantsLast = false;
    std::vector<uint8_t> m_lastFrame;
    AviWriter m_avi;
    FrameClassifier m_classifier;
    CaptureStatistics m_statistics;
    std::string m_error;
    std::vector<std::string> m_notes;
    uint64_t m_index = 0;
};
