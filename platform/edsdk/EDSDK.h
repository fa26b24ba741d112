#pragma once

// The camera SDK's C interface: the vendor's names, types and values, declared here on every platform.
// The product binds the library at run time (EdsBinding), so it needs these declarations only, not the
// vendor's header or import library; our simulated-camera implementation of the SDK builds against them.
//
// Operations and the ordinals under which the Windows library exports them (the product binds neither
// EdsRetain nor EdsGetPropertyData, so nothing relies on their ordinals):
//
//   ordinal  operation
//    1       EdsInitializeSDK
//    2       EdsTerminateSDK
//    3       EdsRetain
//    4       EdsRelease
//    5       EdsGetChildCount
//    6       EdsGetChildAtIndex
//    8       EdsGetPropertySize
//    9       EdsGetPropertyData
//   10       EdsSetPropertyData
//   12       EdsGetCameraList
//   13       EdsGetDeviceInfo
//   14       EdsOpenSession
//   15       EdsCloseSession
//   16       EdsSendCommand
//   30       EdsCreateMemoryStream
//   33       EdsGetPointer
//   38       EdsGetLength
//   47       EdsCreateEvfImageRef
//   48       EdsDownloadEvfImage
//   52       EdsSetCameraStateEventHandler

#include <cstdint>

// Our implementation exports its functions by visibility on ELF platforms and through a module-definition
// file (EDSDK.def, with the vendor's ordinals) on Windows. On Windows the SDK's functions and the handlers it
// calls back use the stdcall convention, as the vendor's 32-bit library does (64-bit Windows has one
// convention).
#if defined(_WIN32)
#define EDSAPI __stdcall
#define EDSCALLBACK __stdcall
#elif defined(EDSDK_BUILDING_LIBRARY)
#define EDSAPI __attribute__((visibility("default")))
#define EDSCALLBACK
#else
#define EDSAPI
#define EDSCALLBACK
#endif

typedef void EdsVoid;
typedef int EdsBool;
typedef char EdsChar;
typedef int32_t EdsInt32;
typedef uint32_t EdsUInt32;
typedef int64_t EdsInt64;
typedef uint64_t EdsUInt64;
typedef EdsUInt32 EdsError;

typedef struct __EdsObject *EdsBaseRef;
typedef EdsBaseRef EdsCameraListRef;
typedef EdsBaseRef EdsCameraRef;
typedef EdsBaseRef EdsStreamRef;
typedef EdsBaseRef EdsEvfImageRef;

typedef EdsUInt32 EdsPropertyID;
typedef EdsUInt32 EdsCameraCommand;
typedef EdsUInt32 EdsStateEvent;

typedef enum
{
    kEdsDataType_Unknown = 0,
    kEdsDataType_Bool = 1,
    kEdsDataType_String = 2,
    kEdsDataType_Int8 = 3,
    kEdsDataType_UInt8 = 6,
    kEdsDataType_Int16 = 4,
    kEdsDataType_UInt16 = 7,
    kEdsDataType_Int32 = 8,
    kEdsDataType_UInt32 = 9,
    kEdsDataType_Int64 = 10,
    kEdsDataType_UInt64 = 11,
    kEdsDataType_Float = 12,
    kEdsDataType_Double = 13,
    kEdsDataType_ByteBlock = 14
} EdsDataType;

#define EDS_MAX_NAME 256

typedef struct tagEdsDeviceInfo
{
    EdsChar szPortName[EDS_MAX_NAME];
    EdsChar szDeviceDescription[EDS_MAX_NAME];
    EdsUInt32 deviceSubType;
    EdsUInt32 reserved;
} EdsDeviceInfo;

typedef EdsError(EDSCALLBACK *EdsStateEventHandler)(EdsStateEvent inEvent, EdsUInt32 inEventData,
                                                    EdsVoid *inContext);

