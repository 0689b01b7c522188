#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace Tf {

// The client's memory of which local directories belong to which workspace
// on which server, so that a command given only a local path finds its
// workspace. Kept in the user's data directory, like the client's cache.
class ClientRegistry
{
public:
    struct Entry
    {
        QString server;    // store directory
        QString workspace; // workspace name
        QString localRoot; // a mapped local directory
    };

    static QString location();

    // The entry whose local root contains the path most closely, if any.
    static bool find(const QString &localPath, Entry *entry);
    static QVector<Entry> entries();

    // Both take the registry's lock around read-modify-write.
    static void add(const Entry &entry);
    static void remove(const QString &server, const QString &workspace, const QString &localRoot = QString());
};

} // namespace Tf
