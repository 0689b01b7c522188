#include "workspacecache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace TeamFoundation {
namespace Internal {

namespace {
const char CACHE_FILE[] = "VersionControl.config";
// Below the cross-platform client's profile directory, which TEE_PROFILE_DIRECTORY replaces.
const char PROFILE[] = "Microsoft/Team Foundation/4.0";

QString clean(const QString &path)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

QString join(const QString &directory, const QString &relative)
{
    return clean(directory + QLatin1Char('/') + relative);
}

// What names a directory of 'os' in the environment, with '/' separators.
QString directoryOf(const QString &value, Utils::HostOsInfo::OsType os)
{
    return os == Utils::HostOsInfo::HostOsWindows
               ? QString(value).replace(QLatin1Char('\\'), QLatin1Char('/'))
               : value;
}

bool isAbsolute(const QString &path, Utils::HostOsInfo::OsType os)
{
    const QString p = QDir::fromNativeSeparators(path);
    if (os == Utils::HostOsInfo::HostOsWindows) {
        return (p.size() > 2 && p.at(1) == QLatin1Char(':') && p.at(2) == QLatin1Char('/')) ||
               p.startsWith(QLatin1String("//"));
    }
    return p.startsWith(QLatin1Char('/'));
}

// %NAME% stands for the variable, as in the environment strings both clients expand.
QString expandVariables(QString text, const QProcessEnvironment &environment)
{
    static const QRegularExpression variable(QStringLiteral("%([^%]+)%"));
    QRegularExpressionMatch match;
    int from = 0;
    while ((match = variable.match(text, from)).hasMatch()) {
        const QString value = environment.value(match.captured(1));
        text.replace(match.capturedStart(), match.capturedLength(), value);
        from = match.capturedStart() + value.size();
    }
    return text;
}

// tf.exe keeps a cache per version of Visual Studio, "<N>.0"; several may be installed. The
// newest one holding a cache file is the one in use, else the newest.
QString newestVisualStudioCache(const QString &teamFoundation)
{
    static const QRegularExpression version(QStringLiteral("^(\\d+)\\.0$"));
    QList<int> versions;
    for (const QString &entry : QDir(teamFoundation).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch match = version.match(entry);
        if (match.hasMatch())
            versions << match.captured(1).toInt();
    }
    std::sort(versions.begin(), versions.end(), std::greater<int>());
    for (int v : qAsConst(versions)) {
        const QString file = join(
            teamFoundation, QStringLiteral("%1.0/Cache/%2").arg(v).arg(QLatin1String(CACHE_FILE)));
        if (QFileInfo(file).isFile())
            return file;
    }
    if (versions.isEmpty())
        return QString();
    return join(
        teamFoundation,
        QStringLiteral("%1.0/Cache/%2").arg(versions.first()).arg(QLatin1String(CACHE_FILE)));
}
} // namespace

QString WorkspaceCache::location(ClientKind kind, Utils::HostOsInfo::OsType os,
                                 const QProcessEnvironment &environment, const QString &home)
{
    using Utils::HostOsInfo;
    // Both clients take the cache's directory from here first.
    const QString cacheDirectory = environment.value(QStringLiteral("TFSVC_CACHE_DIR")).trimmed();
    if (!cacheDirectory.isEmpty())
        return join(directoryOf(expandVariables(cacheDirectory, environment), os),
                    QLatin1String(CACHE_FILE));
    const QString cache = QLatin1String("Cache/") + QLatin1String(CACHE_FILE);
    if (kind == ClientKind::VisualStudio) {
        // tf.exe runs on Windows only.
        const QString local = directoryOf(environment.value(QStringLiteral("LOCALAPPDATA")), os);
        if (os != HostOsInfo::HostOsWindows || local.isEmpty())
            return QString();
        return newestVisualStudioCache(join(local, QStringLiteral("Microsoft/Team Foundation")));
    }
    // A relative or empty profile directory is ignored, as the client ignores it.
    const QString profile =
        directoryOf(environment.value(QStringLiteral("TEE_PROFILE_DIRECTORY")), os);
    if (!profile.isEmpty() && isAbsolute(profile, os))
        return join(profile, cache);
    switch (os) {
    case HostOsInfo::HostOsWindows: {
        QString base = environment.value(QStringLiteral("LOCALAPPDATA"));
        if (base.isEmpty())
            base = environment.value(QStringLiteral("APPDATA"));
        if (base.isEmpty())
            base = environment.value(QStringLiteral("ALLUSERSPROFILE"));
        return base.isEmpty() ? QString()
                              : join(join(directoryOf(base, os), QLatin1String(PROFILE)), cache);
    }
    case HostOsInfo::HostOsMac:
        return home.isEmpty() ? QString()
                              : join(join(home, QLatin1String("Library/Application Support/") +
                                                    QLatin1String(PROFILE)),
                                     cache);
    default:
        // The vendor's directory is lower-case on the other systems.
        return home.isEmpty()
                   ? QString()
                   : join(join(home, QLatin1String(".microsoft/Team Foundation/4.0")), cache);
    }
}

QString WorkspaceCache::userHome()
{
#ifdef Q_OS_UNIX
    // The client is a Java program, whose home directory comes from the user database.
    if (const passwd *entry = getpwuid(getuid())) {
        if (entry->pw_dir && *entry->pw_dir)
            return QString::fromLocal8Bit(entry->pw_dir);
    }
#endif
    return QDir::homePath();
}

bool WorkspaceCache::parse(const QByteArray &content, QStringList *mappedPaths)
{
    mappedPaths->clear();
    QXmlStreamReader xml(content);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("VersionControlServer"))
        return false;
    int workingFolders = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            QString path;
            if (xml.name() == QLatin1String("MappedPath"))
                path = xml.attributes().value(QLatin1String("path")).toString();
            else if (xml.name() == QLatin1String("WorkingFolders"))
                ++workingFolders;
            // What a cache of an early version holds instead of MappedPaths.
            else if (workingFolders > 0 && xml.name() == QLatin1String("Map"))
                path = xml.attributes().value(QLatin1String("local")).toString();
            if (!path.isEmpty())
                mappedPaths->append(path);
        } else if (xml.isEndElement() && xml.name() == QLatin1String("WorkingFolders")) {
            --workingFolders;
        }
    }
    // A file cut short while the client was writing it does not end its root element.
    if (xml.hasError()) {
        mappedPaths->clear();
        return false;
    }
    return true;
}

