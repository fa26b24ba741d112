// The class identifier of the virtual camera filter: the COM server registers it and the filter
// reports it as its own.
#pragma once

#include "platform/windows/win32.h"

// {6414549A-DB61-4309-AFA1-4578E927E234}. An inline variable rather than DEFINE_GUID, which on Windows
// only declares unless one file includes <initguid.h> first.
inline constexpr GUID CLSID_VistrelCam = {
    0x6414549a, 0xdb61, 0x4309, {0xaf, 0xa1, 0x45, 0x78, 0xe9, 0x27, 0xe2, 0x34}};
