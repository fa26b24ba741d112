// The one include for the Windows and COM surface. On Windows it is the system's own headers; elsewhere
// our declarations, implemented by the vistrel_win32 shared library.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <windows.h>
#else
#include "platform/windows/win32_com.h"
#include "platform/windows/win32_errors.h"
#include "platform/windows/win32_guid.h"
#include "platform/windows/win32_module.h"
#include "platform/windows/win32_registry.h"
#include "platform/windows/win32_strings.h"
#include "platform/windows/win32_sync.h"
#include "platform/windows/win32_thread.h"
#include "platform/windows/win32_types.h"
#include "platform/windows/win32_unknown.h"
#endif
