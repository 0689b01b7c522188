#pragma once

#include "pendingchanges.h"
#include "selection.h"

#include <QDialog>
#include <QVector>

QT_BEGIN_NAMESPACE
class QFormLayout;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// Asks for the comment of a check-in, for the client that has no check-in dialog of its own,
// and lets the person choose which of the pending changes under the path go in now: each
// with a check box, the unchecked ones staying pending. Nothing checked, nothing can be
// checked in. A change below a folder whose add (or rename, branch, undelete) is pending
// cannot go in without it, as the server refuses it: checking it checks the folder's change
// too, unchecking that unchecks what needs it, and the dialog says so. Shows what is checked
// in above the comment; rows about the changes go into that same form.
class CheckInDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CheckInDialog(const QString &path, QWidget *parent = nullptr);
    ~CheckInDialog() override;

    // Lists the pending changes (candidates are not offered) by their paths relative to the
    // check-in's path: all checked for the whole path, else those whose local files 'checked'
    // names.
    void setChanges(const QList<PendingChange> &changes,
                    const Selection &checked = Selection::wholePath());
    // Lists nothing and says why: everything under the path is checked in.
    void setChangesUnknown(const QString &reason);

    // As typed: line breaks, quotes and blanks included.
    QString comment() const;
    // What the check-in takes: the whole path when every change listed is checked, or when
    // nothing could be listed; else exactly the checked items.
    Selection chosen() const;
    // The items of the checked changes: their local files, or their server items when they
    // have none.
    QStringList checkedItems() const;

    // Refused while nothing is checked, however it is asked for.
    void accept() override;

private:
    void updateOk();
    // Checks what a checked change needs, unchecks what needs an unchecked one, and says so.
    void itemChanged(QTreeWidgetItem *item);
    void checkNeeded(const QList<int> &checked);
    QTreeWidgetItem *listItem(int change) const;

    QString m_path;
    QList<PendingChange> m_changes;
    QFormLayout *m_form;
    QLabel *m_changesNote;
    QTreeWidget *m_changesList;
    // By index into m_changes: the changes of the folders above it that it cannot go in
    // without, nearest first.
    QVector<QList<int>> m_needs;
    QPlainTextEdit *m_commentEdit;
    QLabel *m_neededNote;
    QPushButton *m_okButton = nullptr;
    bool m_listed = false; // the list holds every pending change under the path
};

} // namespace Internal
} // namespace TeamFoundation
