// BSTR and VARIANT: lengths, embedded nulls, and what VariantClear releases.
#include "ComTestSupport.h"

#include <QtTest>

#include <atomic>
#include <cwchar>

namespace {

// Counts its releases; lives on the stack of the test.
struct CountedUnknown final : IUnknown
{
    std::atomic<ULONG> refs{1};
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};

} // namespace

class OleAutomationTest : public QObject
{
    Q_OBJECT

private slots:
    void stringsKeepTheirLength()
    {
        BSTR text = SysAllocString(L"Vistrel");
        QVERIFY(text);
        QCOMPARE(SysStringLen(text), UINT(7));
        QCOMPARE(std::wcscmp(text, L"Vistrel"), 0);
        SysFreeString(text);

        const wchar_t withNull[] = {L'a', L'\0', L'b'};
        BSTR counted = SysAllocStringLen(withNull, 3);
        QCOMPARE(SysStringLen(counted), UINT(3));
        QCOMPARE(counted[2], L'b');
        QCOMPARE(counted[3], L'\0');
        SysFreeString(counted);

        BSTR blank = SysAllocStringLen(nullptr, 4);
        QCOMPARE(SysStringLen(blank), UINT(4));
        QCOMPARE(blank[0], L'\0');
        SysFreeString(blank);

        QVERIFY(SysAllocString(nullptr) == nullptr);
        QCOMPARE(SysStringLen(nullptr), UINT(0));
        SysFreeString(nullptr);
    }

    void clearingReleasesWhatTheVariantOwns()
    {
        VARIANT value;
        VariantInit(&value);
        QCOMPARE(value.vt, VARTYPE(VT_EMPTY));
        value.vt = VT_BSTR;
        value.bstrVal = SysAllocString(L"owned");
        QCOMPARE(VariantClear(&value), S_OK); // the string goes (checked by the sanitizer builds)
        QCOMPARE(value.vt, VARTYPE(VT_EMPTY));

        CountedUnknown object;
        value.vt = VT_UNKNOWN;
        value.punkVal = &object;
        QCOMPARE(VariantClear(&value), S_OK);
        QCOMPARE(object.refs.load(), ULONG(0));
        QVERIFY(value.punkVal == nullptr);
        QCOMPARE(VariantClear(nullptr), E_INVALIDARG);
    }
};

QTEST_GUILESS_MAIN(OleAutomationTest)
#include "tst_OleAutomation.moc"
