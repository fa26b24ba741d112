// The driver library as installers and COM see it: what registration writes and removes, the class
// object it hands out, when it may be unloaded, and what it exports.
#include "platform/dshow/FilterData.h"
#include "platform/dshow/RegistryKey.h"
#include "platform/dshow/dshow.h"
#include "tests/driver/filter/server/ServerTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

using vistrel::dshow::categoryInstancePath;
using vistrel::dshow::guidString;

namespace {

const QString kClsidKey = QStringLiteral("CLSID\\") + kVistrelCamClsidText;
const QString kServerKey = kClsidKey + QStringLiteral("\\InprocServer32");

// The media source, a second class of the same server.
const CLSID kMediaSourceClsid = {
    0x613dfa2e, 0xafb2, 0x40b0, {0xa6, 0x6c, 0x18, 0x13, 0x4b, 0xba, 0xcb, 0xe6}};
const QString kSourceKey = QStringLiteral("CLSID\\{613DFA2E-AFB2-40B0-A66C-18134BBACBE6}");
const QString kSourceServerKey = kSourceKey + QStringLiteral("\\InprocServer32");

QString categoryEntryKey()
{
    return QString::fromStdWString(categoryInstancePath(CLSID_VideoInputDeviceCategory) + L"\\" +
                                   guidString(kVistrelCamClsid));
}

// The friendly names listed in the video input device category, as an application enumerates them.
QStringList videoInputDevices()
{
    QStringList names;
    ICreateDevEnum *enumerator = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void **>(&enumerator))))
        return {QStringLiteral("<no device enumerator>")};
    IEnumMoniker *monikers = nullptr;
    if (enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) == S_OK) {
        IMoniker *moniker = nullptr;
        while (monikers->Next(1, &moniker, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                                 reinterpret_cast<void **>(&bag)))) {
                VARIANT name;
                VariantInit(&name);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) && name.vt == VT_BSTR)
                    names << QString::fromWCharArray(name.bstrVal);
                VariantClear(&name);
                bag->Release();
            }
            moniker->Release();
        }
        monikers->Release();
    }
    enumerator->Release();
    return names;
}

struct Registration
{
    bool clsidKey;
    bool categoryEntry;
    bool sourceKey;
};

Registration currentRegistration()
{
    return {registryKeyExists(HKEY_CLASSES_ROOT, kClsidKey),
            registryKeyExists(HKEY_CLASSES_ROOT, categoryEntryKey()),
            registryKeyExists(HKEY_CLASSES_ROOT, kSourceKey)};
}

} // namespace

class TestServerRegistration : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void registrationWritesServerKeysAndCategoryEntry();
    void registrationIsRepeatable();
    void unregistrationRemovesBoth();
    void failedFilterUnregistrationKeepsServerKeys();
    void unregistrationInAnotherApartmentChangesNothing();
    void installMirrorsRegistration_data();
    void installMirrorsRegistration();
    void truncatedLibraryPathIsRefused();
    void classObject_data();
    void classObject();
    void unloadableOnlyWithoutObjectsOrLocks();
    void mediaSourceComesFromItsClassObject();
    void exportsOnlyTheEntryPoints();

private:
    DriverLibrary *m_library = nullptr;
    HRESULT m_comInit = E_FAIL;
};

void TestServerRegistration::initTestCase()
{
    // As Windows' registration tool does: a single-threaded apartment.
    m_comInit = CoInitialize(nullptr);
    m_library = new DriverLibrary;
    QVERIFY2(m_library->isLoaded(), qPrintable("cannot load " + driverLibraryPath()));
}

void TestServerRegistration::init()
{
    // Every case starts unregistered.
    deleteRegistryTree(HKEY_CLASSES_ROOT, categoryEntryKey());
    deleteRegistryTree(HKEY_CLASSES_ROOT, kClsidKey);
    deleteRegistryTree(HKEY_CLASSES_ROOT, kSourceKey);
}

