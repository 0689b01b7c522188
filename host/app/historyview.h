#pragma once

#include <core/iversionhistory.h>

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
QT_END_NAMESPACE

namespace Workbench {

// Shows 'text' in a view's message line: what the version control said, as it said it, in
// red when it is an error.
void showViewMessage(QLabel *label, const QString &text, bool isError);

// The version history that the version control managing 'path' offers (a path of its own,
// "$/...", goes to the one that offers histories at all); null when none does.
Core::IVersionHistory *versionHistoryFor(const QString &path);

// The History view: the changesets of a file or folder, newest first (number, user, date in
// the person's locale, the comment's first line), the first hundred and more on demand.
// Selecting one shows its whole comment and the items it changed. Its context menu compares
// the changeset's version with the one before it or with the local file, gets it, or
// annotates the file. It reads through the version control's Core::IVersionHistory and never
// holds the window up; what cannot be read is said instead of a partial table.
class HistoryView : public QWidget
{
    Q_OBJECT
public:
    static const int PageSize = 100;

    explicit HistoryView(QWidget *parent = nullptr);
    ~HistoryView() override;

    // Reads the newest changesets of 'path' anew; false (errorMessage() says why) when no
    // version control offers its history.
    bool showHistory(const QString &path);
    // Reads the next page, older than those shown.
    bool readMore();
    QString path() const { return m_path; }
    bool isReading() const { return m_request != 0; }
    bool hasMore() const { return m_more; }
    QString errorMessage() const { return m_error; }
    QList<Core::ChangesetInfo> changesets() const { return m_changesets; }

    // Selects the row of changeset 'id'; false when it is not shown.
    bool selectChangeset(int id);
    int selectedChangeset() const;
    // The context menu for the selected changeset; the caller owns it.
    QMenu *createContextMenu(QWidget *parent = nullptr);

signals:
    // A read ended: rows, or an error.
    void readFinished();
    void compareRequested(const QString &file, int older, int newer);
    void annotateRequested(const QString &file);

private:
    bool read(int olderThan);
    void historyRead(int request, const QList<Core::ChangesetInfo> &changesets, bool more);
    void requestFailed(int request, const QString &message);
    void showRows();
    void showSelection();
    // The file a comparison of the selected changeset is about: the history's file, or the
    // changed item selected below it.
    QString comparedFile() const;

    QString m_path;
    bool m_isFolder = false;
    QPointer<Core::IVersionHistory> m_provider;
    QList<Core::ChangesetInfo> m_changesets;
    int m_request = 0;
    bool m_more = false;
    QString m_error;
    QLabel *m_message;
    QPushButton *m_moreButton;
    QTreeWidget *m_table;
    QPlainTextEdit *m_comment;
    QTreeWidget *m_items;
};

} // namespace Workbench
