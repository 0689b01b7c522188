#pragma once

#include <core/iversionhistory.h>

#include <QList>
#include <QString>

namespace TeamFoundation {
namespace Internal {

// Readers of "tf history" output, newest changeset first as the clients print it. Malformed
// or truncated output is an error: then 'changesets' is empty and 'errorMessage' says what is
// wrong and where, so that no partial table is ever taken for the whole history.
namespace HistoryParser {

// The cross-platform client's "history ITEM -format:xml": <history> with <changeset id owner
// committer date> elements holding <comment> and <item change-type server-item>. Elements and
// attributes it does not know are passed over.
bool parseXml(const QString &xml, QList<Core::ChangesetInfo> *changesets, QString *errorMessage);

// "history ITEM /format:detailed" of tf.exe (a dashed line before every changeset) or of the
// cross-platform client (dashed lines between them): "Changeset:", "User:", "Date:",
// "Comment:" with its indented lines, "Items:" with a change type and a server item a line;
// the sections after them (work items, check-in notes, policy warnings) are passed over.
// "No history entries were found ..." is an empty history.
bool parseDetailed(const QString &text, QList<Core::ChangesetInfo> *changesets,
                   QString *errorMessage);

// A date as either client prints it: ISO 8601 with an offset in XML
// ("2024-03-23T14:07:48.000+0000"), or the English long or medium form of detailed output
// ("Monday, April 23, 2012 1:23:05 PM", "Mar 23, 2024, 2:07:48 PM") taken as local time.
// Invalid when it is none of them.
QDateTime parseDate(const QString &text);

} // namespace HistoryParser
} // namespace Internal
} // namespace TeamFoundation
