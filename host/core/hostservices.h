#pragma once

#include <memory>

namespace ExtensionSystem {
class PluginManager;
}

namespace Core {

class ActionManager;
class DocumentManager;
class SecretStore;
class VcsManager;

// The host's managers that plugins register with, made before any plugin is loaded, and
// their teardown in the one order that keeps every pointer valid: plugins hear
// aboutToShutdown and are deleted, with the objects they handed over, while the managers
// still hold their commands, menus and version controls; then the settings are written and
// the managers go; the plugin libraries are unloaded last, because menus and settings may
// hold texts that live in a library. Before the plugins go, the keychain gets a few seconds to
// answer what they asked of it, so that a password written just before quitting is confirmed
// while its plugin can still take it out of the settings file.
class HostServices
{
public:
    HostServices();
    ~HostServices();

    ExtensionSystem::PluginManager *pluginManager() const { return m_pluginManager.get(); }

    // The first step of the teardown, for a host that has more to tear down (its window)
    // before the managers go. The destructor does it when the host did not.
    void shutdownPlugins();

private:
    std::unique_ptr<ExtensionSystem::PluginManager> m_pluginManager;
    std::unique_ptr<ActionManager> m_actionManager;
    std::unique_ptr<VcsManager> m_vcsManager;
    std::unique_ptr<DocumentManager> m_documentManager;
    std::unique_ptr<SecretStore> m_secretStore;
};

} // namespace Core
