#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace Tf {

// One workspace as the client's cache records it.
struct CachedWorkspace
{
    QString server; // the collection as the client was given it: here a directory or file:// URL
    QString name;
    QString ownerName;
    QString ownerDisplayName;
    QString computer;
    QString comment;
    QStringList mappedPaths; // local directories of the workspace's mappings
};

// The client's memory of which local directories belong to which workspace of
// which server: the file Cache/VersionControl.config of the profile folder, in
// the layout and under the lock of the cross-platform client, which shares it.
// A command given local paths finds its workspace here without asking a
// server; what the stand-in does not know of an entry (a workspace of a real
// server, attributes it does not write) is kept as it is.
class WorkspaceCache
{
public:
    static QString file();

    static QVector<CachedWorkspace> workspaces();
    // The workspace with the longest mapped path at or above the local path,
    // in the cache or among workspaces read from it before.
    static bool findByPath(const QString &localPath, CachedWorkspace *found);
    static bool findByPath(const QVector<CachedWorkspace> &workspaces, const QString &localPath,
                           CachedWorkspace *found);
    // Workspaces of that name (case-blind), of one server when one is given.
    static QVector<CachedWorkspace> findByName(const QString &name,
                                               const QString &server = QString());

    // Adds the workspace, replacing one of the same name on the same server.
    static void insert(const CachedWorkspace &workspace);
    static void setMappedPaths(const QString &server, const QString &name,
                               const QStringList &paths);
    // Removes the workspaces of that name (all when empty) of that server (all
    // when empty) and returns them.
    static QVector<CachedWorkspace> remove(const QString &server, const QString &name);
    // Makes the cache hold exactly `current` of the owner's workspaces on the server.
    static void replaceOwnerWorkspaces(const QString &server, const QString &owner,
                                       const QVector<CachedWorkspace> &current);

    // Whether two collections name the same server.
    static bool sameServer(const QString &a, const QString &b);
};

} // namespace Tf
