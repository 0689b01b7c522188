#pragma once

#include "pendingchanges.h"

#include <core/iversioncontrol.h>

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace TeamFoundation {
namespace Internal {

// What only the plugin knows about the user's workspaces, in one place for every view of the
// plugin: the server paths of their directories, why a directory could not be asked about,
// and the pending changes below each top level that was read. Which directories are in a
// workspace, and their top levels, are the host's record (Core::VcsManager), which the plugin
// reads and adds to (recordedAnswer()). Asking tf costs a process per directory, and the
// answers only change when the workspaces or their mappings change; the plugin forgets
// everything, the host's record included, on the events that can change them (a changed
// configuration or repository, a checkout, a change of the client's workspace cache). A probe
// that failed for another reason than "not in a workspace" (a refused login, a time-out) is no
// answer: it is kept as such, with why, until the client was seen to work again or a person
// asks anew. The pending changes change with every command: they are forgotten on their own
// after each one, until they are read again.
class WorkspaceKnowledge : public QObject
{
    Q_OBJECT
public:
    explicit WorkspaceKnowledge(QObject *parent = nullptr);
    ~WorkspaceKnowledge() override;

    // What the host's record says 'vc' answered for 'directory', or, for a directory below
    // one recorded as managed, that it is managed with the same top level (a mapping takes in
    // everything below it, folders not yet added included). Nothing when nothing is
    // recorded, also below a directory recorded as not managed: a mapping may start further
    // down.
    static std::optional<Core::IVersionControl::DirectoryAnswer>
    recordedAnswer(const Core::IVersionControl *vc, const QString &directory);

    // What "info" said of the directory itself; nothing when it was not asked.
    std::optional<QString> serverPath(const QString &directory) const;
    void learnServerPath(const QString &directory, const QString &serverPath);
    // Why 'directory' could not be asked about; empty when it could, or was not asked.
    QString fault(const QString &directory) const;
    void learnFault(const QString &directory, const QString &reason);
    // The faults are no answer any more; true when there were some.
    bool forgetFaults();

    // The pending changes and candidates at and below the top level 'topLevel' as they were
    // last read; nothing when they were not read since they were last forgotten.
    std::optional<QList<PendingChange>> pendingChanges(const QString &topLevel) const;
    void learnPendingChanges(const QString &topLevel, const QList<PendingChange> &changes);
    // A command may have changed what was read.
    void forgetPendingChanges();

    // Everything learnt may be wrong now.
    void forget();

signals:
    void forgotten();

private:
    QHash<QString, QString> m_serverPaths;                 // by the key of the directory
    QHash<QString, QString> m_faults;                      // by the key of the directory
    QHash<QString, QList<PendingChange>> m_pendingChanges; // by the key of the top level
};

} // namespace Internal
} // namespace TeamFoundation
