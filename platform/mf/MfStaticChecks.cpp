// Values that code relies on, checked against the SDK's headers on Windows and our declarations elsewhere.
#include "platform/mf/mfidl.h"

static_assert(MF_STREAM_STATE_STOPPED == 0 && MF_STREAM_STATE_PAUSED == 1 && MF_STREAM_STATE_RUNNING == 2,
              "stream states");
static_assert(MFFrameSourceTypes_Color == 1, "colour frame source");
static_assert(MFVirtualCameraType_SoftwareCameraSource == 0 && MFVirtualCameraLifetime_Session == 0 &&
                  MFVirtualCameraLifetime_System == 1 && MFVirtualCameraAccess_CurrentUser == 0 &&
                  MFVirtualCameraAccess_AllUsers == 1,
              "virtual camera enumerations");
