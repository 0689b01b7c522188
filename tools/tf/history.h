#pragma once

#include "arguments.h"
#include "serverstore.h"

#include <QString>
#include <QVector>

namespace Tf {

// A version as the clients write it after "-version:" or "ITEM;": a changeset ("C12" or
// "12"), the latest ("T"), a date ("D2024-03-23", "D2024-03-23T14:07"), or the workspace's
// version ("W", "Wname"). Labels are not kept by this server.
struct VersionSpec
{
    enum Kind { Changeset, Latest, Date, Workspace };
    Kind kind = Latest;
    int changeset = 0;
    QDateTime date;
    QString workspace;

    // Throws Tf::Error with the client's words for a version it does not take.
    static VersionSpec parse(const QString &text, Grammar grammar);
    // The changeset it names on 'store'; 'workspaceVersion' answers a W version.
    int resolve(const ServerStore &store, int workspaceVersion) const;
};

// An item split from its ";VERSION" suffix, as "print $/a.c;C3" and "history a.c;T" take it.
struct VersionedItem
{
    QString item;
    QString version; // empty when none was given
    static VersionedItem parse(const QString &text);
};

// One changeset of a history with the changes it made to the items asked about, each named
// as the item was named in that changeset.
struct HistoryEntry
{
    Changeset changeset;
    QVector<ChangeEntry> changes;
};

namespace History {

// The changesets from 'start' up to 'cutoff' that changed the file now at 'serverPath', newest
// first. In item mode a rename is followed back to the item's earlier names; in slot mode
// (the clients' default) the history ends at the change that brought an item to this path.
QVector<HistoryEntry> ofFile(const ServerStore &store, const ItemRecord &record, int start,
                             int cutoff, bool itemMode);
// The changesets from 'start' up to 'cutoff' that changed anything at or below 'folder',
// newest first, at most 'stopAfter'.
QVector<HistoryEntry> ofFolder(const ServerStore &store, const QString &folder, int start,
                               int cutoff, int stopAfter);

// The three layouts of "tf history": "-format:xml" of the cross-platform client, "detailed"
// (tf.exe puts a dashed line before every changeset, the cross-platform client between them)
// and "brief" (a table; without the Change column for a recursive history).
QString xml(const QVector<HistoryEntry> &entries);
QString detailed(const QVector<HistoryEntry> &entries, Grammar grammar);
QString brief(const QVector<HistoryEntry> &entries, bool withChanges);

// A date as the clients show it to a person: in local time, in English ("Dec 7, 2026, 7:34:42
// PM"; tf.exe's long form "Monday, December 7, 2026 7:34:42 PM").
QString displayDate(const QDateTime &date, Grammar grammar);

} // namespace History
} // namespace Tf
