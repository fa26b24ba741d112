// Filter mapper and device enumeration through the registry: register, find by friendly name, bind,
// unregister.
#include "ComTestSupport.h"
#include "platform/dshow/FilterData.h"
#include "platform/dshow/RegistryKey.h"
#include "platform/windows/ComPtr.h"

#include <QtTest>

#include <string>
#include <vector>

using namespace vistrel::dshow;

Q_DECLARE_METATYPE(GUID)

namespace {

// {0B3E8F61-2D4C-4A7B-8E19-5C6D7A8B9C01}
constexpr GUID kTestFilter = {0x0b3e8f61, 0x2d4c, 0x4a7b, {0x8e, 0x19, 0x5c, 0x6d, 0x7a, 0x8b, 0x9c, 0x01}};
// {0B3E8F61-2D4C-4A7B-8E19-5C6D7A8B9C02}
constexpr GUID kOtherFilter = {0x0b3e8f61, 0x2d4c, 0x4a7b, {0x8e, 0x19, 0x5c, 0x6d, 0x7a, 0x8b, 0x9c, 0x02}};

const REGPINTYPES kRgb24 = {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24};
wchar_t kOutputName[] = L"Output";
const REGFILTERPINS kOutputPin = {kOutputName, FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, &kRgb24};

REGFILTER2 versionOne(DWORD merit)
{
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = merit;
    filter.cPins = 1;
    filter.rgPins = &kOutputPin;
    return filter;
}

ComPtr<IFilterMapper2> makeMapper()
{
    ComPtr<IFilterMapper2> mapper;
    CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                     comOutput(mapper));
    return mapper;
}

std::wstring readString(IPropertyBag *bag, const wchar_t *name)
{
    VARIANT value;
    VariantInit(&value);
    if (FAILED(bag->Read(name, &value, nullptr)) || value.vt != VT_BSTR)
        return L"<unreadable>";
    std::wstring text(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

// The friendly names in a category, each with the CLSID string its entry names.
std::vector<std::pair<std::wstring, std::wstring>> listCategory(REFCLSID category, DWORD flags,
                                                                HRESULT *result)
{
    std::vector<std::pair<std::wstring, std::wstring>> found;
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     comOutput(devices));
    IEnumMoniker *monikers = sentinel<IEnumMoniker>();
    *result = devices ? devices->CreateClassEnumerator(category, &monikers, flags) : E_FAIL;
    if (*result != S_OK) {
        if (monikers != nullptr)
            *result = E_UNEXPECTED; // S_FALSE must come with a null enumerator
        return found;
    }
    ComPtr<IEnumMoniker> owned = adoptComPtr<IEnumMoniker>(monikers);
    ComPtr<IMoniker> moniker;
    while (owned->Next(1, moniker.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, comOutput(bag))))
            found.emplace_back(readString(bag.Get(), L"FriendlyName"), readString(bag.Get(), L"CLSID"));
    }
    return found;
}

} // namespace

class FilterRegistrationTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        if (ComPtr<IFilterMapper2> mapper = makeMapper()) {
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, kTestFilter);
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, kOtherFilter);
        }
        QCOMPARE(VistrelDShowLiveObjects(), 0);
    }

    void registerFindAndUnregister()
    {
        ComPtr<IFilterMapper2> mapper = makeMapper();
        QVERIFY(mapper);
        HRESULT hr = S_OK;
        QVERIFY(listCategory(CLSID_VideoInputDeviceCategory, 0, &hr).empty());
        QCOMPARE(hr, S_FALSE);

        IMoniker *moniker = nullptr;
        const REGFILTER2 filter = versionOne(MERIT_DO_NOT_USE);
        QCOMPARE(mapper->RegisterFilter(kTestFilter, L"Test Camera", &moniker,
                                        &CLSID_VideoInputDeviceCategory, nullptr, &filter),
                 S_OK);
        QVERIFY(moniker);
        LPOLESTR displayName = nullptr;
        QCOMPARE(moniker->GetDisplayName(nullptr, nullptr, &displayName), S_OK);
        QVERIFY(std::wstring(displayName).find(guidString(kTestFilter)) != std::wstring::npos);
        CoTaskMemFree(displayName);
        QCOMPARE(moniker->Release(), ULONG(0));

        const auto listed = listCategory(CLSID_VideoInputDeviceCategory, 0, &hr);
        QCOMPARE(hr, S_OK);
        QCOMPARE(listed.size(), size_t(1));
        QVERIFY(listed[0].first == L"Test Camera");
        QVERIFY(listed[0].second == guidString(kTestFilter));

        // Exactly where Windows keeps it, with merit and pins readable.
        RegistryKey entry;
        QCOMPARE(
            entry.open(HKEY_CLASSES_ROOT,
                       categoryInstancePath(CLSID_VideoInputDeviceCategory) + L"\\" + guidString(kTestFilter),
                       KEY_READ),
            LSTATUS(ERROR_SUCCESS));
        DWORD type = REG_NONE;
        const auto raw = entry.readRaw(L"FilterData", &type);
        QVERIFY(raw);
        QCOMPARE(type, DWORD(REG_BINARY));
        RegisteredFilter decoded;
        QVERIFY(decodeFilterData(raw->data(), raw->size(), decoded));
        QCOMPARE(decoded.merit, DWORD(MERIT_DO_NOT_USE));
        QCOMPARE(decoded.pins.size(), size_t(1));
        QVERIFY(decoded.pins[0].name == L"Output");
        QCOMPARE(decoded.pins[0].flags, DWORD(REG_PINFLAG_B_OUTPUT));
        QCOMPARE(decoded.pins[0].mediaTypes.size(), size_t(1));
        QVERIFY(decoded.pins[0].mediaTypes[0].second == MEDIASUBTYPE_RGB24);
        entry = RegistryKey();

        QCOMPARE(mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, kTestFilter), S_OK);
        QCOMPARE(mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, kTestFilter),
                 HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        QVERIFY(listCategory(CLSID_VideoInputDeviceCategory, 0, &hr).empty());
        QCOMPARE(hr, S_FALSE);
    }

    void meritFlagLeavesOutDoNotUse()
    {
        ComPtr<IFilterMapper2> mapper = makeMapper();
        QVERIFY(mapper);
        const REGFILTER2 hidden = versionOne(MERIT_DO_NOT_USE);
        const REGFILTER2 normal = versionOne(MERIT_NORMAL);
        QCOMPARE(mapper->RegisterFilter(kTestFilter, L"Hidden", nullptr, &CLSID_VideoInputDeviceCategory,
                                        nullptr, &hidden),
                 S_OK);
        QCOMPARE(mapper->RegisterFilter(kOtherFilter, L"Normal", nullptr, &CLSID_VideoInputDeviceCategory,
                                        nullptr, &normal),
                 S_OK);
        HRESULT hr = S_OK;
        QCOMPARE(listCategory(CLSID_VideoInputDeviceCategory, 0, &hr).size(), size_t(2));
        const auto above = listCategory(CLSID_VideoInputDeviceCategory, CDEF_MERIT_ABOVE_DO_NOT_USE, &hr);
        QCOMPARE(above.size(), size_t(1));
        QVERIFY(above[0].first == L"Normal");
    }

    void bindToObjectCreatesTheNamedClass()
    {
        // The entry names a class that CoCreateInstance knows: binding must create it.
        ComPtr<IFilterMapper2> mapper = makeMapper();
        QVERIFY(mapper);
        const REGFILTER2 filter = versionOne(MERIT_NORMAL);
        ComPtr<IMoniker> moniker;
        QCOMPARE(mapper->RegisterFilter(CLSID_MemoryAllocator, L"Allocator", moniker.ReleaseAndGetAddressOf(),
                                        &CLSID_VideoInputDeviceCategory, L"allocator-entry", &filter),
                 S_OK);
        ComPtr<IMemAllocator> allocator;
        QCOMPARE(moniker->BindToObject(nullptr, nullptr, IID_IMemAllocator, comOutput(allocator)), S_OK);
        QVERIFY(allocator);
        ComPtr<IPropertyBag> bag;
        QCOMPARE(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, comOutput(bag)), S_OK);
        VARIANT value;
        VariantInit(&value);
        QCOMPARE(bag->Read(L"NoSuchValue", &value, nullptr), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
        QCOMPARE(bag->Read(L"FilterData", &value, nullptr), E_NOTIMPL);
        QCOMPARE(value.vt, VARTYPE(VT_EMPTY));
        QCOMPARE(mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, L"allocator-entry",
                                          CLSID_MemoryAllocator),
                 S_OK);
        // The moniker outlives its entry; binding then fails cleanly.
        void *object = sentinel<void>();
        QVERIFY(FAILED(moniker->BindToObject(nullptr, nullptr, IID_IUnknown, &object)));
        QVERIFY(object == nullptr);
    }

    void registerRefusesBadInput()
    {
        ComPtr<IFilterMapper2> mapper = makeMapper();
        QVERIFY(mapper);
        REGFILTER2 filter = versionOne(MERIT_NORMAL);
        QCOMPARE(mapper->RegisterFilter(kTestFilter, nullptr, nullptr, &CLSID_VideoInputDeviceCategory,
                                        nullptr, &filter),
                 E_POINTER);
        QCOMPARE(mapper->RegisterFilter(kTestFilter, L"X", nullptr, &CLSID_VideoInputDeviceCategory, L"a\\b",
                                        &filter),
                 E_INVALIDARG);
        filter.dwVersion = 3;
        QCOMPARE(mapper->RegisterFilter(kTestFilter, L"X", nullptr, &CLSID_VideoInputDeviceCategory, nullptr,
                                        &filter),
                 E_INVALIDARG);
        filter = versionOne(MERIT_NORMAL);
        filter.rgPins = nullptr;
        QCOMPARE(mapper->RegisterFilter(kTestFilter, L"X", nullptr, &CLSID_VideoInputDeviceCategory, nullptr,
                                        &filter),
                 E_POINTER);
        HRESULT hr = S_OK;
        QVERIFY(listCategory(CLSID_VideoInputDeviceCategory, 0, &hr).empty());
        QCOMPARE(hr, S_FALSE);
    }

    void filterDataRoundTrip()
    {
        const REGPINMEDIUM medium = {kOtherFilter, 7, 9};
        const REGFILTERPINS2 pin2 = {
            REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_MANY, 3, 1, &kRgb24, 1, &medium, &PIN_CATEGORY_CAPTURE};
        REGFILTER2 two{};
        two.dwVersion = 2;
        two.dwMerit = MERIT_UNLIKELY;
        two.cPins2 = 1;
        two.rgPins2 = &pin2;
        std::vector<BYTE> bytes;
        QCOMPARE(encodeFilterData(two, bytes), S_OK);
        RegisteredFilter decoded;
        QVERIFY(decodeFilterData(bytes.data(), bytes.size(), decoded));
        QCOMPARE(decoded.version, DWORD(2));
        QCOMPARE(decoded.merit, DWORD(MERIT_UNLIKELY));
        QCOMPARE(decoded.pins.size(), size_t(1));
        QCOMPARE(decoded.pins[0].flags, DWORD(REG_PINFLAG_B_OUTPUT | REG_PINFLAG_B_MANY));
        QCOMPARE(decoded.pins[0].instances, UINT(3));
        QVERIFY(decoded.pins[0].category == PIN_CATEGORY_CAPTURE);
        QCOMPARE(decoded.pins[0].mediums.size(), size_t(1));
        QCOMPARE(decoded.pins[0].mediums[0].dw2, DWORD(9));

        // Names survive as UTF-16, characters beyond the basic plane included.
        wchar_t name[] = L"Caméra \U0001F4F7";
        const REGFILTERPINS pin1 = {name, FALSE, TRUE, FALSE, FALSE, &kOtherFilter, L"In", 1, &kRgb24};
        REGFILTER2 one = versionOne(MERIT_NORMAL);
        one.rgPins = &pin1;
        std::vector<BYTE> named;
        QCOMPARE(encodeFilterData(one, named), S_OK);
        QVERIFY(decodeFilterData(named.data(), named.size(), decoded));
        QVERIFY(decoded.pins[0].name == name);
        QVERIFY(decoded.pins[0].connectsToPin == L"In");
        QVERIFY(decoded.pins[0].connectsToFilter == kOtherFilter);

        // Every truncation and a foreign signature are refused, never misread.
        for (size_t length = 0; length < bytes.size(); ++length)
            QVERIFY2(!decodeFilterData(bytes.data(), length, decoded), qPrintable(QString::number(length)));
        std::vector<BYTE> foreign = bytes;
        foreign[0] ^= 0xff;
        QVERIFY(!decodeFilterData(foreign.data(), foreign.size(), decoded));
        std::vector<BYTE> trailing = bytes;
        trailing.push_back(0);
        QVERIFY(!decodeFilterData(trailing.data(), trailing.size(), decoded));
    }
};

QTEST_GUILESS_MAIN(FilterRegistrationTest)
#include "tst_FilterRegistration.moc"
