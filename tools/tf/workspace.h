#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QVector>

namespace Tf {

class ServerStore;
struct PendingCommit;
struct StoreFile;

struct Mapping
{
    QString serverPath;
    QString localPath;
};

// A change made in a workspace and not yet checked in.
struct PendingChange
{
    QString serverPath; // where the item is now (for a rename, its new path)
    QString sourcePath; // rename: the server path it had
    bool folder = false;
    bool add = false;
    bool edit = false;
    bool remove = false;
    bool rename = false;
    int baseVersion = 0; // the changeset the change was made against
    QDateTime date = QDateTime::currentDateTime(); // when the change was first pended

    // The change's words, as the client names them: "add", "rename, edit", ...
    QString kindText() const;
};

// A workspace kept on the server: its mappings between server folders and
// local directories, its pending changes and the version of every item that
// was last got into it ("have"). The definition and the pending changes are
// small JSON files. The have table is split by the first two hex digits of
// the item key into have/<xx>.txt, one line "<item key> <changeset>" per item,
// so that a command on one file reads and rewrites a few kilobytes, however
// many items the workspace holds.
class Workspace
{
public:
    static bool isValidName(const QString &name);
    static bool exists(const ServerStore &store, const QString &name);
    static void create(const ServerStore &store, const QString &name, const QString &owner,
                       const QString &computer, const QString &comment);
    static QStringList names(const ServerStore &store);
    // Removes the workspace's record from the store (its local files are the user's).
    static void remove(const ServerStore &store, const QString &name);

    Workspace(ServerStore &store, const QString &name); // throws when it does not exist

    QString name() const { return m_name; }
    QString owner() const { return m_owner; }
    QString computer() const { return m_computer; }
    QString comment() const { return m_comment; }
    ServerStore &store() const { return m_store; }

    const QVector<Mapping> &mappings() const { return m_mappings; }
    void addMapping(const Mapping &mapping);
    void removeMapping(const QString &localPath);
    void saveDefinition();

    QString serverPathFor(const QString &localPath) const; // empty when not mapped
    QString localPathFor(const QString &serverPath) const; // empty when not mapped

    QVector<PendingChange> &pending() { return m_pending; }
    PendingChange *findPending(const QString &serverPath);
    // The pending change of an item known on the server by this path: its own,
    // or the rename that took it elsewhere.
    PendingChange *findPendingForServerItem(const QString &serverPath);
    void removePending(const QString &serverPath);
    void savePending();

    int have(const QString &serverPath) const; // 0: not in the workspace
    void setHave(const QString &serverPath, int changeset);
    void saveHave();

    // What savePending() and saveHave() would write (the pending changes, and
    // the parts of the have table that changed), for a check-in, which writes
    // them with its changeset. The caller must write them: they count as saved.
    QVector<StoreFile> takeChangedFiles();

    // Ends a check-in: the pending changes 'committed' (the store gets 'commits' for them,
    // as one changeset of 'owner' with 'comment') and 'unchanged' (edits that changed
    // nothing, which end without one) are no longer pending, and the items have the
    // versions checked in. The workspace's new state is written with the changeset, so
    // that a check-in that dies half-way leaves neither without the other. Returns the
    // changeset's number; 0 when 'commits' is empty and none was made.
    int checkIn(const QVector<PendingCommit> &commits, const QVector<PendingChange> &committed,
                const QVector<PendingChange> &unchanged, const QString &owner,
                const QString &comment);

    // The order in which a check-in goes: deletes deepest first, so that a folder is empty
    // when it goes, then everything else parents first.
    static void sortForCheckIn(QVector<PendingChange> &changes);

private:
    QString directory() const;
    StoreFile pendingFile() const;
    struct HaveBucket
    {
        QByteArray table; // "\n" followed by lines "<item key> <changeset>\n"
        bool changed = false;
    };
    HaveBucket &haveBucket(const QByteArray &key) const;
    QString haveBucketFile(const QString &name) const;
    void splitOldHaveTable();

    ServerStore &m_store;
    QString m_name;
    QString m_owner;
    QString m_computer;
    QString m_comment;
    QVector<Mapping> m_mappings;
    QVector<PendingChange> m_pending;
    mutable QHash<QString, HaveBucket> m_haveBuckets; // by the two hex digits, loaded on use
};

} // namespace Tf
