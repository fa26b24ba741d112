// The COM server logic: class objects from the template table, the class factory, the unload answer, the
// DLL entry point and the class keys written at registration.
#include "driver/filter/base/AMovieSetup.h"
#include "driver/filter/base/DllEntry.h"
#include "tests/driver/filter/base/TestSourceFilter.h"

#include <QtTest>

#include <vector>

Q_DECLARE_METATYPE(GUID)

namespace {
struct InitCall
{
    BOOL loading;
    CLSID clsid;
};
std::vector<InitCall> initCalls;

void CALLBACK recordInit(BOOL bLoading, const CLSID *rclsid)
{
    initCalls.push_back({bLoading, *rclsid});
}

void *const kSentinel = reinterpret_cast<void *>(0xdeadbeef);

// {1F7E7B3C-0D5A-4C2B-8E55-6A9B1C3D2E10}: a class nobody serves.
constexpr CLSID kUnknownClsid = {
    0x1f7e7b3c, 0x0d5a, 0x4c2b, {0x8e, 0x55, 0x6a, 0x9b, 0x1c, 0x3d, 0x2e, 0x10}};

QString readString(HKEY root, const QString &path, LPCWSTR valueName)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(root, reinterpret_cast<LPCWSTR>(path.toStdWString().c_str()), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return QStringLiteral("<no key>");
    WCHAR buffer[512];
    DWORD type = 0;
    DWORD bytes = sizeof(buffer);
    const LONG result =
        RegQueryValueExW(key, valueName, NULL, &type, reinterpret_cast<BYTE *>(buffer), &bytes);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return QStringLiteral("<no value>");
    return QString::fromWCharArray(buffer);
}

bool keyExists(const QString &path)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.toStdWString().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

QString clsidPath(REFCLSID clsid)
{
    WCHAR text[64];
    StringFromGUID2(clsid, text, 64);
    return QStringLiteral("CLSID\\") + QString::fromWCharArray(text);
}

// An outer object for aggregation through the factory.
struct OuterUnknown : IUnknown
{
    LONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **ppv) override
    {
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
};
} // namespace

