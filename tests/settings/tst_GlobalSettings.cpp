#include "settings/GlobalSettings.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>

namespace {
const char *const dumpArgument = "--dump-settings";

QSettings store()
{
    return QSettings(QStringLiteral("com.quorvane.vistrel"), QStringLiteral("Vistrel App"));
}

// Every property of a freshly loaded settings object, by name, as typed variants.
QVariantMap loadedProperties()
{
    std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
    QVariantMap values;
    const QMetaObject *meta = settings->metaObject();
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        values.insert(QString::fromLatin1(meta->property(i).name()), meta->property(i).read(settings.get()));
    }
    return values;
}

// Child-process side of the round trip: load the store and print what was loaded.
int dumpSettings(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << loadedProperties();
    }
    std::fputs(bytes.toBase64().constData(), stdout);
    return 0;
}

QVariantMap camera(const QString &name, const QString &port, const QSize &size)
{
    return QVariantMap{
        {QStringLiteral("cn"), name}, {QStringLiteral("cp"), port}, {QStringLiteral("nr"), size}};
}
} // namespace

class GlobalSettingsTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        delete GlobalSettings::instance(nullptr);
        QSettings settings = store();
        settings.clear();
    }

    void emptyStoreLoadsDefaults()
    {
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Vistrel App"));
        QCOMPARE(QCoreApplication::organizationName(), QStringLiteral("com.quorvane.vistrel"));
        QCOMPARE(settings->get_selectedLanguage(), QString());
        QCOMPARE(settings->get_lastAppVersion(), 0);
        QCOMPARE(settings->get_videoResolution(), QSize(960, 640));
        QCOMPARE(settings->get_videoFps(), 30.0);
        QCOMPARE(settings->get_customResolution(), false);
        QVERIFY(settings->get_deviceInfo().isEmpty());
        QCOMPARE(settings->get_desktopMainWindowMaximized(), false);
        QCOMPARE(settings->get_desktopMainWindowSize(), QSize(0, 0));
        QCOMPARE(settings->get_desktopMainWindowPos(), QPoint(-1, -1));
        QCOMPARE(settings->isSandboxed(), false);
    }

    void unreadableValuesLoadTheirDefaultsAndAreLogged_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("loaded");
        QTest::addColumn<QString>("logged");
        QTest::newRow("fps as text") << "videoFps" << QVariant("25") << QVariant(25.0) << QString();
        QTest::newRow("fps garbage")
            << "videoFps" << QVariant("fast") << QVariant(30.0)
            << "Settings value \"videoFps\" cannot be read as double; using its default";
        QTest::newRow("size garbage")
            << "videoResolution" << QVariant("big") << QVariant(QSize(960, 640))
            << "Settings value \"videoResolution\" cannot be read as QSize; using its default";
        QTest::newRow("size as a number")
            << "videoResolution" << QVariant(1280) << QVariant(QSize(960, 640))
            << "Settings value \"videoResolution\" cannot be read as QSize; using its default";
        QTest::newRow("map garbage")
            << "deviceInfo" << QVariant(42) << QVariant(QVariantMap())
            << "Settings value \"deviceInfo\" cannot be read as QVariantMap; using its default";
    }

    void unreadableValuesLoadTheirDefaultsAndAreLogged()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, loaded);
        QFETCH(QString, logged);
        {
            QSettings settings = store();
            settings.setValue(key, stored);
        }
        if (!logged.isEmpty()) {
            QTest::ignoreMessage(QtDebugMsg, qPrintable(logged));
        }
        QCOMPARE(loadedProperties().value(key), loaded);
    }

    void saveRewritesTheWholeStore_data()
    {
        QTest::addColumn<QVariantMap>("handMade");
        QTest::addColumn<QVariantMap>("saved");
        const QVariantMap windowDefaults{{"desktopMainWindowMaximized", false},
                                         {"desktopMainWindowSize", QSize(0, 0)},
                                         {"desktopMainWindowPos", QPoint(-1, -1)}};
        const QVariantMap window{{"desktopMainWindowMaximized", true},
                                 {"desktopMainWindowSize", QSize(800, 600)},
                                 {"desktopMainWindowPos", QPoint(300, -20)}};
        QTest::newRow("first save writes window defaults") << QVariantMap() << windowDefaults;
        QTest::newRow("window state survives") << window << window;
        QTest::newRow("version survives")
            << QVariantMap{{"lastAppVersion", 12}} << QVariantMap{{"lastAppVersion", 12}};
        QTest::newRow("unknown key dropped")
            << QVariantMap{{"leftover", "old"}, {"videoFps", 25.0}} << QVariantMap{{"videoFps", 25.0}};
    }

    void saveRewritesTheWholeStore()
    {
        QFETCH(QVariantMap, handMade);
        QFETCH(QVariantMap, saved);
        {
            QSettings settings = store();
            for (auto it = handMade.cbegin(); it != handMade.cend(); ++it) {
                settings.setValue(it.key(), it.value());
            }
        }
        for (int round = 0; round < 2; ++round) {
            std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
            settings->saveSettings();
        }
        QSettings settings = store();
        QCOMPARE(settings.allKeys().size(), 9);
        QVERIFY(!settings.contains(QStringLiteral("leftover")));
        for (auto it = saved.cbegin(); it != saved.cend(); ++it) {
            QCOMPARE(settings.value(it.key()).userType(), it.value().userType());
            QCOMPARE(settings.value(it.key()), it.value());
        }
    }

    void locationReadsAsTheUserWritesIt_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("shown");
        QTest::newRow("registry key")
            << QStringLiteral("\\HKEY_CURRENT_USER\\Software\\com.quorvane.vistrel\\Vistrel App")
            << QStringLiteral("HKEY_CURRENT_USER\\Software\\com.quorvane.vistrel\\Vistrel App");
        const QString file = QStringLiteral("/home/user/.config/com.quorvane.vistrel/Vistrel App.conf");
        QTest::newRow("file") << file << QDir::toNativeSeparators(file);
    }

    void locationReadsAsTheUserWritesIt()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, shown);
        QCOMPARE(GlobalSettings::locationAsUserReadsIt(fileName), shown);
    }

    void failedSaveIsReported()
    {
        // A folder where the store's file belongs cannot be written, not even by root.
        const QString path = store().fileName();
        QFile::remove(path);
        QVERIFY(QDir().mkpath(path));
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(QStringLiteral("Settings could not be saved to \"%1\"").arg(path)));
        QVERIFY(!settings->saveSettings());
        QVERIFY(QDir(path).removeRecursively());
        QVERIFY(settings->saveSettings());
    }

    void secondProcessLoadsWhatWasSaved()
    {
        {
            std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
            settings->set_selectedLanguage(QStringLiteral("de-ÄÖ ü"));
            settings->set_lastAppVersion(3);
            settings->set_desktopMainWindowMaximized(true);
            settings->set_videoResolution(QSize(1920, 1080));
            settings->set_videoFps(29.97);
            settings->set_customResolution(true);
            settings->set_deviceInfo(camera(QStringLiteral("Canon EOS R6 \"Mk II\""),
                                            QStringLiteral("usb:002,007"), QSize(1056, 704)));
            settings->saveSettings();
        }
        const QVariantMap expected = loadedProperties();
        QCOMPARE(expected.value(QStringLiteral("videoFps")), QVariant(29.97));

        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(dumpArgument)});
        QVERIFY2(child.waitForFinished(300000), qPrintable(child.errorString()));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);

        QVariantMap loaded;
        QDataStream in(QByteArray::fromBase64(child.readAllStandardOutput()));
        in >> loaded;
        QCOMPARE(in.status(), QDataStream::Ok);
        QCOMPARE(loaded.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            QCOMPARE(loaded.value(it.key()).userType(), it.value().userType());
            QCOMPARE(loaded.value(it.key()), it.value());
        }
    }

    void fpsWithinToleranceIsUnchanged_data()
    {
        QTest::addColumn<double>("fps");
        QTest::addColumn<bool>("changed");
        QTest::newRow("float noise") << 30.0000000001 << false;
        QTest::newRow("noise below") << 29.9999999999 << false;
        QTest::newRow("real change") << 30.001 << true;
    }

    void fpsWithinToleranceIsUnchanged()
    {
        QFETCH(double, fps);
        QFETCH(bool, changed);
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QCOMPARE(settings->get_videoFps(), 30.0);
        QSignalSpy spy(settings.get(), &GlobalSettings::videoFpsChanged);
        QCOMPARE(settings->set_videoFps(fps), changed);
        QCOMPARE(spy.count(), changed ? 1 : 0);
        QCOMPARE(settings->get_videoFps(), changed ? fps : 30.0);
    }

    void deviceInfoComparesEntries()
    {
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QVERIFY(settings->set_deviceInfo(
            camera(QStringLiteral("EOS 90D"), QStringLiteral("a"), QSize(960, 640))));
        QSignalSpy spy(settings.get(), &GlobalSettings::deviceInfoChanged);
        // Built anew, entry by entry: equal content is no change.
        QVariantMap same;
        same.insert(QStringLiteral("nr"), QSize(960, 640));
        same.insert(QStringLiteral("cp"), QStringLiteral("a"));
        same.insert(QStringLiteral("cn"), QStringLiteral("EOS 90D"));
        QVERIFY(!settings->set_deviceInfo(same));
        QCOMPARE(spy.count(), 0);
        same.insert(QStringLiteral("nr"), QSize(1024, 680));
        QVERIFY(settings->set_deviceInfo(same));
        QCOMPARE(spy.count(), 1);
    }

    void instanceIsSharedWhileAlive()
    {
        QObject firstOwner;
        QObject secondOwner;
        QPointer<GlobalSettings> first = GlobalSettings::instance(&firstOwner);
        QCOMPARE(first->parent(), &firstOwner);
        QCOMPARE(GlobalSettings::instance(&secondOwner), first.data());
        QCOMPARE(first->parent(), &firstOwner);
        first->set_videoFps(15.0);

        delete first;
        QVERIFY2(store().allKeys().isEmpty(), "only saveSettings() writes the store");
        {
            QSettings settings = store();
            settings.setValue(QStringLiteral("videoFps"), 24.0);
        }
        GlobalSettings *second = GlobalSettings::instance(&secondOwner);
        QVERIFY(second != nullptr);
        QCOMPARE(second->parent(), &secondOwner);
        QCOMPARE(second->get_videoFps(), 24.0);
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], dumpArgument) == 0) {
        return dumpSettings(argc, argv);
    }
    // The cases wipe the store: keep them away from the user's own, also when run by hand.
    // The second process inherits the location.
    QTemporaryDir configHome;
    if (!configHome.isValid() || !qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit())) {
        return 1;
    }
    QCoreApplication app(argc, argv);
    GlobalSettingsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_GlobalSettings.moc"
