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

QString Environment::searchOnce(const QString &executable, const QStringList &additionalDirs) const
{
    if (executable.isEmpty())
        return QString();
    const QString cleaned = QDir::fromNativeSeparators(executable);
    if (cleaned.contains(QLatin1Char('/'))) {
        // A path (absolute or relative to the current directory) is taken as it stands.
        return isExecutableFile(cleaned) ? QFileInfo(cleaned).absoluteFilePath() : QString();
    }
    QStringList dirs = additionalDirs;
    dirs += path();
    for (const QString &dir : qAsConst(dirs)) {
        if (dir.isEmpty())
            continue;
        const QString candidate = QDir(dir).absoluteFilePath(cleaned);
        if (isExecutableFile(candidate))
            return QDir::cleanPath(candidate);
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
