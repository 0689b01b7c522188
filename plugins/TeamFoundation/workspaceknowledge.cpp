#include "workspaceknowledge.h"

#include <core/vcsmanager.h>
#include <utils/hostosinfo.h>

#include <QDir>
#include <QFileInfo>

namespace TeamFoundation {
namespace Internal {

// Directories are known by their clean absolute paths, without regard to case where the
// system ignores it.
static QString keyOf(const QString &directory)
{
    const QString path = QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
    return Utils::HostOsInfo::fileNameCaseSensitivity() == Qt::CaseInsensitive ? path.toLower()
                                                                               : path;
}

// The directory above 'key', or an empty string at the root.
static QString parentKey(const QString &key)
{
    const int slash = key.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || slash == key.size() - 1)
        return QString();
    return key.left(slash == 0 || (slash == 2 && key.at(1) == QLatin1Char(':')) ? slash + 1
                                                                                : slash);
}

WorkspaceKnowledge::WorkspaceKnowledge(QObject *parent) : QObject(parent)
{
}

WorkspaceKnowledge::~WorkspaceKnowledge() = default;

std::optional<Core::IVersionControl::DirectoryAnswer>
WorkspaceKnowledge::recordedAnswer(const Core::IVersionControl *vc, const QString &directory)
{
    const QString key = keyOf(directory);
    for (QString path = key; !path.isEmpty(); path = parentKey(path)) {
        const std::optional<Core::IVersionControl::DirectoryAnswer> recorded =
            Core::VcsManager::recordedAnswer(vc, path);
        if (!recorded)
            continue;
        if (path == key)
            return recorded;
        // Not managed: a mapping may start further down.
        if (recorded->kind != Core::IVersionControl::DirectoryAnswer::Managed)
            return std::nullopt;
        return recorded;
    }
    return std::nullopt;
}

std::optional<QString> WorkspaceKnowledge::serverPath(const QString &directory) const
{
    const auto known = m_serverPaths.constFind(keyOf(directory));
    if (known == m_serverPaths.constEnd())
        return std::nullopt;
    return *known;
}

void WorkspaceKnowledge::learnServerPath(const QString &directory, const QString &serverPath)
{
    m_serverPaths.insert(keyOf(directory), serverPath);
}

QString WorkspaceKnowledge::fault(const QString &directory) const
{
    return m_faults.value(keyOf(directory));
}

void WorkspaceKnowledge::learnFault(const QString &directory, const QString &reason)
{
    m_faults.insert(keyOf(directory), reason);
}

bool WorkspaceKnowledge::forgetFaults()
{
    const bool forgotten = !m_faults.isEmpty();
    m_faults.clear();
    return forgotten;
}

std::optional<QList<PendingChange>>
WorkspaceKnowledge::pendingChanges(const QString &topLevel) const
{
    const auto read = m_pendingChanges.constFind(keyOf(topLevel));
    if (read == m_pendingChanges.constEnd())
        return std::nullopt;
    return *read;
}

void WorkspaceKnowledge::learnPendingChanges(const QString &topLevel,
                                             const QList<PendingChange> &changes)
{
    m_pendingChanges.insert(keyOf(topLevel), changes);
}

void WorkspaceKnowledge::forgetPendingChanges()
{
    m_pendingChanges.clear();
}

void WorkspaceKnowledge::forget()
{
    m_serverPaths.clear();
    m_faults.clear();
    m_pendingChanges.clear();
    // What the host recorded of the workspaces may be wrong as well.
    Core::VcsManager::resetCache();
    emit forgotten();
}

} // namespace Internal
} // namespace TeamFoundation
