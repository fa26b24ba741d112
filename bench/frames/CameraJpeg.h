#pragma once

#include <QByteArray>
#include <QSize>

// A JPEG like a camera's live view (colour fields, sharp edges, a little sensor noise), so that the decoder
// does a realistic amount of work.
QByteArray cameraJpeg(const QSize &size);