void TestServerRegistration::cleanupTestCase()
{
    delete m_library;
    if (SUCCEEDED(m_comInit))
        CoUninitialize();
}

void TestServerRegistration::registrationWritesServerKeysAndCategoryEntry()
{
    QCOMPARE(m_library->registerServer(), S_OK);

    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kClsidKey).toString(), QString("Virtual-Vistrel-x64"));
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kServerKey).toString(), driverLibraryPath());
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel").toString(), QString("Both"));
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kSourceKey).toString(), QString("Vistrel Media Source"));
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kSourceServerKey).toString(), driverLibraryPath());
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kSourceServerKey, "ThreadingModel").toString(),
             QString("Both"));

    QVERIFY2(videoInputDevices().contains("VistrelToolx64"), qPrintable(videoInputDevices().join(", ")));
    const QString entry = categoryEntryKey();
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, entry, "FriendlyName").toString(), QString("VistrelToolx64"));
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, entry, "CLSID").toString().toUpper(),
             QString(kVistrelCamClsidText));
    const QByteArray data = registryValue(HKEY_CLASSES_ROOT, entry, "FilterData").toByteArray();
    vistrel::dshow::RegisteredFilter filter;
    QVERIFY(vistrel::dshow::decodeFilterData(reinterpret_cast<const BYTE *>(data.constData()),
                                             size_t(data.size()), filter));
    QCOMPARE(filter.version, DWORD(1));
    QCOMPARE(filter.merit, DWORD(0x200000));
    QCOMPARE(filter.pins.size(), size_t(1));
    const vistrel::dshow::RegisteredPin &pin = filter.pins[0];
    QCOMPARE(QString::fromStdWString(pin.name), QString("Output"));
    QCOMPARE(pin.flags, DWORD(REG_PINFLAG_B_OUTPUT)); // output; not rendered, zero or many
    QVERIFY(IsEqualGUID(pin.connectsToFilter, GUID_NULL));
    QVERIFY(pin.connectsToPin.empty());
    QCOMPARE(pin.mediaTypes.size(), size_t(1));
    QVERIFY(IsEqualGUID(pin.mediaTypes[0].first, MEDIATYPE_Video));
    QVERIFY(IsEqualGUID(pin.mediaTypes[0].second, MEDIASUBTYPE_RGB24));
}

void TestServerRegistration::registrationIsRepeatable()
{
    QCOMPARE(m_library->registerServer(), S_OK);
    QCOMPARE(m_library->registerServer(), S_OK);
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kServerKey).toString(), driverLibraryPath());
    QCOMPARE(videoInputDevices().count("VistrelToolx64"), 1);
}

void TestServerRegistration::unregistrationRemovesBoth()
{
    QCOMPARE(m_library->registerServer(), S_OK);
    QCOMPARE(m_library->unregisterServer(), S_OK);
    const Registration after = currentRegistration();
    QVERIFY(!after.clsidKey);
    QVERIFY(!after.categoryEntry);
    QVERIFY(!after.sourceKey);
    QVERIFY(!videoInputDevices().contains("VistrelToolx64"));
}

void TestServerRegistration::failedFilterUnregistrationKeepsServerKeys()
{
    QCOMPARE(m_library->registerServer(), S_OK);
    // With the category entry already gone, the filter mapper reports it missing.
    QVERIFY(deleteRegistryTree(HKEY_CLASSES_ROOT, categoryEntryKey()));
    const HRESULT hr = m_library->unregisterServer();
    QVERIFY2(FAILED(hr), qPrintable(QString::number(quint32(hr), 16)));
    QVERIFY(currentRegistration().clsidKey);
    QVERIFY(currentRegistration().sourceKey);
    QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kServerKey).toString(), driverLibraryPath());
}

