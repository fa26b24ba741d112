// Values that code relies on, checked against the SDK's headers on Windows and our declarations elsewhere.
#include "platform/mf/mfidl.h"

static_assert(MF_STREAM_STATE_STOPPED == 0 && MF_STREAM_STATE_PAUSED == 1 && MF_STREAM_STATE_RUNNING == 2,
              "stream states");
static_assert(MFFrameSourceTypes_Color == 1, "colour frame source");
static_assert(MFVirtualCameraType_SoftwareCameraSource == 0 && MFVirtualCameraLifetime_Session == 0 &&
                  MFVirtualCameraLifetime_System == 1 && MFVirtualCameraAccess_CurrentUser == 0 &&
                  MFVirtualCameraAccess_AllUsers == 1,
              "virtual camera enumerations");
static_assert(MF_VERSION == 0x00020070, "MFStartup version");
static_assert(MF_EVENT_FLAG_NO_WAIT == 1 && MFMEDIASOURCE_IS_LIVE == 1 && MFVideoInterlace_Progressive == 2,
              "flags");
static_assert(MENewStream == 205 && MEUpdatedStream == 206 && MESourceStarted == 201 &&
                  MESourcePaused == 209 && MESourceStopped == 207 && MEStreamStarted == 202 &&
                  MEStreamPaused == 210 && MEStreamStopped == 208 && MEMediaSample == 213 &&
                  MEEndOfStream == 212 && MEError == 1,
              "event types");
static_assert(MF_ATTRIBUTE_UINT32 == 19 && MF_ATTRIBUTE_UINT64 == 21 && MF_ATTRIBUTE_DOUBLE == 5 &&
                  MF_ATTRIBUTE_GUID == 72 && MF_ATTRIBUTE_STRING == 31 && MF_ATTRIBUTE_BLOB == 0x1011 &&
                  MF_ATTRIBUTE_IUNKNOWN == 13,
              "attribute types");
static_assert(
    MF_E_SHUTDOWN == (HRESULT)0xC00D3E85L && MF_E_INVALIDREQUEST == (HRESULT)0xC00D36B2L &&
        MF_E_INVALID_STATE_TRANSITION == (HRESULT)0xC00D3E82L &&
        MF_E_MEDIA_SOURCE_WRONGSTATE == (HRESULT)0xC00D3E9BL &&
        MF_E_NO_EVENTS_AVAILABLE == (HRESULT)0xC00D3E80L && MF_E_MULTIPLE_BEGIN == (HRESULT)0xC00D36D9L &&
        MF_E_MULTIPLE_SUBSCRIBERS == (HRESULT)0xC00D36DAL && MF_E_INVALIDMEDIATYPE == (HRESULT)0xC00D36B4L &&
        MF_E_INVALIDSTREAMNUMBER == (HRESULT)0xC00D36B3L &&
        MF_E_UNSUPPORTED_SERVICE == (HRESULT)0xC00D36BAL && MF_E_ATTRIBUTENOTFOUND == (HRESULT)0xC00D36E6L &&
        MF_E_INVALIDTYPE == (HRESULT)0xC00D36BDL && MF_E_NOT_FOUND == (HRESULT)0xC00D36D5L &&
        MF_E_END_OF_STREAM == (HRESULT)0xC00D3E84L && MF_E_NOTACCEPTING == (HRESULT)0xC00D36B5L &&
        MF_E_NO_SAMPLE_TIMESTAMP == (HRESULT)0xC00D36C8L && MF_S_MULTIPLE_BEGIN == (HRESULT)0x000D36D8L,
    "Media Foundation codes");
static_assert(HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND) == (HRESULT)0x80070492L, "KS property set not found");
static_assert(sizeof(PROPVARIANT) == 8 + 2 * sizeof(void *), "PROPVARIANT layout");
