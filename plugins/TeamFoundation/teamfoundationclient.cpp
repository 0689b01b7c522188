#include "teamfoundationclient.h"
#include "checkindialog.h"
#include "commandlines.h"
#include "licencedialog.h"
#include "teamfoundationhistory.h"
#include "teamfoundationpendingchanges.h"
#include "teamfoundationplugin.h"
#include "teamfoundationsettings.h"
#include "undodialog.h"
#include "workspaceknowledge.h"

#include <core/documentmanager.h>
#include <utils/hostosinfo.h>
#include <utils/qtcassert.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QRegExp>
#include <QScopedValueRollback>
#include <QTemporaryFile>
#include <QTextCodec>

namespace TeamFoundation {
namespace Internal {

// The directory a command on 'path' runs in: a file's directory, or a directory's parent.
static QString containingDirectory(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// Commands on a directory take everything below it; decided on the disk at run time.
static bool isDirectory(const QString &path)
{
    return QFileInfo(path).isDir();
}

// Saves the editor's unsaved changes at or below 'path'; when that fails, says why in the
// pane and the command does not run.
static bool saveModifiedDocuments(const QString &path)
{
    QString error;
    if (Core::DocumentManager::saveModifiedDocuments(path, &error))
        return true;
    VcsBase::VcsOutputWindow::appendError(
        TeamFoundationClient::tr("%1 The command was not run.").arg(error));
    return false;
}

TeamFoundationClient::TeamFoundationClient(TeamFoundationPlugin *plugin,
                                           const TeamFoundationSettings &settings,
                                           WorkspaceKnowledge *knowledge,
                                           std::unique_ptr<TeamFoundationRunner> runner)
    : QObject(plugin), m_plugin(plugin), m_settings(settings), m_knowledge(knowledge),
      m_runner(std::move(runner))
{
    // A login that was fixed and broke again is worth saying again.
    if (Core::IVersionControl *vc = plugin->versionControl())
        connect(vc, &Core::IVersionControl::configurationChanged, this, [this] {
            m_shownProbeFailures.clear();
            m_licenceNoted.clear();
        });
}

TeamFoundationClient::~TeamFoundationClient() = default;

std::unique_ptr<TeamFoundationRunner>
TeamFoundationClient::replaceRunner(std::unique_ptr<TeamFoundationRunner> runner)
{
    m_runner.swap(runner);
    return runner;
}

TeamFoundationCommand TeamFoundationClient::command(const QString &workingDirectory,
                                                    const QString &executable,
                                                    const QStringList &arguments,
                                                    VcsBase::RunFlags flags) const
{
    const ClientKind kind = clientKind();
    TeamFoundationCommand command;
    command.executable = executable;
    command.arguments = arguments;
    if (CommandLines::sendsLogin(arguments.value(0)))
        addLoginArguments(command.arguments);
    // A job waits for the keychain's answer in its turn, not before it is queued; the login
    // is added once the password is there.
    if (CommandLines::sendsLogin(arguments.value(0)) && m_plugin->isReadingPassword()) {
        const QPointer<TeamFoundationPlugin> plugin(m_plugin);
        command.prepare = [plugin, arguments](VcsBase::VcsJob &job,
                                              const VcsBase::VcsJob::Ready &ready) {
            if (!plugin) {
                ready(tr("Team Foundation is gone."));
                return;
            }
            const QPointer<VcsBase::VcsJob> waiting(&job);
            plugin->whenPasswordRead(&job, [waiting, arguments, ready](const QString &error) {
                if (waiting && error.isEmpty()) {
                    QStringList withLogin = arguments;
                    addLoginArguments(withLogin);
                    waiting->setArguments(withLogin);
                }
                ready(error);
            });
        };
    }
    command.workingDirectory = workingDirectory;
    command.topLevel = knownTopLevel(arguments.value(1));
    command.commandLine = CommandLines::asksInItsOwnDialog(kind, arguments);
    command.partialSuccess = CommandLines::mayPartlySucceed(arguments.value(0));
    command.environment = CommandLines::environment(kind, arguments.value(0),
                                                    QProcessEnvironment::systemEnvironment());
    command.codec = CommandLines::outputCodec(kind, Utils::HostOsInfo::isWindowsHost(),
                                              CommandLines::consoleCodePage());
    command.timeOutMs = m_settings.timeOutMs();
    command.flags = flags;
    return command;
}

TeamFoundationResponse TeamFoundationClient::runCommand(const QString &workingDirectory,
                                                        const QString &executable,
                                                        const QStringList &arguments,
                                                        VcsBase::RunFlags flags) const
{
    TeamFoundationResponse response;
    if (!m_plugin->versionControl()->isConfigured()) {
        response.error = true;
        return response;
    }
    // Not without the person's password: tf would log in as someone else, or be refused.
    QString passwordError;
    if (!m_plugin->waitForPassword(&passwordError)) {
        response.error = true;
        response.exitMessage = passwordError;
        return response;
    }
    const TeamFoundationCommand run = command(workingDirectory, executable, arguments, flags);
    Utils::SynchronousProcessResponse sp = m_runner->run(run);
    if (sp.result == Utils::SynchronousProcessResponse::FinishedError &&
        CommandLines::failureOf(sp.exitCode, sp.stdErr) ==
            CommandLines::Failure::LicenceNotAccepted) {
        // A silent run is no person's command: it opens no dialog.
        if (flags & VcsBase::RunFlag::SuppressCommandLogging)
            noteLicenceNeeded(executable);
        else if (offerLicence(executable, workingDirectory))
            sp = m_runner->run(run);
    }
    response.error = sp.result != Utils::SynchronousProcessResponse::Finished;
    response.stdOut = sp.stdOut;
    response.stdErr = sp.stdErr;
    if (sp.result == Utils::SynchronousProcessResponse::Finished ||
        sp.result == Utils::SynchronousProcessResponse::FinishedError)
        response.exitCode = sp.exitCode;
    else
        response.exitMessage = sp.exitMessage(executable, run.timeOutMs);
    if (!response.error)
        emit const_cast<TeamFoundationClient *>(this)->succeeded();
    return response;
}

bool TeamFoundationClient::submit(const QString &path, const QString &executable,
                                  const QStringList &arguments, VcsBase::RunFlags flags,
                                  const TeamFoundationRunner::Finished &finished)
{
    return queue(commandJob(path, executable, arguments, flags, finished));
}

bool TeamFoundationClient::queue(VcsBase::VcsJob *job)
{
    if (!job)
        return false;
    m_runner->queue(job);
    return true;
}

VcsBase::VcsJob *TeamFoundationClient::commandJob(const QString &path, const QString &executable,
                                                  const QStringList &arguments,
                                                  VcsBase::RunFlags flags,
                                                  const TeamFoundationRunner::Finished &finished)
{
    return buildCommand(path, executable, arguments, flags, finished, true);
}

VcsBase::VcsJob *TeamFoundationClient::buildCommand(const QString &path, const QString &executable,
                                                    const QStringList &arguments,
                                                    VcsBase::RunFlags flags,
                                                    const TeamFoundationRunner::Finished &finished,
                                                    bool mayOfferLicence)
{
    if (!m_plugin->versionControl()->isConfigured())
        return nullptr;
    TeamFoundationCommand job = command(containingDirectory(path), executable, arguments, flags);
    // A person answering tf.exe's own dialog takes as long as they take; ending it would
    // throw away what they typed.
    if (CommandLines::asksInItsOwnDialog(clientKind(), arguments))
        job.timeOutMs = 0;
    job.description = QStringLiteral("%1 %2 %3")
                          .arg(QFileInfo(executable).completeBaseName(), arguments.value(0),
                               QFileInfo(path).fileName());
    QPointer<TeamFoundationClient> self(this);
    const bool changes = CommandLines::changesPendingChanges(arguments.value(0));
    VcsBase::VcsJob *built = m_runner->job(job);
    const auto ended = [=](const VcsBase::VcsJob &ended) {
        // The person asked for this command: the licence is asked from the event loop, and
        // once it is accepted the command runs again. Its caller hears of the end of that
        // run, or that it did not run.
        if (self && mayOfferLicence && ended.result() == VcsBase::VcsJob::FinishedError &&
            CommandLines::failureOf(ended.exitCode(), ended.stdErr()) ==
                CommandLines::Failure::LicenceNotAccepted &&
            self->askLicence(executable, ended.workingDirectory(), [=](bool accepted) {
                if (!self)
                    return;
                if (accepted)
                    self->queue(
                        self->buildCommand(path, executable, arguments, flags, finished, false));
                else
                    self->queue(self->notRunJob(path, executable, arguments,
                                                tr("The licence was not accepted."), finished));
            })) {
            return;
        }
        if (self && ended.succeeded())
            emit self->succeeded();
        if (ended.succeeded() && ended.exitCode() == 1) {
            VcsBase::VcsOutputWindow::appendWarning(
                tr("%1 partly succeeded: it changed what it could, and could not change what "
                   "it listed above.")
                    .arg(VcsBase::VcsOutputWindow::formatCommandLine(executable,
                                                                     arguments.mid(0, 2))));
        }
        if (finished)
            finished(ended);
        if (self && changes)
            emit self->workingCopyChanged();
    };
    connect(built, &VcsBase::VcsJob::finished, built, [built, ended] { ended(*built); });
    return built;
}

bool TeamFoundationClient::readStatus(const QString &topLevel,
                                      const std::function<void(VcsBase::VcsJob &)> &started,
                                      const TeamFoundationRunner::Finished &finished,
                                      bool forPerson)
{
    if (!m_plugin->versionControl()->isConfigured())
        return false;
    const QString binary = m_settings.binaryPath();
    TeamFoundationCommand job = command(
        topLevel, binary, CommandLines::status(clientKind(), topLevel), SilentProbeRunFlags);
    job.background = !forPerson;
    job.started = started;
    job.description =
        QStringLiteral("%1 status %2")
            .arg(QFileInfo(binary).completeBaseName(), QFileInfo(topLevel).fileName());
    QPointer<TeamFoundationClient> self(this);
    m_runner->submit(job, [self, finished](const VcsBase::VcsJob &ended) {
        if (self && ended.succeeded())
            emit self->succeeded();
        if (finished)
            finished(ended);
    });
    return true;
}

bool TeamFoundationClient::readServerPath(const QString &directory,
                                          const std::function<void(const Probe &)> &finished)
{
    if (!m_plugin->versionControl()->isConfigured())
        return false;
    const QString binary = m_settings.binaryPath();
    TeamFoundationCommand job =
        command(containingDirectory(directory), binary, CommandLines::info(clientKind(), directory),
                SilentProbeRunFlags);
    job.background = true;
    job.description =
        QStringLiteral("%1 info %2")
            .arg(QFileInfo(binary).completeBaseName(), QFileInfo(directory).fileName());
    QPointer<TeamFoundationClient> self(this);
    m_runner->submit(job, [self, finished, binary](const VcsBase::VcsJob &ended) {
        if (!self)
            return;
        TeamFoundationResponse response;
        response.error = !ended.succeeded();
        response.stdOut = ended.stdOut();
        response.stdErr = ended.stdErr();
        response.exitCode = ended.exitCode();
        if (CommandLines::failureOf(response.exitCode, response.stdErr) ==
            CommandLines::Failure::LicenceNotAccepted)
            self->noteLicenceNeeded(binary);
        if (ended.result() != VcsBase::VcsJob::Finished &&
            ended.result() != VcsBase::VcsJob::FinishedError)
            response.exitMessage = ended.exitMessage();
        const Probe probe = classifyProbe(response);
        if (probe.managed)
            emit self->succeeded();
        finished(probe);
    });
    return true;
}

TeamFoundationCommand TeamFoundationClient::commandFile(const QString &workingDirectory,
                                                        const QStringList &options) const
{
    TeamFoundationCommand file =
        command(workingDirectory, m_settings.binaryPath(), options, SilentProbeRunFlags);
    // The login goes on each line, where no process list shows it, never on the command line.
    file.arguments = options;
    file.prepare = {};
    file.codec = QTextCodec::codecForName("ISO-8859-1");
    return file;
}

Utils::TreeProcess *TeamFoundationClient::startCommandFile(const QString &workingDirectory,
                                                           const QStringList &options)
{
    if (!m_plugin->versionControl()->isConfigured() || !m_plugin->waitForPassword())
        return nullptr;
    return TeamFoundationRunner::startCommandFile(commandFile(workingDirectory, options));
}

bool TeamFoundationClient::submitCommandFile(const QString &workingDirectory,
                                             const QStringList &options, QList<QStringList> lines,
                                             const QString &description,
                                             const TeamFoundationRunner::Finished &finished,
                                             Utils::TreeProcess *started)
{
    if (!m_plugin->versionControl()->isConfigured() || !m_plugin->waitForPassword())
        return false;
    for (QStringList &line : lines)
        addLoginArguments(line);
    TeamFoundationCommand file = commandFile(workingDirectory, options);
    file.description = description;
    return m_runner->submitCommandFile(file, lines, finished, started);
}

TeamFoundationResponse TeamFoundationClient::runTf(const QString &workingDirectory,
                                                   const QStringList &arguments,
                                                   VcsBase::RunFlags flags) const
{
    return runCommand(workingDirectory, m_settings.binaryPath(), arguments, flags);
}

TeamFoundationResponse TeamFoundationClient::runTfpt(const QString &workingDirectory,
                                                     const QStringList &arguments,
                                                     VcsBase::RunFlags flags) const
{
    return runCommand(workingDirectory, m_settings.powerToolsBinaryPath(), arguments, flags);
}

void TeamFoundationClient::addLoginArguments(QStringList &arguments)
{
    const TeamFoundationPlugin *plugin = TeamFoundationPlugin::instance();
    if (!plugin)
        return;
    const TeamFoundationSettings &settings = plugin->settings();
    const QString login =
        CommandLines::login(settings.clientKind(), settings.userName(), settings.password());
    if (!login.isEmpty())
        arguments << login;
}

ClientKind TeamFoundationClient::clientKind() const
{
    return m_settings.clientKind();
}

bool TeamFoundationClient::fileOperationEnded(const TeamFoundationResponse &response)
{
    m_lastFailure.clear();
    if (response.error) {
        m_lastFailure = response.stdErr.simplified();
        if (m_lastFailure.isEmpty())
            m_lastFailure = response.exitMessage.simplified();
    }
    // A refused login, a time-out or a cancel changed nothing; what ended by itself with
    // success, or with a partial one (exit code 1), may have.
    if (!response.error || response.exitCode == 1)
        emit workingCopyChanged();
    return !response.error;
}

bool TeamFoundationClient::addFile(const QString &fileName)
{
    return fileOperationEnded(runTf(containingDirectory(fileName),
                                    CommandLines::add(clientKind(), fileName),
                                    InteractiveRunFlags));
}

bool TeamFoundationClient::deleteFile(const QString &fileName)
{
    return fileOperationEnded(runTf(containingDirectory(fileName),
                                    CommandLines::remove(clientKind(), fileName),
                                    InteractiveRunFlags));
}

bool TeamFoundationClient::renameFile(const QString &from, const QString &to)
{
    const QStringList arguments = CommandLines::rename(
        clientKind(), QFileInfo(from).absoluteFilePath(), QFileInfo(to).absoluteFilePath());
    return fileOperationEnded(runTf(containingDirectory(from), arguments, SynchronousRunFlags));
}

bool TeamFoundationClient::checkoutFile(const QString &fileName)
{
    return fileOperationEnded(runTf(containingDirectory(fileName),
                                    CommandLines::checkout(clientKind(), fileName),
                                    InteractiveRunFlags));
}

bool TeamFoundationClient::annotatesWithPowerTools() const
{
    return clientKind() == ClientKind::VisualStudio && !m_settings.powerToolsBinaryPath().isEmpty();
}

void TeamFoundationClient::showInView(const std::function<void(Core::IVersionHistory *)> &ask)
{
    // The IDE's views read what they show through jobs of their own.
    if (TeamFoundationHistory *history = m_plugin->versionHistory())
        ask(history);
}

bool TeamFoundationClient::annotateFile(const QString &fileName)
{
    if (!annotatesWithPowerTools()) {
        if (!m_plugin->versionControl()->isConfigured())
            return false;
        showInView([fileName](Core::IVersionHistory *h) { emit h->annotateRequested(fileName); });
        return true;
    }
    const TeamFoundationResponse response =
        runTfpt(containingDirectory(fileName), CommandLines::annotate(clientKind(), fileName),
                InteractiveRunFlags);
    m_lastFailure = response.error ? response.stdErr.simplified() : QString();
    return !response.error;
}

bool TeamFoundationClient::checkIn(const QString &path)
{
    return checkIn(path, Selection::wholePath());
}

bool TeamFoundationClient::checkIn(const QString &path, const Selection &checked)
{
    if (checked.isNothing())
        return false;
    // The client checks in what is on disk; the user means what the editor shows.
    if (!saveModifiedDocuments(path))
        return false;
    if (!m_plugin->versionControl()->isConfigured())
        return false;
    if (!CommandLines::asksForCheckInComment(clientKind())) {
        // tf.exe asks for the comment and the changes in its own dialog.
        queue(checkInJob(path, QString(), checked));
        return true;
    }
    // The dialog lists the pending changes: those known, or those of a read that the person
    // now waits for; it opens when they are there, and nothing waits in a loop of its own.
    QPointer<TeamFoundationClient> self(this);
    m_plugin->pendingChanges()->currentChanges(
        path, [self, path, checked](bool read, const QList<PendingChange> &changes,
                                    const QString &error) {
            if (self)
                self->openCheckInDialog(path, checked, read, changes, error);
        });
    return true;
}

void TeamFoundationClient::openCheckInDialog(const QString &path, const Selection &checked,
                                             bool read, const QList<PendingChange> &changes,
                                             const QString &error)
{
    if (!read && !checked.isWholePath()) {
        // Not everything under the path was asked for; without the list nothing says what
        // the chosen files' changes are.
        VcsBase::VcsOutputWindow::appendError(
            tr("The pending changes could not be read: %1 Nothing was checked in.").arg(error));
        return;
    }
    auto dialog = new CheckInDialog(path, QApplication::activeWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (read)
        dialog->setChanges(changes, checked);
    else
        dialog->setChangesUnknown(error);
    QPointer<TeamFoundationClient> self(this);
    connect(dialog, &QDialog::accepted, this, [self, dialog, path] {
        if (self)
            self->queue(self->checkInJob(path, dialog->comment(), dialog->chosen()));
    });
    dialog->open();
}

VcsBase::VcsJob *TeamFoundationClient::checkInJob(const QString &path, const QString &comment,
                                                  const Selection &items)
{
    if (items.isNothing())
        return nullptr;
    const ClientKind kind = clientKind();
    QString shownComment = comment;
    // A comment of several lines fits on no command line that the client reads from its
    // input, and one starting with "@" would be taken for a file; both go through a file
    // that only the user can read, kept until the check-in has ended.
    std::shared_ptr<QTemporaryFile> commentFile;
    if (!comment.trimmed().isEmpty() &&
        (comment.contains(QLatin1Char('\n')) || comment.contains(QLatin1Char('\r')) ||
         comment.startsWith(QLatin1Char('@')))) {
        commentFile = std::make_shared<QTemporaryFile>(QDir::tempPath() +
                                                       QLatin1String("/tf-comment-XXXXXX.txt"));
        if (!commentFile->open() || commentFile->write(comment.toUtf8()) < 0 ||
            !commentFile->flush()) {
            VcsBase::VcsOutputWindow::appendError(
                tr("The check-in comment could not be written to a temporary file (%1). The "
                   "command was not run.")
                    .arg(commentFile->errorString()));
            return nullptr;
        }
        commentFile->close();
        shownComment = QLatin1Char('@') + QDir::toNativeSeparators(commentFile->fileName());
    }
    const QStringList arguments =
        items.isWholePath() ? CommandLines::checkIn(kind, path, isDirectory(path), shownComment)
                            : CommandLines::checkInItems(kind, items.items(), shownComment);
    return commandJob(path, m_settings.binaryPath(), arguments, InteractiveRunFlags,
                      [commentFile](const VcsBase::VcsJob &) { Q_UNUSED(commentFile) });
}

bool TeamFoundationClient::compare(const QString &path)
{
    if (!saveModifiedDocuments(path))
        return false;
    // The cross-platform client can only hand a file to an outside tool; the IDE shows the
    // edit against the version it was got at itself.
    if (clientKind() == ClientKind::CrossPlatform && !isDirectory(path)) {
        if (!m_plugin->versionControl()->isConfigured())
            return false;
        showInView([path](Core::IVersionHistory *h) {
            emit h->compareRequested(path, Core::IVersionHistory::WorkspaceVersion,
                                     Core::IVersionHistory::LocalFile);
        });
        return true;
    }
    return queue(compareJob(path));
}

VcsBase::VcsJob *TeamFoundationClient::compareJob(const QString &path)
{
    const ClientKind kind = clientKind();
    return commandJob(path, m_settings.binaryPath(),
                      CommandLines::difference(kind, path, isDirectory(path)), InteractiveRunFlags,
                      [kind, path](const VcsBase::VcsJob &job) {
                          // The compare tool prints nothing for equal files, which would leave
                          // the pane showing only the command line. Where tf.exe shows the
                          // differences in a window of its own, the pane has nothing to say.
                          if (job.succeeded() && CommandLines::printsDifferences(kind) &&
                              job.stdOutSize() == 0 && job.stdErrSize() == 0) {
                              VcsBase::VcsOutputWindow::appendMessage(
                                  tr("No differences in %1.").arg(QDir::toNativeSeparators(path)));
                          }
                      });
}

bool TeamFoundationClient::getLatest(const QString &path)
{
    if (!Core::DocumentManager::discardModifiedDocuments(path))
        return false;
    return queue(getLatestJob(path));
}

VcsBase::VcsJob *TeamFoundationClient::getLatestJob(const QString &path)
{
    QPointer<TeamFoundationClient> self(this);
    return commandJob(path, m_settings.binaryPath(),
                      CommandLines::get(clientKind(), path, isDirectory(path)), InteractiveRunFlags,
                      [self, path](const VcsBase::VcsJob &job) {
                          if (self && job.succeeded())
                              self->m_plugin->notifyChange(path);
                      });
}

bool TeamFoundationClient::history(const QString &path)
{
    // tf.exe shows its own History window; the other client prints text, which the IDE's
    // History view shows as a table instead.
    if (clientKind() == ClientKind::CrossPlatform) {
        if (!m_plugin->versionControl()->isConfigured())
            return false;
        showInView([path](Core::IVersionHistory *h) { emit h->historyRequested(path); });
        return true;
    }
    return submit(path, m_settings.binaryPath(),
                  CommandLines::history(clientKind(), path, isDirectory(path)),
                  InteractiveRunFlags);
}

bool TeamFoundationClient::undo(const QString &path)
{
    if (!Core::DocumentManager::discardModifiedDocuments(path))
        return false;
    return queue(undoJob(path, Selection::wholePath()));
}

bool TeamFoundationClient::undo(const QStringList &items)
{
    const Selection selection = Selection::only(items);
    const QString place = undoPlace(selection);
    if (place.isEmpty())
        return false;
    for (const QString &item : items) {
        if (!item.startsWith(QLatin1Char('$')) &&
            !Core::DocumentManager::discardModifiedDocuments(item))
            return false;
    }
    return queue(undoJob(place, selection));
}

QString TeamFoundationClient::undoPlace(const Selection &items)
{
    // The command runs beside the first local file; server items name no place on disk.
    for (const QString &item : items.items()) {
        if (!item.startsWith(QLatin1Char('$')))
            return item;
    }
    return QString();
}

VcsBase::VcsJob *TeamFoundationClient::undoJob(const QString &path, const Selection &items)
{
    if (items.isNothing())
        return nullptr;
    const QStringList changed = items.isWholePath() ? QStringList(path) : items.items();
    QPointer<TeamFoundationClient> self(this);
    return commandJob(path, m_settings.binaryPath(),
                      items.isWholePath()
                          ? CommandLines::undo(clientKind(), path, isDirectory(path))
                          : CommandLines::undoItems(clientKind(), items.items()),
                      SynchronousRunFlags, [self, changed](const VcsBase::VcsJob &job) {
                          if (!self || !job.succeeded())
                              return;
                          for (const QString &item : changed)
                              self->m_plugin->notifyChange(item);
                      });
}

void TeamFoundationClient::askUndo(const QString &path)
{
    // Undo chosen again while the first one's question waits for the pending changes, or
    // for its answer: that question comes, once.
    if (m_undoAsking)
        return;
    m_undoAsking = true;
    QPointer<TeamFoundationClient> self(this);
    m_plugin->pendingChanges()->currentChanges(
        path, [self, path](bool read, const QList<PendingChange> &changes, const QString &error) {
            if (!self)
                return;
            self->confirmUndo(path, Selection::wholePath(),
                              read ? std::make_optional(changes) : std::nullopt, error);
        });
}

void TeamFoundationClient::askUndo(const QString &path, const Selection &items,
                                   const QList<PendingChange> &changes)
{
    if (m_undoAsking)
        return;
    m_undoAsking = true;
    confirmUndo(path, items, items.isNothing() ? QList<PendingChange>() : changes, QString());
}

void TeamFoundationClient::confirmUndo(const QString &path, const Selection &items,
                                       const std::optional<QList<PendingChange>> &changes,
                                       const QString &error)
{
    auto dialog = new UndoDialog(path, QApplication::activeWindow());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (changes) {
        dialog->setChanges(*changes);
        if (dialog->changeCount() == 0) {
            delete dialog;
            m_undoAsking = false;
            VcsBase::VcsOutputWindow::appendMessage(
                tr("There are no pending changes at or below %1; nothing was undone.")
                    .arg(QDir::toNativeSeparators(path)));
            VcsBase::VcsOutputWindow::popup();
            return;
        }
    } else {
        dialog->setChangesUnknown(error);
    }
    // The question is open while the event loop goes on; its answer builds the undo.
    QPointer<TeamFoundationClient> self(this);
    connect(dialog, &QDialog::finished, this, [self, path, items](int answer) {
        if (!self)
            return;
        self->m_undoAsking = false;
        if (answer != QDialog::Accepted)
            return;
        if (items.isWholePath())
            self->undo(path);
        else
            self->undo(items.items());
    });
    dialog->open();
}

TeamFoundationClient::Probe TeamFoundationClient::probe(const QString &path,
                                                        const QString &workingDirectory) const
{
    const QStringList arguments = CommandLines::info(clientKind(), path);
    const TeamFoundationResponse response = runTf(workingDirectory, arguments, SilentProbeRunFlags);
    const Probe probe = classifyProbe(response);
    // A licence not accepted was said in the pane in words of its own.
    if (!probe.answered && CommandLines::failureOf(response.exitCode, response.stdErr) !=
                               CommandLines::Failure::LicenceNotAccepted)
        reportProbeFault(m_settings.binaryPath(), arguments, probe.reason);
    return probe;
}

TeamFoundationClient::Probe
TeamFoundationClient::classifyProbe(const TeamFoundationResponse &response)
{
    Probe probe;
    probe.managed = !response.error;
    if (probe.managed) {
        probe.answered = true;
        probe.serverPath = parseServerPath(response.stdOut);
        // The cross-platform client says so of an item it does not have, and succeeds.
        probe.unknownItem = probe.serverPath.isEmpty() &&
                            response.stdOut.startsWith(QLatin1String("No items match "));
        return probe;
    }
    // A client that refuses the login, cannot reach the server or waits for its licence to
    // be accepted fails every probe; that says nothing about the directory. A failure
    // without a word and with an exit code is the client's way to say "not in a workspace",
    // as is not running at all (not configured). A run that ended otherwise (crashed, timed
    // out, cancelled, not started for want of the password) is a fault, whatever it printed.
    const QString message = response.stdErr.trimmed();
    const CommandLines::Failure failure = CommandLines::failureOf(response.exitCode, message);
    if (response.exitMessage.isEmpty() &&
        (message.isEmpty() || failure == CommandLines::Failure::NotInWorkspace)) {
        probe.answered = true;
        return probe;
    }
    probe.reason = failure == CommandLines::Failure::LicenceNotAccepted
                       ? tr("the client's licence has not been accepted")
                       : (message.isEmpty() ? response.exitMessage : message).simplified();
    return probe;
}

TeamFoundationClient::Probe TeamFoundationClient::probeDirectory(const QString &directory) const
{
    return probe(directory, directory);
}

bool TeamFoundationClient::managesDirectory(const QString &directory) const
{
    return probeDirectory(directory).managed;
}

bool TeamFoundationClient::managesFile(const QString &fileName) const
{
    const Probe found = probe(fileName, containingDirectory(fileName));
    return found.managed && !found.unknownItem;
}

QString TeamFoundationClient::repositoryUrl(const QString &directory) const
{
    return probe(directory, containingDirectory(directory)).serverPath;
}

QString TeamFoundationClient::parseServerPath(const QString &output)
{
    QRegExp r(QLatin1String("Server path\\s*:"), Qt::CaseSensitive, QRegExp::RegExp);
    r.setMinimal(true);
    QTC_ASSERT(r.isValid(), return QString());
    const int at = r.indexIn(output, 0, QRegExp::CaretAtOffset);
    if (at < 0)
        return QString();
    // The value is the rest of the line: server paths often hold blanks, and Windows ends
    // lines with CR LF. A line that is not ended may have been cut off, so it is no value.
    const int valueStart = at + r.matchedLength();
    const int lineEnd = output.indexOf(QLatin1Char('\n'), valueStart);
    if (lineEnd < 0)
        return QString();
    return output.mid(valueStart, lineEnd - valueStart).trimmed();
}

bool TeamFoundationClient::isNotInWorkspaceAnswer(const QString &stdErr)
{
    // Both clients say it with a failure.
    return CommandLines::failureOf(100, stdErr) == CommandLines::Failure::NotInWorkspace;
}

QString TeamFoundationClient::knownTopLevel(const QString &path) const
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('$')))
        return QString();
    const QFileInfo info(path);
    const std::optional<Core::IVersionControl::DirectoryAnswer> known =
        WorkspaceKnowledge::recordedAnswer(m_plugin->versionControl(), info.isDir()
                                                                           ? info.absoluteFilePath()
                                                                           : info.absolutePath());
    return known && known->kind == Core::IVersionControl::DirectoryAnswer::Managed ? known->topLevel
                                                                                   : QString();
}

bool TeamFoundationClient::offerLicence(const QString &binary,
                                        const QString &workingDirectory) const
{
    const ClientKind kind = clientKind();
    if (!CommandLines::needsLicence(kind) || m_offeringLicence)
        return false;
    QScopedValueRollback<bool> offering(m_offeringLicence, true);
    QString text = m_licenceTexts.value(binary);
    if (text.isEmpty()) {
        // Read without a terminal: the pager's prompts and the question meet the end of the
        // input, which answers no.
        const Utils::SynchronousProcessResponse read = m_runner->run(
            command(workingDirectory, binary, CommandLines::licence(kind), SilentProbeRunFlags));
        text = CommandLines::licenceText(read.stdOut);
        if (!text.isEmpty())
            m_licenceTexts.insert(binary, text);
    }
    LicenceDialog dialog(binary, text, QApplication::activeWindow());
    if (dialog.exec() != QDialog::Accepted) {
        noteLicenceDeclined(binary);
        return false;
    }
    const Utils::SynchronousProcessResponse accepted = m_runner->run(
        command(workingDirectory, binary, CommandLines::acceptLicence(kind), InteractiveRunFlags));
    return licenceAcceptEnded(accepted.exitCode, accepted.stdErr);
}

void TeamFoundationClient::noteLicenceDeclined(const QString &binary) const
{
    VcsBase::VcsOutputWindow::appendWarning(
        tr("The licence of %1 was not accepted, so the command did not run. The next Team "
           "Foundation command offers it again; or accept it in a terminal with \"%2\".")
            .arg(QDir::toNativeSeparators(binary),
                 VcsBase::VcsOutputWindow::formatCommandLine(binary,
                                                             CommandLines::licence(clientKind()))));
}

bool TeamFoundationClient::licenceAcceptEnded(int exitCode, const QString &stdErr) const
{
    if (!CommandLines::licenceAccepted(exitCode, stdErr))
        return false;
    // What the client could not tell before, it can tell now.
    m_plugin->notifyChange(QString());
    return true;
}

bool TeamFoundationClient::askLicence(const QString &binary, const QString &workingDirectory,
                                      const std::function<void(bool accepted)> &answered)
{
    const ClientKind kind = clientKind();
    if (!CommandLines::needsLicence(kind) || m_offeringLicence)
        return false;
    m_offeringLicence = true;
    QPointer<TeamFoundationClient> self(this);
    // The person's answer is the argument of the job that accepts it; nothing waits for it.
    const auto open = [self, binary, workingDirectory, answered](const QString &text) {
        if (!self)
            return;
        auto dialog = new LicenceDialog(binary, text, QApplication::activeWindow());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::finished, self,
                [self, binary, workingDirectory, answered](int answer) {
                    if (answer != QDialog::Accepted) {
                        self->m_offeringLicence = false;
                        self->noteLicenceDeclined(binary);
                        answered(false);
                        return;
                    }
                    self->m_runner->queue(
                        self->m_runner->job(self->command(
                            workingDirectory, binary,
                            CommandLines::acceptLicence(self->clientKind()), InteractiveRunFlags)),
                        [self, answered](const VcsBase::VcsJob &job) {
                            if (!self)
                                return;
                            self->m_offeringLicence = false;
                            answered(self->licenceAcceptEnded(job.exitCode(), job.stdErr()));
                        });
                });
        dialog->open();
    };
    const QString known = m_licenceTexts.value(binary);
    if (!known.isEmpty()) {
        open(known);
        return true;
    }
    // Read without a terminal: the pager's prompts and the question meet the end of the
    // input, which answers no.
    m_runner->queue(m_runner->job(command(workingDirectory, binary, CommandLines::licence(kind),
                                          SilentProbeRunFlags)),
                    [self, binary, open](const VcsBase::VcsJob &job) {
                        if (!self)
                            return;
                        const QString text = CommandLines::licenceText(job.stdOut());
                        if (!text.isEmpty())
                            self->m_licenceTexts.insert(binary, text);
                        open(text);
                    });
    return true;
}

