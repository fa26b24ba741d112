#include "models/KeyValueItem.h"
#include "models/KeyValueItemList.h"
#include "models/SortedKeyValueItemList.h"

#include <QSignalSpy>
#include <QSize>
#include <QTest>

namespace {
QVariantMap camera(const QString &name, const QString &port)
{
    return QVariantMap{
        {QStringLiteral("cn"), name}, {QStringLiteral("cp"), port}, {QStringLiteral("nr"), QSize(960, 640)}};
}

QStringList proxyLabels(const SortedKeyValueItemList &proxy)
{
    QStringList result;
    for (int row = 0; row < proxy.rowCount(); ++row) {
        result << proxy.get(row)->get_label();
    }
    return result;
}
} // namespace

class KeyValueItemListTest : public QObject
{
    Q_OBJECT

private slots:
    void itemsAreNumberedInConstructionOrder()
    {
        KeyValueItemList first;
        KeyValueItemList second;
        auto *a = new KeyValueItem(QStringLiteral("a"), 1);
        auto *b = new KeyValueItem(QStringLiteral("b"), 2);
        auto *c = new KeyValueItem(QStringLiteral("c"), 3);
        second.append(c);
        first.append(a);
        second.append(b);
        QCOMPARE(b->get_insertionOrder(), a->get_insertionOrder() + 1);
        QCOMPARE(c->get_insertionOrder(), b->get_insertionOrder() + 1);
        QCOMPARE(first.data(first.index(0), 0x105), QVariant(a->get_insertionOrder()));
    }

    // A combo box reads the text of the first row while reacting to its insertion.
    void displaysLabelsAlsoDuringInsertion()
    {
        KeyValueItemList list;
        QVERIFY(!list.roleNames().contains(Qt::DisplayRole));
        QVariant seen;
        connect(&list, &QAbstractItemModel::rowsInserted, &list, [&](const QModelIndex &, int first) {
            seen = list.data(list.index(first), Qt::DisplayRole);
        });
        list.append(new KeyValueItem(QStringLiteral("EOS R5"), 1));
        QCOMPARE(seen, QVariant(QStringLiteral("EOS R5")));
        QCOMPARE(list.data(list.index(0), Qt::DisplayRole), seen);
        QVERIFY(!list.data(list.index(1), Qt::DisplayRole).isValid());
    }

    void findsValues_data()
    {
        QTest::addColumn<QVariantList>("values");
        QTest::addColumn<QVariant>("wanted");
        QTest::addColumn<int>("row");
        const QVariant r5 = camera(QStringLiteral("EOS R5"), QStringLiteral("usb:1"));
        const QVariant r6 = camera(QStringLiteral("EOS R6"), QStringLiteral("usb:2"));
        QTest::newRow("empty list") << QVariantList() << r5 << -1;
        QTest::newRow("single") << QVariantList{r5} << r5 << 0;
        QTest::newRow("duplicates give the lower row") << QVariantList{r6, r5, r5} << r5 << 1;
        QTest::newRow("map built anew")
            << QVariantList{r5, r6} << QVariant(camera(QStringLiteral("EOS R6"), QStringLiteral("usb:2")))
            << 1;
        QTest::newRow("other port") << QVariantList{r5}
                                    << QVariant(camera(QStringLiteral("EOS R5"), QStringLiteral("usb:9")))
                                    << -1;
        QTest::newRow("invalid") << QVariantList{r5} << QVariant() << -1;
    }

    void findsValues()
    {
        QFETCH(QVariantList, values);
        QFETCH(QVariant, wanted);
        QFETCH(int, row);
        KeyValueItemList list;
        for (const QVariant &value : values) {
            list.append(new KeyValueItem(value.toMap().value(QStringLiteral("cn")).toString(), value));
        }
        QCOMPARE(list.getIndexOfValue(wanted), row);
        QCOMPARE(list.getItemForValue(wanted), row >= 0 ? list.get(row) : nullptr);
    }

