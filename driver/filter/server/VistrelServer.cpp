#include "driver/filter/server/VistrelServer.h"

#include "driver/filter/CVCam.h"
#include "driver/filter/VistrelCamGuids.h"
#include "driver/filter/base/AMovieSetup.h"
#include "driver/filter/base/DllEntry.h"
#include "driver/mediasource/VistrelMediaSource.h"
#include "platform/windows/ComPtr.h"

// The 32-bit build registers in the 32-bit registry view, which 32-bit applications see; its names say which
// build an application found. Both share the class identifier.
const WCHAR *const kVistrelServerName = sizeof(void *) == 8 ? L"Virtual-Vistrel-x64" : L"Virtual-Vistrel-x86";
const WCHAR *const kVistrelFilterName = sizeof(void *) == 8 ? L"VistrelToolx64" : L"VistrelToolx86";
const WCHAR *const kVistrelMediaSourceName = L"Vistrel Media Source";

namespace {

// The registration records name the pin through a non-const pointer, as the SDK declares them.
WCHAR outputPinName[] = L"Output";

} // namespace

const AMOVIESETUP_MEDIATYPE sudVistrelPinTypes = {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24};

const AMOVIESETUP_PIN sudVistrelOutputPin = {
    outputPinName,
    FALSE,       // rendered
    TRUE,        // output
    FALSE,       // zero instances allowed
    FALSE,       // many instances allowed
    &CLSID_NULL, // connects to filter
    NULL,        // connects to pin
    1,
    &sudVistrelPinTypes,
};

const AMOVIESETUP_FILTER sudVistrelCam = {
    &CLSID_VistrelCam, kVistrelFilterName, MERIT_DO_NOT_USE, 1, &sudVistrelOutputPin,
};

CFactoryTemplate g_Templates[] = {
    {kVistrelServerName, &CLSID_VistrelCam, CVCam::CreateInstance, NULL, &sudVistrelCam},
    // No filter setup data: the media source is no filter and has no category entry.
    {kVistrelMediaSourceName, &CLSID_VistrelMediaSource, VistrelMediaSource::CreateInstance, NULL, NULL},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

namespace {

// 1-2. The library's own path, which the server keys record, as the registry takes it: UTF-16.
HRESULT moduleWidePath(WCHAR (&widePath)[MAX_PATH])
{
    char modulePath[MAX_PATH];
    const DWORD length = GetModuleFileNameA(g_hInst, modulePath, MAX_PATH);
    if (length == 0)
        return AmHresultFromWin32(GetLastError());
    // A path cut to fit the buffer would be registered as if it were whole, and no application could
    // load the server from it.
    if (length >= MAX_PATH)
        return AmHresultFromWin32(ERROR_INSUFFICIENT_BUFFER);
    if (MultiByteToWideChar(CP_ACP, 0, modulePath, -1, widePath, MAX_PATH) == 0)
        return AmHresultFromWin32(GetLastError());
    return S_OK;
}

// 5. Adds the filter to the video input device category, or removes it.
HRESULT registerInCategory(bool registering)
{
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, NULL, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  comOutput(mapper));
    if (FAILED(hr))
        return hr;
    if (!registering)
        return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, NULL, CLSID_VistrelCam);

    ComPtr<IMoniker> moniker;
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 1;
    filter.rgPins = &sudVistrelOutputPin;
    return mapper->RegisterFilter(CLSID_VistrelCam, kVistrelFilterName, moniker.ReleaseAndGetAddressOf(),
                                  &CLSID_VideoInputDeviceCategory, NULL, &filter);
}

} // namespace

HRESULT registerServer(bool registering)
{
    WCHAR widePath[MAX_PATH];
    HRESULT hr = moduleWidePath(widePath);
    if (FAILED(hr))
        return hr;

    // 3.
    const HRESULT comInit = CoInitialize(NULL);
    hr = comInit;

    // 4. Server keys first, so the category entry never names a class that cannot be created.
    if (registering)
        hr = AMovieSetupRegisterServer(CLSID_VistrelCam, kVistrelServerName, widePath, L"Both",
                                       L"InprocServer32");
    if (registering && SUCCEEDED(hr))
        hr = AMovieSetupRegisterServer(CLSID_VistrelMediaSource, kVistrelMediaSourceName, widePath, L"Both",
                                       L"InprocServer32");

    // 5.
    if (SUCCEEDED(hr))
        hr = registerInCategory(registering);

    // 6. The server keys go only once nothing in the category refers to them any more.
    if (!registering && SUCCEEDED(hr))
        hr = AMovieSetupUnregisterServer(CLSID_VistrelCam);
    if (!registering && SUCCEEDED(hr))
        hr = AMovieSetupUnregisterServer(CLSID_VistrelMediaSource);

    // 7.
    CoFreeUnusedLibraries();
    if (SUCCEEDED(comInit))
        CoUninitialize();
    return hr;
}