void TestServerRegistration::unregistrationInAnotherApartmentChangesNothing()
{
    QCOMPARE(m_library->registerServer(), S_OK);
    // A thread of the multithreaded apartment: registration's own CoInitialize is refused.
    HRESULT hr = S_OK;
    std::thread worker([&] {
        const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        hr = m_library->unregisterServer();
        if (SUCCEEDED(init))
            CoUninitialize();
    });
    worker.join();
    QCOMPARE(quint32(hr), quint32(RPC_E_CHANGED_MODE));
    const Registration after = currentRegistration();
    QVERIFY(after.clsidKey);
    QVERIFY(after.categoryEntry);
}

void TestServerRegistration::installMirrorsRegistration_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("nullCommandLine");
    QTest::addColumn<bool>("registers");
    QTest::newRow("TRUE, no command line") << 1 << QString() << true << true;
    QTest::newRow("any nonzero flag, a command line") << -7 << QString("user") << false << true;
    QTest::newRow("FALSE, empty command line") << 0 << QString() << false << false;
    QTest::newRow("FALSE, a command line") << 0 << QString("/whatever") << false << false;
}

void TestServerRegistration::installMirrorsRegistration()
{
    QFETCH(int, flag);
    QFETCH(QString, commandLine);
    QFETCH(bool, nullCommandLine);
    QFETCH(bool, registers);
    const std::wstring wide = commandLine.toStdWString();
    const LPCWSTR line = nullCommandLine ? nullptr : wide.c_str();

    if (!registers)
        QCOMPARE(m_library->registerServer(), S_OK);
    QCOMPARE(m_library->install(BOOL(flag), line), S_OK);
    const Registration after = currentRegistration();
    QCOMPARE(after.clsidKey, registers);
    QCOMPARE(after.categoryEntry, registers);
    QCOMPARE(after.sourceKey, registers);
    if (registers)
        QCOMPARE(registryValue(HKEY_CLASSES_ROOT, kServerKey).toString(), driverLibraryPath());
}

void TestServerRegistration::truncatedLibraryPathIsRefused()
{
    // A copy of the library whose path is longer than the 260 characters registration reads: the path
    // would be cut, and a cut path must not be registered as if it were whole.
    QTemporaryDir dir;
    QString folder = dir.path();
    while (folder.size() < 280)
        folder += "/a-long-folder-name-for-the-driver";
    QVERIFY(QDir().mkpath(folder));
    const QString copy = folder + "/libvistrelcam.so";
    QVERIFY(QFile::copy(driverLibraryPath(), copy));

    DriverLibrary library(copy);
    QVERIFY(library.isLoaded());
    QCOMPARE(quint32(library.registerServer()), 0x8007007Au); // ERROR_INSUFFICIENT_BUFFER
    const Registration after = currentRegistration();
    QVERIFY(!after.clsidKey);
    QVERIFY(!after.categoryEntry);
}

void TestServerRegistration::classObject_data()
{
    QTest::addColumn<int>("whichClass"); // 0 the filter, 1 the media source, 2 another server's
    QTest::addColumn<QString>("interfaceName");
    QTest::addColumn<qlonglong>("expected");
    QTest::newRow("our class, IClassFactory") << 0 << "IClassFactory" << qlonglong(S_OK);
    QTest::newRow("our class, IUnknown") << 0 << "IUnknown" << qlonglong(S_OK);
    QTest::newRow("our class, IBaseFilter") << 0 << "IBaseFilter" << qlonglong(E_NOINTERFACE);
    QTest::newRow("media source, IClassFactory") << 1 << "IClassFactory" << qlonglong(S_OK);
    // The interface is checked before the class is looked up.
    QTest::newRow("another class, IBaseFilter") << 2 << "IBaseFilter" << qlonglong(E_NOINTERFACE);
    QTest::newRow("another class, IClassFactory")
        << 2 << "IClassFactory" << qlonglong(CLASS_E_CLASSNOTAVAILABLE);
}