    void proxyFiltersByLabel_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("empty shows all") << QString() << QStringList{"Alpha", "beta", "Gamma"};
        QTest::newRow("ignores case") << QStringLiteral("AL") << QStringList{"Alpha"};
        QTest::newRow("inside the label") << QStringLiteral("mm") << QStringList{"Gamma"};
        QTest::newRow("no match") << QStringLiteral("delta") << QStringList();
    }

    void proxyFiltersByLabel()
    {
        QFETCH(QString, pattern);
        QFETCH(QStringList, shown);
        KeyValueItemList list;
        for (const char *label : {"beta", "Gamma", "Alpha"}) {
            list.append(new KeyValueItem(QString::fromLatin1(label), 0));
        }
        SortedKeyValueItemList proxy;
        proxy.setSourceModel(&list);
        QSignalSpy spy(&proxy, &SortedKeyValueItemList::searchPatternChanged);
        QCOMPARE(proxy.set_searchPattern(pattern), !pattern.isEmpty());
        QCOMPARE(spy.count(), pattern.isEmpty() ? 0 : 1);
        QCOMPARE(proxyLabels(proxy), shown);
        QCOMPARE(proxy.get(shown.size()), nullptr);
    }

    void proxySorts_data()
    {
        QTest::addColumn<int>("sortType");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QStringList>("order");
        // Items are made as beta(value "3"), Gamma("1"), alpha("2").
        QTest::newRow("name") << int(SortedKeyValueItemList::ST_Name) << true
                              << QStringList{"alpha", "beta", "Gamma"};
        QTest::newRow("name descending")
            << int(SortedKeyValueItemList::ST_Name) << false << QStringList{"Gamma", "beta", "alpha"};
        QTest::newRow("value") << int(SortedKeyValueItemList::ST_Value) << true
                               << QStringList{"Gamma", "alpha", "beta"};
        QTest::newRow("order") << int(SortedKeyValueItemList::ST_Order) << true
                               << QStringList{"beta", "Gamma", "alpha"};
        QTest::newRow("order descending")
            << int(SortedKeyValueItemList::ST_Order) << false << QStringList{"alpha", "Gamma", "beta"};
    }

    void proxySorts()
    {
        QFETCH(int, sortType);
        QFETCH(bool, ascending);
        QFETCH(QStringList, order);
        KeyValueItemList list;
        list.append(new KeyValueItem(QStringLiteral("beta"), QStringLiteral("3")));
        list.append(new KeyValueItem(QStringLiteral("Gamma"), 1));
        list.append(new KeyValueItem(QStringLiteral("alpha"), QStringLiteral("2")));
        SortedKeyValueItemList proxy;
        proxy.setSourceModel(&list);
        QSignalSpy typeSpy(&proxy, &SortedKeyValueItemList::sortTypeChanged);
        QSignalSpy ascendingSpy(&proxy, &SortedKeyValueItemList::sortAscendingChanged);
        const auto type = static_cast<SortedKeyValueItemList::SortType>(sortType);
        QCOMPARE(proxy.set_sortType(type), type != SortedKeyValueItemList::ST_Name);
        QCOMPARE(proxy.set_sortAscending(ascending), !ascending);
        QCOMPARE(typeSpy.count(), int(type != SortedKeyValueItemList::ST_Name));
        QCOMPARE(ascendingSpy.count(), int(!ascending));
        if (!typeSpy.isEmpty()) {
            QCOMPARE(typeSpy.at(0).at(0).value<SortedKeyValueItemList::SortType>(), type);
        }
        QCOMPARE(proxyLabels(proxy), order);
    }

    void proxyFollowsSourceChanges()
    {
        KeyValueItemList list;
        SortedKeyValueItemList proxy;
        proxy.setSourceModel(&list);
        proxy.set_searchPattern(QStringLiteral("eos"));
        list.append(new KeyValueItem(QStringLiteral("EOS R6"), 0));
        list.append(new KeyValueItem(QStringLiteral("PowerShot"), 0));
        list.append(new KeyValueItem(QStringLiteral("EOS 90D"), 0));
        QCOMPARE(proxyLabels(proxy), (QStringList{"EOS 90D", "EOS R6"}));
        QVERIFY(
            QMetaObject::invokeMethod(list.get(1), "set_label", Q_ARG(QString, QStringLiteral("EOS M50"))));
        QCOMPARE(proxyLabels(proxy), (QStringList{"EOS 90D", "EOS M50", "EOS R6"}));
        list.remove(0);
        QCOMPARE(proxyLabels(proxy), (QStringList{"EOS 90D", "EOS M50"}));
    }

    void proxyWithoutListIsEmpty()
    {
        SortedKeyValueItemList proxy;
        QCOMPARE(proxy.get(0), nullptr);
        const QMetaObject &meta = SortedKeyValueItemList::staticMetaObject;
        const QMetaEnum sortType = meta.enumerator(meta.indexOfEnumerator("SortType"));
        QCOMPARE(sortType.keyToValue("ST_Order"), 2);
        QVERIFY(proxy.setProperty("sortType", QVariant::fromValue(SortedKeyValueItemList::ST_Value)));
        QCOMPARE(proxy.get_sortType(), SortedKeyValueItemList::ST_Value);
    }
};

QTEST_GUILESS_MAIN(KeyValueItemListTest)
#include "tst_KeyValueItemList.moc"
