#include "recording.h"

#include <extensionsystem/pluginmanager.h>

QStringList &eventLog()
{
    static QStringList log;
    return log;
}

RecordingObject::RecordingObject(const QString &name)
{
    setObjectName(name);
}

RecordingObject::~RecordingObject()
{
    // Deleted while still in the pool would leave the host with a dangling pointer.
    const bool stillPooled = ExtensionSystem::PluginManager::allObjects().contains(this);
    eventLog().append(QStringLiteral("deleted %1%2")
                          .arg(objectName(), stillPooled ? QStringLiteral(" (still pooled)")
                                                         : QString()));
}

RecordingPlugin::RecordingPlugin(const QString &name) : m_name(name)
{
    eventLog().append(QStringLiteral("%1 constructed").arg(m_name));
}

RecordingPlugin::~RecordingPlugin()
{
    eventLog().append(QStringLiteral("%1 deleted").arg(m_name));
}

bool RecordingPlugin::initialize(const QStringList &arguments, QString *errorString)
{
    Q_UNUSED(errorString)
    eventLog().append(QStringLiteral("%1 initialize %2").arg(m_name, arguments.join(QLatin1Char(' '))));
    for (int i = 1; i <= 3; ++i)
        addAutoReleasedObject(new RecordingObject(QStringLiteral("%1-%2").arg(m_name).arg(i)));
    return true;
}

void RecordingPlugin::extensionsInitialized()
{
    // By now every plugin has been initialized, so the pool holds all their objects.
    eventLog().append(QStringLiteral("%1 extensionsInitialized, pool %2")
                          .arg(m_name)
                          .arg(ExtensionSystem::PluginManager::getObjects<RecordingObject>().size()));
}

ExtensionSystem::IPlugin::ShutdownFlag RecordingPlugin::aboutToShutdown()
{
    eventLog().append(QStringLiteral("%1 aboutToShutdown").arg(m_name));
    return SynchronousShutdown;
}
