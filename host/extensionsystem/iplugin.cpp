#include "iplugin.h"
#include "pluginmanager.h"

namespace ExtensionSystem {

IPlugin::IPlugin() = default;

IPlugin::~IPlugin()
{
    releaseAutoReleasedObjects();
}

void IPlugin::addAutoReleasedObject(QObject *object)
{
    m_autoReleasedObjects.append(object);
    PluginManager::addObject(object);
}

void IPlugin::addObject(QObject *object)
{
    PluginManager::addObject(object);
}

void IPlugin::removeObject(QObject *object)
{
    PluginManager::removeObject(object);
}

void IPlugin::releaseAutoReleasedObjects()
{
    while (!m_autoReleasedObjects.isEmpty()) {
        QObject *object = m_autoReleasedObjects.takeLast();
        PluginManager::removeObject(object);
        delete object;
    }
}

} // namespace ExtensionSystem
