// DirectShow for the whole program: the SDK's own headers on Windows, our declarations elsewhere.
// Interfaces, structures, GUIDs and codes carry the SDK's names, values, layouts and method order.
#pragma once

#ifdef _WIN32
// dshow.h brings the base types that the others expect. Without NO_DSHOW_STRSAFE it includes strsafe.h,
// which poisons vswprintf and so breaks <string> and Qt included after it.
#ifndef NO_DSHOW_STRSAFE
#define NO_DSHOW_STRSAFE
#endif
// clang-format off
#include <windows.h>
#include <dshow.h>
#include <strmif.h>
#include <uuids.h>
#include <amvideo.h>
#include <ks.h>
#include <ksmedia.h>
#include <oleauto.h>
// clang-format on
#else
#include "platform/windows/win32.h"

#include "platform/dshow/DShowCodes.h"
#include "platform/dshow/DShowGuids.h"
#include "platform/dshow/DShowInterfaces.h"
#include "platform/dshow/DShowTypes.h"
#include "platform/dshow/OleAutomation.h"
#endif

#include "platform/dshow/SetupRecords.h"
