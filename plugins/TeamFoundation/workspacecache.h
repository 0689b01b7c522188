#pragma once

#include "teamfoundationsettings.h"

#include <utils/hostosinfo.h>

#include <QDateTime>
#include <QObject>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <optional>

QT_BEGIN_NAMESPACE
class QFileSystemWatcher;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// The workspaces of this computer as the Team Foundation client keeps them in its cache file,
// VersionControl.config: the local directories of every workspace's working folders. The
// client finds the workspace of a path there without asking its server, and so does the
// plugin, without starting the client: a directory at or below a mapped folder is in a
// workspace, and its top level is the outermost mapped folder above it, where a climb
// through the parents would end. The file holds no cloaks, so a cloaked folder inside a
// mapping counts as mapped (a command there then says that no items match).
//
// The client rewrites the file in place under a lock of its own, which a reader need not
// take: a read that does not parse (caught while the client was writing) is tried again
// shortly, the last good reading standing meanwhile. A file that is missing, stays
// unreadable, or maps no folder above a directory says nothing about it. The file is
// watched; when its mapped folders change, changed() is emitted.
class WorkspaceCache : public QObject
{
    Q_OBJECT
public:
    // How often, and how far apart, a read that does not parse is tried again.
    static const int RetryCount = 10;
    static const int RetryIntervalMs = 100;

    // Where the client of 'kind' keeps the file on 'os', given the environment it runs with
    // and the user's home directory (as the system's user database has it); empty when it
    // keeps none there.
    static QString location(ClientKind kind, Utils::HostOsInfo::OsType os,
                            const QProcessEnvironment &environment, const QString &home);
    // The home directory the cross-platform client uses: the user database's, not $HOME.
    static QString userHome();
    // The local paths of the mapped folders that 'content' names; false when it is not a
    // whole cache file.
    static bool parse(const QByteArray &content, QStringList *mappedPaths);

    explicit WorkspaceCache(QObject *parent = nullptr);
    ~WorkspaceCache() override;

    // Reads 'file' from now on, and watches it.
    void setFile(const QString &file);
    QString file() const { return m_file; }

    class Found
    {
    public:
        QString topLevel; // the outermost mapped folder at or above the directory
        QString mapping;  // the innermost one
    };
    // What the file says of 'directory', read anew when it changed on disk; nothing when it
    // says nothing.
    std::optional<Found> find(const QString &directory);

signals:
    void changed();

private:
    void refresh();
    void load();
    void watch();
    std::optional<Found> match(const QString &directory) const;

    QString m_file;
    QStringList m_mapped; // clean, '/' separated; empty when nothing can be read
    bool m_readable = false;
    QDateTime m_loadedModified;
    qint64 m_loadedSize = -1;
    int m_retries = 0;
    QTimer m_retry;
    QTimer m_reload;
    QFileSystemWatcher *m_watcher;
};

} // namespace Internal
} // namespace TeamFoundation
