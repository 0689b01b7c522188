#pragma once

#include "pendingchanges.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <optional>

namespace TeamFoundation {
namespace Internal {

// What the plugin has learnt about the directories of the user's workspaces, in one place
// for every view of the plugin: which directories are in a workspace, with the top level of
// their mapping and their server path, and the pending changes below each top level that
// was read. Asking tf costs a process per directory, and the answers only change when the
// workspaces or their mappings change; the plugin forgets everything on the events that can
// change them (a changed configuration or repository, a checkout, a change of the client's
// workspace cache). Directories nothing is known about are left to the probes. A probe that
// failed for another reason than "not in a workspace" (a refused login, a time-out) is no
// answer: it is kept as such, with why, until the client was seen to work again or a person
// asks anew. The pending changes change with every command: they are forgotten on their own
// after each one, until they are read again.
class WorkspaceKnowledge : public QObject
{
    Q_OBJECT
public:
    class Directory
    {
    public:
        bool managed = false;
        QString topLevel;                  // of a managed directory
        std::optional<QString> serverPath; // what "info" said of the directory itself
        QString fault;                     // why it could not be told, when it could not
    };

    explicit WorkspaceKnowledge(QObject *parent = nullptr);
    ~WorkspaceKnowledge() override;

    // What is known of 'directory': what was learnt of it, or, for a directory below one
    // known to be managed, that it is managed with the same top level (a mapping takes in
    // everything below it, folders not yet added included). Nothing when nothing is known,
    // also below a directory known not to be managed: a mapping may start further down.
    std::optional<Directory> directory(const QString &directory) const;

    void learnManaged(const QString &directory, const QString &topLevel,
                      const std::optional<QString> &serverPath = std::nullopt);
    void learnNotManaged(const QString &directory);
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
    QHash<QString, Directory> m_directories;
    QHash<QString, QList<PendingChange>> m_pendingChanges; // by the key of the top level
};

} // namespace Internal
} // namespace TeamFoundation