VcsBase::VcsJob *TeamFoundationClient::notRunJob(const QString &path, const QString &executable,
                                                 const QStringList &arguments,
                                                 const QString &reason,
                                                 const TeamFoundationRunner::Finished &finished)
{
    // The command's end as its caller hears of it: failed, for 'reason', without a process;
    // the pane has said why already.
    TeamFoundationCommand notRun =
        command(containingDirectory(path), executable, arguments, SilentProbeRunFlags);
    notRun.prepare = [reason](VcsBase::VcsJob &, const VcsBase::VcsJob::Ready &ready) {
        ready(reason);
    };
    VcsBase::VcsJob *job = m_runner->job(notRun);
    if (finished)
        connect(job, &VcsBase::VcsJob::finished, job, [job, finished] { finished(*job); });
    return job;
}

void TeamFoundationClient::noteLicenceNeeded(const QString &binary) const
{
    if (m_licenceNoted.contains(binary))
        return;
    m_licenceNoted.insert(binary);
    VcsBase::VcsOutputWindow::appendWarning(
        tr("Team Foundation cannot tell yet which files are under version control: the licence "
           "of %1 has not been accepted. The next Team Foundation command offers it.")
            .arg(QDir::toNativeSeparators(binary)));
}

void TeamFoundationClient::reportProbeFault(const QString &binary, const QStringList &arguments,
                                            const QString &reason) const
{
    // Unsaid, a refused login looks like files not under version control.
    if (m_shownProbeFailures.contains(reason))
        return;
    m_shownProbeFailures.insert(reason);
    QStringList shownArguments = arguments;
    addLoginArguments(shownArguments);
    VcsBase::VcsOutputWindow::appendError(
        tr("Team Foundation cannot tell which files are under version control:\n  %1\n  %2")
            .arg(VcsBase::VcsOutputWindow::formatCommandLine(binary, shownArguments), reason));
}

