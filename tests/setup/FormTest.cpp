// The settings form as designed: widget tree, texts, ranges, fonts and keyboard order.
#include "ui_MainWindow.h"

#include <QLayout>
#include <QMainWindow>
#include <QSpacerItem>
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
    void layoutTree();
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

void FormTest::layoutTree()
{
    QCOMPARE(window->centralWidget(), form->centralwidget);
    QCOMPARE(window->menuBar(), form->menubar);
    QVERIFY(form->menubar->actions().isEmpty());
    QCOMPARE(window->statusBar(), form->statusbar);

    // Central column, top to bottom.
    QLayout *column = form->centralwidget->layout();
    QCOMPARE(column->objectName(), QStringLiteral("verticalLayout"));
    QVERIFY(qobject_cast<QVBoxLayout *>(column));
    QCOMPARE(column->count(), 5);
    QCOMPARE(column->itemAt(0)->widget(), form->groupBox);
    QCOMPARE(column->itemAt(1)->widget(), form->widgetSpecialOptions);
    QSpacerItem *spacer = column->itemAt(2)->spacerItem();
    QVERIFY(spacer != nullptr);
    QCOMPARE(spacer->sizeHint(), QSize(20, 60));
    QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(column->itemAt(3)->widget(), form->widget);
    QCOMPARE(column->itemAt(4)->widget(), form->label_5);

    // The special-options area is reserved and empty.
    QVERIFY(form->widgetSpecialOptions->layout() == nullptr);
    QVERIFY(form->widgetSpecialOptions->children().isEmpty());

    // Grid cells: widget, row, column, row span, column span.
    auto *grid = qobject_cast<QGridLayout *>(form->groupBox->layout());
    QVERIFY(grid != nullptr);
    QCOMPARE(grid->objectName(), QStringLiteral("gridLayout"));
    const struct
    {
        QWidget *widget;
        int row, column, columnSpan;
    } cells[] = {
        {form->label, 0, 0, 1},
        {form->cboCamera, 0, 1, 1},
        {form->btnRefreshCameraList, 0, 2, 1},
        {form->label_2, 1, 0, 1},
        {form->edtFps, 1, 1, 2},
        {form->cbxCustomResolution, 2, 0, 1},
        {form->widget_2, 2, 1, 2},
        {form->cbxQueryVfResolution, 3, 0, 3},
    };
    for (const auto &cell : cells) {
        const int index = grid->indexOf(cell.widget);
        QVERIFY2(index >= 0, qPrintable(cell.widget->objectName()));
        int row = -1, column = -1, rowSpan = -1, columnSpan = -1;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(row, cell.row);
        QCOMPARE(column, cell.column);
        QCOMPARE(rowSpan, 1);
        QCOMPARE(columnSpan, cell.columnSpan);
    }
    const QSizePolicy comboPolicy = form->cboCamera->sizePolicy();
    QCOMPARE(comboPolicy.horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(comboPolicy.verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(comboPolicy.horizontalStretch(), 0);
    QCOMPARE(comboPolicy.verticalStretch(), 0);

    // The size row: width, height, then a spacer that keeps the boxes together.
    QLayout *sizeRow = form->widget_2->layout();
    QCOMPARE(sizeRow->objectName(), QStringLiteral("horizontalLayout_2"));
    QCOMPARE(sizeRow->count(), 5);
    QCOMPARE(sizeRow->itemAt(0)->widget(), form->label_3);
    QCOMPARE(sizeRow->itemAt(1)->widget(), form->edtWidth);
    QCOMPARE(sizeRow->itemAt(2)->widget(), form->label_4);
    QCOMPARE(sizeRow->itemAt(3)->widget(), form->edtHeight);
    QVERIFY(sizeRow->itemAt(4)->spacerItem() != nullptr);
    QCOMPARE(sizeRow->itemAt(4)->spacerItem()->sizeHint(), QSize(40, 20));

    // The button row: the two buttons centred between two spacers.
    QLayout *buttonRow = form->widget->layout();
    QCOMPARE(buttonRow->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(buttonRow->count(), 4);
    QCOMPARE(buttonRow->itemAt(0)->spacerItem()->sizeHint(), QSize(196, 20));
    QCOMPARE(buttonRow->itemAt(1)->widget(), form->btnApplySettings);
    QCOMPARE(buttonRow->itemAt(2)->widget(), form->btnWebsite);
    QCOMPARE(buttonRow->itemAt(3)->spacerItem()->sizeHint(), QSize(196, 20));
    QCOMPARE(buttonRow->itemAt(3)->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
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
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    const QStringList expected = {
        QStringLiteral("cboCamera"),        QStringLiteral("btnRefreshCameraList"),
        QStringLiteral("edtFps"),           QStringLiteral("cbxCustomResolution"),
        QStringLiteral("edtWidth"),         QStringLiteral("edtHeight"),
        QStringLiteral("btnApplySettings"), QStringLiteral("btnWebsite"),
    };
    form->cboCamera->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::focusWidget(), static_cast<QWidget *>(form->cboCamera), 10000);

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
#include "FormTest.moc"
