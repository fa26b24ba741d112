// The settings form as designed: widget tree, texts, ranges, fonts and keyboard order.
#include "ui_MainWindow.h"

#include <QMainWindow>
#include <QtTest>

#include <memory>

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void widgetProperties_data();
    void widgetProperties();
    void fonts();
    void tabOrder();

private:
    std::unique_ptr<QMainWindow> window;
    std::unique_ptr<Ui::MainWindow> form;
};

void FormTest::init()
{
    window = std::make_unique<QMainWindow>();
    form = std::make_unique<Ui::MainWindow>();
    form->setupUi(window.get());
}

void FormTest::cleanup()
{
    form.reset();
    window.reset();
}

void FormTest::widgetProperties_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QVariant>("expected");

    auto row = [](const char *name, const char *className, const char *property, const QVariant &expected) {
        QTest::addRow("%s.%s", name, property) << QString::fromLatin1(name) << QString::fromLatin1(className)
                                               << QString::fromLatin1(property) << expected;
    };
    row("MainWindow", "QMainWindow", "size", QSize(697, 336));
    row("MainWindow", "QMainWindow", "windowTitle", QStringLiteral("MainWindow"));
    row("groupBox", "QGroupBox", "title", QStringLiteral("Camera options"));
    row("label", "QLabel", "text", QStringLiteral("Camera:"));
    row("cboCamera", "QComboBox", "count", 0);
    row("btnRefreshCameraList", "QPushButton", "text", QStringLiteral("Refresh list"));
    row("btnRefreshCameraList", "QPushButton", "enabled", true);
    row("label_2", "QLabel", "text", QStringLiteral("Target frame rate:"));
    row("edtFps", "QDoubleSpinBox", "suffix", QStringLiteral("fps"));
    row("edtFps", "QDoubleSpinBox", "minimum", 1.0);
    row("edtFps", "QDoubleSpinBox", "maximum", 99.99);
    row("edtFps", "QDoubleSpinBox", "decimals", 2);
    row("edtFps", "QDoubleSpinBox", "singleStep", 1.0);
    row("cbxCustomResolution", "QCheckBox", "text", QStringLiteral("Custom target resolution:"));
    row("label_3", "QLabel", "text", QStringLiteral("Width:"));
    row("edtWidth", "QSpinBox", "minimum", 0);
    row("edtWidth", "QSpinBox", "maximum", 10000);
    row("edtWidth", "QSpinBox", "singleStep", 1);
    row("label_4", "QLabel", "text", QStringLiteral("Height:"));
    row("edtHeight", "QSpinBox", "minimum", 0);
    row("edtHeight", "QSpinBox", "maximum", 10000);
    row("edtHeight", "QSpinBox", "singleStep", 1);
    row("cbxQueryVfResolution", "QCheckBox", "text", QStringLiteral("Query view finder resolution"));
    row("cbxQueryVfResolution", "QCheckBox", "checked", false);
    row("btnApplySettings", "QPushButton", "text", QStringLiteral("Apply settings"));
    row("btnWebsite", "QPushButton", "text", QStringLiteral("Website"));
    row("label_5", "QLabel", "text",
        QStringLiteral(
            "After changing the settings you have to restart the app which uses the DSLR as webcam."));
    row("label_5", "QLabel", "wordWrap", true);
    row("menubar", "QMenuBar", "geometry", QRect(0, 0, 697, 21));
    row("statusbar", "QStatusBar", "sizeGripEnabled", true);
}

void FormTest::widgetProperties()
{
    QFETCH(QString, objectName);
    QFETCH(QString, className);
    QFETCH(QString, property);
    QFETCH(QVariant, expected);

    QObject *object =
        objectName == window->objectName() ? window.get() : window->findChild<QObject *>(objectName);
    QVERIFY2(object != nullptr, qPrintable(objectName));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);
    const QVariant actual = object->property(property.toLatin1().constData());
    QVERIFY2(actual.isValid(), qPrintable(property));
    if (expected.userType() == QMetaType::Double)
        QVERIFY2(qFuzzyCompare(actual.toDouble(), expected.toDouble()), qPrintable(actual.toString()));
    else
        QCOMPARE(actual, expected);
}

void FormTest::fonts()
{
    for (QWidget *bold :
         {static_cast<QWidget *>(form->btnApplySettings), static_cast<QWidget *>(form->label_5)}) {
        QVERIFY2(bold->font().bold(), qPrintable(bold->objectName()));
        QCOMPARE(bold->font().weight(), 75);
        QCOMPARE(bold->font().family(), QApplication::font().family());
        QCOMPARE(bold->font().pointSizeF(), QApplication::font().pointSizeF());
    }
    QCOMPARE(form->btnWebsite->font().weight(), QApplication::font().weight());
    QVERIFY(!form->btnWebsite->font().bold());
}

void FormTest::tabOrder()
{
    window->show();
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get(), 300000));

    const QStringList expected = {
        QStringLiteral("cboCamera"),        QStringLiteral("btnRefreshCameraList"),
        QStringLiteral("edtFps"),           QStringLiteral("cbxCustomResolution"),
        QStringLiteral("edtWidth"),         QStringLiteral("edtHeight"),
        QStringLiteral("btnApplySettings"), QStringLiteral("btnWebsite"),
    };
    form->cboCamera->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), static_cast<QWidget *>(form->cboCamera), 300000);

    // Walk one full round with the Tab key; the fixed chain must appear in this order.
    QStringList visited;
    for (int step = 0; step < 20; ++step) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr);
        // Spin boxes hand their focus to their line edit.
        QWidget *owner = focus;
        while (owner != nullptr && !expected.contains(owner->objectName()) &&
               owner->objectName() != QStringLiteral("cbxQueryVfResolution"))
            owner = owner->parentWidget();
        const QString name = owner != nullptr ? owner->objectName() : focus->objectName();
        if (!visited.isEmpty() && name == visited.first())
            break;
        visited.append(name);
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    QStringList chain = visited;
    chain.removeAll(QStringLiteral("cbxQueryVfResolution"));
    QCOMPARE(chain, expected);
    QVERIFY(visited.contains(QStringLiteral("cbxQueryVfResolution")));
}

QTEST_MAIN(FormTest)
#include "tst_SetupForm.moc"
