#pragma once

#include "platform/edsdk/EDSDK.h"

#include <QSize>

#include <chrono>
#include <optional>

// Measures a camera's live-view picture size: switches its live view to the computer,
// gives it time to start, and downloads one frame.
namespace ViewFinderQuery {

// The camera's session must be open. `outputDeviceSize` is the size passed with the
// output-device property; it is replaced by the camera's answer when it gives one, so
// handing the view back to the camera's screen can use the same size. Returns the frame's
// size, or nothing when no frame could be downloaded or decoded.
std::optional<QSize> measure(EdsCameraRef camera, EdsUInt32 &outputDeviceSize);

// How long a camera gets to start its live view before the one download attempt.
std::chrono::milliseconds startDelay();
// Tests shorten the wait with this; the program never changes it.
void setStartDelay(std::chrono::milliseconds delay);

} // namespace ViewFinderQuery
