#include "tests/reliability/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>

namespace StoreFile {

QString path()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/com.quorvane.vistrel/Vistrel App.conf";
}

bool write(const QByteArray &contents)
{
    static long long stamp = 1500000000;
    const QString file = path();
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(contents) != contents.size())
        return false;
    out.close();
    const timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ++stamp;
    return utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0) == 0;
}

} // namespace StoreFile
