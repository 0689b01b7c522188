#include "hostosinfo.h"

namespace Utils {

namespace {
// A plain value, set only by tests on the GUI thread: nothing to construct or destroy.
bool overridden = false;
HostOsInfo::OsType overrideOs = HostOsInfo::HostOsLinux;
} // namespace

HostOsInfo::OsType HostOsInfo::hostOs()
{
    if (overridden)
        return overrideOs;
#if defined(Q_OS_WIN)
    return HostOsWindows;
#elif defined(Q_OS_LINUX)
    return HostOsLinux;
#elif defined(Q_OS_MACOS)
    return HostOsMac;
#else
    return HostOsOtherUnix;
#endif
}

void HostOsInfo::setOverrideHostOs(OsType os)
{
    overridden = true;
    overrideOs = os;
}

void HostOsInfo::clearOverrideHostOs()
{
    overridden = false;
}

} // namespace Utils
