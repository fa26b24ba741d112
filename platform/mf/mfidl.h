// Media Foundation for the whole program: the SDK's own headers on Windows, our declarations elsewhere.
// Interfaces, structures, GUIDs and codes carry the SDK's names, values, layouts and method order.
#pragma once

#ifdef _WIN32
// clang-format off
#include "platform/windows/win32.h"
#include <mfapi.h>
#include <mfidl.h>
#include <mferror.h>
#include <mfobjects.h>
#include <ks.h>
#include <ksmedia.h>
#include <dmksctrl.h>
#include <devpropdef.h>
// clang-format on
#include "platform/mf/MfMissing.h"
#else
#include "platform/windows/win32.h"

#include "platform/mf/MfApi.h"
#include "platform/mf/MfCodes.h"
#include "platform/mf/MfGuids.h"
#include "platform/mf/MfInterfaces.h"
#include "platform/mf/MfTypes.h"
#endif
