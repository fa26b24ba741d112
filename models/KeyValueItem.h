#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

// One labelled value of a list, e.g. a camera: label = its name, value = its device-info map.
class KeyValueItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString label READ get_label NOTIFY labelChanged)
    Q_PROPERTY(QVariant value READ get_value NOTIFY valueChanged)
    Q_PROPERTY(bool checked READ get_checked WRITE set_checked NOTIFY checkedChanged)
    Q_PROPERTY(int insertionOrder READ get_insertionOrder CONSTANT)

public:
    KeyValueItem(QString label, QVariant value, QObject *parent = nullptr);

    QString get_label() const { return label; }
    QVariant get_value() const { return value; }
    bool get_checked() const { return checked; }
    // Construction sequence number across the whole process; lets lists sort by age.
    int get_insertionOrder() const { return insertionOrder; }

signals:
    void labelChanged(QString label);
    void valueChanged(QVariant value);
    void checkedChanged(bool checked);

protected slots:
    bool set_label(QString label);
    bool set_value(QVariant value);

public slots:
    bool set_checked(bool checked);

private:
    static int nextInsertionOrder;

    QString label;
    QVariant value;
    bool checked = false;
    const int insertionOrder;
};
