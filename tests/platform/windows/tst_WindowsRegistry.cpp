// The registry: values of every kind survive exactly, keys compare without case, deletion rules, access
// rights, and the file shared between processes (persistence, concurrent writers, damage).
#include "platform/windows/win32.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>
#include <set>

namespace {

constexpr int kProcessTimeoutMs = 300000;
const wchar_t *const kTestKey = L"Software\\VistrelTest";

QString registryFile()
{
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/vistrel/registry";
}

HKEY createKey(const wchar_t *path, REGSAM access = KEY_ALL_ACCESS, DWORD *disposition = nullptr)
{
    HKEY key = nullptr;
    const LONG status =
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, access, nullptr, &key, disposition);
    return status == ERROR_SUCCESS ? key : nullptr;
}

std::vector<BYTE> bytesOf(const std::wstring &text)
{
    const auto *begin = reinterpret_cast<const BYTE *>(text.c_str());
    return std::vector<BYTE>(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

QByteArray runTool(const QStringList &arguments, int *exitCode = nullptr, QByteArray *errors = nullptr)
{
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/registry-tool", arguments);
    if (!tool.waitForFinished(kProcessTimeoutMs))
        return QByteArray("timed out");
    if (exitCode)
        *exitCode = tool.exitCode();
    if (errors)
        *errors = tool.readAllStandardError();
    return tool.readAllStandardOutput().trimmed();
}

} // namespace

class TestWin32Registry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void valuesKeepTypeAndBytes_data();
    void valuesKeepTypeAndBytes();
    void querySizesLikeWindows();
    void narrowAndWideCallsShareStrings();
    void namesIgnoreCase();
    void deletionRules();
    void enumerationOrder();
    void readOnlyHandleRefusesWrites();
    void badHandlesAreRefused();
    void valuesSurviveIntoAnotherProcess();
    void concurrentProcessesLoseNothing();
    void damagedFileIsReportedAndLeftAlone_data();
    void damagedFileIsReportedAndLeftAlone();
};

void TestWin32Registry::init()
{
    QFile::remove(registryFile());
    const LONG status = RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
    QVERIFY(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
}

void TestWin32Registry::valuesKeepTypeAndBytes_data()
{
    QTest::addColumn<DWORD>("type");
    QTest::addColumn<QByteArray>("data");

    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte += char(i);
    const DWORD dword = 0x200000;
    const auto text = [](const std::wstring &s) {
        const std::vector<BYTE> bytes = bytesOf(s);
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
    };
    QTest::newRow("dword") << DWORD(REG_DWORD) << QByteArray(reinterpret_cast<const char *>(&dword), 4);
    QTest::newRow("binary, every byte") << DWORD(REG_BINARY) << everyByte;
    QTest::newRow("binary, empty") << DWORD(REG_BINARY) << QByteArray();
    QTest::newRow("string") << DWORD(REG_SZ) << text(L"Both");
    QTest::newRow("string with format characters")
        << DWORD(REG_SZ) << text(L"tab\there\nnew line %41 \\ \"q\"");
    QTest::newRow("string, non-ASCII") << DWORD(REG_SZ) << text(L"caf\u00e9 \u4e2d \U0001F600");
    QTest::newRow("string, empty") << DWORD(REG_SZ) << text(L"");
    QTest::newRow("multi string") << DWORD(REG_MULTI_SZ) << text(std::wstring(L"one\0two\0", 8));
    // Bytes that are no whole wide characters still come back exactly.
    QTest::newRow("string, odd size") << DWORD(REG_SZ) << QByteArray("abc", 3);
}

void TestWin32Registry::valuesKeepTypeAndBytes()
{
    QFETCH(DWORD, type);
    QFETCH(QByteArray, data);
    HKEY key = createKey(kTestKey);
    QVERIFY(key);
    QCOMPARE(RegSetValueExW(key, L"value", 0, type, reinterpret_cast<const BYTE *>(data.constData()),
                            DWORD(data.size())),
             ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);

    // Read back through a new handle, so the value has been to the file and back.
    HKEY reader = nullptr;
    QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &reader), ERROR_SUCCESS);
    QByteArray back(data.size() + 16, '\xcc');
    DWORD size = DWORD(back.size());
    DWORD readType = REG_NONE;
    QCOMPARE(
        RegQueryValueExW(reader, L"value", nullptr, &readType, reinterpret_cast<BYTE *>(back.data()), &size),
        ERROR_SUCCESS);
    QCOMPARE(readType, type);
    QCOMPARE(back.left(int(size)), data);
    RegCloseKey(reader);
}

