#include "tests/wine/QtRegistryValue.h"

#include <QDataStream>
#include <QRegularExpression>
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
        // Every byte, NULs included (the QByteArray overload of fromLatin1 stops at the first NUL).
        return QStringLiteral("@Variant(") + QString::fromLatin1(bytes.constData(), bytes.size()) +
               QLatin1Char(')');
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

QVariant parseRegQuery(const QString &regQueryOutput, const QString &name)
{
    const QRegularExpression line(QStringLiteral("^\\s+(.+?)\\s+(REG_\\w+)\\s+(.*)$"));
    for (QString text : regQueryOutput.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text.remove(QLatin1Char('\r')));
        if (!m.hasMatch() || m.captured(1) != name)
            continue;
        const QString type = m.captured(2);
        const QString data = m.captured(3).trimmed();
        if (type == QLatin1String("REG_DWORD"))
            return data.toUInt(nullptr, 16);
        QString stored = data;
        if (type == QLatin1String("REG_BINARY")) {
            const QByteArray bytes = QByteArray::fromHex(data.toLatin1());
            stored =
                QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
        }
        if (stored.startsWith(QLatin1String("@Size("))) {
            const QStringList wh = stored.mid(6).chopped(1).split(QLatin1Char(' '));
            return QSize(wh.value(0).toInt(), wh.value(1).toInt());
        }
        if (stored.startsWith(QLatin1String("@Variant(")) && stored.endsWith(QLatin1Char(')'))) {
            QByteArray bytes = stored.mid(9).chopped(1).toLatin1();
            QDataStream stream(&bytes, QIODevice::ReadOnly);
            stream.setVersion(QDataStream::Qt_4_0);
            QVariant value;
            stream >> value;
            return value;
        }
        return stored;
    }
    return {};
}
