// DirectShow structures and enumerations with the Windows SDK's layouts.
// Reached through platform/dshow/dshow.h only.
#pragma once

#include "platform/windows/win32.h"

struct IUnknown;
struct IBaseFilter;
struct IFilterGraph;
struct IPin;

typedef LONGLONG REFERENCE_TIME;
typedef double REFTIME;
typedef DWORD_PTR HSEMAPHORE;
typedef DWORD_PTR HEVENT;

#define BI_RGB 0L
#define BI_BITFIELDS 3L

typedef struct tagBITMAPINFOHEADER
{
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct _AMMediaType
{
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
} AM_MEDIA_TYPE;

typedef struct tagVIDEOINFOHEADER
{
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef enum _PinDirection
{
    PINDIR_INPUT = 0,
    PINDIR_OUTPUT = 1
} PIN_DIRECTION;

typedef enum _FilterState
{
    State_Stopped = 0,
    State_Paused = 1,
    State_Running = 2
} FILTER_STATE;

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

typedef struct _AllocatorProperties
{
    LONG cBuffers;
    LONG cbBuffer;
    LONG cbAlign;
    LONG cbPrefix;
} ALLOCATOR_PROPERTIES;

typedef struct _PinInfo
{
    IBaseFilter *pFilter;
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

typedef struct _FilterInfo
{
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph *pGraph;
} FILTER_INFO;

typedef enum tagQualityMessageType
{
    Famine = 0,
    Flood = 1
} QualityMessageType;

typedef struct tagQuality
{
    QualityMessageType Type;
    LONG Proportion;
    REFERENCE_TIME Late;
    REFERENCE_TIME TimeStamp;
} Quality;

typedef struct _VIDEO_STREAM_CONFIG_CAPS
{
    GUID guid;
    ULONG VideoStandard;
    SIZE InputSize;
    SIZE MinCroppingSize;
    SIZE MaxCroppingSize;
    int CropGranularityX;
    int CropGranularityY;
    int CropAlignX;
    int CropAlignY;
    SIZE MinOutputSize;
    SIZE MaxOutputSize;
    int OutputGranularityX;
    int OutputGranularityY;
    int StretchTapsX;
    int StretchTapsY;
    int ShrinkTapsX;
    int ShrinkTapsY;
    LONGLONG MinFrameInterval;
    LONGLONG MaxFrameInterval;
    LONG MinBitsPerSecond;
    LONG MaxBitsPerSecond;
} VIDEO_STREAM_CONFIG_CAPS;

typedef enum tagAnalogVideoStandard
{
    AnalogVideo_None = 0x0
} AnalogVideoStandard;

// Filter registration records (IFilterMapper2).
typedef struct REGPINTYPES
{
    const CLSID *clsMajorType;
    const CLSID *clsMinorType;
} REGPINTYPES;

typedef struct REGFILTERPINS
{
    LPWSTR strName;
    BOOL bRendered;
    BOOL bOutput;
    BOOL bZero;
    BOOL bMany;
    const CLSID *clsConnectsToFilter;
    const WCHAR *strConnectsToPin;
    UINT nMediaTypes;
    const REGPINTYPES *lpMediaType;
} REGFILTERPINS;

typedef struct REGPINMEDIUM
{
    CLSID clsMedium;
    DWORD dw1;
    DWORD dw2;
} REGPINMEDIUM;

enum
{
    REG_PINFLAG_B_ZERO = 0x1,
    REG_PINFLAG_B_RENDERER = 0x2,
    REG_PINFLAG_B_MANY = 0x4,
    REG_PINFLAG_B_OUTPUT = 0x8
};

typedef struct REGFILTERPINS2
{
    DWORD dwFlags;
    UINT cInstances;
    UINT nMediaTypes;
    const REGPINTYPES *lpMediaType;
    UINT nMediums;
    const REGPINMEDIUM *lpMedium;
    const CLSID *clsPinCategory;
} REGFILTERPINS2;

typedef struct REGFILTER2
{
    DWORD dwVersion;
    DWORD dwMerit;
    union {
        struct
        {
            ULONG cPins;
            const REGFILTERPINS *rgPins;
        };
        struct
        {
            ULONG cPins2;
            const REGFILTERPINS2 *rgPins2;
        };
    };
} REGFILTER2;

enum
{
    MERIT_PREFERRED = 0x800000,
    MERIT_NORMAL = 0x600000,
    MERIT_UNLIKELY = 0x400000,
    MERIT_DO_NOT_USE = 0x200000,
    MERIT_SW_COMPRESSOR = 0x100000,
    MERIT_HW_COMPRESSOR = 0x100050
};

// ICreateDevEnum::CreateClassEnumerator flags.
#define CDEF_CLASS_DEFAULT 0x1
#define CDEF_BYPASS_CLASS_MANAGER 0x2
#define CDEF_MERIT_ABOVE_DO_NOT_USE 0x8

// IMemAllocator::GetBuffer flags.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4

// Pin property set (IKsPropertySet).
#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2
typedef enum AMPROPERTY_PIN
{
    AMPROPERTY_PIN_CATEGORY = 0,
    AMPROPERTY_PIN_MEDIUM = 1
} AMPROPERTY_PIN;

// IMediaControl / IMediaEvent scalar types.
typedef LONG OAFilterState;
typedef LONG_PTR OAEVENT;

static_assert(sizeof(RECT) == 16, "RECT layout");
static_assert(sizeof(SIZE) == 8, "SIZE layout");
static_assert(sizeof(BITMAPINFOHEADER) == 40, "BITMAPINFOHEADER layout");
static_assert(sizeof(VIDEOINFOHEADER) == 88, "VIDEOINFOHEADER layout");
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128, "VIDEO_STREAM_CONFIG_CAPS layout");
static_assert(sizeof(ALLOCATOR_PROPERTIES) == 16, "ALLOCATOR_PROPERTIES layout");
static_assert(sizeof(REFERENCE_TIME) == 8, "REFERENCE_TIME width");
#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__)
// 72 bytes is the 32-bit size; on 64-bit the pointers after formattype and cbFormat are padded to 8.
static_assert(sizeof(AM_MEDIA_TYPE) == 88, "AM_MEDIA_TYPE layout");
static_assert(sizeof(REGFILTERPINS) == 56, "REGFILTERPINS layout");
static_assert(sizeof(REGPINTYPES) == 16, "REGPINTYPES layout");
static_assert(sizeof(REGFILTER2) == 24, "REGFILTER2 layout");
#endif
