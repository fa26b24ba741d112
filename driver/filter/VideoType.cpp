#include "driver/filter/VideoType.h"

#include <cmath>
#include <cstring>

namespace VideoType {

qint64 strideFor(qint64 width)
{
    return ((width * 24 + 31) & ~qint64(31)) / 8;
}

bool isUsableFrameRate(double fps)
{
    if (!std::isfinite(fps) || fps <= 0.0)
        return false;
    // Below about 1e-12 frames per second the interval no longer fits in 64 bits.
    return (1.0 / fps) * double(kUnitsPerSecond) < 9.2e18;
}

REFERENCE_TIME frameInterval(double fps)
{
    if (!isUsableFrameRate(fps))
        return kUnusableInterval;
    return static_cast<REFERENCE_TIME>((1.0 / fps) * double(kUnitsPerSecond));
}

bool isAcceptedInterval(REFERENCE_TIME interval)
{
    // Unsigned, so that negative intervals wrap to huge values and fail as well.
    return static_cast<ULONGLONG>(interval) - ULONGLONG(kShortestInterval) <=
           ULONGLONG(kLongestInterval - kShortestInterval);
}

HRESULT build(CMediaType *mt, const QSize &size, REFERENCE_TIME interval)
{
    CheckPointer(mt, E_POINTER);
    BYTE *format = mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER));
    if (format == NULL)
        return E_OUTOFMEMORY;
    std::memset(format, 0, sizeof(VIDEOINFOHEADER));
    VIDEOINFOHEADER *vih = reinterpret_cast<VIDEOINFOHEADER *>(format);
    vih->AvgTimePerFrame = interval;
    describePicture(vih, size);
    describeType(mt, *vih, TRUE);
    return S_OK;
}

void describePicture(VIDEOINFOHEADER *vih, const QSize &size)
{
    std::memset(&vih->rcSource, 0, sizeof(vih->rcSource));
    std::memset(&vih->rcTarget, 0, sizeof(vih->rcTarget));
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = size.width();
    vih->bmiHeader.biHeight = size.height(); // positive: rows bottom-up
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(strideFor(size.width()) * size.height());
    vih->bmiHeader.biClrImportant = 0;
}

void describeType(AM_MEDIA_TYPE *mt, const VIDEOINFOHEADER &vih, BOOL fixedSizeSamples)
{
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = GetBitmapSubtype(&vih.bmiHeader);
    mt->formattype = FORMAT_VideoInfo;
    mt->bTemporalCompression = FALSE;
    mt->bFixedSizeSamples = fixedSizeSamples;
    mt->lSampleSize = vih.bmiHeader.biSizeImage;
}

const VIDEOINFOHEADER *videoInfo(const AM_MEDIA_TYPE &mt)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.pbFormat == NULL || mt.cbFormat < sizeof(VIDEOINFOHEADER))
        return NULL;
    return reinterpret_cast<const VIDEOINFOHEADER *>(mt.pbFormat);
}

VIDEOINFOHEADER *videoInfo(AM_MEDIA_TYPE &mt)
{
    return const_cast<VIDEOINFOHEADER *>(videoInfo(static_cast<const AM_MEDIA_TYPE &>(mt)));
}

} // namespace VideoType
