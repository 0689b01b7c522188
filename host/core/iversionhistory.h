#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

namespace Core {

class IVersionControl;

// One item a changeset changed, as the version control words it.
struct ChangedItem
{
    QString changeType; // "edit", "add", "rename, edit" ...
    QString serverItem; // the version control's own name of the item, e.g. "$/Project/a.c"
};

// One changeset (commit) of the history of a file or folder.
struct ChangesetInfo
{
    int id = 0;
    QString user; // as the version control's history names the owner
    QDateTime date;
    QString comment; // the whole comment, lines separated by '\n'
    QList<ChangedItem> items;
};

// One line of a file with the changeset that last changed it.
struct AnnotatedLine
{
    int changeset = 0; // 0: changed in the working copy, not checked in
    QString user;
    QDateTime date;
    QString text;
};

// The content of one version of a file, as bytes: the IDE decodes it as it decodes files.
struct FileVersion
{
    QString label; // what a diff names this side, e.g. "$/Project/a.c;C12" or a local path
    QByteArray content;
};

// What a version control offers so that the IDE can show the history of files and folders
// (the History view), compare versions (the diff view) and annotate a file (the annotate
// view). A plugin hands one to the host's object pool (addAutoReleasedObject); the host picks
// the one whose versionControl() manages the path. Every request returns at once with a
// number (0 when nothing was started, the reason already said in the output pane) and is
// answered later, possibly before it returns, by exactly one of its signals carrying that
// number, or by requestFailed(). The version control may also ask the IDE to show a view
// (its own menu entries do), with the *Requested signals.
class IVersionHistory : public QObject
{
    Q_OBJECT
public:
    // Versions a comparison names besides changeset numbers.
    enum Version : int {
        LocalFile = 0,         // the file on disk, as it is now
        WorkspaceVersion = -1, // the version the local file was got at
        PreviousVersion = -2   // the version before the other side's
    };

    explicit IVersionHistory(QObject *parent = nullptr) : QObject(parent) {}
    ~IVersionHistory() override = default;

    virtual IVersionControl *versionControl() const = 0;

    // The changesets of 'path' (a file or folder, local or the version control's own name),
    // newest first: at most 'count' of them, older than changeset 'olderThan' (0: from the
    // newest). Answered by historyRead().
    virtual int readHistory(const QString &path, int olderThan, int count) = 0;
    // Two versions of a file, 'older' and 'newer' (changesets or Version values). Answered by
    // versionsRead().
    virtual int readVersions(const QString &file, int older, int newer) = 0;
    // For each line of the local file the changeset that last changed it. Answered by
    // annotationRead().
    virtual int annotate(const QString &file) = 0;
    // Replaces the local file or folder by its version of 'changeset' (asking first when
    // that throws changes away). Answered by versionGot().
    virtual int getVersion(const QString &path, int changeset) = 0;

signals:
    void historyRead(int request, const QList<Core::ChangesetInfo> &changesets, bool more);
    void versionsRead(int request, const Core::FileVersion &older, const Core::FileVersion &newer);
    void annotationRead(int request, const QList<Core::AnnotatedLine> &lines);
    void versionGot(int request);
    // 'message' says why, for the person to read.
    void requestFailed(int request, const QString &message);

    // The version control's own commands ask the IDE to show these views.
    void historyRequested(const QString &path);
    void compareRequested(const QString &file, int older, int newer);
    void annotateRequested(const QString &file);
};

} // namespace Core

Q_DECLARE_METATYPE(Core::ChangesetInfo)
Q_DECLARE_METATYPE(Core::AnnotatedLine)
Q_DECLARE_METATYPE(Core::FileVersion)
