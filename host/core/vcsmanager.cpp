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

// The clean absolute path of 'directory'.
static QString cleanDirectory(const QString &directory)
{
    return QDir::cleanPath(QFileInfo(directory).absoluteFilePath());
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
        // What was recorded lasts; what was no answer (cannot tell) was never recorded, and
        // the repository locations are asked anew.
        m_instance->m_repositoryUrls.clear();
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
    if (topLevel)
        topLevel->clear();
    if (!m_instance || inputDirectory.isEmpty())
        return nullptr;
    const QString directory = cleanDirectory(inputDirectory);

    bool asked = false;
    IVersionControl *found = nullptr;
    QString foundTopLevel;
    IVersionControl *cannotTell = nullptr;
    QString reason;
    QList<QPair<IVersionControl *, IVersionControl::DirectoryAnswer>> answers;
    for (IVersionControl *vc : versionControls()) {
        IVersionControl::DirectoryAnswer answer;
        if (const std::optional<IVersionControl::DirectoryAnswer> kept =
                recordedAnswer(vc, directory)) {
            answer = *kept;
        } else {
            asked = true;
            answer = vc->answerForDirectory(directory);
            recordAnswer(vc, directory, answer);
        }
        answers.append({vc, answer});
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
    if (asked)
        ++m_instance->m_misses;
    if (!found && cannotTell) {
        if (unavailable)
            *unavailable = reason;
        return cannotTell;
    }
    if (found && Utils::HostOsInfo::isAtOrBelow(directory, foundTopLevel)) {
        // Every directory between this one and the top level has the same answers. The walk
        // is done on the path alone: asking must not depend on the directories still being
        // there, and an answer whose top level is not above the directory teaches nothing
        // about other directories.
        for (QString path = parentPath(directory);
             !path.isEmpty() && Utils::HostOsInfo::isAtOrBelow(path, foundTopLevel);
             path = parentPath(path)) {
            for (const auto &answer : qAsConst(answers)) {
                if (answer.second.kind != IVersionControl::DirectoryAnswer::CannotTell &&
                    answer.second.lasting)
                    m_instance->keep(cacheKey(path), answer.first, answer.second);
            }
        }
    }
    if (topLevel)
        *topLevel = foundTopLevel;
    return found;
}

std::optional<IVersionControl::DirectoryAnswer>
VcsManager::recordedAnswer(const IVersionControl *vc, const QString &directory)
{
    if (!m_instance || directory.isEmpty())
        return std::nullopt;
    const auto answers = m_instance->m_answers.constFind(cacheKey(cleanDirectory(directory)));
    if (answers == m_instance->m_answers.constEnd())
        return std::nullopt;
    const auto answer = answers->constFind(vc);
    if (answer == answers->constEnd())
        return std::nullopt;
    return *answer;
}

void VcsManager::recordAnswer(const IVersionControl *vc, const QString &inputDirectory,
                              const IVersionControl::DirectoryAnswer &answer)
{
    if (!m_instance || inputDirectory.isEmpty() || !answer.lasting ||
        answer.kind == IVersionControl::DirectoryAnswer::CannotTell)
        return;
    const QString directory = cleanDirectory(inputDirectory);
    m_instance->m_answers[cacheKey(directory)][vc] = answer;
    if (answer.kind != IVersionControl::DirectoryAnswer::Managed)
        return;
    const QString top = QDir::cleanPath(answer.topLevel);
    if (!Utils::HostOsInfo::isAtOrBelow(directory, top))
        return;
    for (QString path = parentPath(directory);
         !path.isEmpty() && Utils::HostOsInfo::isAtOrBelow(path, top); path = parentPath(path))
        m_instance->keep(cacheKey(path), vc, answer);
}

void VcsManager::keep(const QString &key, const IVersionControl *vc,
                      const IVersionControl::DirectoryAnswer &answer)
{
    Answers &answers = m_answers[key];
    if (!answers.contains(vc))
        answers.insert(vc, answer);
}

QString VcsManager::repositoryUrl(const QString &inputDirectory)
{
    QString unavailable;
    IVersionControl *vc = findVersionControlForDirectory(inputDirectory, nullptr, &unavailable);
    if (!vc || !unavailable.isEmpty())
        return QString();
    const QString key = cacheKey(cleanDirectory(inputDirectory));
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
        m_instance->m_answers.clear();
        m_instance->m_repositoryUrls.clear();
    }
}

int VcsManager::cacheMisses()
{
    return m_instance ? m_instance->m_misses : 0;
}

} // namespace Core
