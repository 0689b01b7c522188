#pragma once

#include <core/iversioncontrol.h>

#include <QSet>

namespace TeamFoundation {
namespace Internal {

class TeamFoundationPlugin;
class WorkspaceCache;
class WorkspaceKnowledge;

// Answers the host's version-control questions for Team Foundation. Which directories are
// managed, and their top levels, come from the client's workspace cache without a process,
// else from what the probes found, else from probes; a probe that failed for another reason
// than "not in a workspace" answers that it cannot tell. The server path of a directory is
// read in the background and announced with answersChanged(). File operations go to the
// command client.
class TeamFoundationControl : public Core::IVersionControl
{
    Q_OBJECT
public:
    TeamFoundationControl(TeamFoundationPlugin *plugin, WorkspaceKnowledge *knowledge,
                          WorkspaceCache *workspaceCache);
    ~TeamFoundationControl() override;

    QString displayName() const override;
    Core::Id id() const override;
    bool managesDirectory(const QString &directory, QString *topLevel = nullptr) const override;
    DirectoryAnswer answerForDirectory(const QString &directory) const override;
    bool managesFile(const QString &workingDirectory, const QString &fileName) const override;
    bool isConfigured() const override;
    bool supportsOperation(Operation operation) const override;
    OpenSupportMode openSupportMode() const override;
    bool vcsOpen(const QString &fileName) override;
    bool vcsAdd(const QString &fileName) override;
    bool vcsDelete(const QString &fileName) override;
    bool vcsMove(const QString &from, const QString &to) override;
    bool vcsCreateRepository(const QString &directory) override;
    bool vcsCheckout(const QString &directory, const QByteArray &url) override;
    QString vcsGetRepositoryURL(const QString &directory) override;
    bool vcsAnnotate(const QString &file, int line) override;
    QString lastFailure() const override;

    // What was learnt was forgotten: server paths are read again when asked for.
    void forgetServerPathReads();
    // The client works again: the reads a fault ended are made again when asked for; true
    // when there were some.
    bool retryFailedServerPathReads();

private:
    // Starts the background read of the server path of 'directory', once until what was
    // learnt is forgotten (or, when a fault ended it, the client was seen to work again).
    void readServerPath(const QString &directory, const QString &topLevel);

    TeamFoundationPlugin *m_plugin;
    WorkspaceKnowledge *m_knowledge;
    WorkspaceCache *m_workspaceCache;
    QSet<QString> m_serverPathReads;       // asked for since what was learnt was forgotten
    QSet<QString> m_failedServerPathReads; // of those, the ones a fault ended
};

} // namespace Internal
} // namespace TeamFoundation
