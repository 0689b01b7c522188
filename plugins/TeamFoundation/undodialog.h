#pragma once

#include "pendingchanges.h"

#include <QDialog>

QT_BEGIN_NAMESPACE
class QLabel;
class QTreeWidget;
QT_END_NAMESPACE

namespace TeamFoundation {
namespace Internal {

// Asks before an undo: what an undone change did on disk (an edit, an add, a delete, a
// rename) is gone for good, so the person sees each change that goes, with its file, and
// chooses Undo or Cancel. When the changes could not be read it says so, and that everything
// pending under the path would be undone.
class UndoDialog : public QDialog
{
    Q_OBJECT
public:
    explicit UndoDialog(const QString &path, QWidget *parent = nullptr);
    ~UndoDialog() override;

    // Lists the pending changes (candidates are not pending and are left out) by their paths
    // relative to the undo's path.
    void setChanges(const QList<PendingChange> &changes);
    void setChangesUnknown(const QString &reason);
    int changeCount() const;

private:
    QString m_path;
    QLabel *m_note;
    QTreeWidget *m_changesList;
};

} // namespace Internal
} // namespace TeamFoundation
