#pragma once

#include "pendingchanges.h"
#include "selection.h"
#include "teamfoundationrunner.h"
#include "teamfoundationsettings.h"

#include <core/iversionhistory.h>
#include <vcsbase/vcsbaseplugin.h>

#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationPlugin;
class WorkspaceKnowledge;

// What one run of tf.exe or tfpt.exe gave back.
class TeamFoundationResponse
{
public:
    bool error = false;
    QString stdOut;
    QString stdErr;
    // How the process ended when it crashed, hung, was cancelled or did not start, or why
    // nothing was started; empty otherwise.
    QString exitMessage;
    // The exit code of a process that ended by itself; -1 otherwise.
    int exitCode = -1;
};

// The run flags the client uses.
// Interactive user commands: the command, its output and failures go to the pane.
constexpr VcsBase::RunFlags InteractiveRunFlags = VcsBase::RunFlag::ShowStdOutInLogWindow;
// Repository probes: nothing about them reaches the pane.
constexpr VcsBase::RunFlags SilentProbeRunFlags = VcsBase::RunFlag::SuppressStdErrInLogWindow |
                                                  VcsBase::RunFlag::SuppressFailMessageInLogWindow |
                                                  VcsBase::RunFlag::SuppressCommandLogging;
// Rename and undo wait without a local event loop.
constexpr VcsBase::RunFlags SynchronousRunFlags =
    VcsBase::RunFlag::ShowStdOutInLogWindow | VcsBase::RunFlag::FullySynchronously;

// Runs the Team Foundation command lines, as the configured kind of client spells them,
// through the runner it was given: the thirteen user commands as jobs that run one after
// another while the IDE goes on, and, at once, the file operations the host asks for and the
// silent "info" probes. Before a command reads or replaces files, the editor's unsaved
// changes to them are saved or, with the user's consent, thrown away.
class TeamFoundationClient : public QObject
{
    Q_OBJECT
    friend class TeamFoundationPlugin;

public:
    // 'settings' are the plugin's live settings; 'knowledge' what it knows of the workspaces.
    TeamFoundationClient(TeamFoundationPlugin *plugin, const TeamFoundationSettings &settings,
                         WorkspaceKnowledge *knowledge,
                         std::unique_ptr<TeamFoundationRunner> runner);
    ~TeamFoundationClient() override;

    TeamFoundationRunner *runner() const { return m_runner.get(); }
    // Puts 'runner' in the place of the current one, which is handed back.
    std::unique_ptr<TeamFoundationRunner>
    replaceRunner(std::unique_ptr<TeamFoundationRunner> runner);

    // Runs at once and returns when the client has ended.
    TeamFoundationResponse runCommand(const QString &workingDirectory, const QString &executable,
                                      const QStringList &arguments, VcsBase::RunFlags flags) const;
    TeamFoundationResponse runTf(const QString &workingDirectory, const QStringList &arguments,
                                 VcsBase::RunFlags flags) const;
    TeamFoundationResponse runTfpt(const QString &workingDirectory, const QStringList &arguments,
                                   VcsBase::RunFlags flags) const;
    // Builds the job of a command on 'path', to run in the path's containing directory;
    // 'finished' hears of its end, then workingCopyChanged() is emitted unless the command
    // only looks. Null when tf cannot be run. Nothing runs until the job is queued.
    VcsBase::VcsJob *commandJob(const QString &path, const QString &executable,
                                const QStringList &arguments, VcsBase::RunFlags flags,
                                const TeamFoundationRunner::Finished &finished = {});
    // Queues a job built here (the host's queue runs it) and returns; false for none.
    bool queue(VcsBase::VcsJob *job);
    // Builds the command's job and queues it; false when tf cannot be run.
    bool submit(const QString &path, const QString &executable, const QStringList &arguments,
                VcsBase::RunFlags flags, const TeamFoundationRunner::Finished &finished = {});
    // Queues "status TOP -recursive -format:xml" as a silent job, read in the background
    // unless a person waits for it; 'started' hears when it starts, 'finished' of its end.
    // False when tf cannot be run.
    bool readStatus(const QString &topLevel, const std::function<void(VcsBase::VcsJob &)> &started,
                    const TeamFoundationRunner::Finished &finished, bool forPerson = false);
    // Queues one client, in 'workingDirectory', that runs each of 'lines' (the login appended
    // to each) from its standard input, 'options' on its own command line; its output is read
    // one character a byte (Latin-1), so that what it printed is had back as bytes. Silent:
    // the caller says what went wrong. False when tf cannot be run or a line cannot be written.
    // 'started' is what startCommandFile() gave for the same directory and options, or null.
    bool submitCommandFile(const QString &workingDirectory, const QStringList &options,
                           QList<QStringList> lines, const QString &description,
                           const TeamFoundationRunner::Finished &finished,
                           Utils::TreeProcess *started = nullptr);
    // Starts that client ahead of its lines; null when tf cannot be run. The caller owns it.
    Utils::TreeProcess *startCommandFile(const QString &workingDirectory,
                                         const QStringList &options);
    // Whether "info" of a directory says it is in a workspace; a failure is an answer (not
    // in a workspace) or a fault (a refused login, a licence not accepted, a crash, a
    // cancel), which says nothing about it.
    class Probe
    {
    public:
        bool managed = false;
        bool answered = false;
        // In a workspace, yet neither on the server nor pended: a file the version control
        // does not have, which the IDE deletes and renames on its own.
        bool unknownItem = false;
        QString serverPath;
        QString reason; // why a fault is one
    };
    // Queues a silent "info" of 'directory' in the background; 'finished' hears what it
    // found. False when tf cannot be run.
    bool readServerPath(const QString &directory,
                        const std::function<void(const Probe &)> &finished);
    // Appends the login argument ("/login:user,password" for tf.exe) when both are set.
    static void addLoginArguments(QStringList &arguments);

