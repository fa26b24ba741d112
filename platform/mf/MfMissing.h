// What the Windows SDK declares and mingw-w64's headers lack: the frame server's stream attributes, the
// stream state interface and the Windows 11 virtual camera. Windows only; reached through mfidl.h.
#pragma once

// Inline variables rather than DEFINE_GUID, which on Windows only declares unless one file includes
// <initguid.h> first.
inline constexpr GUID MF_DEVICESTREAM_STREAM_CATEGORY = {
    0x2939e7b8, 0xa62e, 0x4579, {0xb6, 0x74, 0xd4, 0x07, 0x3d, 0xfa, 0xbb, 0xba}};
inline constexpr GUID MF_DEVICESTREAM_STREAM_ID = {
    0x11bd5120, 0xd124, 0x446b, {0x88, 0xe6, 0x17, 0x06, 0x02, 0x57, 0xff, 0xf9}};
inline constexpr GUID MF_DEVICESTREAM_FRAMESERVER_SHARED = {
    0x1cb378e9, 0xb279, 0x41d4, {0xaf, 0x97, 0x34, 0xa2, 0x43, 0xe6, 0x83, 0x20}};
inline constexpr GUID MF_DEVICESTREAM_ATTRIBUTE_FRAMESOURCE_TYPES = {
    0x17145fd1, 0x1b2b, 0x423c, {0x80, 0x01, 0x2b, 0x68, 0x33, 0xed, 0x35, 0x88}};

typedef enum _MFFrameSourceTypes
{
    MFFrameSourceTypes_Color = 0x0001,
    MFFrameSourceTypes_Infrared = 0x0002,
    MFFrameSourceTypes_Depth = 0x0004,
    MFFrameSourceTypes_Image = 0x0008,
    MFFrameSourceTypes_Custom = 0x0080
} MFFrameSourceTypes;

// MF_STREAM_STATE itself is in mingw's mfobjects.h; the interface that uses it is not.
inline constexpr GUID IID_IMFMediaStream2 = {
    0xc5bc37d6, 0x75c7, 0x46a1, {0xa1, 0x32, 0x81, 0xb5, 0xf7, 0x23, 0xc2, 0x0f}};

struct IMFMediaStream2 : public IMFMediaStream
{
    virtual HRESULT STDMETHODCALLTYPE SetStreamState(MF_STREAM_STATE value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStreamState(MF_STREAM_STATE *value) = 0;
};
__CRT_UUID_DECL(IMFMediaStream2, 0xc5bc37d6, 0x75c7, 0x46a1, 0xa1, 0x32, 0x81, 0xb5, 0xf7, 0x23, 0xc2, 0x0f)

// The virtual camera of Windows 11 (mfsensorgroup.dll, loaded at run time).
typedef enum
{
    MFVirtualCameraType_SoftwareCameraSource = 0
} MFVirtualCameraType;

typedef enum
{
    MFVirtualCameraLifetime_Session = 0,
    MFVirtualCameraLifetime_System = 1
} MFVirtualCameraLifetime;

typedef enum
{
    MFVirtualCameraAccess_CurrentUser = 0,
    MFVirtualCameraAccess_AllUsers = 1
} MFVirtualCameraAccess;

inline constexpr GUID IID_IMFCameraSyncObject = {
    0x6338b23a, 0x3042, 0x49d2, {0xa3, 0xea, 0xec, 0x0f, 0xed, 0x81, 0x54, 0x07}};

struct IMFCameraSyncObject : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE WaitOnSignal(DWORD timeOutInMs) = 0;
    virtual void STDMETHODCALLTYPE Shutdown() = 0;
};
__CRT_UUID_DECL(IMFCameraSyncObject, 0x6338b23a, 0x3042, 0x49d2, 0xa3, 0xea, 0xec, 0x0f, 0xed, 0x81, 0x54,
                0x07)

inline constexpr GUID IID_IMFVirtualCamera = {
    0x1c08a864, 0xef6c, 0x4c75, {0xaf, 0x59, 0x5f, 0x2d, 0x68, 0xda, 0x95, 0x63}};

struct IMFVirtualCamera : public IMFAttributes
{
    virtual HRESULT STDMETHODCALLTYPE AddDeviceSourceInfo(LPCWSTR DeviceSourceInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddProperty(const DEVPROPKEY *pKey, DEVPROPTYPE Type,
                                                  const BYTE *pbData, ULONG cbData) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddRegistryEntry(LPCWSTR EntryName, LPCWSTR SubkeyPath, DWORD dwRegType,
                                                       const BYTE *pbData, ULONG cbData) = 0;
    virtual HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback *pCallback) = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource **ppMediaSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendCameraProperty(REFGUID propertySet, ULONG propertyId,
                                                         ULONG propertyFlags, void *propertyPayload,
                                                         ULONG propertyPayloadLength, void *data,
                                                         ULONG dataLength, ULONG *dataWritten) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncEvent(REFGUID kseventSet, ULONG kseventId, ULONG kseventFlags,
                                                      HANDLE eventHandle,
                                                      IMFCameraSyncObject **cameraSyncObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateSyncSemaphore(REFGUID kseventSet, ULONG kseventId,
                                                          ULONG kseventFlags, HANDLE semaphoreHandle,
                                                          LONG semaphoreAdjustment,
                                                          IMFCameraSyncObject **cameraSyncObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};
__CRT_UUID_DECL(IMFVirtualCamera, 0x1c08a864, 0xef6c, 0x4c75, 0xaf, 0x59, 0x5f, 0x2d, 0x68, 0xda, 0x95, 0x63)

// mfsensorgroup.dll exists on Windows 11 only, so its functions are found with GetProcAddress.
typedef HRESULT(STDAPICALLTYPE *PFN_MFCreateVirtualCamera)(MFVirtualCameraType type,
                                                           MFVirtualCameraLifetime lifetime,
                                                           MFVirtualCameraAccess access, LPCWSTR friendlyName,
                                                           LPCWSTR sourceId, const GUID *categories,
                                                           ULONG categoryCount,
                                                           IMFVirtualCamera **virtualCamera);
typedef HRESULT(STDAPICALLTYPE *PFN_MFIsVirtualCameraTypeSupported)(MFVirtualCameraType type,
                                                                    BOOL *supported);
