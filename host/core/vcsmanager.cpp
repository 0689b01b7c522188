#include "vcsmanager.h"
#include "iversioncontrol.h"

#include <utils/hostosinfo.h>

#include <QDir>
#include <QFileInfo>

namespace Core {

static VcsManager *m_instance = nullptr;

// The directory above the cleaned absolute 'path', or an empty string at the root.
static QString parentPath(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || path == QLatin1String("/"))
        return QString();
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

// Where the system ignores the case of file names, so does the memory of answers.
static QString cacheKey(const QString &path)
{
    return Utils::HostOsInfo::fileNameCaseSensitivity() == Qt::CaseInsensitive ? path.toLower()
                                                                               : path;
}

VcsManager::VcsManager(QObject *parent) : QObject(parent)
{
    m_instance = this;
}

VcsManager::~VcsManager()
{
    if (m_instance == this)
        m_instance = nullptr;
}

VcsManager *VcsManager::instance()
{
    return m_instance;
}

void VcsManager::addVersionControl(IVersionControl *vc)
{
    if (!m_instance || !vc)
        return;
    m_instance->m_versionControls.append(vc);
    connect(vc, &IVersionControl::repositoryChanged, m_instance, [](const QString &repository) {
        resetCache();
        emit m_instance->repositoryChanged(repository);
    });
    connect(vc, &IVersionControl::configurationChanged, m_instance, [vc] {
        resetCache();
        emit m_instance->configurationChanged(vc);
    });
    connect(vc, &IVersionControl::answersChanged, m_instance, [vc] {
        resetCache();
        emit m_instance->answersChanged(vc);
    });
    resetCache();
}

void VcsManager::removeVersionControl(IVersionControl *vc)
{
    if (!m_instance)
        return;
    m_instance->m_versionControls.removeAll(vc);
    disconnect(vc, nullptr, m_instance, nullptr);
    resetCache();
}

QList<IVersionControl *> VcsManager::versionControls()
{
    QList<IVersionControl *> result;
    if (m_instance) {
        for (const QPointer<IVersionControl> &vc : qAsConst(m_instance->m_versionControls)) {
            if (vc)
                result.append(vc);
        }
    }
    return result;
}

IVersionControl *VcsManager::findVersionControl(const QString &id)
{
    for (IVersionControl *vc : versionControls()) {
        if (vc->id().toString() == id)
            return vc;
    }
    return nullptr;
}

IVersionControl *VcsManager::findVersionControlForDirectory(const QString &inputDirectory,
                                                            QString *topLevel)
{
    return findVersionControlForDirectory(inputDirectory, topLevel, nullptr);
}

IVersionControl *VcsManager::findVersionControlForDirectory(const QString &inputDirectory,
                                                            QString *topLevel, QString *unavailable)
{
    if (unavailable)
        unavailable->clear();
    if (!m_instance || inputDirectory.isEmpty())
        return nullptr;
    const QString directory = QDir::cleanPath(QFileInfo(inputDirectory).absoluteFilePath());

    const auto cached = m_instance->m_cache.constFind(cacheKey(directory));
    if (cached != m_instance->m_cache.constEnd()) {
        if (topLevel)
            *topLevel = cached->topLevel;
        return cached->vc;
    }

    ++m_instance->m_misses;
    IVersionControl *found = nullptr;
    QString foundTopLevel;
    IVersionControl *cannotTell = nullptr;
    QString reason;
    for (IVersionControl *vc : versionControls()) {
        const IVersionControl::DirectoryAnswer answer = vc->answerForDirectory(directory);
        if (answer.kind == IVersionControl::DirectoryAnswer::Managed) {
            // The deepest top level wins: nested repositories belong to the inner one.
            const QString candidateTop = QDir::cleanPath(answer.topLevel);
            if (!found || candidateTop.size() > foundTopLevel.size()) {
                found = vc;
                foundTopLevel = candidateTop;
            }
        } else if (answer.kind == IVersionControl::DirectoryAnswer::CannotTell && !cannotTell) {
            cannotTell = vc;
            reason = answer.reason.isEmpty() ? tr("it cannot tell now") : answer.reason;
        }
    }
    if (!found && cannotTell) {
        // Not remembered: the next question may get an answer.
        if (topLevel)
            topLevel->clear();
        if (unavailable)
            *unavailable = reason;
        return cannotTell;
    }

    Entry entry{found, foundTopLevel};
    m_instance->m_cache.insert(cacheKey(directory), entry);
    if (found && Utils::HostOsInfo::isAtOrBelow(directory, foundTopLevel)) {
        // Every directory between this one and the top level has the same answer. The walk
        // is done on the path alone: asking must not depend on the directories still being
        // there, and an answer whose top level is not above the directory teaches nothing
        // about other directories.
        for (QString path = parentPath(directory);
             !path.isEmpty() && Utils::HostOsInfo::isAtOrBelow(path, foundTopLevel);
             path = parentPath(path)) {
            m_instance->m_cache.insert(cacheKey(path), entry);
        }
    }
    if (topLevel)
        *topLevel = foundTopLevel;
    return found;
}

QString VcsManager::repositoryUrl(const QString &inputDirectory)
{
    QString unavailable;
    IVersionControl *vc = findVersionControlForDirectory(inputDirectory, nullptr, &unavailable);
    if (!vc || !unavailable.isEmpty())
        return QString();
    const QString key = cacheKey(QDir::cleanPath(QFileInfo(inputDirectory).absoluteFilePath()));
    const auto known = m_instance->m_repositoryUrls.constFind(key);
    if (known != m_instance->m_repositoryUrls.constEnd())
        return *known;
    // Asking may start a process; a version control reports changes that make it stale.
    const QString url = vc->vcsGetRepositoryURL(inputDirectory);
    m_instance->m_repositoryUrls.insert(key, url);
    return url;
}

void VcsManager::resetCache()
{
    if (m_instance) {
        m_instance->m_cache.clear();
        m_instance->m_repositoryUrls.clear();
    }
}

int VcsManager::cacheMisses()
{
    return m_instance ? m_instance->m_misses : 0;
}

} // namespace Core
