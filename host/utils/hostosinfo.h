#pragma once

#include <QChar>

namespace Utils {

// Facts about the operating system the host runs on.
class HostOsInfo
{
public:
    static constexpr bool isWindowsHost()
    {
#ifdef Q_OS_WIN
        return true;
#else
        return false;
#endif
    }
    static QChar pathListSeparator() { return isWindowsHost() ? QLatin1Char(';') : QLatin1Char(':'); }
    static QString withExecutableSuffix(const QString &name)
    {
        return isWindowsHost() ? name + QLatin1String(".exe") : name;
    }
};

} // namespace Utils
