// mfsensorgroup.dll for the Wine tests, which have none: the two functions the settings program calls to add
// and remove the Windows 11 virtual camera, and a virtual camera object that only records. Each call goes as
// one line to the file named by VISTREL_SENSOR_GROUP_RECORD, so a test can judge the arguments and the
// order of calls. VISTREL_SENSOR_GROUP_FAIL plays what a real system may answer:
//   unsupported   MFIsVirtualCameraTypeSupported says no
//   create|start|remove   that call answers E_ACCESSDENIED, as for a user who is no administrator
#include "platform/mf/mfidl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool failing(const char *what)
{
    const char *fail = std::getenv("VISTREL_SENSOR_GROUP_FAIL");
    return fail && std::strcmp(fail, what) == 0;
}

void record(const std::string &line)
{
    const char *path = std::getenv("VISTREL_SENSOR_GROUP_RECORD");
    if (!path)
        return;
    if (FILE *file = std::fopen(path, "ab")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

// Names and class identifiers are plain ASCII; anything else shows as '?'.
std::string narrow(LPCWSTR text)
{
    if (!text)
        return "(null)";
    std::string out;
    for (; *text; ++text)
        out += *text < 0x80 ? char(*text) : '?';
    return out;
}

class RecordingCamera final : public IMFVirtualCamera
{
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != __uuidof(IUnknown) && riid != __uuidof(IMFAttributes) &&
            riid != __uuidof(IMFVirtualCamera))
            return E_NOINTERFACE;
        *ppv = static_cast<IMFVirtualCamera *>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) {
            record("Released");
            delete this;
        }
        return ULONG(left);
    }

    // IMFVirtualCamera: what the settings program uses records; the rest is not offered.
    HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback *pCallback) override
    {
        record(std::string("Start callback=") + (pCallback ? "set" : "null"));
        return failing("start") ? E_ACCESSDENIED : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove() override
    {
        record("Remove");
        return failing("remove") ? E_ACCESSDENIED : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Shutdown() override
    {
        record("Shutdown");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override { return unexpected("Stop"); }
    HRESULT STDMETHODCALLTYPE AddDeviceSourceInfo(LPCWSTR) override
    {
        return unexpected("AddDeviceSourceInfo");
    }
    HRESULT STDMETHODCALLTYPE AddProperty(const DEVPROPKEY *, DEVPROPTYPE, const BYTE *, ULONG) override
    {
        return unexpected("AddProperty");
    }
    HRESULT STDMETHODCALLTYPE AddRegistryEntry(LPCWSTR, LPCWSTR, DWORD, const BYTE *, ULONG) override
    {
        return unexpected("AddRegistryEntry");
    }
    HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource **ppMediaSource) override
    {
        if (ppMediaSource)
            *ppMediaSource = nullptr;
        return unexpected("GetMediaSource");
    }
    HRESULT STDMETHODCALLTYPE SendCameraProperty(REFGUID, ULONG, ULONG, void *, ULONG, void *, ULONG,
                                                 ULONG *) override
    {
        return unexpected("SendCameraProperty");
    }
    HRESULT STDMETHODCALLTYPE CreateSyncEvent(REFGUID, ULONG, ULONG, HANDLE, IMFCameraSyncObject **) override
    {
        return unexpected("CreateSyncEvent");
    }
    HRESULT STDMETHODCALLTYPE CreateSyncSemaphore(REFGUID, ULONG, ULONG, HANDLE, LONG,
                                                  IMFCameraSyncObject **) override
    {
        return unexpected("CreateSyncSemaphore");
    }

    // IMFAttributes: the camera's attributes are not used.
    HRESULT STDMETHODCALLTYPE GetItem(REFGUID, PROPVARIANT *) override { return unexpected("GetItem"); }
    HRESULT STDMETHODCALLTYPE GetItemType(REFGUID, MF_ATTRIBUTE_TYPE *) override
    {
        return unexpected("GetItemType");
    }
    HRESULT STDMETHODCALLTYPE CompareItem(REFGUID, REFPROPVARIANT, BOOL *) override
    {
        return unexpected("CompareItem");
    }
    HRESULT STDMETHODCALLTYPE Compare(IMFAttributes *, MF_ATTRIBUTES_MATCH_TYPE, BOOL *) override
    {
        return unexpected("Compare");
    }
    HRESULT STDMETHODCALLTYPE GetUINT32(REFGUID, UINT32 *) override { return unexpected("GetUINT32"); }
    HRESULT STDMETHODCALLTYPE GetUINT64(REFGUID, UINT64 *) override { return unexpected("GetUINT64"); }
    HRESULT STDMETHODCALLTYPE GetDouble(REFGUID, double *) override { return unexpected("GetDouble"); }
    HRESULT STDMETHODCALLTYPE GetGUID(REFGUID, GUID *) override { return unexpected("GetGUID"); }
    HRESULT STDMETHODCALLTYPE GetStringLength(REFGUID, UINT32 *) override
    {
        return unexpected("GetStringLength");
    }
    HRESULT STDMETHODCALLTYPE GetString(REFGUID, LPWSTR, UINT32, UINT32 *) override
    {
        return unexpected("GetString");
    }
    HRESULT STDMETHODCALLTYPE GetAllocatedString(REFGUID, LPWSTR *, UINT32 *) override
    {
        return unexpected("GetAllocatedString");
    }
    HRESULT STDMETHODCALLTYPE GetBlobSize(REFGUID, UINT32 *) override { return unexpected("GetBlobSize"); }
    HRESULT STDMETHODCALLTYPE GetBlob(REFGUID, UINT8 *, UINT32, UINT32 *) override
    {
        return unexpected("GetBlob");
    }
    HRESULT STDMETHODCALLTYPE GetAllocatedBlob(REFGUID, UINT8 **, UINT32 *) override
    {
        return unexpected("GetAllocatedBlob");
    }
    HRESULT STDMETHODCALLTYPE GetUnknown(REFGUID, REFIID, LPVOID *) override
    {
        return unexpected("GetUnknown");
    }
    HRESULT STDMETHODCALLTYPE SetItem(REFGUID, REFPROPVARIANT) override { return unexpected("SetItem"); }
    HRESULT STDMETHODCALLTYPE DeleteItem(REFGUID) override { return unexpected("DeleteItem"); }
    HRESULT STDMETHODCALLTYPE DeleteAllItems() override { return unexpected("DeleteAllItems"); }
    HRESULT STDMETHODCALLTYPE SetUINT32(REFGUID, UINT32) override { return unexpected("SetUINT32"); }
    HRESULT STDMETHODCALLTYPE SetUINT64(REFGUID, UINT64) override { return unexpected("SetUINT64"); }
    HRESULT STDMETHODCALLTYPE SetDouble(REFGUID, double) override { return unexpected("SetDouble"); }
    HRESULT STDMETHODCALLTYPE SetGUID(REFGUID, REFGUID) override { return unexpected("SetGUID"); }
    HRESULT STDMETHODCALLTYPE SetString(REFGUID, LPCWSTR) override { return unexpected("SetString"); }
    HRESULT STDMETHODCALLTYPE SetBlob(REFGUID, const UINT8 *, UINT32) override
    {
        return unexpected("SetBlob");
    }
    HRESULT STDMETHODCALLTYPE SetUnknown(REFGUID, IUnknown *) override { return unexpected("SetUnknown"); }
    HRESULT STDMETHODCALLTYPE LockStore() override { return unexpected("LockStore"); }
    HRESULT STDMETHODCALLTYPE UnlockStore() override { return unexpected("UnlockStore"); }
    HRESULT STDMETHODCALLTYPE GetCount(UINT32 *) override { return unexpected("GetCount"); }
    HRESULT STDMETHODCALLTYPE GetItemByIndex(UINT32, GUID *, PROPVARIANT *) override
    {
        return unexpected("GetItemByIndex");
    }
    HRESULT STDMETHODCALLTYPE CopyAllItems(IMFAttributes *) override { return unexpected("CopyAllItems"); }

private:
    // Recorded too, so that a test sees a call the settings program should not make.
    static HRESULT unexpected(const char *method)
    {
        record(std::string("Unexpected ") + method);
        return E_NOTIMPL;
    }

    LONG m_references = 1;
};

} // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    MFIsVirtualCameraTypeSupported(MFVirtualCameraType type, BOOL *supported)
{
    record("MFIsVirtualCameraTypeSupported type=" + std::to_string(int(type)));
    if (!supported)
        return E_POINTER;
    *supported = !failing("unsupported") && type == MFVirtualCameraType_SoftwareCameraSource;
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE
    MFCreateVirtualCamera(MFVirtualCameraType type, MFVirtualCameraLifetime lifetime,
                          MFVirtualCameraAccess access, LPCWSTR friendlyName, LPCWSTR sourceId,
                          const GUID *categories, ULONG categoryCount, IMFVirtualCamera **virtualCamera)
{
    record("MFCreateVirtualCamera type=" + std::to_string(int(type)) +
           " lifetime=" + std::to_string(int(lifetime)) + " access=" + std::to_string(int(access)) +
           " friendlyName=" + narrow(friendlyName) + " sourceId=" + narrow(sourceId) + " categories=" +
           (categories ? "set" : "null") + " categoryCount=" + std::to_string(categoryCount));
    if (!virtualCamera)
        return E_POINTER;
    *virtualCamera = nullptr;
    if (!friendlyName || !sourceId || (!categories && categoryCount != 0))
        return E_INVALIDARG;
    if (failing("create"))
        return E_ACCESSDENIED;
    *virtualCamera = new RecordingCamera;
    return S_OK;
}
