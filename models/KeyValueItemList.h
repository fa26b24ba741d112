#pragma once

#include "models/KeyValueItem.h"
#include "models/QQmlObjectListModel.h"

// A list of labelled values shown by their labels, e.g. the cameras of a combo box.
class KeyValueItemList : public QQmlObjectListModel<KeyValueItem>
{
    Q_OBJECT

public:
    explicit KeyValueItemList(QObject *parent = nullptr);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // First row whose item holds `value` (maps compare entry by entry), or -1.
    Q_INVOKABLE int getIndexOfValue(QVariant value) const;
    // First item holding `value`, or null.
    Q_INVOKABLE KeyValueItem *getItemForValue(QVariant value) const;
};
