#include "vcsbaseplugin.h"

#include <core/iversioncontrol.h>
#include <core/vcsmanager.h>
#include <extensionsystem/pluginmanager.h>

#include <QAction>
#include <QDir>
#include <QFileInfo>

namespace VcsBase {

namespace {
struct GlobalState
{
    QList<VcsBasePlugin *> plugins;
    QString file;
    QString project;
    VcsBasePluginState state;
    bool connected = false;
};

// Plugins that a host leaves to Qt's own clean-up are destroyed after static objects; the
// global static says when it is gone instead of being used after its destruction.
Q_GLOBAL_STATIC(GlobalState, sharedState)

GlobalState &global()
{
    return *sharedState();
}

QString directoryOf(const QString &path)
{
    const QFileInfo fi(path);
    return fi.isDir() ? fi.absoluteFilePath() : fi.absolutePath();
}
} // namespace

QString VcsBasePluginState::currentFileName() const
{
    return m_file.isEmpty() ? QString() : QFileInfo(m_file).fileName();
}

QString VcsBasePluginState::currentFileDirectory() const
{
    return m_file.isEmpty() ? QString() : QFileInfo(m_file).absolutePath();
}

QString VcsBasePluginState::currentProjectName() const
{
    return m_projectPath.isEmpty() ? QString() : QFileInfo(m_projectPath).fileName();
}

QString VcsBasePluginState::topLevel() const
{
    return hasFile() && !m_fileTopLevel.isEmpty() ? m_fileTopLevel : m_projectTopLevel;
}

QString VcsBasePluginState::unavailableReason() const
{
    return m_fileVc ? m_fileUnavailable : m_projectUnavailable;
}

void VcsBasePluginState::setFile(const QString &file, const QString &topLevel,
                                 Core::IVersionControl *vc, const QString &unavailable)
{
    m_file = file;
    m_fileTopLevel = topLevel;
    m_fileVc = vc;
    m_fileUnavailable = unavailable;
}

void VcsBasePluginState::setProject(const QString &projectPath, const QString &topLevel,
                                    Core::IVersionControl *vc, const QString &unavailable)
{
    m_projectPath = projectPath;
    m_projectTopLevel = topLevel;
    m_projectVc = vc;
    m_projectUnavailable = unavailable;
}

VcsBasePluginState VcsBasePluginState::forContext(const QString &file, const QString &projectPath)
{
    VcsBasePluginState state;
    if (!file.isEmpty()) {
        const QString absolute = QFileInfo(file).absoluteFilePath();
        QString topLevel;
        QString unavailable;
        Core::IVersionControl *vc = Core::VcsManager::findVersionControlForDirectory(
            directoryOf(absolute), &topLevel, &unavailable);
        state.setFile(absolute, vc ? topLevel : QString(), vc, unavailable);
    }
    if (!projectPath.isEmpty()) {
        const QString absolute = QFileInfo(projectPath).absoluteFilePath();
        QString topLevel;
        QString unavailable;
        Core::IVersionControl *vc = Core::VcsManager::findVersionControlForDirectory(
            directoryOf(absolute), &topLevel, &unavailable);
        state.setProject(absolute, vc ? topLevel : QString(), vc, unavailable);
    }
    return state;
}

VcsBasePlugin::VcsBasePlugin()
{
    global().plugins.append(this);
}

VcsBasePlugin::~VcsBasePlugin()
{
    if (!sharedState.isDestroyed())
        global().plugins.removeAll(this);
    if (m_versionControl) {
        Core::VcsManager::removeVersionControl(m_versionControl);
        ExtensionSystem::PluginManager::removeObject(m_versionControl);
        delete m_versionControl;
    }
}

void VcsBasePlugin::initializeVcs(Core::IVersionControl *vc)
{
    m_versionControl = vc;
    ExtensionSystem::PluginManager::addObject(vc);
    Core::VcsManager::addVersionControl(vc);
    GlobalState &g = global();
    if (!g.connected && Core::VcsManager::instance()) {
        // A version control reporting a change makes every plugin see the state anew.
        g.connected = true;
        Core::VcsManager *manager = Core::VcsManager::instance();
        connect(manager, &Core::VcsManager::repositoryChanged, manager, [] { refreshState(); });
        connect(manager, &Core::VcsManager::configurationChanged, manager, [] { refreshState(); });
        connect(manager, &Core::VcsManager::answersChanged, manager, [] { refreshState(); });
        connect(manager, &QObject::destroyed, [] {
            if (!sharedState.isDestroyed())
                global().connected = false;
        });
    }
}

void VcsBasePlugin::extensionsInitialized()
{
    stateChanged(global().state);
}

bool VcsBasePlugin::enableMenuAction(ActionState state, QAction *menuAction) const
{
    if (!menuAction)
        return state == VcsEnabled;
    switch (state) {
    case NoVcsEnabled:
        menuAction->setVisible(true);
        menuAction->setEnabled(false);
        return false;
    case OtherVcsEnabled:
        menuAction->setVisible(false);
        return false;
    case VcsEnabled:
        menuAction->setVisible(true);
        menuAction->setEnabled(true);
        return true;
    }
    return false;
}

void VcsBasePlugin::stateChanged(const VcsBasePluginState &state)
{
    Core::IVersionControl *mine = m_versionControl;
    const bool fileIsMine = mine && state.fileVersionControl() == mine;
    const bool projectIsMine = mine && state.projectVersionControl() == mine;
    m_state.clear();
    if (fileIsMine)
        m_state.setFile(state.currentFile(), state.currentFileTopLevel(), mine,
                        state.currentFileUnavailable());
    if (projectIsMine)
        m_state.setProject(state.currentProjectPath(), state.currentProjectTopLevel(), mine,
                           state.currentProjectUnavailable());

    ActionState actionState = NoVcsEnabled;
    if (fileIsMine || projectIsMine)
        actionState = VcsEnabled;
    else if (state.fileVersionControl() || state.projectVersionControl())
        actionState = OtherVcsEnabled;
    updateActions(actionState);
}

void VcsBasePlugin::setCurrentContext(const QString &file, const QString &projectPath)
{
    GlobalState &g = global();
    g.file = file;
    g.project = projectPath;
    setGlobalState(VcsBasePluginState::forContext(file, projectPath));
}

void VcsBasePlugin::refreshState()
{
    const GlobalState &g = global();
    setGlobalState(VcsBasePluginState::forContext(g.file, g.project));
}

void VcsBasePlugin::setGlobalState(const VcsBasePluginState &state)
{
    GlobalState &g = global();
    g.state = state;
    const QList<VcsBasePlugin *> plugins = g.plugins;
    for (VcsBasePlugin *plugin : plugins)
        plugin->stateChanged(state);
}

VcsBasePluginState VcsBasePlugin::globalState()
{
    return global().state;
}

Utils::SynchronousProcessResponse VcsBasePlugin::runVcs(const QString &workingDir,
                                                        const QString &binary,
                                                        const QStringList &arguments, int timeOutMs,
                                                        RunFlags flags, QTextCodec *outputCodec,
                                                        const QProcessEnvironment &env,
                                                        const ProcessStarter &starter)
{
    return Internal::runProcess(workingDir, binary, arguments, timeOutMs, flags, outputCodec, env,
                                nullptr, starter);
}

} // namespace VcsBase
