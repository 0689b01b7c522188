#pragma once

#include "vcsprocess.h"

#include <extensionsystem/iplugin.h>
#include <utils/synchronousprocess.h>

#include <QPointer>
#include <QProcessEnvironment>

#include <functional>

QT_BEGIN_NAMESPACE
class QAction;
class QTextCodec;
QT_END_NAMESPACE

namespace Utils {
class TreeProcess;
}

#include <core/iversioncontrol.h>

namespace VcsBase {

// The current file and project as the host sees them, with the version control that
// manages each and its top-level directory.
class VcsBasePluginState
{
public:
    QString currentFile() const { return m_file; }
    QString currentFileName() const;
    QString currentFileDirectory() const;
    QString currentFileTopLevel() const { return m_fileTopLevel; }
    QString currentProjectPath() const { return m_projectPath; }
    QString currentProjectName() const;
    QString currentProjectTopLevel() const { return m_projectTopLevel; }
    // The top level of the current file, else that of the current project.
    QString topLevel() const;

    bool hasFile() const { return !m_file.isEmpty(); }
    bool hasProject() const { return !m_projectPath.isEmpty(); }
    bool hasTopLevel() const { return !topLevel().isEmpty(); }
    bool isEmpty() const { return !hasFile() && !hasProject(); }

    Core::IVersionControl *fileVersionControl() const { return m_fileVc; }
    Core::IVersionControl *projectVersionControl() const { return m_projectVc; }
    // Why the version control of the file (or the project) cannot tell now whether it manages
    // it; empty when it answered.
    QString currentFileUnavailable() const { return m_fileUnavailable; }
    QString currentProjectUnavailable() const { return m_projectUnavailable; }
    // That of the file when it has a version control, else that of the project.
    QString unavailableReason() const;

    void clear() { *this = VcsBasePluginState(); }
    void setFile(const QString &file, const QString &topLevel, Core::IVersionControl *vc,
                 const QString &unavailable = QString());
    void setProject(const QString &projectPath, const QString &topLevel, Core::IVersionControl *vc,
                    const QString &unavailable = QString());

    // The state of 'file' and 'projectPath' (a project file or directory), with the version
    // controls and top levels found through the host's version-control manager.
    static VcsBasePluginState forContext(const QString &file, const QString &projectPath);

private:
    QString m_file;
    QString m_fileTopLevel;
    QString m_projectPath;
    QString m_projectTopLevel;
    QPointer<Core::IVersionControl> m_fileVc;
    QPointer<Core::IVersionControl> m_projectVc;
    QString m_fileUnavailable;
    QString m_projectUnavailable;
};

// The base of version-control plugins: registers the plugin's version control, follows the
// host's current file and project, and runs the version-control executables.
class VcsBasePlugin : public ExtensionSystem::IPlugin
{
    Q_OBJECT
public:
    enum ActionState { NoVcsEnabled, OtherVcsEnabled, VcsEnabled };

    // The run flags, by the name runVcs gives them.
    using RunVcsFlags = RunFlags;

    VcsBasePlugin();
    ~VcsBasePlugin() override;

    void extensionsInitialized() override;

    Core::IVersionControl *versionControl() const { return m_versionControl; }
    const VcsBasePluginState &currentState() const { return m_state; }

    // Shows and enables the plugin's menu when its version control manages the current file
    // or project (true), hides it when another one does, shows it disabled when none does.
    bool enableMenuAction(ActionState state, QAction *menuAction) const;

    virtual bool submitEditorAboutToClose() { return true; }

    // Hands runVcs a process already started for the command (a client started ahead of need
    // and given its command), or null to let runVcs start the executable itself. runVcs takes
    // the process and logs the command line it was given, not the one the process runs.
    using ProcessStarter = std::function<Utils::TreeProcess *()>;

    // Runs at once, whatever jobs run or wait, and returns when the process has ended.
    static Utils::SynchronousProcessResponse
    runVcs(const QString &workingDir, const QString &binary, const QStringList &arguments,
           int timeOutMs, RunFlags flags = {}, QTextCodec *outputCodec = nullptr,
           const QProcessEnvironment &env = QProcessEnvironment(),
           const ProcessStarter &starter = ProcessStarter());

    // The host tells every version-control plugin about the current file and project.
    static void setCurrentContext(const QString &file, const QString &projectPath);
    // Recomputes the state of the last context (after a version control reported a change).
    static void refreshState();
    // Hands 'state' to every version-control plugin, each deciding its own action state.
    static void setGlobalState(const VcsBasePluginState &state);
    static VcsBasePluginState globalState();

protected:
    void initializeVcs(Core::IVersionControl *vc);
    virtual void updateActions(ActionState state) = 0;

private:
    void stateChanged(const VcsBasePluginState &state);

    Core::IVersionControl *m_versionControl = nullptr;
    VcsBasePluginState m_state;
};

} // namespace VcsBase
