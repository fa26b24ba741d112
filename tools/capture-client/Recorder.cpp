#include "tools/capture-client/Recorder.h"

#include "tools/capture-client/PngWriter.h"

Recorder::Recorder(const RecordingFormat &format, const std::string &aviPath,
                   std::vector<SnapshotRequest> snapshots)
    : m_format(format), m_aviPath(aviPath), m_snapshots(std::move(snapshots)),
      m_snapshotDone(m_snapshots.size(), false),
      m_classifier(format.width, format.height, AviWriter::frameBytes(format.width, 1))
{
    for (const SnapshotRequest &request : m_snapshots)
        m_wantsLast = m_wantsLast || request.frame == SnapshotRequest::kLastFrame;
}

bool Recorder::start()
{
    if (!m_avi.open(m_aviPath, m_format.width, m_format.height, m_format.frameInterval100ns))
        return setError(m_avi.errorString());
    return true;
}

bool Recorder::setError(const std::string &error)
{
    if (m_error.empty())
        m_error = error;
    return false;
}

bool Recorder::snapshot(const SnapshotRequest &request, const uint8_t *frame)
{
    std::string error;
    if (!writeBgrBottomUpPng(request.path, frame, m_format.width, m_format.height,
                             AviWriter::frameBytes(m_format.width, 1), &error))
        return setError(error);
    m_notes.push_back(
        "wrote frame " +
        std::to_string(request.frame == SnapshotRequest::kLastFrame ? int64_t(m_index) - 1 : request.frame) +
        " to " + request.path);
    return true;
}

bool Recorder::addFrame(const uint8_t *frame, size_t size, double arrivalSeconds,
                        std::optional<int64_t> start100ns)
{
    if (!m_error.empty())
        return false;
    // A sample of another size than the agreed format is a broken stream, not a frame to keep.
    if (size != m_avi.frameSize())
        return setError("frame " + std::to_string(m_index) + " has " + std::to_string(size) +
                        " bytes, the agreed format needs " + std::to_string(m_avi.frameSize()));
    m_statistics.addFrame(m_classifier.classify(frame, size), arrivalSeconds, start100ns);
    if (!m_avi.writeFrame(frame, size))
        return setError(m_avi.errorString());
    for (size_t i = 0; i < m_snapshots.size(); ++i) {
        if (!m_snapshotDone[i] && m_snapshots[i].frame == int64_t(m_index)) {
            m_snapshotDone[i] = true;
            if (!snapshot(m_snapshots[i], frame))
                return false;
        }
    }
    if (m_wantsLast)
        m_lastFrame.assign(frame, frame + size);
    ++m_index;
    return true;
}

bool Recorder::finish()
{
    const bool hadError = !m_error.empty();
    if (!m_avi.finish())
        setError(m_avi.errorString());
    else
        m_notes.push_back("wrote " + std::to_string(m_avi.framesWritten()) + " frames to " + m_aviPath);
    if (hadError)
        return false;
    for (size_t i = 0; i < m_snapshots.size(); ++i) {
        if (m_snapshotDone[i])
            continue;
        if (m_snapshots[i].frame != SnapshotRequest::kLastFrame) {
            setError("no snapshot written to " + m_snapshots[i].path + ": frame " +
                     std::to_string(m_snapshots[i].frame) + " was not recorded (" + std::to_string(m_index) +
                     " frames)");
            continue;
        }
        if (m_lastFrame.empty())
            setError("no snapshot written to " + m_snapshots[i].path + ": no frame was recorded");
        else
            snapshot(m_snapshots[i], m_lastFrame.data());
    }
    return m_error.empty();
}
