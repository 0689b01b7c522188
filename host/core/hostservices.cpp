#include "hostservices.h"
#include "actionmanager.h"
#include "documentmanager.h"
#include "icore.h"
#include "secretstore.h"
#include "vcsmanager.h"

#include <extensionsystem/pluginmanager.h>

namespace Core {

HostServices::HostServices()
    : m_pluginManager(std::make_unique<ExtensionSystem::PluginManager>()),
      m_actionManager(std::make_unique<ActionManager>()),
      m_vcsManager(std::make_unique<VcsManager>()),
      m_documentManager(std::make_unique<DocumentManager>()),
      m_secretStore(std::make_unique<KeychainSecretStore>())
{
}

HostServices::~HostServices()
{
    shutdownPlugins();
    ICore::resetSettings();
    m_actionManager.reset();
    m_vcsManager.reset();
    m_documentManager.reset();
    m_secretStore.reset();
    m_pluginManager->unloadLibraries();
    m_pluginManager.reset();
}

void HostServices::shutdownPlugins()
{
    m_secretStore->waitForJobs(5000);
    m_pluginManager->shutdown();
}

} // namespace Core
