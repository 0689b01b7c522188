#include "brokenplugin.h"

namespace E2e {

bool BrokenPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(arguments)
    *errorString = QStringLiteral("the broken plugin refuses to start");
    return false;
}

} // namespace E2e
