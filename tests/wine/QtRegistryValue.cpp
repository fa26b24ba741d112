#include "tests/wine/QtRegistryValue.h"

#include <QDataStream>
#include <QSize>

namespace {

QString settingsText(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::QSize: {
        const QSize size = value.toSize();
        return QStringLiteral("@Size(%1 %2)").arg(size.width()).arg(size.height());
    }
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Double:
        return value.toString();
    default: {
        QByteArray bytes;
        QDataStream stream(&bytes, QIODevice::WriteOnly);
        stream.setVersion(QDataStream::Qt_4_0);
        stream << value;
        return QStringLiteral("@Variant(") + QString::fromLatin1(bytes) + QLatin1Char(')');
    }
    }
}

} // namespace

QStringList regAddArguments(const QString &key, const QString &name, const QVariant &value)
{
    QStringList args{QStringLiteral("add"), key, QStringLiteral("/v"), name, QStringLiteral("/f")};
    if (value.userType() == QMetaType::Int)
        return args + QStringList{QStringLiteral("/t"), QStringLiteral("REG_DWORD"), QStringLiteral("/d"),
                                  QString::number(value.toInt())};
    const QString text = settingsText(value);
    if (!text.contains(QChar::Null))
        return args + QStringList{QStringLiteral("/t"), QStringLiteral("REG_SZ"), QStringLiteral("/d"), text};
    QString hex;
    for (const QChar c : text)
        hex += QStringLiteral("%1%2")
                   .arg(c.unicode() & 0xff, 2, 16, QLatin1Char('0'))
                   .arg(c.unicode() >> 8, 2, 16, QLatin1Char('0'));
    return args + QStringList{QStringLiteral("/t"), QStringLiteral("REG_BINARY"), QStringLiteral("/d"), hex};
}
