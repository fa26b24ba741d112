// Modules: DllMain on load and unload, module handles and paths, symbol lookup, the program-folder search.
#include "tests/platform/windows/DllEventLog.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtTest>
#include <dlfcn.h>

namespace {

QString serverPath()
{
    return QCoreApplication::applicationDirPath() + "/" VISTREL_TEST_SERVER_FILE;
}

QString moduleFileName(HMODULE module)
{
    char buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    return length ? QString::fromUtf8(buffer, int(length)) : QString();
}

} // namespace

class TestWin32Module : public QObject
{
    Q_OBJECT

private slots:
    void dllMainFollowsDlopenAndDlclose();
    void dllMainFollowsLoadLibraryAndFreeLibrary();
    void moduleHandleReferencesKeepLibraryLoaded();
    void bareNameIsFoundBesideTheProgram();
    void procAddressByNameOnly();
    void moduleHandleFromAddress();
    void moduleFileNameTruncatesLikeWindows();
    void missingLibraryFailsCleanly();
};

void TestWin32Module::dllMainFollowsDlopenAndDlclose()
{
    clearDllEvents();
    void *handle = dlopen(serverPath().toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY2(handle, dlerror());
    std::vector<DllEvent> events = recordedDllEvents();
    QCOMPARE(events.size(), size_t(1));
    QCOMPARE(events[0].reason, DWORD(DLL_PROCESS_ATTACH));
    // The library's static objects, those of its static libraries included, were built before DllMain ran.
    QCOMPARE(events[0].staticsAlive, TRUE);
    // The handle DllMain gets is the library's module handle.
    void *exported = dlsym(handle, "DllGetClassObject");
    HMODULE fromAddress = nullptr;
    QVERIFY(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(exported), &fromAddress));
    QCOMPARE(events[0].module, fromAddress);
    QCOMPARE(QFileInfo(moduleFileName(fromAddress)).canonicalFilePath(),
             QFileInfo(serverPath()).canonicalFilePath());

    dlclose(handle);
    events = recordedDllEvents();
    QCOMPARE(events.size(), size_t(2));
    QCOMPARE(events[1].reason, DWORD(DLL_PROCESS_DETACH));
    QCOMPARE(events[1].module, events[0].module);
    // ... and are still there when it is told of the unload.
    QCOMPARE(events[1].staticsAlive, TRUE);
}

void TestWin32Module::dllMainFollowsLoadLibraryAndFreeLibrary()
{
    clearDllEvents();
    const HMODULE first = LoadLibraryA(serverPath().toUtf8().constData());
    QVERIFY(first);
    const HMODULE second = LoadLibraryW(serverPath().toStdWString().c_str());
    QCOMPARE(second, first);
    QCOMPARE(recordedDllEvents().size(), size_t(1));

    // Reference counted: the first FreeLibrary leaves it loaded.
    QVERIFY(FreeLibrary(first));
    QCOMPARE(recordedDllEvents().size(), size_t(1));
    QCOMPARE(GetModuleHandleA(serverPath().toUtf8().constData()), first);
    QVERIFY(FreeLibrary(second));
    const std::vector<DllEvent> events = recordedDllEvents();
    QCOMPARE(events.size(), size_t(2));
    QCOMPARE(events[1].reason, DWORD(DLL_PROCESS_DETACH));
    QVERIFY(!GetModuleHandleA(serverPath().toUtf8().constData()));
    QVERIFY(!FreeLibrary(first));
}

void TestWin32Module::moduleHandleReferencesKeepLibraryLoaded()
{
    clearDllEvents();
    const HMODULE module = LoadLibraryA(serverPath().toUtf8().constData());
    QVERIFY(module);
    const auto exported = reinterpret_cast<LPCSTR>(GetProcAddress(module, "DllGetClassObject"));
    HMODULE counted = nullptr;
    QVERIFY(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, exported, &counted));
    QCOMPARE(counted, module);
    HMODULE uncounted = nullptr;
    QVERIFY(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               exported, &uncounted));

    // Two references were taken, so two releases unload it.
    QVERIFY(FreeLibrary(module));
    QCOMPARE(recordedDllEvents().size(), size_t(1));
    QVERIFY(FreeLibrary(counted));
    QCOMPARE(recordedDllEvents().size(), size_t(2));
    QVERIFY(!GetModuleHandleA(serverPath().toUtf8().constData()));
}

void TestWin32Module::bareNameIsFoundBesideTheProgram()
{
    // The test's folder is not on the loader's search path; only the program-folder rule finds it.
    const HMODULE module = LoadLibraryA(VISTREL_TEST_SERVER_FILE);
    QVERIFY(module);
    QCOMPARE(GetModuleHandleA(VISTREL_TEST_SERVER_FILE), module);
    QVERIFY(FreeLibrary(module));
}

void TestWin32Module::procAddressByNameOnly()
{
    const HMODULE module = LoadLibraryA(serverPath().toUtf8().constData());
    QVERIFY(module);
    QVERIFY(GetProcAddress(module, "DllCanUnloadNow"));

    SetLastError(ERROR_SUCCESS);
    QVERIFY(!GetProcAddress(module, MAKEINTRESOURCEA(1)));
    QCOMPARE(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    // Symbols of the libraries it depends on are not its exports.
    SetLastError(ERROR_SUCCESS);
    QVERIFY(!GetProcAddress(module, "CoCreateInstance"));
    QCOMPARE(GetLastError(), DWORD(ERROR_PROC_NOT_FOUND));
    QVERIFY(!GetProcAddress(module, "NoSuchExport"));
    QVERIFY(FreeLibrary(module));
}

void TestWin32Module::moduleHandleFromAddress()
{
    HMODULE platform = nullptr;
    QVERIFY(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCWSTR>(&CoCreateInstance), &platform));
    QVERIFY(moduleFileName(platform).endsWith("libvistrel_windows.so"));

    HMODULE program = nullptr;
    QVERIFY(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               reinterpret_cast<LPCSTR>(&serverPath), &program));
    QCOMPARE(program, GetModuleHandleA(nullptr));
    QCOMPARE(QFileInfo(moduleFileName(nullptr)).canonicalFilePath(),
             QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());

    int onTheStack = 0;
    HMODULE none = reinterpret_cast<HMODULE>(0x1);
    QVERIFY(!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&onTheStack),
                                &none));
    QVERIFY(!none);
    QCOMPARE(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
}

void TestWin32Module::moduleFileNameTruncatesLikeWindows()
{
    const QString full = moduleFileName(nullptr);
    QVERIFY(full.size() > 8);
    char small[8];
    QCOMPARE(GetModuleFileNameA(nullptr, small, sizeof(small)), DWORD(sizeof(small)));
    QCOMPARE(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    QCOMPARE(QString::fromUtf8(small), full.left(7));

    wchar_t wide[MAX_PATH];
    QCOMPARE(GetModuleFileNameW(nullptr, wide, MAX_PATH), DWORD(full.size()));
    QCOMPARE(QString::fromWCharArray(wide), full);
}

void TestWin32Module::missingLibraryFailsCleanly()
{
    SetLastError(ERROR_SUCCESS);
    QVERIFY(!LoadLibraryA("libvistrel-no-such-library.so"));
    QCOMPARE(GetLastError(), DWORD(ERROR_MOD_NOT_FOUND));
    QVERIFY(!LoadLibraryA(nullptr));
    QVERIFY(!GetModuleHandleA("libvistrel-no-such-library.so"));
}

QTEST_GUILESS_MAIN(TestWin32Module)
#include "tst_WindowsModule.moc"
