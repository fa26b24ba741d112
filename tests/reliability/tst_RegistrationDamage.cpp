// Registration writes the shared registry file. When that file is damaged or cannot be written,
// registering and unregistering must fail with an error and leave the file exactly as it was; once
// the damage is gone, registration works again.
#include "platform/windows/win32.h"

#include <QtTest>

#include <functional>
#include <unistd.h>

namespace {

typedef HRESULT(STDAPICALLTYPE *PlainEntry)();

QString configFolder()
{
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString registryFile()
{
    return configFolder() + "/vistrel/registry";
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

const QByteArray kValidRegistry = "VistrelRegistry\t1\nK\tHKEY_CURRENT_USER\tSoftware\tKeepMe\n"
                                  "V\t1\tNote\ts:still here\nEnd\n";

// What a failing set-up leaves on disk, to compare after the calls.
struct Damage
{
    QString watchedPath; // the file or folder whose contents must not change
    std::function<void()> undo;
};

using MakeDamage = std::function<Damage()>;

} // namespace

Q_DECLARE_METATYPE(MakeDamage)

class TestRegistrationDamage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_driver =
            LoadLibraryA(QFile::encodeName(qEnvironmentVariable("VISTREL_BIN_DIR") + "/libvistrelcam.so"));
        QVERIFY(m_driver != nullptr);
        m_register = reinterpret_cast<PlainEntry>(GetProcAddress(m_driver, "DllRegisterServer"));
        m_unregister = reinterpret_cast<PlainEntry>(GetProcAddress(m_driver, "DllUnregisterServer"));
        m_canUnload = reinterpret_cast<PlainEntry>(GetProcAddress(m_driver, "DllCanUnloadNow"));
        QVERIFY(m_register && m_unregister && m_canUnload);
    }

    void cleanupTestCase()
    {
        if (m_driver)
            FreeLibrary(m_driver);
    }

    void init()
    {
        QDir(configFolder() + "/vistrel").removeRecursively();
        QFile::remove(configFolder() + "/vistrel");
    }

    void damagedOrUnwritableRegistryFailsAndKeepsTheFile_data()
    {
        QTest::addColumn<MakeDamage>("makeDamage");
        // Unregistering only writes when there is something to remove; a file it cannot read fails it.
        QTest::addColumn<bool>("unregisterFails");

        QTest::newRow("garbage") << MakeDamage([] {
            writeAll(registryFile(), QByteArray("\x00\x01garbage\xff\n", 12));
            return Damage{registryFile(), {}};
        }) << true;
        QTest::newRow("truncated, no end marker") << MakeDamage([] {
            writeAll(registryFile(), kValidRegistry.left(kValidRegistry.size() - 4));
            return Damage{registryFile(), {}};
        }) << true;
        QTest::newRow("another format's header") << MakeDamage([] {
            writeAll(registryFile(), "VistrelRegistry\t2\nEnd\n");
            return Damage{registryFile(), {}};
        }) << true;
        QTest::newRow("registry path is a folder") << MakeDamage([] {
            QDir().mkpath(registryFile());
            writeAll(registryFile() + "/inside", "untouched");
            return Damage{registryFile() + "/inside", [] { QDir(registryFile()).removeRecursively(); }};
        }) << true;
        QTest::newRow("configuration folder is a file") << MakeDamage([] {
            writeAll(configFolder() + "/vistrel", "not a folder");
            return Damage{configFolder() + "/vistrel", [] { QFile::remove(configFolder() + "/vistrel"); }};
        }) << true;
        QTest::newRow("replacement cannot be written") << MakeDamage([] {
            // The new contents go to a temporary file first; a folder in its place makes that fail.
            writeAll(registryFile(), kValidRegistry);
            const QString temporary = registryFile() + "." + QString::number(getpid()) + ".tmp";
            QDir().mkpath(temporary);
            return Damage{registryFile(), [temporary] { QDir(temporary).removeRecursively(); }};
        }) << false;
    }

    void damagedOrUnwritableRegistryFailsAndKeepsTheFile()
    {
        QFETCH(MakeDamage, makeDamage);
        QFETCH(bool, unregisterFails);
        const Damage damage = makeDamage();
        const QByteArray before = readAll(damage.watchedPath);

        const HRESULT registered = m_register();
        QVERIFY2(FAILED(registered), qPrintable(QString::number(uint(registered), 16)));
        QCOMPARE(HRESULT_FACILITY(registered), FACILITY_WIN32);
        QCOMPARE(readAll(damage.watchedPath), before);

        const HRESULT unregistered = m_unregister();
        if (unregisterFails)
            QVERIFY2(FAILED(unregistered), qPrintable(QString::number(uint(unregistered), 16)));
        QCOMPARE(readAll(damage.watchedPath), before);
        QCOMPARE(m_canUnload(), S_OK);

        // Nothing is left stuck (no lock held, no half-written state): with the damage gone it works.
        if (damage.undo)
            damage.undo();
        else
            QFile::remove(registryFile());
        QCOMPARE(m_register(), S_OK);
        QCOMPARE(m_unregister(), S_OK);
    }

private:
    HMODULE m_driver = nullptr;
    PlainEntry m_register = nullptr;
    PlainEntry m_unregister = nullptr;
    PlainEntry m_canUnload = nullptr;
};

QTEST_GUILESS_MAIN(TestRegistrationDamage)
#include "tst_RegistrationDamage.moc"
