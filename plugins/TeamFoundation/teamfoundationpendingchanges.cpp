#include "teamfoundationpendingchanges.h"
#include "commandlines.h"
#include "teamfoundationclient.h"
#include "teamfoundationplugin.h"
#include "workspaceknowledge.h"

#include <utils/hostosinfo.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <iterator>
#include <memory>

namespace TeamFoundation {
namespace Internal {

namespace {
QString cleanPath(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(QFileInfo(path).absoluteFilePath()));
}

QString localFileOf(const PendingChange &change)
{
    return change.localItem.isEmpty() ? QString() : cleanPath(change.localItem);
}

// What the commands are given for a row: its file, or the server's name of an item that has
// none on disk.
QStringList itemsOf(const QList<Core::PendingChangeRow> &rows)
{
    QStringList items;
    for (const Core::PendingChangeRow &row : rows) {
        const QString item = row.localFile.isEmpty() ? row.serverItem : row.localFile;
        if (!item.isEmpty() && !items.contains(item))
            items << item;
    }
    return items;
}
} // namespace

TeamFoundationPendingChanges::TeamFoundationPendingChanges(TeamFoundationPlugin *plugin,
                                                           TeamFoundationClient *client,
                                                           WorkspaceKnowledge *knowledge)
    : m_plugin(plugin), m_client(client), m_knowledge(knowledge)
{
    m_due.setSingleShot(true);
    m_due.setInterval(0);
    connect(&m_due, &QTimer::timeout, this, &TeamFoundationPendingChanges::readDue);
    connect(m_client, &TeamFoundationClient::workingCopyChanged, this,
            &TeamFoundationPendingChanges::changed);
    // A checkout, a changed configuration or repository: the workspaces may be others now.
    connect(m_knowledge, &WorkspaceKnowledge::forgotten, this,
            &TeamFoundationPendingChanges::changed);
}

TeamFoundationPendingChanges::~TeamFoundationPendingChanges() = default;

Core::IVersionControl *TeamFoundationPendingChanges::versionControl() const
{
    return m_plugin->versionControl();
}

void TeamFoundationPendingChanges::refresh(const QString &directory)
{
    m_shown = cleanPath(directory);
    m_dueDirectories.insert(m_shown);
    m_due.start();
}

void TeamFoundationPendingChanges::changed()
{
    m_knowledge->forgetPendingChanges();
    // What a running read finds may be from before the change: it starts anew (or, when it
    // cannot, is made again when it has ended). One still waiting for its turn finds what the
    // change left.
    m_readAgain += m_running;
    for (const QString &topLevel : qAsConst(m_running)) {
        if (VcsBase::VcsJob *job = m_runningJobs.value(topLevel))
            job->interrupt();
    }
    if (!m_shown.isEmpty()) {
        m_dueDirectories.insert(m_shown);
        m_due.start();
    }
}

QString TeamFoundationPendingChanges::topLevelOf(const QString &directory) const
{
    // The host's current top level is what the plugin told it; only directories elsewhere
    // are asked about.
    const QString current = m_plugin->currentState().topLevel();
    if (!current.isEmpty() && Utils::HostOsInfo::isAtOrBelow(directory, cleanPath(current)))
        return cleanPath(current);
    QString topLevel;
    if (!versionControl()->managesDirectory(directory, &topLevel))
        return QString();
    return cleanPath(topLevel);
}

void TeamFoundationPendingChanges::readDue()
{
    const QSet<QString> directories = m_dueDirectories;
    m_dueDirectories.clear();
    const bool configured = versionControl()->isConfigured();
    QStringList topLevels;
    for (const QString &directory : directories) {
        const QString topLevel = configured ? topLevelOf(directory) : QString();
        if (!topLevel.isEmpty()) {
            if (!topLevels.contains(topLevel))
                topLevels << topLevel;
        } else if (directory == m_shown) {
            emit readFailed(directory, configured ? tr("%1 is not in a Team Foundation workspace.")
                                                        .arg(QDir::toNativeSeparators(directory))
                                                  : tr("Team Foundation is not configured."));
        }
    }
    for (const QString &topLevel : qAsConst(topLevels))
        read(topLevel);
}

void TeamFoundationPendingChanges::read(const QString &topLevel, bool forPerson)
{
    if (m_waiting.contains(topLevel))
        return;
    if (m_running.contains(topLevel)) {
        m_readAgain.insert(topLevel);
        return;
    }
    m_waiting.insert(topLevel);
    QPointer<TeamFoundationPendingChanges> self(this);
    const bool queued = m_client->readStatus(
        topLevel,
        [self, topLevel](VcsBase::VcsJob &job) {
            // Also when it starts again, after it was stopped for a person's command.
            if (!self || (!self->m_waiting.remove(topLevel) && !self->m_running.contains(topLevel)))
                return;
            self->m_running.insert(topLevel);
            self->m_runningJobs.insert(topLevel, &job);
            // What was asked for until now, and what changed until now, this read finds.
            self->m_readAgain.remove(topLevel);
            if (Utils::HostOsInfo::isAtOrBelow(self->m_shown, topLevel))
                self->m_dueDirectories.remove(self->m_shown);
        },
        [self, topLevel](const VcsBase::VcsJob &job) {
            if (self)
                self->readFinished(topLevel, job);
        },
        forPerson);
    if (!queued) {
        m_waiting.remove(topLevel);
        fail(topLevel, tr("tf was not run: Team Foundation is not configured."));
    }
}

void TeamFoundationPendingChanges::readFinished(const QString &topLevel, const VcsBase::VcsJob &job)
{
    m_waiting.remove(topLevel); // cancelled before its turn
    m_running.remove(topLevel);
    m_runningJobs.remove(topLevel);
    // Already out of date: the changes asked for after it started are read instead.
    if (m_readAgain.remove(topLevel)) {
        read(topLevel);
        return;
    }
    QList<PendingChange> changes;
    QString error;
    if (!job.succeeded()) {
        // Said once in the pane for every silent run, and offered at the next command.
        if (CommandLines::failureOf(job.exitCode(), job.stdErr()) ==
            CommandLines::Failure::LicenceNotAccepted) {
            m_client->noteLicenceNeeded(job.binary());
            fail(topLevel, tr("The licence of the Team Foundation client has not been accepted "
                              "yet; the next Team Foundation command offers it."));
            return;
        }
        error = job.stdErr().trimmed();
        if (error.isEmpty())
            error = job.exitMessage();
    } else {
        parsePendingChanges(job.stdOut(), &changes, &error);
    }
    if (!error.isEmpty()) {
        // Each cause once: a broken server would otherwise say it after every command.
        if (!m_reported.contains(error)) {
            m_reported.insert(error);
            VcsBase::VcsOutputWindow::appendError(
                tr("Team Foundation cannot read the pending changes:\n  %1\n  %2")
                    .arg(VcsBase::VcsOutputWindow::formatCommandLine(job.binary(), job.arguments()),
                         error));
        }
        fail(topLevel, error);
        return;
    }
    m_errors.remove(topLevel);
    m_reported.clear();
    m_knowledge->learnPendingChanges(topLevel, changes);
    if (!m_shown.isEmpty() && Utils::HostOsInfo::isAtOrBelow(m_shown, topLevel)) {
        QList<Core::PendingChangeRow> rows;
        for (const PendingChange &change : qAsConst(changes)) {
            const QString file = localFileOf(change);
            if (file.isEmpty() || Utils::HostOsInfo::isAtOrBelow(file, m_shown))
                rows.append({change.changeTypeText(), file, change.serverItem, change.candidate});
        }
        emit rowsRead(m_shown, rows);
    }
    answer(topLevel);
}

void TeamFoundationPendingChanges::fail(const QString &topLevel, const QString &message)
{
    m_errors.insert(topLevel, message);
    if (!m_shown.isEmpty() && Utils::HostOsInfo::isAtOrBelow(m_shown, topLevel))
        emit readFailed(m_shown, message);
    answer(topLevel);
}

void TeamFoundationPendingChanges::currentChanges(const QString &path, const Answer &answer)
{
    const QString target = cleanPath(path);
    const QString directory = QFileInfo(path).isDir() ? target : cleanPath(QFileInfo(path).path());
    if (!versionControl()->isConfigured()) {
        answer(false, {}, tr("Team Foundation is not configured."));
        return;
    }
    const QString topLevel = topLevelOf(directory);
    if (topLevel.isEmpty()) {
        answer(false, {},
               tr("%1 is not in a Team Foundation workspace.")
                   .arg(QDir::toNativeSeparators(directory)));
        return;
    }
    // A read asked for and not started yet may be the one that makes them current.
    if (m_due.isActive()) {
        m_due.stop();
        readDue();
    }
    // A read that runs gives what is current: changed() has it read again otherwise.
    if (!m_knowledge->pendingChanges(topLevel) && !m_running.contains(topLevel) &&
        !m_waiting.contains(topLevel))
        read(topLevel, true);
    if (m_waiting.contains(topLevel) || m_running.contains(topLevel)) {
        m_answers[topLevel].append({target, answer});
        return;
    }
    answerNow(target, topLevel, answer);
}

void TeamFoundationPendingChanges::answer(const QString &topLevel)
{
    const QList<QPair<QString, Answer>> waiting = m_answers.take(topLevel);
    for (const auto &entry : waiting)
        answerNow(entry.first, topLevel, entry.second);
}

void TeamFoundationPendingChanges::answerNow(const QString &target, const QString &topLevel,
                                             const Answer &answer) const
{
    const std::optional<QList<PendingChange>> known = m_knowledge->pendingChanges(topLevel);
    if (!known) {
        answer(false, {}, m_errors.value(topLevel, tr("The pending changes were not read.")));
        return;
    }
    QList<PendingChange> changes;
    for (const PendingChange &change : *known) {
        const QString file = localFileOf(change);
        if (file.isEmpty() ? target == topLevel : Utils::HostOsInfo::isAtOrBelow(file, target))
            changes.append(change);
    }
    answer(true, changes, QString());
}

void TeamFoundationPendingChanges::compare(const QList<Core::PendingChangeRow> &rows)
{
    for (const Core::PendingChangeRow &row : rows) {
        if (!row.localFile.isEmpty())
            m_client->compare(row.localFile);
    }
}

void TeamFoundationPendingChanges::undo(const QList<Core::PendingChangeRow> &rows)
{
    // A candidate is not pending: there is nothing of it to undo.
    QList<Core::PendingChangeRow> pending;
    std::copy_if(rows.cbegin(), rows.cend(), std::back_inserter(pending),
                 [](const Core::PendingChangeRow &row) { return !row.candidate; });
    const QStringList items = itemsOf(pending);
    // The question lists the rows as the view showed them, and says when none is pending.
    QList<PendingChange> changes;
    for (const Core::PendingChangeRow &row : pending) {
        PendingChange change;
        change.changeTypes = row.changeType.split(QLatin1String(", "));
        change.localItem = row.localFile;
        change.serverItem = row.serverItem;
        changes << change;
    }
    const QString path = m_shown.isEmpty() ? m_plugin->currentState().topLevel() : m_shown;
    m_client->askUndo(path.isEmpty() ? items.value(0) : path, Selection::only(items), changes);
}

void TeamFoundationPendingChanges::checkIn(const QList<Core::PendingChangeRow> &rows)
{
    const QStringList items = itemsOf(rows);
    if (items.isEmpty())
        return;
    // The dialog lists the changes of the directory the rows were shown for.
    QString path = m_shown;
    if (path.isEmpty()) {
        const QString first = rows.first().localFile;
        path = first.isEmpty() ? QString() : topLevelOf(QFileInfo(first).path());
    }
    if (!path.isEmpty())
        m_client->checkIn(path, Selection::only(items));
}

} // namespace Internal
} // namespace TeamFoundation
