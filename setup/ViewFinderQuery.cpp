#include "setup/ViewFinderQuery.h"

#include "camera/EdsBinding.h"

#include <QImage>
#include <QThread>
#include <QtDebug>

#include <atomic>
#include <climits>

namespace ViewFinderQuery {

namespace {
// Cameras need about this long from switching live view on to their first frame.
std::atomic<long long> startDelayMs{3000};

// Decodes the downloaded frame; a frame that cannot be read gives a null image.
QImage decodeFrame(EdsStreamRef stream)
{
    EdsVoid *pointer = nullptr;
    if (eds::EdsGetPointer(stream, &pointer) != EDS_ERR_OK) {
        qDebug() << "EdsGetPointer() failed";
        pointer = nullptr;
    }
    EdsUInt64 length = 0;
    if (eds::EdsGetLength(stream, &length) != EDS_ERR_OK) {
        qDebug() << "EdsGetLength for stream failed";
        length = 0;
    }
    if (pointer == nullptr || length == 0 || length > static_cast<EdsUInt64>(INT_MAX))
        return QImage();
    return QImage::fromData(static_cast<const uchar *>(pointer), static_cast<int>(length), "jpg");
}
} // namespace

std::chrono::milliseconds startDelay()
{
    return std::chrono::milliseconds(startDelayMs.load());
}

void setStartDelay(std::chrono::milliseconds delay)
{
    startDelayMs.store(delay.count() < 0 ? 0 : delay.count());
}

std::optional<QSize> measure(EdsCameraRef camera, EdsUInt32 &outputDeviceSize)
{
    EdsDataType dataType = kEdsDataType_Unknown;
    EdsUInt32 reportedSize = 0;
    if (eds::EdsGetPropertySize(camera, kEdsPropID_Evf_OutputDevice, 0, &dataType, &reportedSize) !=
        EDS_ERR_OK) {
        qDebug() << "EdsGetPropertySize(kEdsPropID_Evf_OutputDevice) failed";
    } else {
        outputDeviceSize = reportedSize;
    }

    const EdsUInt32 toComputer = kEdsEvfOutputDevice_PC;
    if (eds::EdsSetPropertyData(camera, kEdsPropID_Evf_OutputDevice, 0, outputDeviceSize, &toComputer) !=
        EDS_ERR_OK) {
        qDebug() << "EdsSetPropertyData(kEdsPropID_Evf_OutputDevice) failed";
    }

    QThread::msleep(static_cast<unsigned long>(startDelay().count()));

    EdsStreamRef stream = nullptr;
    if (eds::EdsCreateMemoryStream(0, &stream) != EDS_ERR_OK) {
        qDebug() << "Error EdsCreateMemoryStream";
        stream = nullptr;
    }
    EdsEvfImageRef evfImage = nullptr;
    if (stream != nullptr && eds::EdsCreateEvfImageRef(stream, &evfImage) != EDS_ERR_OK) {
        qDebug() << "EdsCreateEvfImageRef error";
        evfImage = nullptr;
    }

    std::optional<QSize> resolution;
    // Without an image object there is nothing to download into; its failure is logged above.
    if (evfImage != nullptr) {
        const EdsError error = eds::EdsDownloadEvfImage(camera, evfImage);
        if (error != EDS_ERR_OK) {
            qDebug() << "EdsDownloadEvfImage error:" << error;
        } else {
            const QImage frame = decodeFrame(stream);
            qDebug() << "Vf resolution: " << frame.size();
            // A frame that does not decode says nothing about the size; 0 x 0 would
            // leave the driver without a picture, so the size stays unknown instead.
            if (!frame.isNull())
                resolution = frame.size();
        }
    }

    if (stream != nullptr)
        eds::EdsRelease(stream);
    if (evfImage != nullptr)
        eds::EdsRelease(evfImage);
    return resolution;
}

} // namespace ViewFinderQuery
