// DllMain calls of the test server, as the test programs record them.
#pragma once

#include "tests/platform/windows/TestServer.h"

#include <mutex>
#include <vector>

struct DllEvent
{
    DWORD reason;
    HINSTANCE module;
    BOOL staticsAlive;
};

std::vector<DllEvent> recordedDllEvents();
void clearDllEvents();
