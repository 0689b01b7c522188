#include "teamfoundationhistory.h"
#include "annotation.h"
#include "commandfile.h"
#include "commandlines.h"
#include "historyparser.h"
#include "teamfoundationclient.h"
#include "teamfoundationpendingchanges.h"
#include "teamfoundationplugin.h"

#include <core/documentmanager.h>
#include <utils/textdiff.h>
#include <utils/treeprocess.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>

#include <memory>

namespace TeamFoundation {
namespace Internal {

namespace {
bool isServerItem(const QString &path)
{
    return path.startsWith(QLatin1Char('$'));
}

QString jobError(const VcsBase::VcsJob &job)
{
    const QString error = job.stdErr().trimmed();
    return error.isEmpty() ? job.exitMessage() : error;
}

// The newest changeset of 'history' (newest first) at or before 'changeset': the version of
// the file that 'changeset' saw. -1 when the file did not exist yet.
int versionAt(const QList<Core::ChangesetInfo> &history, int changeset)
{
    for (int i = 0; i < history.size(); ++i) {
        if (history.at(i).id <= changeset)
            return i;
    }
    return -1;
}

// Whether the file has content in that changeset: a deleted item has none.
bool hasContent(const Core::ChangesetInfo &changeset)
{
    return !changeset.items.isEmpty() &&
           !changeset.items.first().changeType.contains(QLatin1String("delete"));
}

QString versionLabel(const Core::ChangesetInfo &changeset)
{
    return QStringLiteral("%1;C%2").arg(changeset.items.value(0).serverItem).arg(changeset.id);
}
} // namespace

TeamFoundationHistory::TeamFoundationHistory(TeamFoundationPlugin *plugin,
                                             TeamFoundationClient *client,
                                             TeamFoundationPendingChanges *pendingChanges,
                                             const TeamFoundationSettings &settings)
    : m_plugin(plugin), m_client(client), m_pendingChanges(pendingChanges), m_settings(settings)
{
}

TeamFoundationHistory::~TeamFoundationHistory() = default;

Core::IVersionControl *TeamFoundationHistory::versionControl() const
{
    return m_plugin->versionControl();
}

QString TeamFoundationHistory::workingDirectoryOf(const QString &path) const
{
    // A server item names no place on disk; the client finds its workspace from the
    // project's directory.
    if (isServerItem(path))
        return m_plugin->currentState().topLevel();
    return QFileInfo(path).absolutePath();
}

void TeamFoundationHistory::fail(int request, const QString &message)
{
    emit requestFailed(request, message);
}

bool TeamFoundationHistory::parseHistory(const VcsBase::VcsJob &job,
                                         QList<Core::ChangesetInfo> *changesets,
                                         QString *error) const
{
    if (!job.succeeded()) {
        *error = jobError(job);
        return false;
    }
    if (m_settings.clientKind() == ClientKind::VisualStudio)
        return HistoryParser::parseDetailed(job.stdOut(), changesets, error);
    return HistoryParser::parseXml(job.stdOut(), changesets, error);
}

bool TeamFoundationHistory::submitHistory(int request, const QString &path,
                                          const QStringList &arguments, const History &done)
{
    // The command runs where a command on 'path' runs; a server item, in the project.
    const QString place =
        isServerItem(path) ? QDir(workingDirectoryOf(path)).filePath(QStringLiteral(".")) : path;
    QPointer<TeamFoundationHistory> self(this);
    return m_client->submit(place, m_settings.binaryPath(), arguments, {},
                            [self, request, done](const VcsBase::VcsJob &job) {
                                if (!self)
                                    return;
                                QList<Core::ChangesetInfo> changesets;
                                QString error;
                                if (!self->parseHistory(job, &changesets, &error)) {
                                    self->fail(request, error);
                                    return;
                                }
                                done(changesets);
                            });
}

int TeamFoundationHistory::readHistory(const QString &path, int olderThan, int count)
{
    const int request = ++m_lastRequest;
    const bool recursive = !isServerItem(path) && QFileInfo(path).isDir();
    QPointer<TeamFoundationHistory> self(this);
    const bool queued = submitHistory(
        request, path,
        CommandLines::historyRead(m_settings.clientKind(), path, recursive, olderThan, count,
                                  false),
        [self, request, count](const QList<Core::ChangesetInfo> &changesets) {
            emit self->historyRead(request, changesets, count > 0 && changesets.size() >= count);
        });
    return queued ? request : 0;
}

bool TeamFoundationHistory::readFileHistory(int request, const QString &file, const History &done)
{
    return submitHistory(
        request, file, CommandLines::historyRead(m_settings.clientKind(), file, false, 0, 0, true),
        done);
}

struct TeamFoundationHistory::Prepared
{
    ~Prepared()
    {
        // Not handed to a job (the history failed, or named no version): of no use.
        if (client && !client->parent())
            client->deleteLater();
    }

