#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QDebug>
#include <QHash>
#include <QList>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaProperty>
#include <QSet>
#include <QVariant>
#include <QVariantList>
#include <QVector>

// A list model whose rows are QObjects and whose roles are their Qt properties,
// so views and scripts can bind to items by property name.
class QQmlObjectListModelBase : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    explicit QQmlObjectListModelBase(QObject *parent = nullptr) : QAbstractListModel(parent) {}

public slots:
    virtual int size() const = 0;
    virtual int count() const = 0;
    virtual bool isEmpty() const = 0;
    virtual bool containsObject(QObject *item) const = 0;
    virtual int indexOfObject(QObject *item) const = 0;
    virtual int roleForName(QByteArray name) const = 0;
    virtual void clear() = 0;
    virtual void appendObject(QObject *item) = 0;
    virtual void prependObject(QObject *item) = 0;
    virtual void insertObject(int idx, QObject *item) = 0;
    virtual void move(int idx, int pos) = 0;
    virtual void removeObject(QObject *item) = 0;
    virtual void remove(int idx) = 0;
    virtual QObject *get(int idx) const = 0;
    virtual QObject *get(QString uid) const = 0;
    virtual QObject *getFirst() const = 0;
    virtual QObject *getLast() const = 0;
    virtual QVariantList toVarArray() const = 0;

signals:
    void countChanged();

protected slots:
    virtual void onItemPropertyChanged() = 0;

protected:
    // Property names that views already use for their own purposes.
    static const QSet<QByteArray> &reservedRoleNames();
};

