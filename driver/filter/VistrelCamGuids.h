// The class identifier of the virtual camera filter: the COM server registers it and the filter
// reports it as its own.
#pragma once

#include "platform/windows/win32.h"

// {6414549A-DB61-4309-AFA1-4578E927E234}. An inline variable rather than DEFINE_GUID, which on Windows
// only declares unless one file includes <initguid.h> first.
inline constexpr GUID CLSID_VistrelCam = {
    0x6414549a, 0xdb61, 0x4309, {0xaf, 0xa1, 0x45, 0x78, 0xe9, 0x27, 0xe2, 0x34}};

// {613DFA2E-AFB2-40B0-A66C-18134BBACBE6}: the Media Foundation media source of the same camera, for
// applications that find cameras through Media Foundation only. Registered and unregistered with the filter.
inline constexpr GUID CLSID_VistrelMediaSource = {
    0x613dfa2e, 0xafb2, 0x40b0, {0xa6, 0x6c, 0x18, 0x13, 0x4b, 0xba, 0xcb, 0xe6}};