    QByteArray separator;
    QStringList options;
    std::shared_ptr<QTemporaryDir> files; // tf.exe cannot tell its lines' outputs apart
    QPointer<Utils::TreeProcess> client;
};

std::shared_ptr<TeamFoundationHistory::Prepared> TeamFoundationHistory::prepare(const QString &file)
{
    auto prepared = std::make_shared<Prepared>();
    if (m_settings.clientKind() == ClientKind::VisualStudio) {
        prepared->files = std::make_shared<QTemporaryDir>(QDir::tempPath() +
                                                          QLatin1String("/tf-versions-XXXXXX"));
    } else {
        prepared->separator = CommandFile::newSeparator();
        prepared->options << CommandFile::separatorOption(prepared->separator);
    }
    prepared->client = m_client->startCommandFile(workingDirectoryOf(file), prepared->options);
    return prepared;
}

void TeamFoundationHistory::readContents(int request, const QString &file,
                                         const QList<Core::ChangesetInfo> &versions,
                                         const std::shared_ptr<Prepared> &prepared,
                                         const Contents &done)
{
    if (versions.isEmpty()) {
        done({});
        return;
    }
    if (prepared->files && !prepared->files->isValid()) {
        fail(request,
             tr("No temporary directory for the versions: %1").arg(prepared->files->errorString()));
        return;
    }
    const ClientKind kind = m_settings.clientKind();
    QList<QStringList> lines;
    for (int i = 0; i < versions.size(); ++i) {
        const Core::ChangesetInfo &version = versions.at(i);
        lines << CommandLines::printVersion(
            kind, version.items.value(0).serverItem, version.id,
            prepared->files ? prepared->files->filePath(QStringLiteral("%1.version").arg(i))
                            : QString());
    }
    const QString description =
        tr("tf print %1 (%n versions)", nullptr, versions.size()).arg(QFileInfo(file).fileName());
    QPointer<TeamFoundationHistory> self(this);
    const int count = versions.size();
    const bool queued = m_client->submitCommandFile(
        workingDirectoryOf(file), prepared->options, lines, description,
        [self, request, prepared, count, done](const VcsBase::VcsJob &job) {
            if (!self)
                return;
            if (!job.succeeded()) {
                self->fail(request, tr("The versions could not be read: %1").arg(jobError(job)));
                return;
            }
            QList<QByteArray> contents;
            if (prepared->files) {
                for (int i = 0; i < count; ++i) {
                    QFile version(prepared->files->filePath(QStringLiteral("%1.version").arg(i)));
                    if (!version.open(QIODevice::ReadOnly)) {
                        self->fail(request, tr("The client wrote no version to %1.")
                                                .arg(QDir::toNativeSeparators(version.fileName())));
                        return;
                    }
                    contents << version.readAll();
                }
            } else if (!CommandFile::split(job.stdOut().toLatin1(), prepared->separator, count,
                                           &contents)) {
                self->fail(request,
                           tr("The client's output holds not all %n versions.", nullptr, count));
                return;
            }
            done(contents);
        },
        prepared->client.data());
    if (!queued)
        fail(request, tr("tf was not run: Team Foundation is not configured, or the password "
                         "is not known."));
}

int TeamFoundationHistory::annotate(const QString &file)
{
    const int request = ++m_lastRequest;
    QPointer<TeamFoundationHistory> self(this);
    const std::shared_ptr<Prepared> prepared = prepare(file);
    const bool queued = readFileHistory(
        request, file, [self, request, file, prepared](const QList<Core::ChangesetInfo> &history) {
            QList<Core::ChangesetInfo> versions;
            for (auto it = history.crbegin(); it != history.crend(); ++it) {
                if (hasContent(*it))
                    versions << *it;
            }
            self->readContents(
                request, file, versions, prepared,
                [self, request, file, versions](const QList<QByteArray> &contents) {
                    QList<Annotation::Version> texts;
                    for (int i = 0; i < versions.size(); ++i) {
                        const Utils::DecodedText text = Utils::DecodedText::decode(contents.at(i));
                        if (text.binary) {
                            self->fail(request, tr("%1 is a binary file in changeset %2.")
                                                    .arg(QDir::toNativeSeparators(file))
                                                    .arg(versions.at(i).id));
                            return;
                        }
                        texts.append({versions.at(i), text.lines});
                    }
                    QFile local(file);
                    if (!local.open(QIODevice::ReadOnly)) {
                        self->fail(request,
                                   tr("%1 cannot be read: %2")
                                       .arg(QDir::toNativeSeparators(file), local.errorString()));
                        return;
                    }
                    const Utils::DecodedText current = Utils::DecodedText::decode(local.readAll());
                    if (current.binary) {
                        self->fail(request,
                                   tr("%1 is a binary file.").arg(QDir::toNativeSeparators(file)));
                        return;
                    }
                    emit self->annotationRead(request, Annotation::annotate(texts, current.lines));
                });
        });
    return queued ? request : 0;
}

int TeamFoundationHistory::readVersions(const QString &file, int older, int newer)
{
    const int request = ++m_lastRequest;
    if (newer == LocalFile && isServerItem(file))
        return 0;
    QPointer<TeamFoundationHistory> self(this);
    const std::shared_ptr<Prepared> prepared = prepare(file);
    const bool queued = readFileHistory(
        request, file,
        [self, request, file, older, newer, prepared](const QList<Core::ChangesetInfo> &history) {
            // The newer side first: the older may be the version before it.
            int newerIndex = -1;
            if (newer == WorkspaceVersion || newer == LocalFile)
                newerIndex = history.isEmpty() ? -1 : 0;
            else
                newerIndex = versionAt(history, newer);
            int olderIndex = -1;
            if (older == WorkspaceVersion)
                olderIndex = history.isEmpty() ? -1 : 0;
            else if (older == PreviousVersion)
                olderIndex = newer == LocalFile ? newerIndex : newerIndex < 0 ? -1 : newerIndex + 1;
            else
                olderIndex = versionAt(history, older);
            if (newer != LocalFile && newerIndex < 0) {
                self->fail(request, tr("%1 has no version in changeset %2.")
                                        .arg(QDir::toNativeSeparators(file))
                                        .arg(newer));
                return;
            }
            // The version before the first is no file at all: everything is new.
            QList<Core::ChangesetInfo> wanted;
            const bool olderRead = olderIndex >= 0 && olderIndex < history.size() &&
                                   hasContent(history.at(olderIndex));
            const bool newerRead = newer != LocalFile && hasContent(history.at(newerIndex));
            if (olderRead)
                wanted << history.at(olderIndex);
            if (newerRead)
                wanted << history.at(newerIndex);
            const Core::FileVersion none{tr("(no version)"), QByteArray()};
            const Core::FileVersion olderNone =
                olderIndex >= 0 && olderIndex < history.size()
                    ? Core::FileVersion{versionLabel(history.at(olderIndex)), QByteArray()}
                    : none;
            const Core::FileVersion newerNone =
                newerIndex >= 0
                    ? Core::FileVersion{versionLabel(history.at(newerIndex)), QByteArray()}
                    : none;
            self->readContents(
                request, file, wanted, prepared, [=](const QList<QByteArray> &contents) {
                    Core::FileVersion olderVersion = olderNone;
                    Core::FileVersion newerVersion = newerNone;
                    int next = 0;
                    if (olderRead)
                        olderVersion.content = contents.at(next++);
                    if (newerRead) {
                        newerVersion.content = contents.at(next++);
                    } else if (newer == LocalFile) {
                        QFile local(file);
                        if (!local.open(QIODevice::ReadOnly)) {
                            self->fail(request, tr("%1 cannot be read: %2")
                                                    .arg(QDir::toNativeSeparators(file),
                                                         local.errorString()));
                            return;
                        }
                        newerVersion = {QDir::toNativeSeparators(file), local.readAll()};
                    }
                    emit self->versionsRead(request, olderVersion, newerVersion);
                });
        });
    return queued ? request : 0;
}

int TeamFoundationHistory::getVersion(const QString &path, int changeset)
{
    if (isServerItem(path) || !Core::DocumentManager::discardModifiedDocuments(path) ||
        !m_plugin->versionControl()->isConfigured())
        return 0;
    const int request = ++m_lastRequest;
    // The client keeps a file with a pending change as it is; getting another version means
    // undoing the change first, which throws the person's work away: they are asked, once
    // the pending changes are known.
    QPointer<TeamFoundationHistory> self(this);
    m_pendingChanges->currentChanges(
        path, [self, request, path, changeset](bool read, const QList<PendingChange> &changes,
                                               const QString &) {
            if (!self)
                return;
            QStringList changed;
            if (read) {
                for (const PendingChange &change : changes) {
                    if (!change.candidate && !change.localItem.isEmpty())
                        changed << change.localItem;
                }
            }
            self->getVersionOver(request, path, changeset, changed);
        });
    return request;
}

void TeamFoundationHistory::getVersionOver(int request, const QString &path, int changeset,
                                           const QStringList &changed)
{
    if (changed.isEmpty()) {
        queueGetVersion(request, path, changeset, changed);
        return;
    }
    QStringList shown;
    for (const QString &item : changed)
        shown << QDir::toNativeSeparators(item);
    // Asked without a loop of its own: this may run as a read's job ends. The answer builds
    // the undo and the get.
    auto question = new QMessageBox(
        QMessageBox::Question, tr("Get This Version"),
        tr("Getting changeset %1 undoes your pending changes to:\n%2\n\nThey will be lost.")
            .arg(changeset)
            .arg(shown.join(QLatin1Char('\n'))),
        QMessageBox::Discard | QMessageBox::Cancel, QApplication::activeWindow());
    question->setDefaultButton(QMessageBox::Cancel);
    question->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<TeamFoundationHistory> self(this);
    connect(question, &QDialog::finished, this,
            [self, request, path, changeset, changed](int answer) {
                if (!self)
                    return;
                if (answer != QMessageBox::Discard) {
                    self->fail(request,
                               tr("Changeset %1 of %2 was not got: the pending changes were kept.")
                                   .arg(changeset)
                                   .arg(QDir::toNativeSeparators(path)));
                    return;
                }
                self->queueGetVersion(request, path, changeset, changed);
            });
    question->open();
}

void TeamFoundationHistory::queueGetVersion(int request, const QString &path, int changeset,
                                            const QStringList &undone)
{
    if (!undone.isEmpty() && !m_client->undo(undone)) {
        fail(request, tr("Changeset %1 of %2 was not got: the pending changes could not be "
                         "undone.")
                          .arg(changeset)
                          .arg(QDir::toNativeSeparators(path)));
        return;
    }
    QPointer<TeamFoundationHistory> self(this);
    TeamFoundationPlugin *plugin = m_plugin;
    const bool queued = m_client->submit(
        path, m_settings.binaryPath(),
        CommandLines::getVersion(m_settings.clientKind(), path, QFileInfo(path).isDir(), changeset),
        InteractiveRunFlags, [self, plugin, request, path](const VcsBase::VcsJob &job) {
            if (!self)
                return;
            if (!job.succeeded()) {
                self->fail(request, jobError(job));
                return;
            }
            plugin->notifyChange(path);
            emit self->versionGot(request);
        });
    if (!queued)
        fail(request, tr("Team Foundation cannot run its client now."));
}

} // namespace Internal
} // namespace TeamFoundation
