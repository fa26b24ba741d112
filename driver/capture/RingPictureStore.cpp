#include "driver/capture/RingPictureStore.h"

#include "driver/capture/FrameScaler.h"
#include "platform/ring/FrameRing.h"

#include <chrono>

static_assert(vistrel::ring::kPicturePadding >= FrameScaler::sourcePadding,
              "the scaler reads pictures in the ring as it does its own");

uchar *RingPictureStore::pictureMemory(const QSize &size)
{
    return m_writer.begin(uint32_t(size.width()), uint32_t(size.height()));
}

void RingPictureStore::pictureDone(bool complete)
{
    if (!complete) {
        m_writer.abandon();
        return;
    }
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    m_writer.commit(uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
}
