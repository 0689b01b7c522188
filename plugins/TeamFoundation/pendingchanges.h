#pragma once

#include <QList>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QByteArray;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// One pending change of a workspace as "tf status -format:xml" reports it, or a candidate:
// a change the client detected on disk that is not pending yet.
struct PendingChange
{
    QString serverItem;
    QString localItem;       // empty when the client names none
    QString sourceItem;      // where a renamed item came from; empty otherwise
    QStringList changeTypes; // "edit", "rename", ... in lower case, as either client means them
    QString lock;            // "none", "checkin", "checkout"
    QString owner;
    QString workspace;
    QString computer;
    QString date;     // as printed, e.g. 2017-02-08T11:12:06.766-0500
    QString fileType; // the file's encoding or "binary"
    int version = 0;  // the workspace version the change is based on
    bool candidate = false;

    // "rename, edit", the words as the client joins them.
    QString changeTypeText() const { return changeTypes.join(QLatin1String(", ")); }
    bool hasChangeType(const QString &type) const { return changeTypes.contains(type); }
};

// Reads the XML of "tf status PATH -recursive -format:xml", of either client: the
// cross-platform client's status/pending-changes/pending-change, and tf.exe's
// Status/PendingSet/PendingChanges/PendingChange, whose workspace, owner and computer are its
// PendingSet's, into the same values. Elements and attributes it does not know are passed
// over, so that newer clients still read. Malformed or truncated XML, or a document that is no
// status, is an error: then 'changes' is empty and 'errorMessage' says what is wrong and where
// (line, column), so that no partial list is ever taken for the whole.
//
// Text that is already decoded (a job's output) is read as it is, whatever encoding the
// document declares.
bool parsePendingChanges(const QString &xml, QList<PendingChange> *changes, QString *errorMessage);
// Bytes are decoded as the document declares, except that a UTF-16 declaration on 8-bit text,
// as the .NET client writes it into its console output, is taken as UTF-8.
bool parsePendingChanges(const QByteArray &xml, QList<PendingChange> *changes,
                         QString *errorMessage);

// What a command is given for a change: its local file (a clean path with '/'), or its server
// item when it has none on disk.
QString itemOf(const PendingChange &change);
// The change's item as a list of the changes under 'path' (a clean absolute path) shows it:
// relative to 'path', by its file name when it is 'path' itself, else whole.
QString shownItem(const PendingChange &change, const QString &path);

} // namespace Internal
} // namespace TeamFoundation
