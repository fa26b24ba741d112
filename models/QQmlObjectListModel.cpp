#include "models/QQmlObjectListModel.h"

const QSet<QByteArray> &QQmlObjectListModelBase::reservedRoleNames()
{
    // Filled by the first model of the process; views reserve these names for themselves.
    static const QSet<QByteArray> names{QByteArrayLiteral("id"), QByteArrayLiteral("index"),
                                        QByteArrayLiteral("class"), QByteArrayLiteral("model"),
                                        QByteArrayLiteral("modelData")};
    return names;
}