void TeamFoundationClient::addCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    const QString file = m_plugin->currentState().currentFile();
    submit(file, m_settings.binaryPath(), CommandLines::add(clientKind(), file),
           InteractiveRunFlags);
}

void TeamFoundationClient::deleteCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    const QString file = m_plugin->currentState().currentFile();
    submit(file, m_settings.binaryPath(), CommandLines::remove(clientKind(), file),
           InteractiveRunFlags);
}

void TeamFoundationClient::compareCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    compare(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::undoCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    askUndo(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::checkInCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    checkIn(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::annotateCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    const QString file = m_plugin->currentState().currentFile();
    if (!annotatesWithPowerTools()) {
        annotateFile(file);
        return;
    }
    submit(file, m_settings.powerToolsBinaryPath(), CommandLines::annotate(clientKind(), file),
           InteractiveRunFlags);
}

void TeamFoundationClient::getLatestCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    getLatest(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::historyCurrentFile()
{
    QTC_ASSERT(m_plugin->currentState().hasFile(), return);
    history(m_plugin->currentState().currentFile());
}

void TeamFoundationClient::historyProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    history(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::getLatestProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    getLatest(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::undoProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    askUndo(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::compareProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    compare(m_plugin->currentState().topLevel());
}

void TeamFoundationClient::checkInProject()
{
    QTC_ASSERT(m_plugin->currentState().hasTopLevel(), return);
    checkIn(m_plugin->currentState().topLevel());
}

} // namespace Internal
} // namespace TeamFoundation
