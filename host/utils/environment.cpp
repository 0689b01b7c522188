#include "environment.h"
#include "hostosinfo.h"

#include <QDir>
#include <QFileInfo>

namespace Utils {

Environment::Environment(const QProcessEnvironment &environment) : m_environment(environment) {}

Environment Environment::systemEnvironment()
{
    return Environment(QProcessEnvironment::systemEnvironment());
}

QString Environment::value(const QString &key) const
{
    return m_environment.value(key);
}

void Environment::set(const QString &key, const QString &value)
{
    m_environment.insert(key, value);
}

QStringList Environment::path() const
{
    return m_environment.value(QStringLiteral("PATH"))
        .split(HostOsInfo::pathListSeparator(), Qt::SkipEmptyParts);
}

static bool isExecutableFile(const QString &path)
{
    const QFileInfo fi(path);
    return fi.exists() && fi.isFile() && fi.isExecutable();
}

QStringList Environment::executableNames(const QString &executable) const
{
    QStringList names{executable};
    if (!HostOsInfo::isWindowsHost())
        return names;
    // Windows runs "tf" as tf.exe, tf.cmd ...: the extensions that PATHEXT lists, in order.
    QString extensions = value(QStringLiteral("PATHEXT"));
    if (extensions.isEmpty())
        extensions = QStringLiteral(".COM;.EXE;.BAT;.CMD");
    for (const QString &extension : extensions.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (executable.endsWith(extension, Qt::CaseInsensitive))
            return names;
        names << executable + extension.toLower();
    }
    return names;
}

QString Environment::searchOnce(const QString &executable, const QStringList &additionalDirs) const
{
    if (executable.isEmpty())
        return QString();
    const QString cleaned = QDir::fromNativeSeparators(executable);
    const QStringList names = executableNames(cleaned);
    if (cleaned.contains(QLatin1Char('/'))) {
        // A path (absolute or relative to the current directory) is taken as it stands.
        for (const QString &name : names) {
            if (isExecutableFile(name))
                return QFileInfo(name).absoluteFilePath();
        }
        return QString();
    }
    QStringList dirs = additionalDirs;
    dirs += path();
    for (const QString &dir : qAsConst(dirs)) {
        if (dir.isEmpty())
            continue;
        for (const QString &name : names) {
            const QString candidate = QDir(dir).absoluteFilePath(name);
            if (isExecutableFile(candidate))
                return QDir::cleanPath(candidate);
        }
    }
    return QString();
}

QString Environment::searchInPath(const QString &executable, const QStringList &additionalDirs) const
{
    const QString found = searchOnce(executable, additionalDirs);
    if (!found.isEmpty() || HostOsInfo::isWindowsHost())
        return found;
    const QLatin1String exe(".exe");
    if (executable.endsWith(exe, Qt::CaseInsensitive))
        return searchOnce(executable.left(executable.size() - exe.size()), additionalDirs);
    return QString();
}

} // namespace Utils
