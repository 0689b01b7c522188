#include "clientprofile.h"

#include <QDir>
#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

namespace Tf {

static QString homeFromPasswordDatabase()
{
    if (const passwd *entry = ::getpwuid(::geteuid()))
        return QFile::decodeName(entry->pw_dir);
    return QDir::homePath();
}

QString ClientProfile::directory()
{
    // A value that is empty, relative or cannot be made a writable directory
    // is passed over, as the client passes it over: for the default folder.
    const QString given = qEnvironmentVariable("TEE_PROFILE_DIRECTORY").trimmed();
    if (!given.isEmpty() && QDir::isAbsolutePath(given)) {
        const QString dir = QDir::cleanPath(given);
        QDir().mkpath(dir);
        const QFileInfo info(dir);
        if (info.isDir() && info.isReadable() && info.isWritable())
            return dir;
    }
#ifdef Q_OS_MACOS
    const QString base = homeFromPasswordDatabase() + "/Library/Application Support/Microsoft";
#else
    const QString base = homeFromPasswordDatabase() + "/.microsoft";
#endif
    return base + "/Team Foundation/4.0";
}

QString ClientProfile::cacheDirectory()
{
    const QString given = qEnvironmentVariable("TFSVC_CACHE_DIR");
    if (!given.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(given));
    return directory() + "/Cache";
}

QString ClientProfile::mementoDirectory()
{
    return directory() + "/Configuration/TEE-Mementos";
}

} // namespace Tf
