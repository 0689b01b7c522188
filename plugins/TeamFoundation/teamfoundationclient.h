#pragma once

#include "teamfoundationsettings.h"

#include <vcsbase/vcsbaseplugin.h>

#include <QObject>
#include <QSet>
#include <QStringList>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationPlugin;

// What one run of tf.exe or tfpt.exe gave back.
class TeamFoundationResponse
{
public:
    bool error = false;
    QString stdOut;
    QString stdErr;
    // How the process ended when it crashed, hung or did not start; empty otherwise.
    QString exitMessage;
};

// The run flags the client uses.
enum RunFlagWords : unsigned {
    // Interactive user commands: the command, its output and failures go to the pane.
    InteractiveRunFlags = VcsBase::VcsBasePlugin::ShowStdOutInLogWindow,
    // Repository probes: nothing about them reaches the pane.
    SilentProbeRunFlags = VcsBase::VcsBasePlugin::SuppressStdErrInLogWindow
                          | VcsBase::VcsBasePlugin::SuppressFailMessageInLogWindow
                          | VcsBase::VcsBasePlugin::SuppressCommandLogging,
    // Rename and undo wait without a local event loop.
    SynchronousRunFlags = VcsBase::VcsBasePlugin::ShowStdOutInLogWindow
                          | VcsBase::VcsBasePlugin::FullySynchronously
};

// Runs the Team Foundation command lines, as the configured kind of client spells them: the
// thirteen user commands, the file operations the host asks for, and the silent "info"
// probes. Before a command reads or replaces files, the editor's unsaved changes to them are
// saved or, with the user's consent, thrown away.
class TeamFoundationClient : public QObject
{
    Q_OBJECT
    friend class TeamFoundationPlugin;

public:
    explicit TeamFoundationClient(TeamFoundationPlugin *plugin);
    ~TeamFoundationClient() override;

    TeamFoundationResponse runCommand(const QString &workingDirectory, const QString &executable,
                                      const QStringList &arguments, unsigned flags) const;
    TeamFoundationResponse runTf(const QString &workingDirectory, const QStringList &arguments,
                                 unsigned flags) const;
    TeamFoundationResponse runTfpt(const QString &workingDirectory, const QStringList &arguments,
                                   unsigned flags) const;
    // Appends the login argument ("/login:user,password" for tf.exe) when both are set.
    static void addLoginArguments(QStringList &arguments);

    bool addFile(const QString &fileName);
    bool deleteFile(const QString &fileName);
    bool renameFile(const QString &from, const QString &to);
    bool checkoutFile(const QString &fileName);
    bool annotateFile(const QString &fileName);
    bool checkIn(const QString &path);
    bool compare(const QString &path);
    bool getLatest(const QString &path);
    bool history(const QString &path);
    bool undo(const QString &path);

    bool managesDirectory(const QString &directory) const;
    bool managesFile(const QString &fileName) const;
    QString repositoryUrl(const QString &directory) const;
    static QString parseServerPath(const QString &output);
    // Whether a failed probe's error output only says that the path is in no workspace,
    // the one failure that is an answer rather than a fault.
    static bool isNotInWorkspaceAnswer(const QString &stdErr);

private slots:
    // The user commands; the plugin connects its menu actions to them.
    void addCurrentFile();
    void deleteCurrentFile();
    void compareCurrentFile();
    void undoCurrentFile();
    void checkInCurrentFile();
    void annotateCurrentFile();
    void getLatestCurrentFile();
    void historyCurrentFile();
    void historyProject();
    void getLatestProject();
    void undoProject();
    void compareProject();
    void checkInProject();

private:
    ClientKind clientKind() const;
    // Shows in the pane why a probe failed, unless it is an answer or was shown already.
    void reportProbeFailure(const QString &binary, const QStringList &arguments,
                            const TeamFoundationResponse &response) const;

    TeamFoundationPlugin *m_plugin;
    // The probe failures shown since the configuration last changed.
    mutable QSet<QString> m_shownProbeFailures;
};

} // namespace Internal
} // namespace TeamFoundation
