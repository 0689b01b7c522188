#pragma once

#include "pendingchanges.h"

#include <core/ipendingchanges.h>

#include <QHash>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>

namespace VcsBase {
class VcsJob;
}

namespace TeamFoundation {
namespace Internal {

class TeamFoundationClient;
class TeamFoundationPlugin;
class WorkspaceKnowledge;

// The pending changes of the user's workspaces as the IDE shows them (the Pending Changes
// view, the project tree) and the check-in dialog lists them. One silent job,
// "tf status TOP -recursive -format:xml", reads everything below a top level; its result is
// kept in the plugin's workspace knowledge for all of them. After each command and file
// operation of the plugin that can change it (not history, compare or annotate, which only
// look) what was read is forgotten and the directory the IDE shows is read again, each read
// costing a client's start-up, once for a burst of changes: asks in a row make one read, and an ask
// while a read runs makes one more after it. What cannot be read (a failed run, XML that is
// malformed or cut short) is an error, never a partial list.
class TeamFoundationPendingChanges : public Core::IPendingChanges
{
    Q_OBJECT
public:
    TeamFoundationPendingChanges(TeamFoundationPlugin *plugin, TeamFoundationClient *client,
                                 WorkspaceKnowledge *knowledge);
    ~TeamFoundationPendingChanges() override;

    Core::IVersionControl *versionControl() const override;
    void refresh(const QString &directory) override;
    void compare(const QList<Core::PendingChangeRow> &rows) override;
    void undo(const QList<Core::PendingChangeRow> &rows) override;
    void checkIn(const QList<Core::PendingChangeRow> &rows) override;

    // A command or file operation of the plugin ended: what was read may be wrong now.
    void changed();

    // Hears the pending changes at and below a path (candidates included), or, when they
    // cannot be read ('read' false), why.
    using Answer =
        std::function<void(bool read, const QList<PendingChange> &changes, const QString &error)>;
    // The pending changes at and below 'path' as they are now: those read last, or, when
    // they are not known to be current, those of the read that is due or running, else of
    // one started for them, which goes before the reads the IDE makes on its own since a
    // person waits for it. 'answer' hears them at once when they are known, else when that
    // read has ended; nothing waits meanwhile.
    void currentChanges(const QString &path, const Answer &answer);

private:
    QString topLevelOf(const QString &directory) const;
    void readDue();
    void read(const QString &topLevel, bool forPerson = false);
    void answer(const QString &topLevel);
    void answerNow(const QString &target, const QString &topLevel, const Answer &answer) const;
    void readFinished(const QString &topLevel, const VcsBase::VcsJob &job);
    void fail(const QString &topLevel, const QString &message);

    TeamFoundationPlugin *m_plugin;
    TeamFoundationClient *m_client;
    WorkspaceKnowledge *m_knowledge;
    QString m_shown;                  // the directory the IDE asked about last
    QSet<QString> m_dueDirectories;   // asked about, not read yet
    QSet<QString> m_waiting;          // top levels whose read waits for its turn
    QSet<QString> m_running;          // top levels being read
    QSet<QString> m_readAgain;        // asked again while being read
    QHash<QString, QPointer<VcsBase::VcsJob>> m_runningJobs; // the reads of m_running
    QHash<QString, QString> m_errors; // why the last read of a top level failed
    QSet<QString> m_reported;         // failures shown in the pane since the last success
    QHash<QString, QList<QPair<QString, Answer>>> m_answers; // by top level: path, answer
    QTimer m_due;
};

} // namespace Internal
} // namespace TeamFoundation
