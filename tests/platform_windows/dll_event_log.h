// DllMain calls of the test server, as the test programs record them.
#pragma once

#include "tests/platform_windows/test_server.h"

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
