#include "models/KeyValueItemList.h"

KeyValueItemList::KeyValueItemList(QObject *parent) : QQmlObjectListModel<KeyValueItem>(parent) {}

QVariant KeyValueItemList::data(const QModelIndex &index, int role) const
{
    // Bounded by the rows that exist, not by the announced count: a view that reads a
    // new row while reacting to its insertion must already see its label.
    if (role == Qt::DisplayRole) {
        if (const KeyValueItem *item = itemAt(index.row())) {
            return QVariant(item->get_label());
        }
    }
    return QQmlObjectListModel<KeyValueItem>::data(index, role);
}

int KeyValueItemList::getIndexOfValue(QVariant value) const
{
    for (int row = 0; row < rowCount(); ++row) {
        if (itemAt(row)->get_value() == value) {
            return row;
        }
    }
    return -1;
}

KeyValueItem *KeyValueItemList::getItemForValue(QVariant value) const
{
    const int row = getIndexOfValue(value);
    return row >= 0 ? itemAt(row) : nullptr;
}
