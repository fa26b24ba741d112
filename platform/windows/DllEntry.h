// DllMain for our shared libraries, as Windows calls it.
//
// A library that wants its entry point defines
//
//     extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);
//
// and its CMakeLists calls `vistrel_add_dll_entry(<target>)`. Then DllMain is called with DLL_PROCESS_ATTACH
// and the library's own module handle when the library is loaded, after the static initialisation of
// everything linked into it, and with DLL_PROCESS_DETACH when it is unloaded (or the process ends), before
// its static objects are destroyed. Thread attach and detach are not sent. If attach answers FALSE, detach
// follows at once and is not sent again (the library cannot be refused here, as Windows would; one line on
// stderr says so).
//
// DllMain binds to the library's own definition and is not exported, as on Windows: several libraries in one
// process each get their own. Its declaration comes with win32.h, as with windows.h on Windows.
#pragma once

#include "platform/windows/win32.h"