// Error codes, all in one place.
#define EDS_ERR_OK 0x00000000u
#define EDS_ERR_UNIMPLEMENTED 0x00000001u
#define EDS_ERR_INTERNAL_ERROR 0x00000002u
#define EDS_ERR_MEM_ALLOC_FAILED 0x00000003u
#define EDS_ERR_NOT_SUPPORTED 0x00000007u
#define EDS_ERR_MISSING_SUBCOMPONENT 0x0000000Au
#define EDS_ERR_PROPERTIES_UNAVAILABLE 0x00000050u
#define EDS_ERR_INVALID_PARAMETER 0x00000060u
#define EDS_ERR_INVALID_HANDLE 0x00000061u
#define EDS_ERR_INVALID_POINTER 0x00000062u
#define EDS_ERR_INVALID_INDEX 0x00000063u
#define EDS_ERR_INVALID_LENGTH 0x00000064u
#define EDS_ERR_INVALID_FN_POINTER 0x00000065u
#define EDS_ERR_DEVICE_NOT_FOUND 0x00000080u
#define EDS_ERR_DEVICE_BUSY 0x00000081u
#define EDS_ERR_COMM_DISCONNECTED 0x000000C1u
#define EDS_ERR_SESSION_NOT_OPEN 0x00002003u
#define EDS_ERR_SESSION_ALREADY_OPEN 0x0000201Eu
#define EDS_ERR_OBJECT_NOTREADY 0x0000A102u

// Properties and their values.
#define kEdsPropID_Evf_OutputDevice 0x00000500u
#define kEdsEvfOutputDevice_TFT 1u
#define kEdsEvfOutputDevice_PC 2u

// Camera commands.
#define kEdsCameraCommand_TakePicture 0x00000000u
#define kEdsCameraCommand_ExtendShutDownTimer 0x00000001u

// State events.
#define kEdsStateEvent_All 0x00000300u
#define kEdsStateEvent_Shutdown 0x00000301u
#define kEdsStateEvent_JobStatusChanged 0x00000302u
#define kEdsStateEvent_WillSoonShutDown 0x00000303u
#define kEdsStateEvent_ShutDownTimerUpdate 0x00000304u

#ifdef __cplusplus
extern "C" {
#endif

EDSAPI EdsError EdsInitializeSDK(void);
EDSAPI EdsError EdsTerminateSDK(void);
EDSAPI EdsUInt32 EdsRetain(EdsBaseRef inRef);
EDSAPI EdsUInt32 EdsRelease(EdsBaseRef inRef);
EDSAPI EdsError EdsGetChildCount(EdsBaseRef inRef, EdsUInt32 *outCount);
EDSAPI EdsError EdsGetChildAtIndex(EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef *outRef);
EDSAPI EdsError EdsGetPropertySize(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsDataType *outDataType, EdsUInt32 *outSize);
EDSAPI EdsError EdsGetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsUInt32 inPropertySize, EdsVoid *outPropertyData);
EDSAPI EdsError EdsSetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                                   EdsUInt32 inPropertySize, const EdsVoid *inPropertyData);
EDSAPI EdsError EdsGetCameraList(EdsCameraListRef *outCameraListRef);
EDSAPI EdsError EdsGetDeviceInfo(EdsCameraRef inCameraRef, EdsDeviceInfo *outDeviceInfo);
EDSAPI EdsError EdsOpenSession(EdsCameraRef inCameraRef);
EDSAPI EdsError EdsCloseSession(EdsCameraRef inCameraRef);
EDSAPI EdsError EdsSendCommand(EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam);
EDSAPI EdsError EdsCreateMemoryStream(EdsUInt64 inBufferSize, EdsStreamRef *outStream);
EDSAPI EdsError EdsGetPointer(EdsStreamRef inStream, EdsVoid **outPointer);
EDSAPI EdsError EdsGetLength(EdsStreamRef inStreamRef, EdsUInt64 *outLength);
EDSAPI EdsError EdsCreateEvfImageRef(EdsStreamRef inStreamRef, EdsEvfImageRef *outEvfImageRef);
EDSAPI EdsError EdsDownloadEvfImage(EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef);
EDSAPI EdsError EdsSetCameraStateEventHandler(EdsCameraRef inCameraRef, EdsStateEvent inEvent,
                                              EdsStateEventHandler inStateEventHandler, EdsVoid *inContext);

#ifdef __cplusplus
}
#endif

// Where the library is found and how its operations are looked up, on either platform.
#ifdef __cplusplus
#include "platform/edsdk/EdsLibrary.h"
#endif
