#include "tests/soak/PictureWatch.h"

#include "tools/capture-client/FrameClassifier.h"

#include <cstdlib>
#include <cstring>

void PictureWatch::sampleArrived(const vistrel::sink::ReceivedSample &sample)
{
    const AM_MEDIA_TYPE *type = sample.mediaType;
    if (sample.data == nullptr || sample.length <= 0 || type == nullptr ||
        type->formattype != FORMAT_VideoInfo || type->cbFormat < sizeof(VIDEOINFOHEADER) ||
        type->pbFormat == nullptr)
        return;
    const BITMAPINFOHEADER &bitmap = reinterpret_cast<const VIDEOINFOHEADER *>(type->pbFormat)->bmiHeader;
    const int width = bitmap.biWidth;
    const int height = std::abs(bitmap.biHeight);
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t size = size_t(sample.length);
    if (width <= 0 || stride * size_t(height) > size)
        return;
    if (FrameClassifier::looksLikePlaceholder(sample.data, size, width, height, stride))
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    // A repeat of the last frame is the pin covering for a camera that has nothing new.
    if (m_previous.size() == size && std::memcmp(m_previous.data(), sample.data, size) == 0)
        return;
    m_previous.assign(sample.data, sample.data + size);
    ++m_cameraPictures;
    m_lastCameraPicture = Clock::now();
}

uint64_t PictureWatch::cameraPictures() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_cameraPictures;
}

PictureWatch::Clock::time_point PictureWatch::lastCameraPicture() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lastCameraPicture;
}
