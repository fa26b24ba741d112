#include "models/KeyValueItem.h"
#include "models/KeyValueItemList.h"
#include "models/QQmlObjectListModel.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// An item whose property names collide with names that views reserve.
class IndexedItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int index READ get_index CONSTANT)
    Q_PROPERTY(QString name READ get_name CONSTANT)

public:
    int get_index() const { return 0; }
    QString get_name() const { return QString(); }
};

namespace {
using KeyValueModel = QQmlObjectListModel<KeyValueItem>;

QStringList labels(const QQmlObjectListModelBase &model)
{
    QStringList result;
    for (int row = 0; row < model.rowCount(); ++row) {
        result << model.get(row)->property("label").toString();
    }
    return result;
}

void fill(KeyValueModel &model, const QStringList &names)
{
    for (const QString &name : names) {
        model.append(new KeyValueItem(name, name));
    }
}

void setLabel(KeyValueItem *item, const QString &label)
{
    QVERIFY(QMetaObject::invokeMethod(item, "set_label", Q_ARG(QString, label)));
}

// Runs the deletions that deleteLater() scheduled, without waiting for anything else.
void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Every signal a view could see from the model.
struct ModelSignals
{
    explicit ModelSignals(QAbstractItemModel *model)
        : inserted(model, &QAbstractItemModel::rowsInserted),
          removed(model, &QAbstractItemModel::rowsRemoved), moved(model, &QAbstractItemModel::rowsMoved),
          changed(model, &QAbstractItemModel::dataChanged), reset(model, &QAbstractItemModel::modelReset),
          count(model, SIGNAL(countChanged()))
    {
    }
    int total() const
    {
        return inserted.count() + removed.count() + moved.count() + changed.count() + reset.count() +
               count.count();
    }
    QSignalSpy inserted, removed, moved, changed, reset, count;
};
} // namespace

class ObjectListModelTest : public QObject
{
    Q_OBJECT

private slots:
    void rolesFollowTheItemProperties()
    {
        KeyValueModel model;
        const QHash<int, QByteArray> expected{{0x100, "qtObject"}, {0x101, "objectName"},
                                              {0x102, "label"},    {0x103, "value"},
                                              {0x104, "checked"},  {0x105, "insertionOrder"}};
        QCOMPARE(model.roleNames(), expected);
        QCOMPARE(model.roleForName("checked"), 0x104);
        QCOMPARE(model.roleForName("Checked"), -1);

        KeyValueModel withDisplay(nullptr, "label");
        QCOMPARE(withDisplay.roleNames().value(Qt::DisplayRole), QByteArray("display"));
        withDisplay.append(new KeyValueItem(QStringLiteral("EOS 90D"), 1));
        QCOMPARE(withDisplay.data(withDisplay.index(0), Qt::DisplayRole),
                 QVariant(QStringLiteral("EOS 90D")));
        QCOMPARE(withDisplay.data(withDisplay.index(0), 0x100).value<QObject *>(), withDisplay.get(0));
        QVERIFY(!withDisplay.data(withDisplay.index(1), 0x102).isValid());
        QVERIFY(!withDisplay.data(withDisplay.index(0), 0x1ff).isValid());
    }

    void reservedPropertyNamesGetNoRole()
    {
        const char *warning = "Can't have \"index\" as a role name in QQmlObjectListModel<IndexedItem>";
        QTest::ignoreMessage(QtWarningMsg, warning);
        QQmlObjectListModel<IndexedItem> first;
        QTest::ignoreMessage(QtWarningMsg, warning);
        QQmlObjectListModel<IndexedItem> second;
        const QHash<int, QByteArray> expected{{0x100, "qtObject"}, {0x101, "objectName"}, {0x103, "name"}};
        QCOMPARE(first.roleNames(), expected);
        QCOMPARE(second.roleForName("index"), -1);
    }

