#include "setup/AppMainWindow.h"

#include "camera/EdsBinding.h"
#include "models/KeyValueItemList.h"
#include "platform/windows/win32.h"
#include "settings/ProductInfo.h"
#include "setup/ViewFinderQuery.h"

#include <QSize>
#include <QVariantMap>
#include <QtDebug>

#include <cstring>

namespace {

// Size reported for a camera whose live view was not measured.
const QSize unmeasuredViewFinderSize = ProductInfo::defaultVideoSize;

// The SDK's fixed-size text fields end at their first NUL, or at the field's end should
// a camera fill all of it.
template <std::size_t N> QString fromSdkText(const EdsChar (&text)[N])
{
    const char *begin = text;
    const void *end = std::memchr(begin, '\0', N);
    const int length = end != nullptr ? static_cast<int>(static_cast<const char *>(end) - begin) : int(N);
    return QString::fromUtf8(begin, length);
}

} // namespace

AppMainWindow::AppMainWindow(QWidget *parent) : MainWindow(parent)
{
    refreshCameraList();
}

AppMainWindow::~AppMainWindow()
{
    // The enumeration reaches this class through a virtual call; it must be over before
    // this part of the object is gone.
    waitForRefresh();
}

KeyValueItemList *AppMainWindow::refreshCameraListInternal()
{
    const HRESULT comResult = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    KeyValueItemList *cameras = nullptr;

    EdsCameraListRef cameraList = nullptr;
    if (eds::EdsInitializeSDK() != EDS_ERR_OK) {
        qDebug() << "Canon SDK init failed";
    } else if (eds::EdsGetCameraList(&cameraList) != EDS_ERR_OK) {
        qDebug() << "Canon camera list failed";
    } else {
        cameras = listCameras(cameraList);
        eds::EdsRelease(cameraList);
    }

    if (eds::EdsTerminateSDK() != EDS_ERR_OK)
        qDebug() << "EdsTerminateSDK() failed";
    // Only a successful initialisation is ours to undo; a thread already in another
    // apartment keeps its own.
    if (SUCCEEDED(comResult))
        CoUninitialize();

    return cameras;
}

KeyValueItemList *AppMainWindow::listCameras(EdsCameraListRef cameraList)
{
    EdsUInt32 count = 0;
    if (eds::EdsGetChildCount(cameraList, &count) != EDS_ERR_OK)
        qDebug() << "Canon camera count error";
    qDebug() << "Cameras found:" << count;

    KeyValueItemList *cameras = nullptr;
    for (EdsUInt32 index = 0; index < count; ++index) {
        EdsCameraRef camera = nullptr;
        eds::EdsGetChildAtIndex(cameraList, static_cast<EdsInt32>(index), &camera);
        appendCamera(camera, &cameras);
        if (camera != nullptr)
            eds::EdsRelease(camera);
    }
    return cameras;
}

void AppMainWindow::appendCamera(EdsCameraRef camera, KeyValueItemList **cameras)
{
    EdsDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    if (eds::EdsGetDeviceInfo(camera, &info) != EDS_ERR_OK) {
        qDebug() << "EdsGetDeviceInfo failed";
        return;
    }

    QVariantMap deviceInfo;
    deviceInfo.insert(QStringLiteral("cp"), fromSdkText(info.szPortName));
    deviceInfo.insert(QStringLiteral("cn"), fromSdkText(info.szDeviceDescription));

    if (eds::EdsOpenSession(camera) != EDS_ERR_OK)
        qDebug() << "EdsOpenSession failed";
    else
        appendOpenedCamera(camera, deviceInfo, cameras);
    eds::EdsCloseSession(camera);
}

void AppMainWindow::appendOpenedCamera(EdsCameraRef camera, QVariantMap deviceInfo,
                                       KeyValueItemList **cameras)
{
    // The output-device property holds one 32-bit value; the camera may say otherwise.
    EdsUInt32 outputDeviceSize = sizeof(EdsUInt32);
    if (!isViewFinderQueryRequested()) {
        deviceInfo.insert(QStringLiteral("nr"), unmeasuredViewFinderSize);
    } else if (const auto size = ViewFinderQuery::measure(camera, outputDeviceSize)) {
        deviceInfo.insert(QStringLiteral("nr"), *size);
    }

    if (*cameras == nullptr)
        *cameras = new KeyValueItemList(nullptr);
    (*cameras)->append(
        new KeyValueItem(deviceInfo.value(QStringLiteral("cn")).toString(), deviceInfo, nullptr));

    // Read again: the user may have switched the query on meanwhile, and a
    // camera left streaming to the computer would keep its own screen dark.
    if (isViewFinderQueryRequested()) {
        const EdsUInt32 toCameraScreen = kEdsEvfOutputDevice_TFT;
        if (eds::EdsSetPropertyData(camera, kEdsPropID_Evf_OutputDevice, 0, outputDeviceSize,
                                    &toCameraScreen) != EDS_ERR_OK) {
            qDebug() << "EdsSetPropertyData(kEdsEvfOutputDevice_TFT) failed";
        }
    }
}
