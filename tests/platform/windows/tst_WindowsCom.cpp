// COM runtime: apartments per thread, object creation from built-in classes and registered servers,
// unloading of unused servers, GUID text.
#include "platform/windows/ComBuiltin.h"
#include "tests/platform/windows/DllEventLog.h"

#include <QCoreApplication>
#include <QtTest>
#include <dlfcn.h>
#include <thread>

namespace {

void *const kSentinel = reinterpret_cast<void *>(0xdeadbeef);

// Runs `body` on a fresh thread (which starts without COM) and waits for it.
template <typename Body> void onNewThread(Body body)
{
    std::thread thread(body);
    thread.join();
}

QString serverPath()
{
    return QCoreApplication::applicationDirPath() + "/" VISTREL_TEST_SERVER_FILE;
}

bool serverLoaded()
{
    void *handle = dlopen(serverPath().toUtf8().constData(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

LONG registerServer(const QString &path)
{
    wchar_t clsid[40];
    StringFromGUID2(CLSID_VistrelTestObject, clsid, 40);
    const std::wstring keyPath = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    HKEY key = nullptr;
    LONG status =
        RegCreateKeyExW(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    const std::wstring value = path.toStdWString();
    status = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                            DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return status;
}

// A built-in class for the runtime's own table.
DEFINE_GUID(CLSID_BuiltinProbe, 0x11111111, 0x2222, 0x3333, 0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55);
int builtinCreations = 0;
DEFINE_GUID(CLSID_Nobody, 0x99999999, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8);

class BuiltinProbe final : public IUnknown
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        *ppv = riid == IID_IUnknown ? this : nullptr;
        if (!*ppv)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG refs = --m_refs;
        if (!refs)
            delete this;
        return refs;
    }

private:
    ULONG m_refs = 1;
};

HRESULT createBuiltinProbe(IUnknown *outer, REFIID riid, void **ppv)
{
    if (outer)
        return CLASS_E_NOAGGREGATION;
    ++builtinCreations;
    auto *probe = new BuiltinProbe;
    const HRESULT hr = probe->QueryInterface(riid, ppv);
    probe->Release();
    return hr;
}

} // namespace

class TestWin32Com : public QObject
{
    Q_OBJECT

private slots:
    void coInitializeCountsPerThread();
    void coInitializeModeIsPerThread();
    void coInitializeRejectsBadArguments();
    void creationNeedsComOnTheCallingThread();
    void unregisteredClassIsReported();
    void builtinClassesAreCreatable();
    void registeredServerIsLoadedAndUnloaded();
    void serverLibraryThatCannotBeLoaded();
    void guidTextRoundTrip_data();
    void guidTextRoundTrip();
    void malformedGuidText_data();
    void malformedGuidText();
};

void TestWin32Com::coInitializeCountsPerThread()
{
    QVector<HRESULT> results;
    onNewThread([&] {
        results << CoInitializeEx(nullptr, COINIT_MULTITHREADED)
                << CoInitializeEx(nullptr, COINIT_MULTITHREADED)
                << CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        // The refused call did not count: two uninitialisations leave the thread without COM.
        CoUninitialize();
        CoUninitialize();
        results << CoInitialize(nullptr)
                << CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
                << CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    const QVector<HRESULT> expected = {S_OK, S_FALSE, RPC_E_CHANGED_MODE, S_OK, S_FALSE, RPC_E_CHANGED_MODE};
    QCOMPARE(results, expected);
}

void TestWin32Com::coInitializeModeIsPerThread()
{
    QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    HRESULT other = E_FAIL;
    onNewThread([&] {
        other = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CoUninitialize();
    });
    QCOMPARE(other, S_OK);
    CoUninitialize();
}

void TestWin32Com::coInitializeRejectsBadArguments()
{
    int reserved = 0;
    QCOMPARE(CoInitializeEx(&reserved, COINIT_MULTITHREADED), E_INVALIDARG);
    QCOMPARE(CoInitializeEx(nullptr, 0x100), E_INVALIDARG);
}

void TestWin32Com::creationNeedsComOnTheCallingThread()
{
    HRESULT withoutCom = S_OK;
    HRESULT withoutOut = S_OK;
    void *object = kSentinel;
    onNewThread([&] {
        withoutCom =
            CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object);
        withoutOut =
            CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr);
    });
    QCOMPARE(withoutCom, CO_E_NOTINITIALIZED);
    QVERIFY(!object);
    QCOMPARE(withoutOut, E_POINTER);
}

void TestWin32Com::unregisteredClassIsReported()
{
    QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    void *object = kSentinel;
    QCOMPARE(CoCreateInstance(CLSID_Nobody, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
             REGDB_E_CLASSNOTREG);
    QVERIFY(!object);
    CoUninitialize();
}

void TestWin32Com::builtinClassesAreCreatable()
{
    QCOMPARE(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    QCOMPARE(CoRegisterBuiltinClass(CLSID_BuiltinProbe, createBuiltinProbe), S_OK);
    builtinCreations = 0;

    IUnknown *object = nullptr;
    QCOMPARE(CoCreateInstance(CLSID_BuiltinProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void **>(&object)),
             S_OK);
    QVERIFY(object);
    object->Release();

    IClassFactory *factory = nullptr;
    QCOMPARE(CoGetClassObject(CLSID_BuiltinProbe, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void **>(&factory)),
             S_OK);
    QVERIFY(factory);
    object = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&object)), S_OK);
    object->Release();
    factory->Release();
    QCOMPARE(builtinCreations, 2);

    QCOMPARE(CoRevokeBuiltinClass(CLSID_BuiltinProbe), S_OK);
    QCOMPARE(CoRevokeBuiltinClass(CLSID_BuiltinProbe), S_FALSE);
    object = nullptr;
    QCOMPARE(CoCreateInstance(CLSID_BuiltinProbe, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                              reinterpret_cast<void **>(&object)),
             REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

void TestWin32Com::registeredServerIsLoadedAndUnloaded()
{
    QVERIFY(QFile::exists(serverPath()));
    QCOMPARE(registerServer(serverPath()), ERROR_SUCCESS);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    clearDllEvents();
    QVERIFY(!serverLoaded());

    ITestValue *object = nullptr;
    QCOMPARE(CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestValue,
                              reinterpret_cast<void **>(&object)),
             S_OK);
    QVERIFY(object);
    QCOMPARE(object->Value(), LONG(42));
    QVERIFY(serverLoaded());

    // The server's own answers reach the caller unchanged.
    IUnknown *refused = reinterpret_cast<IUnknown *>(kSentinel);
    QCOMPARE(CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory,
                              reinterpret_cast<void **>(&refused)),
             E_NOINTERFACE);
    QVERIFY(!refused);

    // A live object keeps its server loaded.
    CoFreeUnusedLibraries();
    QVERIFY(serverLoaded());
    object->Release();
    CoFreeUnusedLibraries();
    QVERIFY(!serverLoaded());

    const std::vector<DllEvent> events = recordedDllEvents();
    QCOMPARE(events.size(), size_t(2));
    QCOMPARE(events[0].reason, DWORD(DLL_PROCESS_ATTACH));
    QCOMPARE(events[1].reason, DWORD(DLL_PROCESS_DETACH));
    QCOMPARE(events[0].module, events[1].module);

    // And it comes back when needed again.
    object = nullptr;
    QCOMPARE(CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_ITestValue,
                              reinterpret_cast<void **>(&object)),
             S_OK);
    object->Release();
    CoFreeUnusedLibraries();
    QVERIFY(!serverLoaded());
    CoUninitialize();
}

