#include "projectmodel.h"

#include <utils/hostosinfo.h>

#include <QDir>
#include <QSet>

namespace Workbench {

ProjectModel::ProjectModel(QObject *parent) : QFileSystemModel(parent)
{
}

QString ProjectModel::key(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return Utils::HostOsInfo::fileNameCaseSensitivity() == Qt::CaseInsensitive ? clean.toLower()
                                                                               : clean;
}

void ProjectModel::setPendingChanges(const QList<Core::PendingChangeRow> &rows)
{
    QHash<QString, QString> changes;
    for (const Core::PendingChangeRow &row : rows) {
        if (!row.candidate && !row.localFile.isEmpty())
            changes.insert(key(row.localFile), row.changeType);
    }
    if (changes == m_changes)
        return;
    QSet<QString> touched;
    for (auto it = m_changes.cbegin(); it != m_changes.cend(); ++it) {
        if (changes.value(it.key()) != it.value())
            touched.insert(it.key());
    }
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        if (m_changes.value(it.key()) != it.value())
            touched.insert(it.key());
    }
    m_changes = changes;
    // Only the names of files the model has met change; the others show the new state when
    // they are first shown.
    for (const QString &path : qAsConst(touched)) {
        const QModelIndex changed = index(path);
        if (changed.isValid())
            emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
}

QString ProjectModel::pendingChange(const QString &path) const
{
    return m_changes.value(key(path));
}

QVariant ProjectModel::data(const QModelIndex &index, int role) const
{
    const QVariant value = QFileSystemModel::data(index, role);
    if (role != Qt::DisplayRole || index.column() != 0 || m_changes.isEmpty())
        return value;
    const QString change = m_changes.value(key(filePath(index)));
    if (change.isEmpty())
        return value;
    return QStringLiteral("%1 [%2]").arg(value.toString(), change);
}

} // namespace Workbench
