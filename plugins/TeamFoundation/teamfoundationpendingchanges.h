#pragma once

#include "pendingchanges.h"

#include <core/ipendingchanges.h>

#include <QHash>
#include <QSet>
#include <QTimer>

#include <functional>
#include <optional>

namespace VcsBase {
class VcsJob;
}

namespace TeamFoundation {
namespace Internal {

class TeamFoundationPlugin;

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
    explicit TeamFoundationPendingChanges(TeamFoundationPlugin *plugin);
    ~TeamFoundationPendingChanges() override;

    Core::IVersionControl *versionControl() const override;
    void refresh(const QString &directory) override;
    void compare(const QList<Core::PendingChangeRow> &rows) override;
    void undo(const QList<Core::PendingChangeRow> &rows) override;
    void checkIn(const QList<Core::PendingChangeRow> &rows) override;

    // A command or file operation of the plugin ended: what was read may be wrong now.
    void changed();

    // The pending changes at and below 'path' (candidates included) as they are now: those
    // read last, or, when they are not known to be current, those of the read that is due or
    // running, else of one started for them; it waits for that read with the IDE going on.
    // False, with 'error' saying why, when they cannot be read.
    bool currentChanges(const QString &path, QList<PendingChange> *changes, QString *error);

    // The pending changes at and below 'path' (candidates included) as they are now, or
    // (nullopt) why they cannot be read, handed to 'then': at once when what was read last is
    // current, else from the event loop once the read that is due or running, or one started
    // for them, has ended. Nothing waits meanwhile. Not called once 'context' is gone.
    using ChangesThen = std::function<void(const std::optional<QList<PendingChange>> &changes,
                                           const QString &error)>;
    void withCurrentChanges(const QString &path, QObject *context, const ChangesThen &then);

signals:
    void readEnded(const QString &topLevel, QPrivateSignal);

private:
    QString topLevelOf(const QString &directory) const;
    // What was read of 'topLevel' at and below 'target'; nullopt when it is not known.
    std::optional<QList<PendingChange>> changesAt(const QString &target,
                                                  const QString &topLevel) const;
    void readDue();
    void read(const QString &topLevel);
    void readFinished(const QString &topLevel, const VcsBase::VcsJob &job);
    void fail(const QString &topLevel, const QString &message);

    TeamFoundationPlugin *m_plugin;
    QString m_shown;                  // the directory the IDE asked about last
    QSet<QString> m_dueDirectories;   // asked about, not read yet
    QSet<QString> m_waiting;          // top levels whose read waits for its turn
    QSet<QString> m_running;          // top levels being read
    QSet<QString> m_readAgain;        // asked again while being read
    QHash<QString, QString> m_errors; // why the last read of a top level failed
    QSet<QString> m_reported;         // failures shown in the pane since the last success
    QTimer m_due;
};

} // namespace Internal
} // namespace TeamFoundation
