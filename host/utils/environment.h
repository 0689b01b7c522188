#pragma once

#include <QProcessEnvironment>
#include <QStringList>

namespace Utils {

// A process environment with the executable lookup that the host uses everywhere.
class Environment
{
public:
    Environment() = default;
    explicit Environment(const QProcessEnvironment &environment);

    static Environment systemEnvironment();

    QString value(const QString &key) const;
    void set(const QString &key, const QString &value);
    QStringList path() const;
    QProcessEnvironment toProcessEnvironment() const { return m_environment; }

    // The full path of the executable 'executable', or an empty string.
    // A name with a directory part is checked as it stands; a bare name is looked for in
    // 'additionalDirs' first, then in PATH. Only existing, executable files count. On hosts
    // other than Windows a name ending in ".exe" that is not found is looked for again
    // without that suffix, so that Windows-style defaults find their native counterparts.
    // On Windows a name without one of the extensions in PATHEXT is also looked for with
    // each of them, in each directory.
    QString searchInPath(const QString &executable,
                         const QStringList &additionalDirs = QStringList()) const;

private:
    QStringList executableNames(const QString &executable) const;
    QString searchOnce(const QString &executable, const QStringList &additionalDirs) const;

    QProcessEnvironment m_environment;
};

} // namespace Utils
