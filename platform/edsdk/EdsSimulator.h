#pragma once

// Control interface of the simulated cameras behind libEDSDK.so. Tests and demos use it to script the
// cameras; the product never calls it.
//
// Cameras are named by their port name, which is unique. Configuration strings (EdsSimReset and the
// environment variable EDSDK_SIM_CAMERAS, read once when the library is first used) list cameras separated
// by ';'. Each camera is its model name, optionally followed by ':'-separated settings:
//
//   size=WxH        live-view size (default 960x640)
//   fps=N           frames per second, may be fractional (default 30; 0 delivers no frames)
//   port=NAME       port name (default "usb:<n>", n counting cameras from 1)
//   idle=SECONDS    idle time before the camera powers itself off while a session is open (default 300)
//   startup=MS      time from switching live view to the computer to the first frame (default 300)
//   frames=PATH     replay the JPEG file PATH, or every *.jpg / *.jpeg file of the folder PATH in name order
//
// Example: EDSDK_SIM_CAMERAS="Canon EOS 90D;Canon EOS 90D:size=1024x680:fps=25;Canon EOS R6:frames=/tmp/f"
// An unset variable gives one camera, "Canon EOS 90D" at 960x640 and 30 frames per second; a set but
// empty one gives no camera.
//
// The idle clock runs only while a session is open: opening a session and the ExtendShutDownTimer command
// restart it. kEdsStateEvent_WillSoonShutDown is sent when a quarter of the idle time is left (at most
// 10 s before), then kEdsStateEvent_Shutdown when it runs out; the camera is then gone like an unplugged
// one. A warning sent late (a busy machine) moves the power-off so that it keeps its lead over the warning.
// The live-view output device keeps its value when a session closes.
//
// A camera is the same camera in every process that names the same port, and it has one session on the
// whole machine: EdsOpenSession answers EDS_ERR_DEVICE_BUSY while another process holds it. Closing the
// session, releasing the camera, EdsTerminateSDK, unplugging (here) or the holder's death frees it. The
// sessions are file locks, one per port, in $XDG_RUNTIME_DIR/vistrel-edsdk (else
// ${TMPDIR:-/tmp}/vistrel-<uid>/vistrel-edsdk; on Windows %TEMP%\vistrel-edsdk): processes with
// different runtime folders, as parallel tests have, never share a camera.
//
// Every SDK call is recorded in a call log as "name<TAB>port<NEWLINE>"; the port is empty for calls that
// hit no camera. Failures injected with EdsSimInjectError make the named call return the given code
// without doing anything (EdsRelease and EdsRetain cannot fail this way); the call is still recorded.

#include "platform/edsdk/EDSDK.h"

#ifdef __cplusplus
extern "C" {
#endif

// Replaces every camera with the given configuration; null means the default configuration (the
// environment variable, else the one default camera). Also clears injections and the call log. Handles
// still held keep working as references to cameras that are gone. Returns EDS_ERR_INVALID_PARAMETER
// (and changes nothing) for a configuration it cannot parse.
EDSAPI EdsError EdsSimReset(const char *configuration);

// Adds cameras in configuration syntax; a camera whose port is taken is refused with
// EDS_ERR_INVALID_PARAMETER.
EDSAPI EdsError EdsSimAddCameras(const char *configuration);
// Unplugs a camera: kEdsStateEvent_Shutdown is sent, later calls on it fail.
EDSAPI EdsError EdsSimUnplugCamera(const char *port);

EDSAPI EdsError EdsSimSetLiveViewSize(const char *port, EdsInt32 width, EdsInt32 height);
EDSAPI EdsError EdsSimSetFrameRate(const char *port, double framesPerSecond);
EDSAPI EdsError EdsSimSetIdlePowerOff(const char *port, EdsUInt32 milliseconds);
EDSAPI EdsError EdsSimSetStartupDelay(const char *port, EdsUInt32 milliseconds);
// A camera that delivers no frames answers every download with EDS_ERR_OBJECT_NOTREADY.
EDSAPI EdsError EdsSimSetDeliversFrames(const char *port, EdsBool deliversFrames);
// Replays the JPEG file or folder at path instead of the test picture.
EDSAPI EdsError EdsSimReplayFrames(const char *port, const char *path);
// Appends one frame, given as bytes, to the frames replayed; any bytes are accepted, JPEG or not.
EDSAPI EdsError EdsSimAddReplayFrame(const char *port, const void *data, EdsUInt32 length);
// Back to the generated test picture.
EDSAPI EdsError EdsSimClearReplayFrames(const char *port);

// Makes the named SDK call answer code: the next `times` calls, or every call when times is 0. A null
// port matches every camera and calls that hit none.
EDSAPI EdsError EdsSimInjectError(const char *call, const char *port, EdsError code, EdsUInt32 times);
EDSAPI void EdsSimClearInjections(void);

// Queues a state event for the handlers registered on the camera.
EDSAPI EdsError EdsSimSendStateEvent(const char *port, EdsStateEvent event, EdsUInt32 eventData);

// Copies the call log into buffer as zero-terminated text when it fits and returns the size it needs,
// terminator included. When clear is set and the log was copied, it is emptied.
EDSAPI EdsUInt32 EdsSimGetCallLog(char *buffer, EdsUInt32 size, EdsBool clear);
EDSAPI void EdsSimClearCallLog(void);

EDSAPI EdsError EdsSimGetOutputDevice(const char *port, EdsUInt32 *outputDevice);
EDSAPI EdsError EdsSimIsSessionOpen(const char *port, EdsBool *open);
// Number of frames the camera has handed out since it was added.
EDSAPI EdsError EdsSimGetFramesDelivered(const char *port, EdsUInt32 *frames);
// When frame number `frame` of the current live view (counted from 0 at its start) is or was first ready
// to download, in nanoseconds of the steady clock (CLOCK_MONOTONIC on Linux), so a program in the same
// process can tell how long a frame took to reach it. EDS_ERR_OBJECT_NOTREADY while live view is not on
// the computer or the camera makes no frames.
EDSAPI EdsError EdsSimGetFrameReadyTime(const char *port, EdsUInt32 frame, EdsUInt64 *steadyNanoseconds);
// References (lists, cameras, streams, images) not yet released: 0 after a clean run.
EDSAPI EdsUInt32 EdsSimLiveReferenceCount(void);
// Number of EdsInitializeSDK calls not yet matched by EdsTerminateSDK.
EDSAPI EdsUInt32 EdsSimInitializeCount(void);

#ifdef __cplusplus
}
#endif
