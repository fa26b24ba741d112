// Attribute stores: typed getters answering a missing key and a wrong type as Windows does, strings and blobs
// against small buffers, objects by interface, comparisons, copies, and the packed size and ratio helpers.
#include "MfTestSupport.h"

#include <QtTest>

#include <cwchar>

namespace {

const GUID kKey = {0x7d1f0a52, 0x3c1b, 0x4e55, {0x9a, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};
const GUID kOtherKey = {0x7d1f0a53, 0x3c1b, 0x4e55, {0x9a, 0x11, 0x20, 0x31, 0x42, 0x53, 0x64, 0x75}};

enum Kind
{
    Uint32,
    Uint64,
    Double,
    Guid,
    String,
    Blob,
    Unknown
};

HRESULT setAs(IMFAttributes *attributes, Kind kind)
{
    static const UINT8 bytes[] = {1, 2, 3};
    switch (kind) {
    case Uint32:
        return attributes->SetUINT32(kKey, 7);
    case Uint64:
        return attributes->SetUINT64(kKey, 7);
    case Double:
        return attributes->SetDouble(kKey, 7.5);
    case Guid:
        return attributes->SetGUID(kKey, MFMediaType_Video);
    case String:
        return attributes->SetString(kKey, L"seven");
    case Blob:
        return attributes->SetBlob(kKey, bytes, sizeof bytes);
    case Unknown:
        return attributes->SetUnknown(kKey, attributes);
    }
    return E_UNEXPECTED;
}

HRESULT getAs(IMFAttributes *attributes, Kind kind)
{
    UINT32 u32 = 0;
    UINT64 u64 = 0;
    double d = 0;
    GUID g = GUID_NULL;
    UINT32 length = 0;
    IUnknown *unknown = nullptr;
    HRESULT hr = E_UNEXPECTED;
    switch (kind) {
    case Uint32:
        return attributes->GetUINT32(kKey, &u32);
    case Uint64:
        return attributes->GetUINT64(kKey, &u64);
    case Double:
        return attributes->GetDouble(kKey, &d);
    case Guid:
        return attributes->GetGUID(kKey, &g);
    case String:
        return attributes->GetStringLength(kKey, &length);
    case Blob:
        return attributes->GetBlobSize(kKey, &length);
    case Unknown:
        hr = attributes->GetUnknown(kKey, IID_IUnknown, reinterpret_cast<void **>(&unknown));
        if (unknown != nullptr)
            unknown->Release();
        return hr;
    }
    return hr;
}

ComPtr<IMFAttributes> makeAttributes()
{
    ComPtr<IMFAttributes> attributes;
    MFCreateAttributes(attributes.ReleaseAndGetAddressOf(), 4);
    return attributes;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class MfAttributesTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCOMPARE(VistrelMfLiveObjects(), 0); }

    void typedGetters_data()
    {
        QTest::addColumn<Kind>("stored");
        QTest::addColumn<Kind>("asked");
        QTest::addColumn<HRESULT>("result");
        const Kind kinds[] = {Uint32, Uint64, Double, Guid, String, Blob, Unknown};
        const char *names[] = {"UINT32", "UINT64", "double", "GUID", "string", "blob", "object"};
        for (Kind stored : kinds) {
            for (Kind asked : kinds) {
                QTest::addRow("%s read as %s", names[stored], names[asked])
                    << stored << asked << (stored == asked ? S_OK : MF_E_INVALIDTYPE);
            }
        }
    }
    void typedGetters()
    {
        QFETCH(Kind, stored);
        QFETCH(Kind, asked);
        QFETCH(HRESULT, result);
        auto attributes = makeAttributes();
        QCOMPARE(getAs(attributes.Get(), asked), MF_E_ATTRIBUTENOTFOUND);
        QCOMPARE(setAs(attributes.Get(), stored), S_OK);
        QCOMPARE(getAs(attributes.Get(), asked), result);
        // An object stored in its own attributes would keep it alive: take it out.
        QCOMPARE(attributes->DeleteAllItems(), S_OK);
    }

    void setItemRefusesOtherVariantTypes()
    {
        auto attributes = makeAttributes();
        PROPVARIANT value;
        PropVariantInit(&value);
        value.vt = VT_I4;
        value.lVal = -1;
        QCOMPARE(attributes->SetItem(kKey, value), MF_E_INVALIDTYPE);
        value.vt = VT_UI4;
        QCOMPARE(attributes->SetItem(kKey, value), S_OK);
        MF_ATTRIBUTE_TYPE type = MF_ATTRIBUTE_BLOB;
        QCOMPARE(attributes->GetItemType(kKey, &type), S_OK);
        QCOMPARE(type, MF_ATTRIBUTE_UINT32);
        QCOMPARE(attributes->GetItemType(kOtherKey, &type), MF_E_ATTRIBUTENOTFOUND);
        QCOMPARE(attributes->GetItem(kKey, nullptr), S_OK);
        QCOMPARE(attributes->GetItem(kOtherKey, nullptr), MF_E_ATTRIBUTENOTFOUND);
    }

    void stringsAndBlobsNeedRoom()
    {
        auto attributes = makeAttributes();
        QCOMPARE(attributes->SetString(kKey, L"camera"), S_OK);
        WCHAR small[6];
        UINT32 length = 99;
        QCOMPARE(attributes->GetString(kKey, small, 6, &length),
                 HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
        WCHAR exact[7];
        QCOMPARE(attributes->GetString(kKey, exact, 7, &length), S_OK);
        QCOMPARE(length, UINT32(6));
        QCOMPARE(std::wcscmp(exact, L"camera"), 0);
        LPWSTR allocated = nullptr;
        QCOMPARE(attributes->GetAllocatedString(kKey, &allocated, &length), S_OK);
        QCOMPARE(std::wcscmp(allocated, L"camera"), 0);
        CoTaskMemFree(allocated);

        const UINT8 bytes[] = {9, 8, 7, 6};
        QCOMPARE(attributes->SetBlob(kOtherKey, bytes, sizeof bytes), S_OK);
        UINT8 tooSmall[3];
        QCOMPARE(attributes->GetBlob(kOtherKey, tooSmall, sizeof tooSmall, nullptr), E_NOT_SUFFICIENT_BUFFER);
        UINT8 *blob = nullptr;
        UINT32 size = 0;
        QCOMPARE(attributes->GetAllocatedBlob(kOtherKey, &blob, &size), S_OK);
        QCOMPARE(size, UINT32(4));
        QCOMPARE(blob[3], UINT8(6));
        CoTaskMemFree(blob);
    }

    void objectsAreAnsweredByInterface()
    {
        auto attributes = makeAttributes();
        auto other = makeAttributes();
        QCOMPARE(attributes->SetUnknown(kKey, other.Get()), S_OK);
        QCOMPARE(referenceCount(other.Get()), ULONG(2));
        ComPtr<IMFAttributes> back;
        QCOMPARE(attributes->GetUnknown(kKey, IID_IMFAttributes, comOutput(back)), S_OK);
        QCOMPARE(back.Get(), other.Get());
        ComPtr<IMFMediaType> wrong;
        QCOMPARE(attributes->GetUnknown(kKey, IID_IMFMediaType, comOutput(wrong)), E_NOINTERFACE);
        back.Reset();
        QCOMPARE(attributes->DeleteItem(kKey), S_OK);
        QCOMPARE(referenceCount(other.Get()), ULONG(1));
    }

    void compareAndCopy()
    {
        auto ours = makeAttributes();
        auto theirs = makeAttributes();
        ours->SetUINT32(kKey, 1);
        theirs->SetUINT32(kKey, 1);
        theirs->SetString(kOtherKey, L"more");
        BOOL same = FALSE;
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_OUR_ITEMS, &same), S_OK);
        QVERIFY(same);
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_THEIR_ITEMS, &same), S_OK);
        QVERIFY(!same);
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
        QVERIFY(!same);
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_SMALLER, &same), S_OK);
        QVERIFY(same);
        theirs->SetUINT32(kKey, 2);
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_INTERSECTION, &same), S_OK);
        QVERIFY(!same);

        PROPVARIANT two;
        PropVariantInit(&two);
        two.vt = VT_UI4;
        two.ulVal = 2;
        QCOMPARE(theirs->CompareItem(kKey, two, &same), S_OK);
        QVERIFY(same);
        two.vt = VT_UI8; // same number, another type
        two.uhVal.QuadPart = 2;
        QCOMPARE(theirs->CompareItem(kKey, two, &same), S_OK);
        QVERIFY(!same);

        QCOMPARE(theirs->CopyAllItems(ours.Get()), S_OK);
        QCOMPARE(ours->Compare(theirs.Get(), MF_ATTRIBUTES_MATCH_ALL_ITEMS, &same), S_OK);
        QVERIFY(same);
        UINT32 count = 0;
        QCOMPARE(ours->GetCount(&count), S_OK);
        QCOMPARE(count, UINT32(2));
        GUID key = GUID_NULL;
        QCOMPARE(ours->GetItemByIndex(2, &key, nullptr), E_INVALIDARG);
    }

    void sizeAndRatioPackTheFirstValueHigh()
    {
        auto attributes = makeAttributes();
        QCOMPARE(MFSetAttributeSize(attributes.Get(), MF_MT_FRAME_SIZE, 1920, 1080), S_OK);
        UINT64 packed = 0;
        QCOMPARE(attributes->GetUINT64(MF_MT_FRAME_SIZE, &packed), S_OK);
        QCOMPARE(packed, (UINT64(1920) << 32) | 1080);
        UINT32 numerator = 0, denominator = 0;
        QCOMPARE(MFGetAttributeRatio(attributes.Get(), MF_MT_FRAME_RATE, &numerator, &denominator),
                 MF_E_ATTRIBUTENOTFOUND);
        QCOMPARE(MFSetAttributeRatio(attributes.Get(), MF_MT_FRAME_RATE, 30000, 1001), S_OK);
        QCOMPARE(MFGetAttributeRatio(attributes.Get(), MF_MT_FRAME_RATE, &numerator, &denominator), S_OK);
        QCOMPARE(numerator, UINT32(30000));
        QCOMPARE(denominator, UINT32(1001));
        QCOMPARE(MFGetAttributeUINT32(attributes.Get(), MF_MT_INTERLACE_MODE, 5), UINT32(5));
    }
};

QTEST_GUILESS_MAIN(MfAttributesTest)
#include "tst_MfAttributes.moc"
