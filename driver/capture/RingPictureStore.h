#pragma once

#include "driver/capture/FrameConverter.h"

namespace vistrel::ring {
class RingWriter;
}

// Makes the converter decode each camera picture straight into the shared frame ring, so that the
// picture is decoded once for every instance on the machine and published before it is scaled.
class RingPictureStore : public PictureStore
{
public:
    explicit RingPictureStore(vistrel::ring::RingWriter &writer) : m_writer(writer) {}

    uchar *pictureMemory(const QSize &size) override;
    void pictureDone(bool complete) override;

private:
    vistrel::ring::RingWriter &m_writer;
};
