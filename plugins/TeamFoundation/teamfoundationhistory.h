#pragma once

#include <core/iversionhistory.h>

#include <functional>
#include <memory>

namespace VcsBase {
class VcsJob;
}

namespace TeamFoundation {
namespace Internal {

class TeamFoundationClient;
class TeamFoundationPendingChanges;
class TeamFoundationPlugin;
class TeamFoundationSettings;

// The history of files and folders, versions of a file and its annotation, as the IDE's
// History, diff and annotate views show them. Every request is a job or two in the host's
// queue, never a wait of the window: the history is one "tf history" (XML from the
// cross-platform client, the detailed text from tf.exe); the contents of the versions a
// comparison or an annotation needs are read by one more client that runs a command file of
// one "print" (or tf.exe "view") line a version, however many versions there are. A version
// is read under the server path the file had in its changeset, so that a renamed file's
// history goes back past the rename.
class TeamFoundationHistory : public Core::IVersionHistory
{
    Q_OBJECT
public:
    TeamFoundationHistory(TeamFoundationPlugin *plugin, TeamFoundationClient *client,
                          TeamFoundationPendingChanges *pendingChanges,
                          const TeamFoundationSettings &settings);
    ~TeamFoundationHistory() override;

    Core::IVersionControl *versionControl() const override;
    int readHistory(const QString &path, int olderThan, int count) override;
    int readVersions(const QString &file, int older, int newer) override;
    int annotate(const QString &file) override;
    int getVersion(const QString &path, int changeset) override;

private:
    using Contents = std::function<void(const QList<QByteArray> &contents)>;
    using History = std::function<void(const QList<Core::ChangesetInfo> &changesets)>;

    // What reading the versions of a request needs before they are known: the separator of
    // the outputs (tf.exe: a directory for its files) and a client started ahead, whose
    // start-up passes while the history is read.
    struct Prepared;
    std::shared_ptr<Prepared> prepare(const QString &file);
    // Runs "history" with 'arguments' as a job and hands its changesets to 'done'.
    bool submitHistory(int request, const QString &path, const QStringList &arguments,
                       const History &done);
    // Reads the whole history of 'file' up to the workspace's version, following renames.
    bool readFileHistory(int request, const QString &file, const History &done);
    // Reads the content of each changeset's version of its (first) item in one client.
    void readContents(int request, const QString &file, const QList<Core::ChangesetInfo> &versions,
                      const std::shared_ptr<Prepared> &prepared, const Contents &done);
    // The changesets of a job's output, or why there are none.
    bool parseHistory(const VcsBase::VcsJob &job, QList<Core::ChangesetInfo> *changesets,
                      QString *error) const;
    void fail(int request, const QString &message);
    // Gets the version once the pending changes 'changed' of the path are known: when there
    // are some, after the person agreed to lose them.
    void getVersionOver(int request, const QString &path, int changeset,
                        const QStringList &changed);
    // Queues the undo of 'undone' (the person agreed), then the get of the version.
    void queueGetVersion(int request, const QString &path, int changeset,
                         const QStringList &undone);
    QString workingDirectoryOf(const QString &path) const;

    TeamFoundationPlugin *m_plugin;
    TeamFoundationClient *m_client;
    TeamFoundationPendingChanges *m_pendingChanges;
    const TeamFoundationSettings &m_settings;
    int m_lastRequest = 0;
};

} // namespace Internal
} // namespace TeamFoundation