    void itemChangesBecomeDataChanged()
    {
        KeyValueModel model(nullptr, "label");
        fill(model, {QStringLiteral("A"), QStringLiteral("B")});
        auto *second = static_cast<KeyValueItem *>(model.get(1));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

        second->set_checked(true);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(1));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), model.index(1));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{0x104});

        // The display role follows the label it shows.
        setLabel(second, QStringLiteral("C"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.at(1).at(2).value<QVector<int>>(), (QVector<int>{0x102, Qt::DisplayRole}));

        // Removed items no longer report.
        QPointer<KeyValueItem> taken = second;
        model.remove(1);
        if (taken) {
            taken->set_checked(false);
        }
        QCOMPARE(changed.count(), 2);
    }

    void uidIndexTracksItems()
    {
        KeyValueModel model(nullptr, QByteArray(), "label");
        fill(model, {QStringLiteral("A"), QStringLiteral("B")});
        auto *first = static_cast<KeyValueItem *>(model.get(0));
        QCOMPARE(model.get(QStringLiteral("A")), first);
        setLabel(first, QStringLiteral("Z"));
        QCOMPARE(model.get(QStringLiteral("A")), nullptr);
        QCOMPARE(model.get(QStringLiteral("Z")), first);
        model.remove(0);
        QCOMPARE(model.get(QStringLiteral("Z")), nullptr);
        QCOMPARE(model.get(QStringLiteral("B")), model.get(0));
    }

    void insertionsAnnounceRowsAndCount()
    {
        KeyValueModel model;
        ModelSignals spies(&model);
        model.append(new KeyValueItem(QStringLiteral("B"), 0));
        model.prepend(new KeyValueItem(QStringLiteral("A"), 0));
        model.insert(2, new KeyValueItem(QStringLiteral("D"), 0));
        model.insert(2, QList<KeyValueItem *>{new KeyValueItem(QStringLiteral("C"), 0), nullptr});
        model.append(QList<KeyValueItem *>{nullptr});
        QCOMPARE(labels(model), (QStringList{"A", "B", "C", "D"}));
        QCOMPARE(spies.inserted.count(), 4);
        QCOMPARE(spies.inserted.at(3).at(1).toInt(), 2);
        QCOMPARE(spies.inserted.at(3).at(2).toInt(), 2);
        QCOMPARE(spies.count.count(), 4);
        QCOMPARE(model.count(), 4);
    }

    void rejectedInsertionsChangeNothing()
    {
        KeyValueModel model;
        fill(model, {QStringLiteral("A")});
        ModelSignals spies(&model);
        QObject foreign;
        auto *outside = new KeyValueItem(QStringLiteral("X"), 0, &foreign);
        model.append(static_cast<KeyValueItem *>(nullptr));
        model.appendObject(new QObject(&foreign));
        model.insert(-1, outside);
        model.insert(2, outside);
        model.insert(5, QList<KeyValueItem *>{outside});
        model.append(QList<KeyValueItem *>());
        QCOMPARE(spies.total(), 0);
        QCOMPARE(labels(model), QStringList{"A"});
        QCOMPARE(outside->parent(), &foreign);
    }

    void countLagsInsideViewNotifications()
    {
        KeyValueModel model;
        QList<QPair<int, int>> seen; // (count, rowCount) as a view sees them
        connect(&model, &QAbstractItemModel::rowsInserted, &model, [&] {
            seen.append({model.count(), model.rowCount()});
        });
        connect(&model, &QAbstractItemModel::rowsRemoved, &model, [&] {
            seen.append({model.count(), model.rowCount()});
        });
        fill(model, {QStringLiteral("A")});
        model.remove(0);
        QCOMPARE(seen, (QList<QPair<int, int>>{{0, 1}, {1, 0}}));
        QCOMPARE(model.count(), 0);
        QCOMPARE(model.size(), 0);
    }

    void moveBothWays()
    {
        KeyValueModel model;
        fill(model, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        QPointer<QObject> movedItem = model.get(0);
        {
            ModelSignals spies(&model);
            model.move(0, 2);
            QCOMPARE(labels(model), (QStringList{"B", "C", "A"}));
            QCOMPARE(spies.removed.count(), 1);
            QCOMPARE(spies.inserted.count(), 1);
            QCOMPARE(spies.count.count(), 2);
        }
        runDeferredDeletes();
        QVERIFY(movedItem);
        QCOMPARE(movedItem->parent(), &model);

        ModelSignals spies(&model);
        model.move(2, 0);
        QCOMPARE(labels(model), (QStringList{"A", "B", "C"}));
        QCOMPARE(spies.moved.count(), 1);
        QCOMPARE(spies.moved.at(0).at(1).toInt(), 2);
        QCOMPARE(spies.moved.at(0).at(4).toInt(), 0);
        QCOMPARE(spies.total(), 1);

        model.move(1, 1);
        model.move(3, 0);
        model.move(0, 3);
        model.move(-1, 0);
        QCOMPARE(spies.total(), 1);
        QCOMPARE(labels(model), (QStringList{"A", "B", "C"}));
    }

    void movingForwardKeepsAForeignOwner()
    {
        KeyValueModel model;
        QObject owner;
        QPointer<KeyValueItem> owned = new KeyValueItem(QStringLiteral("A"), 0, &owner);
        model.append(owned.data());
        fill(model, {QStringLiteral("B")});
        model.move(0, 1);
        QCOMPARE(labels(model), (QStringList{"B", "A"}));
        QCOMPARE(owned->parent(), &owner);
        model.clear();
        runDeferredDeletes();
        QVERIFY(owned);
    }

    void removalsOfAbsentRowsAreSilent()
    {
        KeyValueModel model;
        KeyValueModel other;
        fill(model, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")});
        fill(other, {QStringLiteral("X")});
        ModelSignals spies(&model);
        model.remove(5);
        model.remove(-1);
        model.removeObject(other.get(0));
        model.removeObject(nullptr);
        model.remove(static_cast<KeyValueItem *>(nullptr));
        QCOMPARE(spies.total(), 0);
        QCOMPARE(model.rowCount(), 3);

        KeyValueModel empty;
        ModelSignals emptySpies(&empty);
        QSignalSpy aboutToRemove(&empty, &QAbstractItemModel::rowsAboutToBeRemoved);
        empty.clear();
        QCOMPARE(emptySpies.total() + aboutToRemove.count(), 0);
        QCOMPARE(empty.getFirst(), nullptr);
        QCOMPARE(empty.getLast(), nullptr);
    }

    void modelDeletesOnlyItsOwnItems()
    {
        QObject owner;
        QPointer<KeyValueItem> foreignItem = new KeyValueItem(QStringLiteral("F"), 0, &owner);
        QPointer<KeyValueItem> removed = new KeyValueItem(QStringLiteral("R"), 0);
        QPointer<KeyValueItem> cleared = new KeyValueItem(QStringLiteral("C"), 0);
        QPointer<KeyValueItem> kept = new KeyValueItem(QStringLiteral("K"), 0);
        auto model = std::make_unique<KeyValueModel>();
        model->append(QList<KeyValueItem *>{foreignItem, removed, cleared});
        QCOMPARE(removed->parent(), model.get());
        QCOMPARE(foreignItem->parent(), &owner);

        model->remove(removed.data());
        QVERIFY(removed); // deferred, so views can still read it during the removal
        QTRY_VERIFY_WITH_TIMEOUT(removed.isNull(), 300000);

        model->clear();
        QTRY_VERIFY_WITH_TIMEOUT(cleared.isNull(), 300000);
        runDeferredDeletes();
        QVERIFY(foreignItem);
        QCOMPARE(foreignItem->parent(), &owner);

        model->append(kept.data());
        model.reset();
        QVERIFY(kept.isNull());
        QVERIFY(foreignItem);
    }

    void itemDeletedElsewhereLeavesTheList()
    {
        KeyValueModel model(nullptr, QByteArray(), "label");
        QObject owner;
        auto *foreignItem = new KeyValueItem(QStringLiteral("F"), 0, &owner);
        fill(model, {QStringLiteral("A")});
        model.append(foreignItem);
        ModelSignals spies(&model);
        delete foreignItem;
        QCOMPARE(spies.removed.count(), 1);
        QCOMPARE(spies.count.count(), 1);
        QCOMPARE(labels(model), QStringList{"A"});
        QCOMPARE(model.get(QStringLiteral("F")), nullptr);
    }

    void itemListedTwiceSurvivesLosingOneRow()
    {
        KeyValueModel model;
        auto *item = new KeyValueItem(QStringLiteral("A"), 0);
        model.append(item);
        model.append(item);
        model.remove(0);
        runDeferredDeletes();
        QCOMPARE(model.get(0), item);
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        item->set_checked(true);
        QCOMPARE(changed.count(), 1);
    }

    void varArrayHoldsTypedItems()
    {
        KeyValueModel model;
        fill(model, {QStringLiteral("A"), QStringLiteral("B")});
        const QVariantList array = model.toVarArray();
        QCOMPARE(array.size(), 2);
        for (int row = 0; row < 2; ++row) {
            QCOMPARE(QByteArray(array.at(row).typeName()), QByteArray("KeyValueItem*"));
            QCOMPARE(array.at(row).value<KeyValueItem *>(), model.get(row));
        }
    }
};

QTEST_GUILESS_MAIN(ObjectListModelTest)
#include "tst_ObjectListModel.moc"
