#include "models/SortedKeyValueItemList.h"

#include "models/KeyValueItemList.h"

SortedKeyValueItemList::SortedKeyValueItemList(QObject *parent) : QSortFilterProxyModel(parent)
{
    // Registered by name so that queued connections and spies can carry the enum.
    qRegisterMetaType<SortedKeyValueItemList::SortType>();
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    sort(0, Qt::AscendingOrder);
}

void SortedKeyValueItemList::setSourceModel(QAbstractItemModel *model)
{
    QSortFilterProxyModel::setSourceModel(model);
    useRolesOfSortType();
    invalidate();
}

KeyValueItem *SortedKeyValueItemList::get(int idx) const
{
    const QModelIndex source = mapToSource(index(idx, 0, QModelIndex()));
    return source.isValid() ? sourceItem(source.row()) : nullptr;
}

bool SortedKeyValueItemList::set_searchPattern(QString searchPattern)
{
    if (this->searchPattern == searchPattern) {
        return false;
    }
    this->searchPattern = searchPattern;
    invalidateFilter();
    emit searchPatternChanged(searchPattern);
    return true;
}

bool SortedKeyValueItemList::set_sortType(SortedKeyValueItemList::SortType sortType)
{
    if (static_cast<int>(this->sortType) == static_cast<int>(sortType)) {
        return false;
    }
    this->sortType = sortType;
    useRolesOfSortType();
    invalidate();
    emit sortTypeChanged(sortType);
    return true;
}

bool SortedKeyValueItemList::set_sortAscending(bool sortAscending)
{
    if (this->sortAscending == sortAscending) {
        return false;
    }
    this->sortAscending = sortAscending;
    sort(0, sortAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    emit sortAscendingChanged(sortAscending);
    return true;
}

bool SortedKeyValueItemList::filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const
{
    Q_UNUSED(sourceParent);
    if (searchPattern.isEmpty()) {
        return true;
    }
    const KeyValueItem *item = sourceItem(sourceRow);
    return item != nullptr && item->get_label().contains(searchPattern, Qt::CaseInsensitive);
}

bool SortedKeyValueItemList::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    const KeyValueItem *a = sourceItem(left.row());
    const KeyValueItem *b = sourceItem(right.row());
    if (a == nullptr || b == nullptr) {
        return QSortFilterProxyModel::lessThan(left, right);
    }
    int order = 0;
    switch (sortType) {
    case ST_Name:
        order = collator.compare(a->get_label(), b->get_label());
        break;
    case ST_Value:
        order = collator.compare(a->get_value().toString(), b->get_value().toString());
        break;
    case ST_Order:
        break;
    }
    // Equal keys keep their age order, so the result does not depend on the input order.
    return order != 0 ? order < 0 : a->get_insertionOrder() < b->get_insertionOrder();
}

KeyValueItemList *SortedKeyValueItemList::sourceList() const
{
    return qobject_cast<KeyValueItemList *>(sourceModel());
}

KeyValueItem *SortedKeyValueItemList::sourceItem(int sourceRow) const
{
    const KeyValueItemList *list = sourceList();
    return list != nullptr ? qobject_cast<KeyValueItem *>(list->get(sourceRow)) : nullptr;
}

void SortedKeyValueItemList::useRolesOfSortType()
{
    // Point the proxy at the roles that drive filter and order, so that a change of
    // an item's label or value re-filters and re-sorts at once.
    const KeyValueItemList *list = sourceList();
    if (list == nullptr) {
        return;
    }
    setFilterRole(list->roleForName(QByteArrayLiteral("label")));
    switch (sortType) {
    case ST_Name:
        setSortRole(list->roleForName(QByteArrayLiteral("label")));
        break;
    case ST_Value:
        setSortRole(list->roleForName(QByteArrayLiteral("value")));
        break;
    case ST_Order:
        setSortRole(list->roleForName(QByteArrayLiteral("insertionOrder")));
        break;
    }
}
