// The one include for the Windows and COM surface. On Windows it is the system's own headers; elsewhere
// our declarations, implemented by the vistrel_windows shared library.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objbase.h>
#include <windows.h>
#else
#include "platform/windows/Win32Com.h"
#include "platform/windows/Win32Console.h"
#include "platform/windows/Win32Errors.h"
#include "platform/windows/Win32Guid.h"
#include "platform/windows/Win32Module.h"
#include "platform/windows/Win32Registry.h"
#include "platform/windows/Win32Strings.h"
#include "platform/windows/Win32Sync.h"
#include "platform/windows/Win32Thread.h"
#include "platform/windows/Win32Types.h"
#include "platform/windows/Win32Unknown.h"
#include "platform/windows/Win32VarTypes.h"
#endif
