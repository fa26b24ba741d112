#pragma once

#include "platform/dshow/dshow.h"

#include <string>
#include <vector>

// The video input devices as an application finds them: through the system device enumerator, one
// moniker per entry of the video input device category, named by its "FriendlyName".
struct VideoDevice
{
    std::string friendlyName;
    IMoniker *moniker = nullptr; // owned: one reference
};

class VideoDeviceList
{
public:
    VideoDeviceList() = default;
    ~VideoDeviceList();
    VideoDeviceList(const VideoDeviceList &) = delete;
    VideoDeviceList &operator=(const VideoDeviceList &) = delete;

    // S_OK with the devices (possibly none); a failure of the enumerator otherwise.
    HRESULT load();
    const std::vector<VideoDevice> &devices() const { return m_devices; }
    // The devices' names, comma separated, for messages.
    std::string names() const;

    // Creates the filter of the device named `friendlyName` by binding its moniker, which creates the
    // class registered for it. VFW_E_NOT_FOUND when no device has that name.
    HRESULT open(const std::string &friendlyName, IBaseFilter **filter) const;

private:
    std::vector<VideoDevice> m_devices;
};
