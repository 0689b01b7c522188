#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Tf {

// Server paths: "$/" is the root, items below it are "$/Project/dir/file".
// Comparisons are case-insensitive, as on a Team Foundation server.
namespace ServerPath {
QString normalize(const QString &path); // throws Tf::Error for a path that is not a server path
bool isServerPath(const QString &path);
QString parent(const QString &path);
QString name(const QString &path);
QString child(const QString &folder, const QString &name);
bool isUnder(const QString &path, const QString &folder); // also true when equal
bool equal(const QString &a, const QString &b);
QString key(const QString &path); // stable file name for the item's record
} // namespace ServerPath

struct ItemVersion
{
    int changeset = 0;
    QString change; // add, edit, delete, rename (arrived here), renamed (moved away)
    QString blob;   // content hash, files only
    QString from;   // for "rename": where the item came from
    QString to;     // for "renamed": where the item went
};

// One versioned item with its whole history. Readers only ever see versions of
// committed changesets; versions left by an interrupted check-in are hidden.
struct ItemRecord
{
    QString path;
    bool folder = false;
    QVector<ItemVersion> versions;
    QVector<QPair<QString, int>> children; // folder: child name, changeset it appeared in

    bool isNull() const { return versions.isEmpty(); }
    const ItemVersion *latest() const { return versions.isEmpty() ? nullptr : &versions.last(); }
    bool isLive() const;
    const ItemVersion *versionAt(int changeset) const;
};

struct ChangeEntry
{
    QString path;
    QString change;
    QString from;
};

struct Changeset
{
    int number = 0;
    QString owner;
    QDateTime date;
    QString comment;
    QVector<ChangeEntry> changes;
};

// A file of the store with the whole content it is to be replaced with.
struct StoreFile
{
    QString path; // absolute, inside the store's directory
    QByteArray content;
};

// One change of a check-in, as the workspace hands it to the server.
struct PendingCommit
{
    enum Kind { AddFile, AddFolder, Edit, Delete, Rename };
    Kind kind;
    QString path;       // the item (for Rename, its new path)
    QString from;       // Rename: the old path
    QByteArray content; // AddFile, Edit, Rename of a file
};

// The server side of one collection, kept in a directory:
//   format                    marks the directory as a server store
//   head                      number of the latest committed changeset; replacing it commits
//   transaction               present while a check-in is being written (for recovery, below)
//   lock                      flock()ed by every command for its whole run; never removed
//   users.json                users and salted password hashes (none: no login needed)
//   blobs/xx/<sha1>           file contents, written once, never changed
//   items/xx/<key>.json       one record per item: its versions and, for folders, children
//   changesets/<n>.json       owner, date and comment of each changeset
//   changesets/<n>.changes.json  the items each changeset changed
//   workspaces/<name>/        workspace definition, pending changes, local versions (see Workspace)
// A command on one file reads a handful of small files, however large the server.
//
// Every file is replaced whole by writing "<file>.tmp" and renaming it over
// the file, so a process that dies leaves each file old or new, never torn.
// Nothing is forced to disk (no fsync); what that means after a power
// failure is said at writeFileAtomically().
//
// The transaction file is one line of JSON, {"changeset": N, "paths": [item
// paths whose records the check-in rewrites], "files": [{"path": relative
// path, "size": bytes}]}, followed by the new contents of those files back to
// back: the workspace's files that change with the check-in.
class ServerStore
{
public:
    explicit ServerStore(const QString &directory);
    ~ServerStore();

    // The directory named by a /collection: value (a path or a file:// URL).
    static QString locationFromCollection(const QString &collection, const QString &workingDirectory);

    QString directory() const { return m_dir; }
    bool exists() const;

    // Makes a new, empty server; fails when the directory holds anything.
    void create();
    // Takes the store's lock (waiting for other commands to finish) and reads
    // the head; fails when there is no server or it cannot be locked. The lock
    // is held until the store object is destroyed.
    void open();

    int head() const { return m_head; }
    ItemRecord item(const QString &serverPath) const;
    QStringList childPaths(const ItemRecord &folder) const;
    QByteArray content(const QString &blob) const;
    // Without `withChanges` only the header (owner, date, comment) is read.
    Changeset changeset(int number, bool withChanges = false) const;

    bool hasUsers() const;
    // The user's name as registered, or an empty string when the
    // name or password is wrong.
    QString authenticate(const QString &user, const QString &password) const;
    void addUser(const QString &user, const QString &password);
    // The registered users in the order they were added.
    QStringList userNames() const;

    // The number the next commit() gets.
    int nextChangeset() const { return m_head + 1; }
    // Writes a changeset all or nothing and returns its number; `alongside`
    // (the workspace's new pending changes and local versions) is written
    // with it, all or nothing too. Fails (changing nothing) when an item is
    // not in the state the change expects, a new item's folder is neither on
    // the server nor added by the same changeset, or the store cannot be written;
    // should writing `alongside` fail once the changeset is in, it fails
    // saying so, and the next command that opens the store writes them.
    int commit(const QVector<PendingCommit> &changes, const QString &owner, const QString &comment,
               const QVector<StoreFile> &alongside = {});

    QString workspacesDirectory() const;

    static QByteArray readFile(const QString &path, bool *ok = nullptr);
    static void writeFileAtomically(const QString &path, const QByteArray &data);

private:
    QString itemFile(const QString &serverPath) const;
    ItemRecord loadRecord(const QString &serverPath, bool committedOnly) const;
    void saveRecord(const ItemRecord &record);
    QString putBlob(const QByteArray &content);
    void recoverInterruptedCommit();
    void lock();

    QString m_dir;
    int m_head = 0;
    int m_lockFd = -1;
};

} // namespace Tf
