#include "tests/soak/RingHolder.h"

#include "platform/ring/FrameRingLayout.h"

bool RingHolder::open(const std::string &cameraKey, std::string &why)
{
    m_share = vistrel::ring::CameraShare::open(cameraKey, why);
    return m_share && m_share->ringSize() >= sizeof(vistrel::ring::RingHeader);
}

const vistrel::ring::RingHeader *RingHolder::header() const
{
    if (!m_share)
        return nullptr;
    const auto *header = static_cast<const vistrel::ring::RingHeader *>(m_share->ring());
    return header->magic.load(std::memory_order_acquire) == vistrel::ring::kMagic ? header : nullptr;
}

uint32_t RingHolder::processId() const
{
    const vistrel::ring::RingHeader *laidOut = header();
    return laidOut ? laidOut->holderProcessId.load(std::memory_order_acquire) : 0;
}

uint32_t RingHolder::latestFrame() const
{
    const vistrel::ring::RingHeader *laidOut = header();
    return laidOut ? laidOut->latestFrame.load(std::memory_order_acquire) : 0;
}
