#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace Core {

class IVersionControl;

// One pending change of a working copy as the IDE shows it.
struct PendingChangeRow
{
    // As the version control words it: "edit", "add", "edit, rename".
    QString changeType;
    // The file on disk: absolute, with '/' separators; empty when it has none.
    QString localFile;
    // The version control's own name of the item, e.g. "$/Project/src/main.cpp"; may be empty.
    QString serverItem;
    // Detected on disk but not pending yet: a new file not added, a missing one not deleted.
    bool candidate = false;
};

// What a version control offers so that the IDE can show the pending changes of the project
// it manages (the Pending Changes view and the project tree's markers) and act on a selection
// of them. A plugin hands one to the host's object pool (addAutoReleasedObject); the host
// picks the one whose versionControl() manages the current project, asks it for the
// project's directory and shows what it announces. Reading is asynchronous: refresh()
// returns at once, and the answer comes as rowsRead() or readFailed(). The actions are
// requests: the plugin runs its commands as it does for its own menu, and announces the rows
// anew when they changed.
class IPendingChanges : public QObject
{
    Q_OBJECT
public:
    explicit IPendingChanges(QObject *parent = nullptr) : QObject(parent) {}
    ~IPendingChanges() override = default;

    // The version control whose working copies this lists.
    virtual IVersionControl *versionControl() const = 0;

    // Starts reading the pending changes at and below 'directory', a directory that
    // versionControl() manages, and returns without waiting. The answer for 'directory'
    // follows, possibly before this returns. Asked again before it answered, it may answer
    // once for both.
    virtual void refresh(const QString &directory) = 0;

    // Compares the rows' files with the versions they are based on.
    virtual void compare(const QList<PendingChangeRow> &rows) = 0;
    // Undoes the rows' changes.
    virtual void undo(const QList<PendingChangeRow> &rows) = 0;
    // Checks the rows' changes in, and only those.
    virtual void checkIn(const QList<PendingChangeRow> &rows) = 0;

signals:
    // The pending changes at and below 'directory' as they are now, in no particular order:
    // the answer to refresh(), or news the version control learnt on its own (after its
    // commands, for a directory it was asked about before).
    void rowsRead(const QString &directory, const QList<Core::PendingChangeRow> &rows);
    // The pending changes at and below 'directory' could not be read; 'message' says why,
    // for the person to read. What was shown before is no longer known to be true.
    void readFailed(const QString &directory, const QString &message);
};

} // namespace Core

Q_DECLARE_METATYPE(Core::PendingChangeRow)
