// The one video format the pin offers (24-bit RGB, bottom-up rows padded to 4 bytes) and the rules by
// which the pin judges the types it is given.
#pragma once

#include "driver/filter/base/CMediaType.h"

#include <QSize>

namespace VideoType {

// Media times and frame intervals count 100-ns units.
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

// Frame intervals the pin accepts, in 100-ns units: 10 to 10,000 frames per second.
constexpr REFERENCE_TIME kShortestInterval = 1000;
constexpr REFERENCE_TIME kLongestInterval = 1000000;
// What an unusable frame rate offers: an interval that no check accepts and no arithmetic mistakes
// for a short one.
constexpr REFERENCE_TIME kUnusableInterval = 0x7FFFFFFFFFFFFFFFLL;

// Bytes in one bitmap row of `width` 24-bit pixels: width * 3 raised to the next multiple of 4.
qint64 strideFor(qint64 width);

// Whether `fps` yields a frame interval at all: positive, finite and not so small that the interval
// would not fit.
bool isUsableFrameRate(double fps);
// (1 / fps) * 10,000,000 truncated; kUnusableInterval for a rate that isUsableFrameRate refuses.
REFERENCE_TIME frameInterval(double fps);
// The one unsigned comparison: kShortestInterval <= interval <= kLongestInterval.
bool isAcceptedInterval(REFERENCE_TIME interval);

// Makes `mt` the offered type for a picture of `size` at `interval`. E_OUTOFMEMORY when the format
// block cannot be allocated.
HRESULT build(CMediaType *mt, const QSize &size, REFERENCE_TIME interval);

// The picture part of the header, as the offered type has it: a 24-bit RGB bitmap of `size` with
// bottom-up rows and empty rectangles. The frame interval, bit rates and colour counts other than
// biClrImportant are left as they are.
void describePicture(VIDEOINFOHEADER *vih, const QSize &size);
// The type's GUIDs and sample size for the picture in `vih`; only whether samples are of a fixed size
// differs between the offered type and the stream capability.
void describeType(AM_MEDIA_TYPE *mt, const VIDEOINFOHEADER &vih, BOOL fixedSizeSamples);

// The type's VIDEOINFOHEADER, or null when its format block is not one (another format, or too short
// to read).
const VIDEOINFOHEADER *videoInfo(const AM_MEDIA_TYPE &mt);
VIDEOINFOHEADER *videoInfo(AM_MEDIA_TYPE &mt);

} // namespace VideoType