    // What the host asks for: run at once; true when the client succeeded. When not,
    // lastFailure() says why, in the client's words.
    bool addFile(const QString &fileName);
    bool deleteFile(const QString &fileName);
    bool renameFile(const QString &from, const QString &to);
    bool checkoutFile(const QString &fileName);
    bool annotateFile(const QString &fileName);
    QString lastFailure() const { return m_lastFailure; }

    // The jobs of a person's commands, built from what was asked before (the comment and
    // the chosen changes, the answer to undo's question): no question is asked here, and
    // nothing runs until the caller queues the job. Null when nothing is to run (tf cannot
    // be run, nothing was chosen). Get and undo announce the change when they succeeded.
    VcsBase::VcsJob *checkInJob(const QString &path, const QString &comment,
                                const Selection &items);
    VcsBase::VcsJob *undoJob(const QString &path, const Selection &items);
    VcsBase::VcsJob *getLatestJob(const QString &path);
    VcsBase::VcsJob *compareJob(const QString &path);

    // What a person asks for: the questions first (unsaved documents, the comment, undo's
    // question), on the GUI thread and without waiting, then the job built from the answers
    // and queued; true when that was set going. The cross-platform client's
    // check-in asks for the comment and lets the person choose among the pending changes
    // under the path, all checked at first, or only those 'checked' names (local files), in
    // a dialog that opens once they are read (true when that was set going). Nothing
    // checked, nothing runs.
    bool checkIn(const QString &path);
    bool checkIn(const QString &path, const Selection &checked);
    // Undoes exactly 'items' (local files, or server items) in one command; none, nothing.
    bool undo(const QStringList &items);
    // Where an undo of 'items' runs: beside its first local file; empty when it names none.
    static QString undoPlace(const Selection &items);
    // What a person's Undo does: lists what would be undone (the pending changes at and below
    // 'path', read first when not known, without waiting) and asks; only an agreed undo runs.
    // With nothing pending it says so and runs nothing.
    void askUndo(const QString &path);
    // The same for 'items' of 'path', whose pending changes are 'changes'; nothing named,
    // nothing asked.
    void askUndo(const QString &path, const Selection &items, const QList<PendingChange> &changes);
    bool compare(const QString &path);
    bool getLatest(const QString &path);
    bool history(const QString &path);
    bool undo(const QString &path);

    // What a run of "info" says: the one place that tells an answer from a fault.
    static Probe classifyProbe(const TeamFoundationResponse &response);
    Probe probeDirectory(const QString &directory) const;
    bool managesDirectory(const QString &directory) const;
    bool managesFile(const QString &fileName) const;
    QString repositoryUrl(const QString &directory) const;
    static QString parseServerPath(const QString &output);
    // Whether a failed probe's error output only says that the path is in no workspace,
    // the one failure that is an answer rather than a fault.
    static bool isNotInWorkspaceAnswer(const QString &stdErr);

