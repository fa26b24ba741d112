// Writes the settings store's file by hand, bytes and all, as a damaged or hand-edited store would be.
#pragma once

#include <QByteArray>
#include <QString>

namespace StoreFile {

// The file of the native settings store of "com.quorvane.vistrel" / "Vistrel App" under the
// configuration folder.
QString path();
// Replaces the store's file with `contents`. Each write gets a new time stamp, so that a settings
// object made afterwards in this process reads it afresh. False if the file cannot be written.
bool write(const QByteArray &contents);

} // namespace StoreFile