WorkspaceCache::WorkspaceCache(QObject *parent)
    : QObject(parent), m_watcher(new QFileSystemWatcher(this))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryIntervalMs);
    connect(&m_retry, &QTimer::timeout, this, &WorkspaceCache::load);
    // A write comes as several changes; they are read once.
    m_reload.setSingleShot(true);
    m_reload.setInterval(20);
    connect(&m_reload, &QTimer::timeout, this, [this] {
        watch();
        m_retries = 0;
        load();
    });
    connect(m_watcher, &QFileSystemWatcher::fileChanged, &m_reload,
            QOverload<>::of(&QTimer::start));
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, &m_reload,
            QOverload<>::of(&QTimer::start));
}

WorkspaceCache::~WorkspaceCache() = default;

void WorkspaceCache::setFile(const QString &file)
{
    if (file == m_file)
        return;
    m_file = file;
    m_loadedModified = QDateTime();
    m_loadedSize = -1;
    m_retries = 0;
    m_retry.stop();
    watch();
    load();
}

void WorkspaceCache::watch()
{
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (!m_watcher->directories().isEmpty())
        m_watcher->removePaths(m_watcher->directories());
    if (m_file.isEmpty())
        return;
    if (QFileInfo(m_file).isFile())
        m_watcher->addPath(m_file);
    // The directory tells when the file comes; until the client made it, the nearest one
    // that is there.
    QDir directory = QFileInfo(m_file).absoluteDir();
    for (int up = 0; up < 3 && !directory.exists(); ++up) {
        if (!directory.cdUp())
            break;
    }
    if (directory.exists())
        m_watcher->addPath(directory.absolutePath());
}

void WorkspaceCache::load()
{
    const QStringList before = m_mapped;
    const bool wasReadable = m_readable;
    const QFileInfo info(m_file);
    if (m_file.isEmpty() || !info.isFile()) {
        m_mapped.clear();
        m_readable = false;
        m_loadedModified = QDateTime();
        m_loadedSize = -1;
        m_retry.stop();
    } else {
        m_loadedModified = info.lastModified();
        m_loadedSize = info.size();
        QFile file(m_file);
        QStringList paths;
        if (file.open(QIODevice::ReadOnly) && parse(file.readAll(), &paths)) {
            m_mapped.clear();
            for (const QString &path : qAsConst(paths)) {
                if (isAbsolute(path, Utils::HostOsInfo::hostOs()))
                    m_mapped << clean(path);
            }
            m_readable = true;
            m_retries = 0;
            m_retry.stop();
        } else if (m_retries < RetryCount) {
            // The client may be writing it; the last good reading stands meanwhile.
            ++m_retries;
            m_retry.start();
        } else {
            m_mapped.clear();
            m_readable = false;
        }
    }
    if (m_mapped != before || m_readable != wasReadable) {
        // Said from the event loop: this may run while the host is asking a question.
        QMetaObject::invokeMethod(this, &WorkspaceCache::changed, Qt::QueuedConnection);
    }
}

void WorkspaceCache::refresh()
{
    // A look at the file's date and size on every question: the watcher's news may come
    // after the question.
    const QFileInfo info(m_file);
    if (!info.isFile()) {
        if (m_readable || !m_mapped.isEmpty())
            load();
        return;
    }
    if (info.lastModified() != m_loadedModified || info.size() != m_loadedSize) {
        m_retries = 0;
        load();
    }
}

std::optional<WorkspaceCache::Found> WorkspaceCache::match(const QString &directory) const
{
    std::optional<Found> found;
    for (const QString &mapped : m_mapped) {
        if (!Utils::HostOsInfo::isAtOrBelow(directory, mapped))
            continue;
        if (!found) {
            found = Found{mapped, mapped};
            continue;
        }
        if (mapped.size() < found->topLevel.size())
            found->topLevel = mapped;
        if (mapped.size() > found->mapping.size())
            found->mapping = mapped;
    }
    return found;
}

std::optional<WorkspaceCache::Found> WorkspaceCache::find(const QString &directory)
{
    if (m_file.isEmpty())
        return std::nullopt;
    refresh();
    if (m_mapped.isEmpty())
        return std::nullopt;
    const QString path = clean(QFileInfo(directory).absoluteFilePath());
    if (const std::optional<Found> found = match(path))
        return found;
    // The client keeps paths with their parent's links resolved.
    const QFileInfo info(path);
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (parent.isEmpty() || info.fileName().isEmpty())
        return std::nullopt;
    const QString resolved = join(parent, info.fileName());
    return resolved == path ? std::nullopt : match(resolved);
}

} // namespace Internal
} // namespace TeamFoundation
