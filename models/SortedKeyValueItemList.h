#pragma once

#include <QCollator>
#include <QSortFilterProxyModel>
#include <QString>

class KeyValueItem;
class KeyValueItemList;

// A filtered, sorted view of a KeyValueItemList: rows whose label contains the search
// pattern, ordered by label, value or age.
class SortedKeyValueItemList : public QSortFilterProxyModel
{
    Q_OBJECT
    Q_PROPERTY(
        QString searchPattern READ get_searchPattern WRITE set_searchPattern NOTIFY searchPatternChanged)
    Q_PROPERTY(
        SortedKeyValueItemList::SortType sortType READ get_sortType WRITE set_sortType NOTIFY sortTypeChanged)
    Q_PROPERTY(bool sortAscending READ get_sortAscending WRITE set_sortAscending NOTIFY sortAscendingChanged)

public:
    enum SortType
    {
        ST_Name = 0,
        ST_Value = 1,
        ST_Order = 2
    };
    Q_ENUM(SortType)

    explicit SortedKeyValueItemList(QObject *parent = nullptr);

    QString get_searchPattern() const { return searchPattern; }
    SortType get_sortType() const { return sortType; }
    bool get_sortAscending() const { return sortAscending; }

    void setSourceModel(QAbstractItemModel *model) override;

    // The source list's item shown at proxy row `idx`, or null.
    Q_INVOKABLE KeyValueItem *get(int idx) const;

signals:
    void searchPatternChanged(QString searchPattern);
    // Qualified: the name must match the registered enum type.
    void sortTypeChanged(SortedKeyValueItemList::SortType sortType);
    void sortAscendingChanged(bool sortAscending);

public slots:
    bool set_searchPattern(QString searchPattern);
    bool set_sortType(SortedKeyValueItemList::SortType sortType);
    bool set_sortAscending(bool sortAscending);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    KeyValueItemList *sourceList() const;
    KeyValueItem *sourceItem(int sourceRow) const;
    void useRolesOfSortType();

    QString searchPattern;
    SortType sortType = ST_Name;
    bool sortAscending = true;
    QCollator collator;
};
