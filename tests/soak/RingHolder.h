// Which process holds the soak camera's session, read from the header of the camera's frame ring as the
// driver's instances do (0 while nobody holds it or the ring is not laid out yet).
#pragma once

#include "platform/ring/CameraShare.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vistrel::ring {
struct RingHeader;
}

class RingHolder
{
public:
    // False with `why` when the ring cannot be opened.
    bool open(const std::string &cameraKey, std::string &why);
    uint32_t processId() const;
    // The number of the newest frame in the ring; 0 while it has none.
    uint32_t latestFrame() const;

private:
    const vistrel::ring::RingHeader *header() const;
    std::unique_ptr<vistrel::ring::CameraShare> m_share;
};
