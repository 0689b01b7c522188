#pragma once

#include <core/ipendingchanges.h>

#include <QPointer>
#include <QWidget>

QT_BEGIN_NAMESPACE
class QLabel;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
QT_END_NAMESPACE

namespace Workbench {

// The Pending Changes view: the pending changes of the current project, one row each (change,
// file name, folder relative to the project), the candidates in a group of their own, as the
// version control that manages the project offers them (Core::IPendingChanges). It asks when
// the project opens, when the version control's configuration changed and when Refresh is
// pressed, and shows whatever the version control announces; the window goes on taking input
// meanwhile. When the changes cannot be read it says why instead of showing a list.
class PendingChangesView : public QWidget
{
    Q_OBJECT
public:
    explicit PendingChangesView(QWidget *parent = nullptr);
    ~PendingChangesView() override;

    // The project directory (empty: none); asks for its pending changes.
    void setProject(const QString &directory);
    QString project() const { return m_project; }

    // Asks the version control of the project to read its pending changes again; false when
    // no version control offers them for this project (message() says so).
    bool refresh();
    // Asked, and no answer yet.
    bool isRefreshing() const { return m_refreshing; }
    // The rows shown: the pending changes by path, then the candidates by path.
    QList<Core::PendingChangeRow> rows() const { return m_rows; }
    // Why no list is shown (a read that failed, no version control offering changes); empty
    // while the rows are what the version control said.
    QString errorMessage() const { return m_error; }
    // The path of a row's file relative to the project, with '/' separators; other files
    // keep their absolute path.
    QString relativePath(const Core::PendingChangeRow &row) const;

    // The selected rows, in the order shown.
    QList<Core::PendingChangeRow> selectedRows() const;
    // The context menu for the selected rows (Compare, Undo, Check In, History); the caller
    // owns it.
    QMenu *createContextMenu(QWidget *parent = nullptr);

signals:
    // The rows or the error changed.
    void rowsChanged();
    // The answer to refresh() came: rows, or an error.
    void refreshFinished();
    // A row's file was double-clicked (or activated with the keyboard).
    void openRequested(const QString &file);
    // History was chosen in the context menu of a row.
    void historyRequested(const QString &file);

private:
    Core::IPendingChanges *providerForProject() const;
    void connectProvider(Core::IPendingChanges *provider);
    void rowsRead(const QString &directory, const QList<Core::PendingChangeRow> &rows);
    void readFailed(const QString &directory, const QString &message);
    void providerGone();
    void showFailure(const QString &error);
    void finishRefresh();
    void showRows();
    void setMessage(const QString &text, bool isError);
    void showContextMenu(const QPoint &pos);
    bool isProjectDirectory(const QString &directory) const;

    QString m_project;
    QPointer<Core::IPendingChanges> m_provider;
    QList<Core::PendingChangeRow> m_rows;
    QString m_error;
    bool m_readFailed = false; // m_error says why reading failed, not why nothing was asked
    bool m_refreshing = false;
    QPushButton *m_refreshButton;
    QLabel *m_message;
    QTreeWidget *m_tree;
};

} // namespace Workbench
