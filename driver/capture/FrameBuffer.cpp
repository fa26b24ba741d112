#include "driver/capture/FrameBuffer.h"

#include <atomic>

namespace {
std::atomic<quint64> s_created{0};
}

FrameBuffer FrameBuffer::create()
{
    FrameBuffer buffer;
    buffer.m_bytes = std::make_shared<QByteArray>();
    s_created.fetch_add(1, std::memory_order_relaxed);
    return buffer;
}

quint64 FrameBuffer::createdCount()
{
    return s_created.load(std::memory_order_relaxed);
}
