#include "teamfoundationcontrol.h"
#include "teamfoundationclient.h"
#include "teamfoundationconstants.h"
#include "teamfoundationplugin.h"
#include "workspacecache.h"
#include "workspaceknowledge.h"

#include <core/vcsmanager.h>

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace TeamFoundation {
namespace Internal {

TeamFoundationControl::TeamFoundationControl(TeamFoundationPlugin *plugin,
                                             WorkspaceKnowledge *knowledge,
                                             WorkspaceCache *workspaceCache)
    : m_plugin(plugin), m_knowledge(knowledge), m_workspaceCache(workspaceCache)
{
}

TeamFoundationControl::~TeamFoundationControl() = default;

QString TeamFoundationControl::displayName() const
{
    return QLatin1String(Constants::TEAMFOUNDATION_DISPLAY_NAME);
}

Core::Id TeamFoundationControl::id() const
{
    return Core::Id(Constants::TEAMFOUNDATION_ID);
}

bool TeamFoundationControl::isConfigured() const
{
    const QString binary = m_plugin->settings().binaryPath();
    if (binary.isEmpty())
        return false;
    const QFileInfo fi(binary);
    return fi.exists() && fi.isFile() && fi.isExecutable();
}

bool TeamFoundationControl::supportsOperation(Operation operation) const
{
    const bool configured = isConfigured();
    switch (operation) {
    case CreateRepositoryOperation:
    case SnapshotOperations:
    case InitialCheckoutOperation:
        return false;
    default:
        return configured;
    }
}

Core::IVersionControl::OpenSupportMode TeamFoundationControl::openSupportMode() const
{
    return OpenMandatory;
}

bool TeamFoundationControl::managesDirectory(const QString &directory, QString *topLevel) const
{
    const DirectoryAnswer answer = answerForDirectory(directory);
    if (answer.kind != DirectoryAnswer::Managed)
        return false;
    if (topLevel)
        *topLevel = answer.topLevel;
    return true;
}

Core::IVersionControl::DirectoryAnswer
TeamFoundationControl::answerForDirectory(const QString &directory) const
{
    DirectoryAnswer answer;
    // What was learnt is no answer while no tf can be run.
    if (!isConfigured())
        return answer;
    // The client's own record of its workspaces answers without a process.
    if (const std::optional<WorkspaceCache::Found> found = m_workspaceCache->find(directory)) {
        answer.kind = DirectoryAnswer::Managed;
        answer.topLevel = found->topLevel;
        return answer;
    }
    // What the host recorded, of the directory or of a mapped folder above it.
    if (const std::optional<DirectoryAnswer> recorded =
            WorkspaceKnowledge::recordedAnswer(this, directory))
        return *recorded;
    const QString fault = m_knowledge->fault(directory);
    if (!fault.isEmpty()) {
        answer.kind = DirectoryAnswer::CannotTell;
        answer.reason = fault;
        return answer;
    }

    const TeamFoundationClient::Probe probe = m_plugin->client()->probeDirectory(directory);
    if (!probe.managed) {
        // A fault (a refused login, a crash) says nothing about the directory.
        if (!probe.answered) {
            m_knowledge->learnFault(directory, probe.reason);
            answer.kind = DirectoryAnswer::CannotTell;
            answer.reason = probe.reason;
        }
        Core::VcsManager::recordAnswer(this, directory, answer);
        return answer;
    }
    const QString path = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    m_knowledge->learnServerPath(path, probe.serverPath);
    // The top level is the highest directory reached by an unbroken chain of managed
    // parents: the parent's answer, from the record or asked (and recorded) in turn.
    answer.kind = DirectoryAnswer::Managed;
    answer.topLevel = path;
    QDir dir(path);
    if (dir.cdUp() && dir.absolutePath() != path) {
        const DirectoryAnswer parent = answerForDirectory(dir.absolutePath());
        if (parent.kind == DirectoryAnswer::Managed) {
            answer.topLevel = parent.topLevel;
            answer.lasting = parent.lasting;
        } else if (parent.kind == DirectoryAnswer::CannotTell) {
            // A top level that a fault ended the search at may be too low.
            answer.lasting = false;
        }
    }
    Core::VcsManager::recordAnswer(this, directory, answer);
    return answer;
}

bool TeamFoundationControl::managesFile(const QString &workingDirectory, const QString &fileName) const
{
    return m_plugin->client()->managesFile(QDir(workingDirectory).absoluteFilePath(fileName));
}

bool TeamFoundationControl::vcsOpen(const QString &fileName)
{
    return m_plugin->client()->checkoutFile(fileName);
}

bool TeamFoundationControl::vcsAdd(const QString &fileName)
{
    return m_plugin->client()->addFile(fileName);
}

bool TeamFoundationControl::vcsDelete(const QString &fileName)
{
    return m_plugin->client()->deleteFile(fileName);
}

bool TeamFoundationControl::vcsMove(const QString &from, const QString &to)
{
    return m_plugin->client()->renameFile(from, to);
}

bool TeamFoundationControl::vcsCreateRepository(const QString &directory)
{
    Q_UNUSED(directory)
    return false;
}

bool TeamFoundationControl::vcsCheckout(const QString &directory, const QByteArray &url)
{
    Q_UNUSED(directory)
    Q_UNUSED(url)
    return false;
}

QString TeamFoundationControl::vcsGetRepositoryURL(const QString &directory)
{
    if (!isConfigured())
        return QString();
    if (const std::optional<QString> known = m_knowledge->serverPath(directory))
        return *known;
    // Below a mapped folder whose server path is known, the path follows from it.
    if (const std::optional<WorkspaceCache::Found> found = m_workspaceCache->find(directory)) {
        const std::optional<QString> mapping = m_knowledge->serverPath(found->mapping);
        if (mapping && !mapping->isEmpty()) {
            const QString relative =
                QDir(found->mapping).relativeFilePath(QFileInfo(directory).absoluteFilePath());
            return relative.isEmpty() || relative == QLatin1String(".")
                       ? *mapping
                       : *mapping + QLatin1Char('/') + relative;
        }
        readServerPath(found->mapping, found->topLevel);
        return QString();
    }
    // The host does not wait for it: it hears of it with answersChanged().
    const std::optional<DirectoryAnswer> recorded =
        WorkspaceKnowledge::recordedAnswer(this, directory);
    readServerPath(directory, recorded && recorded->kind == DirectoryAnswer::Managed
                                  ? recorded->topLevel
                                  : QString());
    return QString();
}

void TeamFoundationControl::readServerPath(const QString &directory, const QString &topLevel)
{
    const QString key = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    if (m_serverPathReads.contains(key))
        return;
    m_serverPathReads.insert(key);
    QPointer<TeamFoundationControl> self(this);
    const bool queued = m_plugin->client()->readServerPath(
        directory, [self, key, topLevel](const TeamFoundationClient::Probe &probe) {
            if (!self || !self->m_serverPathReads.contains(key))
                return;
            if (!probe.answered) {
                // Read again once the client was seen to work again.
                self->m_failedServerPathReads.insert(key);
                return;
            }
            // Not in a workspace after all: the host learns that at its next question.
            if (!probe.managed)
                return;
            self->m_knowledge->learnServerPath(key, probe.serverPath);
            DirectoryAnswer managed;
            managed.kind = DirectoryAnswer::Managed;
            managed.topLevel = topLevel.isEmpty() ? key : topLevel;
            Core::VcsManager::recordAnswer(self, key, managed);
            // From the event loop: the host asks again when it hears it, not inside the
            // end of a job.
            QMetaObject::invokeMethod(self, &Core::IVersionControl::answersChanged,
                                      Qt::QueuedConnection);
        });
    if (!queued)
        m_serverPathReads.remove(key);
}

bool TeamFoundationControl::vcsAnnotate(const QString &file, int line)
{
    Q_UNUSED(line) // the annotate tool has no way to go to a line
    return m_plugin->client()->annotateFile(file);
}

void TeamFoundationControl::forgetServerPathReads()
{
    m_serverPathReads.clear();
    m_failedServerPathReads.clear();
}

bool TeamFoundationControl::retryFailedServerPathReads()
{
    if (m_failedServerPathReads.isEmpty())
        return false;
    m_serverPathReads -= m_failedServerPathReads;
    m_failedServerPathReads.clear();
    return true;
}

QString TeamFoundationControl::lastFailure() const
{
    return m_plugin->client()->lastFailure();
}

} // namespace Internal
} // namespace TeamFoundation