template <class ItemType> class QQmlObjectListModel : public QQmlObjectListModelBase
{
public:
    explicit QQmlObjectListModel(QObject *parent = nullptr, const QByteArray &displayRole = QByteArray(),
                                 const QByteArray &uidRole = QByteArray())
        : QQmlObjectListModelBase(parent), uidRoleName(uidRole), displayRoleName(displayRole),
          itemMetaObject(ItemType::staticMetaObject)
    {
        changeHandler = metaObject()->method(metaObject()->indexOfMethod("onItemPropertyChanged()"));
        const QSet<QByteArray> &reserved = reservedRoleNames();
        static const QString modelName =
            QStringLiteral("QQmlObjectListModel<%1>")
                .arg(QString::fromLatin1(ItemType::staticMetaObject.className()));
        if (!displayRoleName.isEmpty()) {
            roleTable.insert(Qt::DisplayRole, QByteArrayLiteral("display"));
        }
        roleTable.insert(objectRole, QByteArrayLiteral("qtObject"));
        for (int i = 0; i < itemMetaObject.propertyCount(); ++i) {
            const QMetaProperty property = itemMetaObject.property(i);
            const QByteArray name(property.name());
            const int role = objectRole + 1 + i;
            if (reserved.contains(name)) {
                qWarning() << "Can't have" << name << "as a role name in" << qPrintable(modelName);
                continue;
            }
            roleTable.insert(role, name);
            if (property.hasNotifySignal()) {
                signalRoles.insert(property.notifySignalIndex(), role);
            }
        }
        qRegisterMetaType<ItemType *>();
    }

    ~QQmlObjectListModel() override
    {
        // Items that outlive the model (foreign owners) must not call back into it.
        for (ItemType *item : qAsConst(items)) {
            disconnect(item, nullptr, this, nullptr);
        }
    }

    // QAbstractItemModel

    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        Q_UNUSED(parent);
        return items.size();
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        ItemType *item = itemAt(index.row());
        const QByteArray name = roleName(role);
        if (item == nullptr || name.isEmpty()) {
            return QVariant();
        }
        if (role == objectRole) {
            return QVariant::fromValue(static_cast<QObject *>(item));
        }
        return item->property(name.constData());
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        ItemType *item = itemAt(index.row());
        const QByteArray name = roleName(role);
        if (item == nullptr || role == objectRole || name.isEmpty()) {
            return false;
        }
        // The item's notify signal reports the change to views.
        return item->setProperty(name.constData(), value);
    }

    QHash<int, QByteArray> roleNames() const override { return roleTable; }

    // Typed operations

    void append(ItemType *item) { insert(items.size(), item); }
    void prepend(ItemType *item) { insert(0, item); }

    void insert(int idx, ItemType *item)
    {
        if (item == nullptr || idx < 0 || idx > items.size()) {
            return;
        }
        beginInsertRows(QModelIndex(), idx, idx);
        items.insert(idx, item);
        adopt(item);
        endInsertRows();
        updateCount();
    }

    void append(const QList<ItemType *> &newItems) { insert(items.size(), newItems); }
    void prepend(const QList<ItemType *> &newItems) { insert(0, newItems); }

    void insert(int idx, const QList<ItemType *> &newItems)
    {
        QList<ItemType *> accepted;
        for (ItemType *item : newItems) {
            if (item != nullptr) {
                accepted.append(item);
            }
        }
        if (accepted.isEmpty() || idx < 0 || idx > items.size()) {
            return;
        }
        beginInsertRows(QModelIndex(), idx, idx + accepted.size() - 1);
        for (int i = 0; i < accepted.size(); ++i) {
            items.insert(idx + i, accepted.at(i));
            adopt(accepted.at(i));
        }
        endInsertRows();
        updateCount();
    }

    void remove(ItemType *item)
    {
        if (item != nullptr) {
            remove(items.indexOf(item));
        }
    }

    // Slots of the base

    int size() const override { return announcedCount; }
    // The number last announced through countChanged(): inside a view's reaction to an
    // insertion or removal it still holds the old number, while rowCount() is current.
    int count() const override { return announcedCount; }
    bool isEmpty() const override { return items.isEmpty(); }

    bool containsObject(QObject *item) const override { return indexOfObject(item) >= 0; }

    int indexOfObject(QObject *item) const override
    {
        ItemType *typed = qobject_cast<ItemType *>(item);
        return typed != nullptr ? items.indexOf(typed) : -1;
    }

    int roleForName(QByteArray name) const override
    {
        for (auto it = roleTable.cbegin(); it != roleTable.cend(); ++it) {
            if (it.value() == name) {
                return it.key();
            }
        }
        return -1;
    }

    void clear() override
    {
        if (items.isEmpty()) {
            return;
        }
        beginRemoveRows(QModelIndex(), 0, items.size() - 1);
        for (ItemType *item : qAsConst(items)) {
            release(item);
        }
        items.clear();
        endRemoveRows();
        updateCount();
    }

    void appendObject(QObject *item) override { append(qobject_cast<ItemType *>(item)); }
    void prependObject(QObject *item) override { prepend(qobject_cast<ItemType *>(item)); }
    void insertObject(int idx, QObject *item) override { insert(idx, qobject_cast<ItemType *>(item)); }

    void move(int idx, int pos) override
    {
        if (idx == pos || !isRow(idx) || !isRow(pos)) {
            return;
        }
        if (pos < idx) {
            beginMoveRows(QModelIndex(), idx, idx, QModelIndex(), pos);
            items.move(idx, pos);
            endMoveRows();
            return;
        }
        // Later rows go out and back in. Detach a model-owned item first so that
        // taking it out does not schedule its deletion; a foreign owner keeps it.
        ItemType *item = items.at(idx);
        if (item->parent() == this) {
            item->setParent(nullptr);
        }
        remove(idx);
        insert(pos, item);
    }

    void removeObject(QObject *item) override { remove(qobject_cast<ItemType *>(item)); }

    void remove(int idx) override
    {
        if (!isRow(idx)) {
            return;
        }
        beginRemoveRows(QModelIndex(), idx, idx);
        ItemType *item = items.takeAt(idx);
        // An item listed twice stays adopted while one of its rows remains.
        if (!items.contains(item)) {
            release(item);
        }
        endRemoveRows();
        updateCount();
    }

    QObject *get(int idx) const override { return itemAt(idx); }
    QObject *get(QString uid) const override { return uidIndex.value(uid, nullptr); }
    QObject *getFirst() const override { return items.isEmpty() ? nullptr : items.first(); }
    QObject *getLast() const override { return items.isEmpty() ? nullptr : items.last(); }

    QVariantList toVarArray() const override
    {
        QVariantList result;
        result.reserve(items.size());
        for (ItemType *item : items) {
            result.append(QVariant::fromValue(item));
        }
        return result;
    }

