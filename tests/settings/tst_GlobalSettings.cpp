#include "settings/GlobalSettings.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDataStream>
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

    void handMadeValuesLoadConverted_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("loaded");
        QTest::newRow("fps as text") << "videoFps" << QVariant(QStringLiteral("25")) << "videoFps"
                                     << QVariant(25.0);
        QTest::newRow("fps zero kept") << "videoFps" << QVariant(0) << "videoFps" << QVariant(0.0);
        QTest::newRow("fps garbage") << "videoFps" << QVariant(QStringLiteral("fast")) << "videoFps"
                                     << QVariant(0.0);
        QTest::newRow("size garbage")
            << "videoResolution" << QVariant(QStringLiteral("big")) << "videoResolution" << QVariant(QSize());
        QTest::newRow("map garbage") << "deviceInfo" << QVariant(42) << "deviceInfo"
                                     << QVariant(QVariantMap());
        QTest::newRow("version") << "lastAppVersion" << QVariant(7) << "lastAppVersion" << QVariant(7);
        QTest::newRow("window pos") << "desktopMainWindowPos" << QVariant(QPoint(10, 20))
                                    << "desktopMainWindowPos" << QVariant(QPoint(10, 20));
    }

    void handMadeValuesLoadConverted()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(QString, property);
        QFETCH(QVariant, loaded);
        {
            QSettings settings = store();
            settings.setValue(key, stored);
        }
        QCOMPARE(loadedProperties().value(property), loaded);
    }

    void saveRewritesTheWholeStore()
    {
        {
            QSettings settings = store();
            settings.setValue(QStringLiteral("leftover"), QStringLiteral("from an older version"));
            settings.setValue(QStringLiteral("lastAppVersion"), 12);
        }
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QVERIFY(settings->set_videoFps(25.0));
        settings->saveSettings();
        settings->saveSettings();

        QSettings saved = store();
        QCOMPARE(saved.allKeys().size(), 9);
        QVERIFY(!saved.contains(QStringLiteral("leftover")));
        QCOMPARE(saved.value(QStringLiteral("lastAppVersion")), QVariant(12));
        QCOMPARE(saved.value(QStringLiteral("videoFps")), QVariant(25.0));
        // A store that never had window keys gets the load defaults written back.
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowSize")), QVariant(QSize(0, 0)));
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowPos")), QVariant(QPoint(-1, -1)));
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowMaximized")).toBool(), false);
    }

    void untouchedWindowKeysSurviveSaves()
    {
        {
            QSettings settings = store();
            settings.setValue(QStringLiteral("desktopMainWindowPos"), QPoint(300, -20));
            settings.setValue(QStringLiteral("desktopMainWindowSize"), QSize(800, 600));
            settings.setValue(QStringLiteral("desktopMainWindowMaximized"), true);
        }
        for (int round = 0; round < 2; ++round) {
            std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
            settings->saveSettings();
        }
        QSettings saved = store();
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowPos")), QVariant(QPoint(300, -20)));
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowSize")), QVariant(QSize(800, 600)));
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowMaximized")).toBool(), true);
    }

    void valuesAreStoredTyped()
    {
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        settings->set_videoResolution(QSize(1280, 720));
        settings->set_deviceInfo(
            camera(QStringLiteral("EOS 90D"), QStringLiteral("usb:001,004"), QSize(1024, 680)));
        settings->saveSettings();

        QSettings saved = store();
        QCOMPARE(saved.value(QStringLiteral("videoResolution")).userType(), int(QMetaType::QSize));
        QCOMPARE(saved.value(QStringLiteral("desktopMainWindowPos")).userType(), int(QMetaType::QPoint));
        const QVariant device = saved.value(QStringLiteral("deviceInfo"));
        QCOMPARE(device.userType(), int(QMetaType::QVariantMap));
        QCOMPARE(device.toMap().value(QStringLiteral("nr")).userType(), int(QMetaType::QSize));
    }

    void destroyingWritesNothing()
    {
        {
            std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
            settings->set_videoFps(12.5);
        }
        QVERIFY(store().allKeys().isEmpty());
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
        QVERIFY2(child.waitForFinished(60000), qPrintable(child.errorString()));
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

    void settersReportOnlyChanges_data()
    {
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("selectedLanguage") << QByteArray("selectedLanguage") << QVariant(QStringLiteral("fr"));
        QTest::newRow("lastAppVersion") << QByteArray("lastAppVersion") << QVariant(5);
        QTest::newRow("desktopMainWindowMaximized")
            << QByteArray("desktopMainWindowMaximized") << QVariant(true);
        QTest::newRow("desktopMainWindowSize")
            << QByteArray("desktopMainWindowSize") << QVariant(QSize(640, 480));
        QTest::newRow("desktopMainWindowPos") << QByteArray("desktopMainWindowPos") << QVariant(QPoint(4, 5));
        QTest::newRow("videoResolution") << QByteArray("videoResolution") << QVariant(QSize(640, 480));
        QTest::newRow("videoFps") << QByteArray("videoFps") << QVariant(59.94);
        QTest::newRow("customResolution") << QByteArray("customResolution") << QVariant(true);
        QTest::newRow("deviceInfo") << QByteArray("deviceInfo")
                                    << QVariant(
                                           camera(QStringLiteral("EOS M50"), QStringLiteral("p"), QSize()));
    }

    // Through the meta-object, as a form or script would; the window setters are only reachable so.
    void settersReportOnlyChanges()
    {
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        const QMetaObject *meta = settings->metaObject();
        const QMetaProperty metaProperty = meta->property(meta->indexOfProperty(property.constData()));
        const QByteArray setterName = "set_" + property;
        QMetaMethod setter;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
            if (meta->method(i).name() == setterName) {
                setter = meta->method(i);
            }
        }
        QVERIFY(setter.isValid());
        QCOMPARE(setter.parameterNames(), QList<QByteArray>{property});

        QSignalSpy changed(settings.get(), metaProperty.notifySignal());
        for (int attempt = 0; attempt < 2; ++attempt) {
            bool result = false;
            QVariant argument = value;
            QVERIFY(setter.invoke(settings.get(), Qt::DirectConnection, Q_RETURN_ARG(bool, result),
                                  QGenericArgument(argument.typeName(), argument.constData())));
            QCOMPARE(result, attempt == 0);
            QCOMPARE(changed.count(), 1);
            QCOMPARE(changed.first().first(), value);
            QCOMPARE(metaProperty.read(settings.get()), value);
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
        {
            QSettings settings = store();
            settings.setValue(QStringLiteral("videoFps"), 24.0);
        }
        GlobalSettings *second = GlobalSettings::instance(&secondOwner);
        QVERIFY(second != nullptr);
        QCOMPARE(second->parent(), &secondOwner);
        QCOMPARE(second->get_videoFps(), 24.0);
    }

    void languageChoiceIsIgnored()
    {
        std::unique_ptr<GlobalSettings> settings(GlobalSettings::instance(nullptr));
        QSignalSpy spy(settings.get(), &GlobalSettings::selectedLanguageChanged);
        settings->selectLanguage(QStringLiteral("de"));
        QCOMPARE(settings->get_selectedLanguage(), QString());
        QCOMPARE(spy.count(), 0);
    }

    void metaObjectListsTheInterfaceInOrder()
    {
        const QMetaObject &meta = GlobalSettings::staticMetaObject;
        const QStringList properties{"selectedLanguage",
                                     "lastAppVersion",
                                     "desktopMainWindowMaximized",
                                     "desktopMainWindowSize",
                                     "desktopMainWindowPos",
                                     "videoResolution",
                                     "videoFps",
                                     "customResolution",
                                     "deviceInfo"};
        QCOMPARE(meta.propertyCount() - meta.propertyOffset(), properties.size());
        QStringList signalNames;
        QStringList slotNames;
        for (int i = 0; i < properties.size(); ++i) {
            const QMetaProperty property = meta.property(meta.propertyOffset() + i);
            QCOMPARE(QString::fromLatin1(property.name()), properties.at(i));
            QCOMPARE(property.isWritable(),
                     !properties.at(i).startsWith(QLatin1String("desktopMainWindowS")) &&
                         properties.at(i) != QLatin1String("desktopMainWindowPos"));
            signalNames << properties.at(i) + QLatin1String("Changed");
            slotNames << QLatin1String("set_") + properties.at(i);
        }
        const QStringList expected =
            signalNames + slotNames + QStringList{"saveSettings", "isSandboxed", "selectLanguage"};
        QStringList methods;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            methods << QString::fromLatin1(meta.method(i).name());
        }
        QCOMPARE(methods, expected);
        const int windowSize = meta.indexOfSlot("set_desktopMainWindowSize(QSize)");
        QCOMPARE(meta.method(windowSize).access(), QMetaMethod::Protected);
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
