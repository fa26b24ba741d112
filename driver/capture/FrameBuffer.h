#pragma once

#include <QByteArray>

#include <memory>

// A shared handle to the bytes of one output frame. Copies of the handle share the same byte
// array (writing through one is seen by all), the reference count is thread-safe, and the bytes
// are freed with the last handle. A default-constructed handle is null; create() makes one that
// holds a new, empty array.
class FrameBuffer
{
public:
    FrameBuffer() = default;

    static FrameBuffer create();

    bool isNull() const { return !m_bytes; }
    explicit operator bool() const { return !isNull(); }

    // Both must only be called on a non-null handle.
    QByteArray &bytes() { return *m_bytes; }
    const QByteArray &bytes() const { return *m_bytes; }

    // Size in bytes; 0 for a null handle.
    int size() const { return m_bytes ? m_bytes->size() : 0; }

    // Number of handles sharing these bytes; 0 for a null handle.
    long useCount() const { return m_bytes.use_count(); }

    // Drops this handle's share; the handle becomes null.
    void reset() { m_bytes.reset(); }

    bool sharesBytesWith(const FrameBuffer &other) const { return m_bytes && m_bytes == other.m_bytes; }

    // How many byte arrays create() has made in this process. Frames are meant to circulate,
    // so in the steady state this stops growing.
    static quint64 createdCount();

private:
    std::shared_ptr<QByteArray> m_bytes;
};