protected:
    void onItemPropertyChanged() override
    {
        ItemType *item = qobject_cast<ItemType *>(sender());
        const int row = item != nullptr ? items.indexOf(item) : -1;
        const int role = signalRoles.value(senderSignalIndex(), -1);
        if (row >= 0 && role >= 0) {
            const QModelIndex changed = index(row);
            QVector<int> roles{role};
            if (roleTable.value(role) == displayRoleName) {
                roles.append(Qt::DisplayRole);
            }
            emit dataChanged(changed, changed, roles);
        }
        if (item != nullptr && !uidRoleName.isEmpty() && roleTable.value(role) == uidRoleName) {
            forgetUid(item);
            rememberUid(item);
        }
    }

    ItemType *itemAt(int row) const { return isRow(row) ? items.at(row) : nullptr; }

private:
    static constexpr int objectRole = Qt::UserRole;

    bool isRow(int row) const { return row >= 0 && row < items.size(); }

    QByteArray roleName(int role) const
    {
        return role == Qt::DisplayRole ? displayRoleName : roleTable.value(role);
    }

    void updateCount()
    {
        if (items.size() != announcedCount) {
            announcedCount = items.size();
            emit countChanged();
        }
    }

    void adopt(ItemType *item)
    {
        if (item == nullptr) {
            return;
        }
        if (item->parent() == nullptr) {
            item->setParent(this);
        }
        for (auto it = signalRoles.cbegin(); it != signalRoles.cend(); ++it) {
            connect(item, item->metaObject()->method(it.key()), this, changeHandler, Qt::UniqueConnection);
        }
        // An item deleted behind the model's back must not stay behind as a dangling row.
        connect(item, &QObject::destroyed, this, &QQmlObjectListModel::dropDestroyedItem,
                Qt::UniqueConnection);
        if (!uidRoleName.isEmpty()) {
            forgetUid(item);
            rememberUid(item);
        }
    }

    void release(ItemType *item)
    {
        if (item == nullptr) {
            return;
        }
        disconnect(this, nullptr, item, nullptr);
        disconnect(item, nullptr, this, nullptr);
        if (!uidRoleName.isEmpty()) {
            forgetUid(item);
        }
        if (item->parent() == this) {
            item->deleteLater();
        }
    }

    void forgetUid(ItemType *item)
    {
        for (auto it = uidIndex.begin(); it != uidIndex.end();) {
            if (it.value() == item) {
                it = uidIndex.erase(it);
            } else {
                ++it;
            }
        }
    }

    void rememberUid(ItemType *item)
    {
        const QString uid = item->property(uidRoleName.constData()).toString();
        if (!uid.isEmpty()) {
            uidIndex.insert(uid, item);
        }
    }

    // Runs inside the item's QObject destructor: compare addresses only, never touch the item.
    void dropDestroyedItem(QObject *object)
    {
        for (int row = items.size() - 1; row >= 0; --row) {
            if (static_cast<QObject *>(items.at(row)) != object) {
                continue;
            }
            beginRemoveRows(QModelIndex(), row, row);
            forgetUid(items.takeAt(row));
            endRemoveRows();
        }
        updateCount();
    }

    int announcedCount = 0;
    QByteArray uidRoleName;
    QByteArray displayRoleName;
    QMetaObject itemMetaObject;
    QMetaMethod changeHandler;
    QHash<int, QByteArray> roleTable;
    QHash<int, int> signalRoles;
    QList<ItemType *> items;
    QHash<QString, ItemType *> uidIndex;
};
