#include "teamfoundationpendingchanges.h"
#include "commandlines.h"
#include "teamfoundationclient.h"
#include "teamfoundationplugin.h"
#include "workspaceknowledge.h"

#include <utils/hostosinfo.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QDir>
#include <QEventLoop>
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

bool isAtOrBelow(const QString &path, const QString &directory)
{
    const Qt::CaseSensitivity sensitivity = Utils::HostOsInfo::fileNameCaseSensitivity();
    if (path.compare(directory, sensitivity) == 0)
        return true;
    const QString prefix =
        directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
    return path.startsWith(prefix, sensitivity);
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

TeamFoundationPendingChanges::TeamFoundationPendingChanges(TeamFoundationPlugin *plugin)
    : m_plugin(plugin)
{
    m_due.setSingleShot(true);
    m_due.setInterval(0);
    connect(&m_due, &QTimer::timeout, this, &TeamFoundationPendingChanges::readDue);
    connect(plugin->client(), &TeamFoundationClient::workingCopyChanged, this,
            &TeamFoundationPendingChanges::changed);
    // A checkout, a changed configuration or repository: the workspaces may be others now.
    connect(plugin->knowledge(), &WorkspaceKnowledge::forgotten, this,
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
    m_plugin->knowledge()->forgetPendingChanges();
    // What a running read finds may be from before the change; one still waiting for its
    // turn finds what the change left.
    m_readAgain += m_running;
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
    if (!current.isEmpty() && isAtOrBelow(directory, cleanPath(current)))
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

void TeamFoundationPendingChanges::read(const QString &topLevel)
{
    if (m_waiting.contains(topLevel))
        return;
    if (m_running.contains(topLevel)) {
        m_readAgain.insert(topLevel);
        return;
    }
    m_waiting.insert(topLevel);
    QPointer<TeamFoundationPendingChanges> self(this);
    const bool queued = m_plugin->client()->readStatus(
        topLevel,
        [self, topLevel] {
            if (!self || !self->m_waiting.remove(topLevel))
                return;
            self->m_running.insert(topLevel);
            // What was asked for until now, this read finds.
            if (isAtOrBelow(self->m_shown, topLevel))
                self->m_dueDirectories.remove(self->m_shown);
        },
        [self, topLevel](const VcsBase::VcsJob &job) {
            if (self)
                self->readFinished(topLevel, job);
        });
    if (!queued) {
        m_waiting.remove(topLevel);
        fail(topLevel, tr("tf was not run: Team Foundation is not configured, or the password "
                          "is not known."));
    }
}

void TeamFoundationPendingChanges::readFinished(const QString &topLevel, const VcsBase::VcsJob &job)
{
    m_waiting.remove(topLevel); // cancelled before its turn
    m_running.remove(topLevel);
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
            m_plugin->client()->noteLicenceNeeded(job.binary());
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
    m_plugin->knowledge()->learnPendingChanges(topLevel, changes);
    if (!m_shown.isEmpty() && isAtOrBelow(m_shown, topLevel)) {
        QList<Core::PendingChangeRow> rows;
        for (const PendingChange &change : qAsConst(changes)) {
            const QString file = localFileOf(change);
            if (file.isEmpty() || isAtOrBelow(file, m_shown))
                rows.append({change.changeTypeText(), file, change.serverItem, change.candidate});
        }
        emit rowsRead(m_shown, rows);
    }
    emit readEnded(topLevel, QPrivateSignal());
}

void TeamFoundationPendingChanges::fail(const QString &topLevel, const QString &message)
{
    m_errors.insert(topLevel, message);
    if (!m_shown.isEmpty() && isAtOrBelow(m_shown, topLevel))
        emit readFailed(m_shown, message);
    emit readEnded(topLevel, QPrivateSignal());
}

bool TeamFoundationPendingChanges::currentChanges(const QString &path,
                                                  QList<PendingChange> *changes, QString *error)
{
    changes->clear();
    const QString target = cleanPath(path);
    const QString directory = QFileInfo(path).isDir() ? target : cleanPath(QFileInfo(path).path());
    if (!versionControl()->isConfigured()) {
        *error = tr("Team Foundation is not configured.");
        return false;
    }
    const QString topLevel = topLevelOf(directory);
    if (topLevel.isEmpty()) {
        *error = tr("%1 is not in a Team Foundation workspace.")
                     .arg(QDir::toNativeSeparators(directory));
        return false;
    }
    // A read asked for and not started yet may be the one that makes them current.
    if (m_due.isActive()) {
        m_due.stop();
        readDue();
    }
    WorkspaceKnowledge *knowledge = m_plugin->knowledge();
    // A read that runs gives what is current: changed() has it read again otherwise.
    if (!knowledge->pendingChanges(topLevel) && !m_running.contains(topLevel))
        read(topLevel);
    QPointer<TeamFoundationPendingChanges> self(this);
    while (self && (m_waiting.contains(topLevel) || m_running.contains(topLevel))) {
        QEventLoop loop;
        connect(this, &TeamFoundationPendingChanges::readEnded, &loop, &QEventLoop::quit);
        // Anything else than quit(): the IDE is quitting, and nothing is read any more.
        if (loop.exec() != 0)
            break;
    }
    if (!self) {
        *error = tr("The pending changes were not read.");
        return false;
    }
    const std::optional<QList<PendingChange>> known = changesAt(target, topLevel);
    if (!known) {
        *error = m_errors.value(topLevel, tr("The pending changes were not read."));
        return false;
    }
    *changes = *known;
    return true;
}

std::optional<QList<PendingChange>> TeamFoundationPendingChanges::changesAt(const QString &target,
                                                                          const QString &topLevel) const
{
    const std::optional<QList<PendingChange>> known = m_plugin->knowledge()->pendingChanges(topLevel);
    if (!known)
        return std::nullopt;
    // Those without a file (a delete, say) belong to the top level as a whole.
    QList<PendingChange> changes;
    for (const PendingChange &change : *known) {
        const QString file = localFileOf(change);
        if (file.isEmpty() ? target == topLevel : isAtOrBelow(file, target))
            changes.append(change);
    }
    return changes;
}

void TeamFoundationPendingChanges::withCurrentChanges(const QString &path, QObject *context,
                                                      const ChangesThen &then)
{
    const QString target = cleanPath(path);
    const QString directory = QFileInfo(path).isDir() ? target : cleanPath(QFileInfo(path).path());
    if (!versionControl()->isConfigured()) {
        then(std::nullopt, tr("Team Foundation is not configured."));
        return;
    }
    const QString topLevel = topLevelOf(directory);
    if (topLevel.isEmpty()) {
        then(std::nullopt, tr("%1 is not in a Team Foundation workspace.")
                               .arg(QDir::toNativeSeparators(directory)));
        return;
    }
    // A read asked for and not started yet may be the one that makes them current.
    if (m_due.isActive()) {
        m_due.stop();
        readDue();
    }
    WorkspaceKnowledge *knowledge = m_plugin->knowledge();
    QPointer<TeamFoundationPendingChanges> self(this);
    auto answer = [self, target, topLevel, then] {
        if (!self)
            return;
        const std::optional<QList<PendingChange>> changes = self->changesAt(target, topLevel);
        then(changes, changes ? QString()
                              : self->m_errors.value(topLevel,
                                                     tr("The pending changes were not read.")));
    };
    // A read that runs gives what is current: changed() has it read again otherwise.
    if (!knowledge->pendingChanges(topLevel) && !m_running.contains(topLevel))
        read(topLevel);
    if (!m_waiting.contains(topLevel) && !m_running.contains(topLevel)) {
        answer();
        return;
    }
    // Answered from the event loop, not from inside the end of the read's job: what comes
    // next (a question to the person) must not hold up the queue that ran it.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection =
        connect(this, &TeamFoundationPendingChanges::readEnded, context,
                [self, context, topLevel, connection, answer](const QString &ended) {
                    if (!self || ended != topLevel || self->m_waiting.contains(topLevel) ||
                        self->m_running.contains(topLevel))
                        return;
                    QObject::disconnect(*connection);
                    QMetaObject::invokeMethod(context, answer, Qt::QueuedConnection);
                });
}

void TeamFoundationPendingChanges::compare(const QList<Core::PendingChangeRow> &rows)
{
    for (const Core::PendingChangeRow &row : rows) {
        if (!row.localFile.isEmpty())
            m_plugin->client()->compare(row.localFile);
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
    m_plugin->client()->askUndo(items, changes, path.isEmpty() ? items.value(0) : path);
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
        m_plugin->client()->checkIn(path, items);
}

} // namespace Internal
} // namespace TeamFoundation
