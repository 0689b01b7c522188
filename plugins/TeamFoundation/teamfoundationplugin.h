#pragma once

#include "teamfoundationsettings.h"

#include <vcsbase/vcsbaseplugin.h>

#include <functional>

QT_BEGIN_NAMESPACE
class QAction;
QT_END_NAMESPACE

namespace Core {
class ActionContainer;
class Context;
} // namespace Core
namespace Locator {
class CommandLocator;
}
namespace Utils {
class ParameterAction;
}

namespace TeamFoundation {
namespace Internal {

class PasswordKeeper;
class TeamFoundationClient;
class TeamFoundationPendingChanges;
class TeamFoundationHistory;
class WorkspaceCache;
class WorkspaceKnowledge;

// The plugin object: creates the version control, the command client, the options page,
// the checkout wizard and the menu, and holds the live settings.
class TeamFoundationPlugin : public VcsBase::VcsBasePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QtCreatorPlugin" FILE "TeamFoundation.json")

public:
    TeamFoundationPlugin();
    ~TeamFoundationPlugin() override;

    bool initialize(const QStringList &arguments, QString *errorMessage) override;

    static TeamFoundationPlugin *instance();
    const TeamFoundationSettings &settings() const;
    void setSettings(const TeamFoundationSettings &settings);
    // Whether settings() holds the person's password, or no login needs one. The keychain
    // answers after start-up; until then this waits for it, bounded (see PasswordKeeper).
    // When not, 'error' says why (the wait was cancelled, the keychain could not be read).
    bool waitForPassword(QString *error = nullptr) const;
    // For a queued command: calls 'then' once the password is known or known to be missing
    // (at once when the keychain has answered), with an empty text or why it is missing.
    void whenPasswordRead(QObject *context, const std::function<void(const QString &)> &then) const;
    // Whether a command that logs in would wait for the keychain now.
    bool isReadingPassword() const;
    // What the client keeps of the workspaces in its cache file.
    WorkspaceCache *workspaceCache() const;
    // Where the password is kept, for the options page.
    PasswordKeeper *passwordKeeper() const;
    TeamFoundationClient *client() const;
    // What the plugin knows of the workspaces' directories, for every view of it.
    WorkspaceKnowledge *knowledge() const;
    // The pending changes as the IDE and the check-in dialog see them.
    TeamFoundationPendingChanges *pendingChanges() const;
    TeamFoundationHistory *versionHistory() const { return m_history; }
    // Tells the host that 'path' (a file or a directory) changed; an empty path means the
    // configuration changed.
    void notifyChange(const QString &path);

    bool submitEditorAboutToClose() override;

protected:
    void updateActions(VcsBase::VcsBasePlugin::ActionState state) override;

private:
    void createActions();
    // Reads the client's workspace cache where the configured client keeps it.
    void locateWorkspaceCache();
    // Says why the commands are disabled while tf is not configured: in the menu's tooltip,
    // and in the pane once for each configuration that does not work, remembered in the
    // settings store across starts.
    void updateConfigurationHint();
    Utils::ParameterAction *createFileAction(const Core::Context &context,
                                             Core::ActionContainer *menu, const QString &emptyText,
                                             const QString &parameterText, const char *id);
    QAction *createRepositoryAction(Core::ActionContainer *menu, Core::Context context,
                                    const QString &text, const char *id);

    TeamFoundationSettings m_settings;
    Locator::CommandLocator *m_commandLocator = nullptr;
    QAction *m_menuAction = nullptr;
    QList<Utils::ParameterAction *> m_fileActions;
    QList<QAction *> m_repositoryActions;
    TeamFoundationClient *m_client = nullptr;
    PasswordKeeper *m_passwordKeeper = nullptr;
    WorkspaceKnowledge *m_knowledge = nullptr;
    WorkspaceCache *m_workspaceCache = nullptr;
    TeamFoundationPendingChanges *m_pendingChanges = nullptr;
    TeamFoundationHistory *m_history = nullptr;

    static TeamFoundationPlugin *m_teamFoundationPluginInstance;
};

} // namespace Internal
} // namespace TeamFoundation
