#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// The picture shown while no camera frame exists: a 1920 x 1080 PNG compiled into the driver.
namespace Placeholder {

// The embedded picture as decoded; a null image if it cannot be decoded.
QImage picture();

// The picture stretched smoothly to size, in output frame format (blue-green-red, rows
// bottom-up, width * 3 bytes a row). Writes one debug line with the scaled picture's size and
// the requested size. Empty if the picture cannot be decoded or size is unusable.
QByteArray frame(const QSize &size);

// Test seam: read the picture from this file (or resource path) instead of the embedded one,
// so a test can make decoding fail. An empty path restores the embedded picture.
void setSourceForTesting(const QString &path);

// Test seam: frame() calls this first, so a test can hold a build in progress. Null: none.
void setBuildHookForTesting(void (*hook)());

} // namespace Placeholder
