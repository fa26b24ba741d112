#include "models/KeyValueItem.h"

// Items are created on one thread at a time, so a plain counter is enough.
int KeyValueItem::nextInsertionOrder = 0;

KeyValueItem::KeyValueItem(QString label, QVariant value, QObject *parent)
    : QObject(parent), label(std::move(label)), value(std::move(value)), insertionOrder(nextInsertionOrder++)
{
}

bool KeyValueItem::set_label(QString label)
{
    if (this->label == label) {
        return false;
    }
    this->label = label;
    emit labelChanged(label);
    return true;
}

bool KeyValueItem::set_value(QVariant value)
{
    if (this->value == value) {
        return false;
    }
    this->value = value;
    emit valueChanged(value);
    return true;
}

bool KeyValueItem::set_checked(bool checked)
{
    if (this->checked == checked) {
        return false;
    }
    this->checked = checked;
    emit checkedChanged(checked);
    return true;
}
