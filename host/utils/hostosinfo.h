#pragma once

#include <QChar>
#include <QString>

namespace Utils {

// Facts about the operating system the host runs on. What differs on Windows is decided
// here, at run time, so that tests on another system can ask for Windows' behaviour with
// setOverrideHostOs() and check it.
class HostOsInfo
{
public:
    enum OsType { HostOsWindows, HostOsLinux, HostOsMac, HostOsOtherUnix };

    // The system the host was built for, unless a test overrides it.
    static OsType hostOs();
    // Makes hostOs() answer 'os' until clearOverrideHostOs(); for tests only.
    static void setOverrideHostOs(OsType os);
    static void clearOverrideHostOs();

    static bool isWindowsHost() { return hostOs() == HostOsWindows; }
    static QChar pathListSeparator() { return isWindowsHost() ? QLatin1Char(';') : QLatin1Char(':'); }
    static QString withExecutableSuffix(const QString &name)
    {
        return isWindowsHost() ? name + QLatin1String(".exe") : name;
    }
    // Whether file names that differ only in case name the same file.
    static Qt::CaseSensitivity fileNameCaseSensitivity()
    {
        return isWindowsHost() ? Qt::CaseInsensitive : Qt::CaseSensitive;
    }
    // Whether 'path' is 'directory' or lies below it, both clean and with '/' separators,
    // regarding case as the system does. Nothing lies in an empty directory.
    static bool isAtOrBelow(const QString &path, const QString &directory)
    {
        if (directory.isEmpty())
            return false;
        const Qt::CaseSensitivity cs = fileNameCaseSensitivity();
        if (path.compare(directory, cs) == 0)
            return true;
        return path.startsWith(
            directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/'), cs);
    }
};

} // namespace Utils