void TestServerRegistration::classObject()
{
    QFETCH(int, whichClass);
    QFETCH(QString, interfaceName);
    QFETCH(qlonglong, expected);
    const CLSID clsid = whichClass == 0   ? kVistrelCamClsid
                        : whichClass == 1 ? kMediaSourceClsid
                                          : CLSID_FilterGraph;
    const IID &iid = interfaceName == "IClassFactory" ? IID_IClassFactory
                     : interfaceName == "IUnknown"    ? IID_IUnknown
                                                      : IID_IBaseFilter;
    void *object = reinterpret_cast<void *>(0xdeadbeef);
    const HRESULT hr = m_library->getClassObject(clsid, iid, &object);
    QCOMPARE(qlonglong(hr), expected);
    if (FAILED(hr)) {
        QVERIFY(object == nullptr);
        return;
    }
    QVERIFY(object != nullptr);
    static_cast<IUnknown *>(object)->Release();
    QCOMPARE(m_library->canUnloadNow(), S_OK);
}

void TestServerRegistration::unloadableOnlyWithoutObjectsOrLocks()
{
    QCOMPARE(m_library->canUnloadNow(), S_OK);
    IClassFactory *factory = nullptr;
    QCOMPARE(
        m_library->getClassObject(kVistrelCamClsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
        S_OK);
    QCOMPARE(m_library->canUnloadNow(), S_FALSE); // the factory itself is counted

    IBaseFilter *filter = nullptr;
    QCOMPARE(factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void **>(&filter)), S_OK);
    QCOMPARE(factory->LockServer(TRUE), S_OK);
    factory->Release();
    QCOMPARE(m_library->canUnloadNow(), S_FALSE); // filter and lock

    filter->Release();
    QCOMPARE(m_library->canUnloadNow(), S_FALSE); // the lock alone
    // LockServer needs a factory; a fresh one releases the lock taken through the first.
    QCOMPARE(
        m_library->getClassObject(kVistrelCamClsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
        S_OK);
    QCOMPARE(factory->LockServer(FALSE), S_OK);
    factory->Release();
    QCOMPARE(m_library->canUnloadNow(), S_OK);
}

// A source let go without Shutdown still ends its threads and leaves the library unloadable.
void TestServerRegistration::mediaSourceComesFromItsClassObject()
{
    IClassFactory *factory = nullptr;
    QCOMPARE(
        m_library->getClassObject(kMediaSourceClsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)),
        S_OK);
    IUnknown *source = reinterpret_cast<IUnknown *>(0xdeadbeef);
    QCOMPARE(factory->CreateInstance(reinterpret_cast<IUnknown *>(0x1), IID_IUnknown,
                                     reinterpret_cast<void **>(&source)),
             CLASS_E_NOAGGREGATION);
    QVERIFY(source == nullptr);
    QCOMPARE(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void **>(&source)), S_OK);
    factory->Release();
    QCOMPARE(m_library->canUnloadNow(), S_FALSE);
    source->Release();
    QCOMPARE(m_library->canUnloadNow(), S_OK);
}

void TestServerRegistration::exportsOnlyTheEntryPoints()
{
    const QString nm = QStandardPaths::findExecutable("nm");
    if (nm.isEmpty())
        QFAIL("nm is not installed: install the Debian package binutils (scripts/setup.sh does)");
    QProcess process;
    process.start(nm, {"-D", "--defined-only", driverLibraryPath()});
    QVERIFY(process.waitForFinished(300000));
    QCOMPARE(process.exitCode(), 0);
    QStringList exported;
    for (const QString &line :
         QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(' ', Qt::SkipEmptyParts);
        // Functions and data only; the linker's own version-node symbols are not exports.
        if (fields.size() == 3 && QString("TtDdBbRr").contains(fields[1]))
            exported << fields[2];
    }
    exported.sort();
    QCOMPARE(exported, QStringList({"DllCanUnloadNow", "DllGetClassObject", "DllInstall", "DllRegisterServer",
                                    "DllUnregisterServer"}));
}

QTEST_GUILESS_MAIN(TestServerRegistration)
#include "tst_ServerRegistration.moc"
