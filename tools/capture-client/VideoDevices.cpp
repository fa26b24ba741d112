#include "tools/capture-client/VideoDevices.h"

namespace {

std::string narrow(const WCHAR *text)
{
    if (text == nullptr)
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

std::string friendlyNameOf(IMoniker *moniker)
{
    IPropertyBag *bag = nullptr;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag))) ||
        bag == nullptr)
        return std::string();
    VARIANT value;
    VariantInit(&value);
    std::string name;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR)
        name = narrow(value.bstrVal);
    VariantClear(&value);
    bag->Release();
    return name;
}

} // namespace

VideoDeviceList::~VideoDeviceList()
{
    for (VideoDevice &device : m_devices) {
        if (device.moniker != nullptr)
            device.moniker->Release();
    }
}

HRESULT VideoDeviceList::load()
{
    ICreateDevEnum *enumerator = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                  reinterpret_cast<void **>(&enumerator));
    if (FAILED(hr))
        return hr;
    IEnumMoniker *monikers = nullptr;
    hr = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
    enumerator->Release();
    if (FAILED(hr))
        return hr;
    // S_FALSE and no enumerator: the category is empty.
    if (monikers == nullptr)
        return S_OK;
    IMoniker *moniker = nullptr;
    ULONG fetched = 0;
    while (monikers->Next(1, &moniker, &fetched) == S_OK && fetched == 1 && moniker != nullptr) {
        m_devices.push_back(VideoDevice{friendlyNameOf(moniker), moniker});
        moniker = nullptr;
    }
    monikers->Release();
    return S_OK;
}

std::string VideoDeviceList::names() const
{
    std::string out;
    for (const VideoDevice &device : m_devices) {
        if (!out.empty())
            out += ", ";
        out += "\"" + device.friendlyName + "\"";
    }
    return out;
}

HRESULT VideoDeviceList::open(const std::string &friendlyName, IBaseFilter **filter) const
{
    if (filter == nullptr)
        return E_POINTER;
    *filter = nullptr;
    for (const VideoDevice &device : m_devices) {
        if (device.friendlyName == friendlyName)
            return device.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                                reinterpret_cast<void **>(filter));
    }
    return VFW_E_NOT_FOUND;
}
