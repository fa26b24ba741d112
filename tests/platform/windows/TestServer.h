// The test server's class and interface, shared by the server library and the tests that load it.
#pragma once

#include "platform/windows/win32.h"

// {5C1E8A3B-7D42-4F0B-9A61-2B8E3C4D5F60}
DEFINE_GUID(CLSID_VistrelTestObject, 0x5C1E8A3B, 0x7D42, 0x4F0B, 0x9A, 0x61, 0x2B, 0x8E, 0x3C, 0x4D, 0x5F,
            0x60);
// {0B7F2E91-3C5A-4D8E-B1F0-6A2C9D3E4F71}
DEFINE_GUID(IID_ITestValue, 0x0B7F2E91, 0x3C5A, 0x4D8E, 0xB1, 0xF0, 0x6A, 0x2C, 0x9D, 0x3E, 0x4F, 0x71);

struct ITestValue : public IUnknown
{
    virtual LONG STDMETHODCALLTYPE Value() = 0;
};

// Implemented by a test program (exported from it) to learn of the server's DllMain calls.
// `staticsAlive` tells whether the library's static objects were constructed and not yet destroyed.
extern "C" typedef void (*TestDllEventRecorder)(DWORD reason, HINSTANCE module, BOOL staticsAlive);
#define VISTREL_TEST_DLL_EVENT_RECORDER "vistrelTestRecordDllEvent"

#define VISTREL_TEST_SERVER_FILE "libvistrel_windows_test_server.so"