void TestWin32Registry::querySizesLikeWindows()
{
    HKEY key = createKey(kTestKey);
    const std::vector<BYTE> path = bytesOf(L"/opt/vistrel/vistrelcam.so");
    QCOMPARE(RegSetValueExW(key, nullptr, 0, REG_SZ, path.data(), DWORD(path.size())), ERROR_SUCCESS);

    DWORD size = 0;
    QCOMPARE(RegQueryValueExW(key, L"", nullptr, nullptr, nullptr, &size),
             ERROR_SUCCESS); // "" is the default
    QCOMPARE(size, DWORD(path.size()));
    BYTE small[8];
    size = sizeof(small);
    QCOMPARE(RegQueryValueExW(key, nullptr, nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    QCOMPARE(size, DWORD(path.size()));
    QCOMPARE(RegQueryValueExW(key, nullptr, nullptr, nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
    QCOMPARE(RegQueryValueExW(key, L"absent", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

void TestWin32Registry::narrowAndWideCallsShareStrings()
{
    HKEY key = createKey(kTestKey);
    const char narrow[] = "Both \xc3\xa9";
    QCOMPARE(RegSetValueExA(key, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE *>(narrow),
                            sizeof(narrow)),
             ERROR_SUCCESS);
    wchar_t wide[32];
    DWORD size = sizeof(wide);
    QCOMPARE(
        RegQueryValueExW(key, L"ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE *>(wide), &size),
        ERROR_SUCCESS);
    QCOMPARE(size, DWORD(7 * sizeof(wchar_t)));
    QCOMPARE(QString::fromWCharArray(wide), QString::fromUtf8(narrow));

    const std::vector<BYTE> wideValue = bytesOf(L"\u00fcber");
    QCOMPARE(RegSetValueExW(key, L"w", 0, REG_SZ, wideValue.data(), DWORD(wideValue.size())), ERROR_SUCCESS);
    char back[16];
    size = 2;
    QCOMPARE(RegQueryValueExA(key, "w", nullptr, nullptr, reinterpret_cast<BYTE *>(back), &size),
             ERROR_MORE_DATA);
    QCOMPARE(size, DWORD(6)); // two bytes for the umlaut, three letters, the terminator
    size = sizeof(back);
    QCOMPARE(RegQueryValueExA(key, "w", nullptr, nullptr, reinterpret_cast<BYTE *>(back), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(back), QByteArray("\xc3\xbc"
                                          "ber"));
    RegCloseKey(key);
}

void TestWin32Registry::namesIgnoreCase()
{
    DWORD disposition = 0;
    HKEY key = createKey(L"Software\\VistrelTest\\MixedCase", KEY_ALL_ACCESS, &disposition);
    QCOMPARE(disposition, DWORD(REG_CREATED_NEW_KEY));
    const DWORD one = 1;
    QCOMPARE(RegSetValueExW(key, L"Value", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
             ERROR_SUCCESS);
    RegCloseKey(key);

    key = createKey(L"SOFTWARE\\vistreltest\\MIXEDCASE", KEY_ALL_ACCESS, &disposition);
    QCOMPARE(disposition, DWORD(REG_OPENED_EXISTING_KEY));
    const DWORD two = 2;
    // Same value under another spelling: replaced, not added.
    QCOMPARE(RegSetValueExW(key, L"VALUE", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&two), 4),
             ERROR_SUCCESS);
    DWORD read = 0;
    DWORD size = 4;
    QCOMPARE(RegQueryValueExA(key, "value", nullptr, nullptr, reinterpret_cast<BYTE *>(&read), &size),
             ERROR_SUCCESS);
    QCOMPARE(read, DWORD(2));
    wchar_t name[16];
    DWORD nameLength = 16;
    QCOMPARE(RegEnumValueW(key, 1, name, &nameLength, nullptr, nullptr, nullptr, nullptr),
             ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);

    // The key keeps the spelling it was created with.
    HKEY parent = createKey(kTestKey);
    nameLength = 16;
    QCOMPARE(RegEnumKeyExW(parent, 0, name, &nameLength, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    QCOMPARE(QString::fromWCharArray(name, int(nameLength)), QString("MixedCase"));
    RegCloseKey(parent);
}

void TestWin32Registry::deletionRules()
{
    HKEY leaf = createKey(L"Software\\VistrelTest\\CLSID\\{X}\\InprocServer32");
    QVERIFY(leaf);
    HKEY parent = createKey(kTestKey);

    // A key with subkeys is not deleted by RegDeleteKey.
    QCOMPARE(RegDeleteKeyW(parent, L"CLSID\\{X}"), ERROR_ACCESS_DENIED);
    QCOMPARE(RegDeleteKeyW(parent, L"clsid\\{x}\\inprocserver32"), ERROR_SUCCESS);
    QCOMPARE(RegDeleteKeyW(parent, L"CLSID\\{X}\\InprocServer32"), ERROR_FILE_NOT_FOUND);
    // A handle to a deleted key answers so, rather than acting on nothing.
    DWORD size = 0;
    QCOMPARE(RegQueryValueExW(leaf, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    RegCloseKey(leaf);

    createKey(L"Software\\VistrelTest\\CLSID\\{X}\\a\\b");
    QCOMPARE(RegDeleteTreeW(parent, L"CLSID"), ERROR_SUCCESS);
    HKEY gone = nullptr;
    QCOMPARE(RegOpenKeyExW(parent, L"CLSID", 0, KEY_READ, &gone), ERROR_FILE_NOT_FOUND);
    QVERIFY(!gone);
    QCOMPARE(RegDeleteTreeW(parent, L"CLSID"), ERROR_FILE_NOT_FOUND);

    const DWORD one = 1;
    QCOMPARE(RegSetValueExW(parent, L"Present", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
             ERROR_SUCCESS);
    QCOMPARE(RegDeleteValueA(parent, "PRESENT"), ERROR_SUCCESS);
    QCOMPARE(RegDeleteValueW(parent, L"Present"), ERROR_FILE_NOT_FOUND);
    QCOMPARE(RegDeleteValueW(parent, L"absent"), ERROR_FILE_NOT_FOUND);
    QCOMPARE(RegDeleteKeyW(HKEY_CURRENT_USER, L""), ERROR_ACCESS_DENIED); // never a root
    RegCloseKey(parent);
}

void TestWin32Registry::enumerationOrder()
{
    HKEY key = createKey(kTestKey);
    for (const wchar_t *name : {L"beta", L"Alpha", L"gamma"})
        RegCloseKey(createKey((std::wstring(kTestKey) + L"\\" + name).c_str()));
    QStringList names;
    for (DWORD index = 0;; ++index) {
        char name[64];
        DWORD length = sizeof(name);
        const LONG status = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        QCOMPARE(status, ERROR_SUCCESS);
        QCOMPARE(length, DWORD(qstrlen(name)));
        names << name;
    }
    QCOMPARE(names, QStringList({"Alpha", "beta", "gamma"}));

    wchar_t tooSmall[3];
    DWORD length = 3;
    QCOMPARE(RegEnumKeyExW(key, 0, tooSmall, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    RegCloseKey(key);
}

void TestWin32Registry::readOnlyHandleRefusesWrites()
{
    RegCloseKey(createKey(kTestKey));
    HKEY key = nullptr;
    QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, kTestKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    const DWORD one = 1;
    QCOMPARE(RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&one), 4),
             ERROR_ACCESS_DENIED);
    QCOMPARE(RegDeleteValueW(key, L"v"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

void TestWin32Registry::badHandlesAreRefused()
{
    HKEY key = createKey(kTestKey);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    QCOMPARE(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    HKEY out = reinterpret_cast<HKEY>(0x1);
    QCOMPARE(RegOpenKeyExW(reinterpret_cast<HKEY>(0x1234), L"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
    QVERIFY(!out);
    QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, L"\\leading", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out,
                             nullptr),
             ERROR_BAD_PATHNAME);
}

void TestWin32Registry::valuesSurviveIntoAnotherProcess()
{
    HKEY key = createKey(kTestKey);
    const std::vector<BYTE> value = bytesOf(L"written here");
    QCOMPARE(RegSetValueExW(key, L"fromTest", 0, REG_SZ, value.data(), DWORD(value.size())), ERROR_SUCCESS);
    RegCloseKey(key);

    int exitCode = -1;
    QCOMPARE(runTool({"get", "Software\\VistrelTest", "fromTest"}, &exitCode), QByteArray("written here"));
    QCOMPARE(exitCode, 0);
    QCOMPARE(runTool({"set", "Software\\VistrelTest", "fromTool", "written there"}, &exitCode), QByteArray());
    QCOMPARE(exitCode, 0);

    key = nullptr;
    QCOMPARE(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\VistrelTest", 0, KEY_READ, &key), ERROR_SUCCESS);
    char back[64] = {};
    DWORD size = sizeof(back);
    QCOMPARE(RegQueryValueExA(key, "fromTool", nullptr, nullptr, reinterpret_cast<BYTE *>(back), &size),
             ERROR_SUCCESS);
    QCOMPARE(QByteArray(back), QByteArray("written there"));
    RegCloseKey(key);
}

void TestWin32Registry::concurrentProcessesLoseNothing()
{
    const int perProcess = 200;
    QList<QProcess *> writers;
    for (const char *prefix : {"a", "b"}) {
        auto *writer = new QProcess(this);
        writer->start(QCoreApplication::applicationDirPath() + "/registry-tool",
                      {"fill", "Software\\VistrelTest", prefix, QString::number(perProcess)});
        writers << writer;
    }
    // This process writes too, at the same time.
    HKEY key = createKey(kTestKey);
    for (int i = 0; i < perProcess; ++i) {
        const DWORD v = DWORD(i);
        QCOMPARE(RegSetValueExW(key, (L"t" + std::to_wstring(i)).c_str(), 0, REG_DWORD,
                                reinterpret_cast<const BYTE *>(&v), 4),
                 ERROR_SUCCESS);
    }
    for (QProcess *writer : writers) {
        QVERIFY(writer->waitForFinished(kProcessTimeoutMs));
        QCOMPARE(writer->exitCode(), 0);
    }

    std::set<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[32];
        DWORD length = 32;
        DWORD value = 0;
        DWORD size = sizeof(value);
        const LONG status = RegEnumValueW(key, index, name, &length, nullptr, nullptr,
                                          reinterpret_cast<BYTE *>(&value), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        QCOMPARE(status, ERROR_SUCCESS);
        QCOMPARE(std::to_wstring(value), std::wstring(name + 1));
        names.insert(name);
    }
    QCOMPARE(names.size(), size_t(3 * perProcess));
    RegCloseKey(key);
}

void TestWin32Registry::damagedFileIsReportedAndLeftAlone_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::newRow("not a registry") << QByteArray("<xml>something else</xml>\n");
    QTest::newRow("cut short") << QByteArray("VistrelRegistry\t1\nK\tHKEY_CURRENT_USER\tSoftware\n");
    QTest::newRow("bad hex") << QByteArray("VistrelRegistry\t1\nK\tHKEY_CURRENT_USER\nV\t3\tx\tx:0g\nEnd\n");
    QTest::newRow("unknown root") << QByteArray("VistrelRegistry\t1\nK\tHKEY_NOWHERE\nEnd\n");
    QTest::newRow("empty") << QByteArray();
}

void TestWin32Registry::damagedFileIsReportedAndLeftAlone()
{
    QFETCH(QByteArray, contents);
    QVERIFY(QDir().mkpath(QFileInfo(registryFile()).absolutePath()));
    QFile file(registryFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();

    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &key, nullptr),
             ERROR_REGISTRY_CORRUPT);
    QVERIFY(!key);
    QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &key), ERROR_REGISTRY_CORRUPT);

    // Another process is told too, once, on its error stream.
    int exitCode = 0;
    QByteArray errors;
    QCOMPARE(runTool({"set", "Software\\VistrelTest", "x", "y"}, &exitCode, &errors),
             QByteArray("status ") + QByteArray::number(int(ERROR_REGISTRY_CORRUPT)));
    QCOMPARE(exitCode, 1);
    QCOMPARE(errors.count('\n'), 1);
    QVERIFY(errors.contains(registryFile().toUtf8()));

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), contents);
}

QTEST_GUILESS_MAIN(TestWin32Registry)
#include "tst_WindowsRegistry.moc"
