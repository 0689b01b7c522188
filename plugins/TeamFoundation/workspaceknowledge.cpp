#include "workspaceknowledge.h"

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

std::optional<WorkspaceKnowledge::Directory>
WorkspaceKnowledge::directory(const QString &directory) const
{
    const QString key = keyOf(directory);
    const auto learnt = m_directories.constFind(key);
    if (learnt != m_directories.constEnd())
        return *learnt;
    for (QString above = parentKey(key); !above.isEmpty(); above = parentKey(above)) {
        const auto known = m_directories.constFind(above);
        if (known == m_directories.constEnd())
            continue;
        // Not managed, or not known: a mapping may start further down.
        if (!known->managed)
            return std::nullopt;
        Directory below;
        below.managed = true;
        below.topLevel = known->topLevel;
        return below;
    }
    return std::nullopt;
}

void WorkspaceKnowledge::learnManaged(const QString &directory, const QString &topLevel,
                                      const std::optional<QString> &serverPath)
{
    Directory &entry = m_directories[keyOf(directory)];
    entry.managed = true;
    entry.topLevel = topLevel;
    if (serverPath)
        entry.serverPath = serverPath;
}

void WorkspaceKnowledge::learnNotManaged(const QString &directory)
{
    m_directories.insert(keyOf(directory), Directory());
}

void WorkspaceKnowledge::learnFault(const QString &directory, const QString &reason)
{
    Directory fault;
    fault.fault = reason;
    m_directories.insert(keyOf(directory), fault);
}

bool WorkspaceKnowledge::forgetFaults()
{
    bool forgotten = false;
    for (auto it = m_directories.begin(); it != m_directories.end();) {
        if (it->fault.isEmpty()) {
            ++it;
        } else {
            it = m_directories.erase(it);
            forgotten = true;
        }
    }
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
    m_directories.clear();
    m_pendingChanges.clear();
    emit forgotten();
}

} // namespace Internal
} // namespace TeamFoundation
