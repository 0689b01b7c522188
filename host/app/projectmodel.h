#pragma once

#include <core/ipendingchanges.h>

#include <QFileSystemModel>
#include <QHash>

namespace Workbench {

// The files of the project as the project tree shows them: the file system, with each file's
// pending change after its name ("main.cpp [edit]"). Files without a pending change, and
// candidates that are not pending yet, keep their plain names.
class ProjectModel : public QFileSystemModel
{
    Q_OBJECT
public:
    explicit ProjectModel(QObject *parent = nullptr);

    void setPendingChanges(const QList<Core::PendingChangeRow> &rows);
    // The pending change of 'path' as the tree shows it, e.g. "edit"; empty when it has none.
    QString pendingChange(const QString &path) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    static QString key(const QString &path);

    QHash<QString, QString> m_changes; // key(file) -> change type
};

} // namespace Workbench