    // Shows the licence of 'binary' to the person, when a command of theirs met the client's
    // refusal to work before it is accepted, and accepts it on their word ("eula -accept");
    // true when it is accepted now, so that the command may run again. One dialog at a time.
    bool offerLicence(const QString &binary, const QString &workingDirectory) const;
    // The same for a person's job, without waiting: the licence is read as a job, the dialog
    // opens, and its answer builds the job that accepts it; 'answered' hears whether it is
    // accepted now. False, asking nothing, when no licence is needed or one is being offered.
    bool askLicence(const QString &binary, const QString &workingDirectory,
                    const std::function<void(bool accepted)> &answered);
    // Says once per client, in the pane, that a silent run met that refusal and that the next
    // command will offer the licence.
    void noteLicenceNeeded(const QString &binary) const;

signals:
    // A command or file operation has ended: the pending changes may be others now.
    void workingCopyChanged();
    // A run of the client succeeded: it works (again).
    void succeeded();

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
    // Shows what an undo of 'items' of 'path' throws away and asks, without waiting; the
    // person's Undo runs it. No question when nothing is pending: the pane says so.
    void confirmUndo(const QString &path, const Selection &items,
                     const std::optional<QList<PendingChange>> &changes, const QString &error);
    void openCheckInDialog(const QString &path, const Selection &checked, bool read,
                           const QList<PendingChange> &changes, const QString &error);
    // Whether a file operation's run may have changed the pending changes, and why it
    // failed when it did; emits what follows from it.
    bool fileOperationEnded(const TeamFoundationResponse &response);
    TeamFoundationCommand command(const QString &workingDirectory, const QString &executable,
                                  const QStringList &arguments, VcsBase::RunFlags flags) const;
    // A command file's client: silent, its output read one character a byte.
    TeamFoundationCommand commandFile(const QString &workingDirectory,
                                      const QStringList &options) const;
    // The pane's word that the licence was declined, and how to accept it later.
    void noteLicenceDeclined(const QString &binary) const;
    // Whether "eula -accept" accepted the licence; if so the client can tell more now.
    bool licenceAcceptEnded(int exitCode, const QString &stdErr) const;
    // A job that ends at once as not started, for 'reason', without a process or a word in
    // the pane: how a command that did not run ends for its caller.
    VcsBase::VcsJob *notRunJob(const QString &path, const QString &executable,
                               const QStringList &arguments, const QString &reason,
                               const TeamFoundationRunner::Finished &finished);
    // tfpt annotates only for tf.exe, and only where it is found; elsewhere the annotation is
    // computed from the file's history in the IDE's annotate view.
    bool annotatesWithPowerTools() const;
    void showInView(const std::function<void(Core::IVersionHistory *)> &ask);
    // Shows in the pane why a probe could not tell, once for each reason.
    void reportProbeFault(const QString &binary, const QStringList &arguments,
                          const QString &reason) const;
    // "info" of 'path' run in 'workingDirectory': every probe is one of these.
    Probe probe(const QString &path, const QString &workingDirectory) const;
    // The top level of the workspace that 'path' (a local file or directory) is in, when known.
    QString knownTopLevel(const QString &path) const;
    // As commandJob(); a command that already met the licence refusal once does not offer it
    // again.
    VcsBase::VcsJob *buildCommand(const QString &path, const QString &executable,
                                  const QStringList &arguments, VcsBase::RunFlags flags,
                                  const TeamFoundationRunner::Finished &finished,
                                  bool mayOfferLicence);

    TeamFoundationPlugin *m_plugin;
    const TeamFoundationSettings &m_settings;
    WorkspaceKnowledge *m_knowledge;
    std::unique_ptr<TeamFoundationRunner> m_runner;
    // An undo's question waits for the pending changes to be read, or for its answer.
    bool m_undoAsking = false;
    // The probe failures shown since the configuration last changed.
    mutable QSet<QString> m_shownProbeFailures;
    // The clients whose licence a silent run found not accepted, said in the pane.
    mutable QSet<QString> m_licenceNoted;
    // The licence texts read, by client.
    mutable QHash<QString, QString> m_licenceTexts;
    mutable bool m_offeringLicence = false;
    QString m_lastFailure;
};

} // namespace Internal
} // namespace TeamFoundation
