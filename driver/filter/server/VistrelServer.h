// The COM server around the virtual camera filter and the media source: its creatable classes, the filter's
// setup data and (un)registration of the server and of the filter in the video input device category.
#pragma once

#include "driver/filter/base/CFactoryTemplate.h"

// The class's name in HKEY_CLASSES_ROOT\CLSID and the filter's name in the device category.
extern const WCHAR *const kVistrelServerName;
extern const WCHAR *const kVistrelFilterName;
// The media source's name in HKEY_CLASSES_ROOT\CLSID.
extern const WCHAR *const kVistrelMediaSourceName;

extern const AMOVIESETUP_MEDIATYPE sudVistrelPinTypes;
extern const AMOVIESETUP_PIN sudVistrelOutputPin;
extern const AMOVIESETUP_FILTER sudVistrelCam;

// Registers (true) or unregisters (false) the COM server keys and the category entry. Registration
// writes the server keys first; unregistration removes the category entry first and the server keys
// only when that succeeded. Returns the first failure, or the last step's success code.
HRESULT registerServer(bool registering);