// The server's template table, as the driver library supplies its own.
CFactoryTemplate g_Templates[] = {
    {L"Test source", &TestSourceFilter::kClsid, TestSourceFilter::CreateInstance, recordInit, NULL},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

class TestFrameworkServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(SUCCEEDED(CoInitializeEx(NULL, COINIT_MULTITHREADED))); }
    void cleanupTestCase() { CoUninitialize(); }
    void cleanup()
    {
        QCOMPARE(CBaseObject::ObjectsActive(), 0);
        QCOMPARE(AMovieDllCanUnloadNow(), S_OK);
    }

    void classObjects_data()
    {
        QTest::addColumn<GUID>("clsid");
        QTest::addColumn<GUID>("iid");
        QTest::addColumn<HRESULT>("expected");
        QTest::newRow("factory") << TestSourceFilter::kClsid << IID_IClassFactory << S_OK;
        QTest::newRow("unknown") << TestSourceFilter::kClsid << IID_IUnknown << S_OK;
        QTest::newRow("other interface") << TestSourceFilter::kClsid << IID_IBaseFilter << E_NOINTERFACE;
        QTest::newRow("other class") << kUnknownClsid << IID_IClassFactory << CLASS_E_CLASSNOTAVAILABLE;
        // The interface is checked before the class is looked up.
        QTest::newRow("other class and interface") << kUnknownClsid << IID_IBaseFilter << E_NOINTERFACE;
    }

    void classObjects()
    {
        QFETCH(GUID, clsid);
        QFETCH(GUID, iid);
        QFETCH(HRESULT, expected);
        void *object = kSentinel;
        QCOMPARE(AMovieDllGetClassObject(clsid, iid, &object), expected);
        if (FAILED(expected)) {
            QVERIFY(object == NULL);
            return;
        }
        QVERIFY(object != NULL);
        QCOMPARE(AMovieDllCanUnloadNow(), S_FALSE);
        QCOMPARE(static_cast<IUnknown *>(object)->Release(), ULONG(0));
        QCOMPARE(AMovieDllGetClassObject(clsid, iid, NULL), E_POINTER);
    }

    void factoryCreatesObjects()
    {
        IClassFactory *factory = NULL;
        QCOMPARE(AMovieDllGetClassObject(TestSourceFilter::kClsid, IID_IClassFactory,
                                         reinterpret_cast<void **>(&factory)),
                 S_OK);

        IBaseFilter *filter = NULL;
        QCOMPARE(factory->CreateInstance(NULL, IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
        factory->Release();
        // The filter alone keeps the server loaded.
        QCOMPARE(AMovieDllCanUnloadNow(), S_FALSE);
        CLSID clsid = GUID_NULL;
        QCOMPARE(filter->GetClassID(&clsid), S_OK);
        QVERIFY(clsid == TestSourceFilter::kClsid);
        QCOMPARE(filter->Release(), ULONG(0));
        QCOMPARE(AMovieDllCanUnloadNow(), S_OK);
    }

    void factoryRefusals()
    {
        IClassFactory *factory = NULL;
        QCOMPARE(AMovieDllGetClassObject(TestSourceFilter::kClsid, IID_IClassFactory,
                                         reinterpret_cast<void **>(&factory)),
                 S_OK);
        OuterUnknown outer;
        void *object = kSentinel;
        // An aggregated object can only be handed out as its inner IUnknown.
        QCOMPARE(factory->CreateInstance(&outer, IID_IBaseFilter, &object), E_NOINTERFACE);
        QVERIFY(object == NULL);
        // An interface the object lacks: the object made for the query does not stay behind.
        object = kSentinel;
        QCOMPARE(factory->CreateInstance(NULL, IID_IClassFactory, &object), E_NOINTERFACE);
        QVERIFY(object == NULL);
        QCOMPARE(CBaseObject::ObjectsActive(), 1); // the factory
        QCOMPARE(factory->CreateInstance(NULL, IID_IBaseFilter, NULL), E_POINTER);

        // Aggregation: the inner unknown comes back, and the filter delegates to the outer object.
        IUnknown *inner = NULL;
        QCOMPARE(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void **>(&inner)), S_OK);
        IBaseFilter *filter = NULL;
        QCOMPARE(inner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
        QCOMPARE(outer.refs, LONG(2));
        filter->Release();
        QCOMPARE(outer.refs, LONG(1));
        QCOMPARE(inner->Release(), ULONG(0));
        factory->Release();
    }

    void serverLockKeepsTheServerLoaded()
    {
        IClassFactory *factory = NULL;
        QCOMPARE(AMovieDllGetClassObject(TestSourceFilter::kClsid, IID_IClassFactory,
                                         reinterpret_cast<void **>(&factory)),
                 S_OK);
        QCOMPARE(factory->LockServer(TRUE), S_OK);
        factory->Release();
        QCOMPARE(AMovieDllCanUnloadNow(), S_FALSE);

        QCOMPARE(AMovieDllGetClassObject(TestSourceFilter::kClsid, IID_IClassFactory,
                                         reinterpret_cast<void **>(&factory)),
                 S_OK);
        QCOMPARE(factory->LockServer(FALSE), S_OK);
        // An unlock too many is ignored, so that the next client's lock still counts.
        QCOMPARE(factory->LockServer(FALSE), S_OK);
        QCOMPARE(factory->LockServer(TRUE), S_OK);
        factory->Release();
        QCOMPARE(AMovieDllCanUnloadNow(), S_FALSE);
        QCOMPARE(AMovieDllGetClassObject(TestSourceFilter::kClsid, IID_IClassFactory,
                                         reinterpret_cast<void **>(&factory)),
                 S_OK);
        QCOMPARE(factory->LockServer(FALSE), S_OK);
        factory->Release();
    }

    void dllEntryRecordsTheModuleAndRunsInitRoutines()
    {
        initCalls.clear();
        HMODULE module = GetModuleHandleA(NULL);
        QCOMPARE(DllEntryPoint(module, DLL_PROCESS_ATTACH, NULL), BOOL(TRUE));
        QVERIFY(g_hInst == module);
        QCOMPARE(int(initCalls.size()), 1);
        QCOMPARE(initCalls[0].loading, BOOL(TRUE));
        QVERIFY(initCalls[0].clsid == TestSourceFilter::kClsid);
        QCOMPARE(DllEntryPoint(module, DLL_THREAD_ATTACH, NULL), BOOL(TRUE));
        QCOMPARE(DllEntryPoint(module, DLL_PROCESS_DETACH, NULL), BOOL(TRUE));
        QCOMPARE(int(initCalls.size()), 2);
        QCOMPARE(initCalls[1].loading, BOOL(FALSE));
    }

    void registrationWritesAndRemovesTheClassKeys()
    {
        const QString path = clsidPath(TestSourceFilter::kClsid);
        QCOMPARE(AMovieSetupRegisterServer(TestSourceFilter::kClsid, L"Test source", L"/opt/test/libtest.so"),
                 S_OK);
        QCOMPARE(readString(HKEY_CLASSES_ROOT, path, NULL), QStringLiteral("Test source"));
        QCOMPARE(readString(HKEY_CLASSES_ROOT, path + "\\InprocServer32", NULL),
                 QStringLiteral("/opt/test/libtest.so"));
        QCOMPARE(readString(HKEY_CLASSES_ROOT, path + "\\InprocServer32", L"ThreadingModel"),
                 QStringLiteral("Both"));

        // Registering again overwrites; other server types and threading models are written as given.
        QCOMPARE(AMovieSetupRegisterServer(TestSourceFilter::kClsid, L"Renamed", L"/other.so", L"Apartment",
                                           L"LocalServer32"),
                 S_OK);
        QCOMPARE(readString(HKEY_CLASSES_ROOT, path, NULL), QStringLiteral("Renamed"));
        QCOMPARE(readString(HKEY_CLASSES_ROOT, path + "\\LocalServer32", L"ThreadingModel"),
                 QStringLiteral("Apartment"));

        // Removal takes every subkey, however deep.
        HKEY deep = NULL;
        QCOMPARE(RegCreateKeyExW(HKEY_CLASSES_ROOT, (path + "\\InprocServer32\\A\\B").toStdWString().c_str(),
                                 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &deep, NULL),
                 LONG(ERROR_SUCCESS));
        RegCloseKey(deep);
        QCOMPARE(AMovieSetupUnregisterServer(TestSourceFilter::kClsid), S_OK);
        QVERIFY(!keyExists(path));
        QVERIFY(keyExists(QStringLiteral("CLSID")));
        // Nothing to remove is no failure.
        QCOMPARE(AMovieSetupUnregisterServer(TestSourceFilter::kClsid), S_OK);
    }

    void registrationRefusesMissingStrings()
    {
        QCOMPARE(AMovieSetupRegisterServer(TestSourceFilter::kClsid, NULL, L"/x.so"), E_POINTER);
        QCOMPARE(AMovieSetupRegisterServer(TestSourceFilter::kClsid, L"Name", NULL), E_POINTER);
        QCOMPARE(AMovieSetupRegisterServer(TestSourceFilter::kClsid, L"Name", L"/x.so", NULL), E_POINTER);
        QVERIFY(!keyExists(clsidPath(TestSourceFilter::kClsid)));
    }
};

QTEST_GUILESS_MAIN(TestFrameworkServer)
#include "tst_FilterBaseServer.moc"
