#pragma once

#include "platform/edsdk/EDSDK.h"

#include <string>

// The camera SDK's operations, bound at run time to the SDK library beside this module (else the one the
// system finds by name). Same names and signatures as the SDK's own; no set-up call: the first call loads
// the library, from any thread. If the library or one of its operations is missing, one debug line says
// so and every call fails with EDS_ERR_MISSING_SUBCOMPONENT (EdsRelease answers 0xFFFFFFFF).
namespace eds {

EdsError EdsInitializeSDK();
EdsError EdsTerminateSDK();
EdsUInt32 EdsRelease(EdsBaseRef inRef);
EdsError EdsGetChildCount(EdsBaseRef inRef, EdsUInt32 *outCount);
EdsError EdsGetChildAtIndex(EdsBaseRef inRef, EdsInt32 inIndex, EdsBaseRef *outRef);
EdsError EdsGetPropertySize(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsDataType *outDataType, EdsUInt32 *outSize);
EdsError EdsSetPropertyData(EdsBaseRef inRef, EdsPropertyID inPropertyID, EdsInt32 inParam,
                            EdsUInt32 inPropertySize, const EdsVoid *inPropertyData);
EdsError EdsGetCameraList(EdsCameraListRef *outCameraListRef);
EdsError EdsGetDeviceInfo(EdsCameraRef inCameraRef, EdsDeviceInfo *outDeviceInfo);
EdsError EdsOpenSession(EdsCameraRef inCameraRef);
EdsError EdsCloseSession(EdsCameraRef inCameraRef);
EdsError EdsSendCommand(EdsCameraRef inCameraRef, EdsCameraCommand inCommand, EdsInt32 inParam);
EdsError EdsCreateMemoryStream(EdsUInt64 inBufferSize, EdsStreamRef *outStream);
EdsError EdsGetPointer(EdsStreamRef inStream, EdsVoid **outPointer);
EdsError EdsGetLength(EdsStreamRef inStreamRef, EdsUInt64 *outLength);
EdsError EdsCreateEvfImageRef(EdsStreamRef inStreamRef, EdsEvfImageRef *outEvfImageRef);
EdsError EdsDownloadEvfImage(EdsCameraRef inCameraRef, EdsEvfImageRef inEvfImageRef);
EdsError EdsSetCameraStateEventHandler(EdsCameraRef inCameraRef, EdsStateEvent inEvent,
                                       EdsStateEventHandler inStateEventHandler, EdsVoid *inContext);

// Whether the library is bound (loading it if that was not tried yet).
bool isAvailable();

// Test seam: look for the library only in this folder (nothing else when the file is absent there); an
// empty folder restores the normal search. Unloads the library bound so far; the next call loads anew.
// Call only while no SDK call runs.
void setLibraryFolderForTesting(const std::string &folder);

} // namespace eds