void TestWin32Com::serverLibraryThatCannotBeLoaded()
{
    QCOMPARE(registerServer(QCoreApplication::applicationDirPath() + "/no-such-server.so"), ERROR_SUCCESS);
    QCOMPARE(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    void *object = kSentinel;
    QCOMPARE(CoCreateInstance(CLSID_VistrelTestObject, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
             HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    QVERIFY(!object);
    CoUninitialize();
}

void TestWin32Com::guidTextRoundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("product class") << "{6414549A-DB61-4309-AFA1-4578E927E234}";
    QTest::newRow("null") << "{00000000-0000-0000-0000-000000000000}";
    QTest::newRow("all bits") << "{FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF}";
    QTest::newRow("IUnknown") << "{00000000-0000-0000-C000-000000000046}";
}

void TestWin32Com::guidTextRoundTrip()
{
    QFETCH(QString, text);
    CLSID parsed = {1, 2, 3, {4}};
    QCOMPARE(CLSIDFromString(text.toLower().toStdWString().c_str(), &parsed), S_OK);

    wchar_t buffer[39];
    QCOMPARE(StringFromGUID2(parsed, buffer, 39), 39);
    QCOMPARE(QString::fromWCharArray(buffer), text);
    QCOMPARE(StringFromGUID2(parsed, buffer, 38), 0);

    LPOLESTR allocated = nullptr;
    QCOMPARE(StringFromCLSID(parsed, &allocated), S_OK);
    QCOMPARE(QString::fromWCharArray(allocated), text);
    CoTaskMemFree(allocated);
}

void TestWin32Com::malformedGuidText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("no braces") << "6414549A-DB61-4309-AFA1-4578E927E234";
    QTest::newRow("short") << "{6414549A-DB61-4309-AFA1-4578E927E23}";
    QTest::newRow("long") << "{6414549A-DB61-4309-AFA1-4578E927E2345}";
    QTest::newRow("not hex") << "{6414549G-DB61-4309-AFA1-4578E927E234}";
    QTest::newRow("dash moved") << "{6414549AD-B61-4309-AFA1-4578E927E234}";
    QTest::newRow("empty") << "";
}

void TestWin32Com::malformedGuidText()
{
    QFETCH(QString, text);
    CLSID parsed = CLSID_VistrelTestObject;
    QCOMPARE(CLSIDFromString(text.toStdWString().c_str(), &parsed), CO_E_CLASSSTRING);
    QVERIFY(parsed == GUID_NULL);
}

QTEST_GUILESS_MAIN(TestWin32Com)
#include "tst_WindowsCom.moc"
