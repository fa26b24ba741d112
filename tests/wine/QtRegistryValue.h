#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// The arguments of `reg add` that store a value the way QSettings stores it in the Windows registry, so a
// test can prepare settings as the settings program would have saved them: integers as REG_DWORD, plain
// strings, booleans and numbers as REG_SZ text, sizes as "@Size(w h)", and other types (maps) as
// "@Variant(...)" with their QDataStream bytes, which hold NUL characters and so go in as REG_BINARY of the
// UTF-16 text.
QStringList regAddArguments(const QString &key, const QString &name, const QVariant &value);

// The value of `name` under `key` as QSettings reads it back, from the output of `reg query key`; an invalid
// QVariant when the value is not there. Numbers and booleans come back as their text, as QSettings gives
// them.
QVariant parseRegQuery(const QString &regQueryOutput, const QString &name);
