#include "workspace.h"
#include "serverstore.h"
#include "tferror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <algorithm>

namespace Tf {

QString PendingChange::kindText() const
{
    // In the clients' order; an add's content is new anyway, so it is no edit too.
    QStringList kinds;
    if (add)
        kinds << "add";
    if (remove)
        kinds << "delete";
    if (rename)
        kinds << "rename";
    if (edit && !add)
        kinds << "edit";
    return kinds.join(", ");
}

static QString workspaceDirectory(const ServerStore &store, const QString &name)
{
    return store.workspacesDirectory() + '/' + name.toLower();
}

bool Workspace::isValidName(const QString &name)
{
    static const QRegularExpression valid("^[^/\\\\:;*?\"<>|,.\\s][^/\\\\:;*?\"<>|,]{0,63}$");
    return valid.match(name).hasMatch() && !name.endsWith(' ');
}

bool Workspace::exists(const ServerStore &store, const QString &name)
{
    return isValidName(name) && QFileInfo(workspaceDirectory(store, name) + "/workspace.json").isFile();
}

void Workspace::create(const ServerStore &store, const QString &name, const QString &owner,
                       const QString &computer, const QString &comment)
{
    if (!isValidName(name))
        fail(QString("\"%1\" is not a valid workspace name.").arg(name));
    if (exists(store, name))
        fail(QString("The workspace %1 already exists on %2.").arg(name, store.directory()));
    const QJsonObject o{{"name", name}, {"owner", owner}, {"computer", computer},
                        {"comment", comment}, {"mappings", QJsonArray()}};
    ServerStore::writeFileAtomically(workspaceDirectory(store, name) + "/workspace.json",
                                     QJsonDocument(o).toJson());
}

QStringList Workspace::names(const ServerStore &store)
{
    QStringList result;
    const QStringList dirs = QDir(store.workspacesDirectory()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &dir : dirs) {
        const QJsonObject o = QJsonDocument::fromJson(ServerStore::readFile(
            store.workspacesDirectory() + '/' + dir + "/workspace.json")).object();
        if (!o.value("name").toString().isEmpty())
            result.append(o.value("name").toString());
    }
    return result;
}

void Workspace::remove(const ServerStore &store, const QString &name)
{
    if (!exists(store, name) || !QDir(workspaceDirectory(store, name)).removeRecursively())
        fail(QString("Cannot remove the workspace %1.").arg(name));
}

Workspace::Workspace(ServerStore &store, const QString &name)
    : m_store(store)
{
    if (!exists(store, name))
        fail(QString("The workspace %1 does not exist on %2.").arg(name, store.directory()));
    const QJsonObject o = QJsonDocument::fromJson(ServerStore::readFile(
        workspaceDirectory(store, name) + "/workspace.json")).object();
    m_name = o.value("name").toString();
    m_owner = o.value("owner").toString();
    m_computer = o.value("computer").toString();
    m_comment = o.value("comment").toString();
    for (const QJsonValue &m : o.value("mappings").toArray()) {
        const QJsonObject mo = m.toObject();
        m_mappings.append({mo.value("server").toString(), mo.value("local").toString()});
    }
    const QJsonArray pending = QJsonDocument::fromJson(
        ServerStore::readFile(directory() + "/pending.json")).object().value("changes").toArray();
    for (const QJsonValue &p : pending) {
        const QJsonObject po = p.toObject();
        PendingChange c;
        c.serverPath = po.value("path").toString();
        c.sourcePath = po.value("source").toString();
        c.folder = po.value("folder").toBool();
        c.add = po.value("add").toBool();
        c.edit = po.value("edit").toBool();
        c.remove = po.value("delete").toBool();
        c.rename = po.value("rename").toBool();
        c.baseVersion = po.value("base").toInt();
        // Changes pended by an earlier tf have no date; they keep "now".
        const QDateTime date = QDateTime::fromString(po.value("date").toString(), Qt::ISODateWithMs);
        if (date.isValid())
            c.date = date;
        m_pending.append(c);
    }
    splitOldHaveTable();
}

QString Workspace::directory() const
{
    return workspaceDirectory(m_store, m_name);
}

void Workspace::addMapping(const Mapping &mapping)
{
    m_mappings.append(mapping);
}

void Workspace::removeMapping(const QString &localPath)
{
    for (int i = 0; i < m_mappings.size(); ++i) {
        if (m_mappings[i].localPath == localPath) {
            m_mappings.remove(i);
            return;
        }
    }
}

void Workspace::saveDefinition()
{
    QJsonArray mappings;
    for (const Mapping &m : m_mappings)
        mappings.append(QJsonObject{{"server", m.serverPath}, {"local", m.localPath}});
    const QJsonObject o{{"name", m_name}, {"owner", m_owner}, {"computer", m_computer},
                        {"comment", m_comment}, {"mappings", mappings}};
    ServerStore::writeFileAtomically(directory() + "/workspace.json", QJsonDocument(o).toJson());
}

static bool isUnderLocal(const QString &path, const QString &root)
{
    return path == root || (path.startsWith(root) && (root.endsWith('/') || path.at(root.size()) == '/'));
}

QString Workspace::serverPathFor(const QString &localPath) const
{
    const Mapping *best = nullptr;
    for (const Mapping &m : m_mappings) {
        if (isUnderLocal(localPath, m.localPath) && (!best || m.localPath.size() > best->localPath.size()))
            best = &m;
    }
    if (!best)
        return QString();
    const QString rest = localPath.mid(best->localPath.size());
    return rest.isEmpty() ? best->serverPath : ServerPath::normalize(best->serverPath + '/' + rest);
}

QString Workspace::localPathFor(const QString &serverPath) const
{
    const Mapping *best = nullptr;
    for (const Mapping &m : m_mappings) {
        if (ServerPath::isUnder(serverPath, m.serverPath)
            && (!best || m.serverPath.size() > best->serverPath.size()))
            best = &m;
    }
    if (!best)
        return QString();
    const QString rest = best->serverPath == "$/" ? serverPath.mid(2) : serverPath.mid(best->serverPath.size() + 1);
    return rest.isEmpty() ? best->localPath : QDir::cleanPath(best->localPath + '/' + rest);
}

PendingChange *Workspace::findPending(const QString &serverPath)
{
    for (PendingChange &c : m_pending) {
        if (ServerPath::equal(c.serverPath, serverPath))
            return &c;
    }
    return nullptr;
}

PendingChange *Workspace::findPendingForServerItem(const QString &serverPath)
{
    for (PendingChange &c : m_pending) {
        if (c.rename ? ServerPath::equal(c.sourcePath, serverPath)
                     : ServerPath::equal(c.serverPath, serverPath))
            return &c;
    }
    return nullptr;
}

void Workspace::removePending(const QString &serverPath)
{
    for (int i = 0; i < m_pending.size(); ++i) {
        if (ServerPath::equal(m_pending[i].serverPath, serverPath)) {
            m_pending.remove(i);
            return;
        }
    }
}

StoreFile Workspace::pendingFile() const
{
    QJsonArray changes;
    for (const PendingChange &c : m_pending) {
        QJsonObject o{{"path", c.serverPath}, {"folder", c.folder}, {"base", c.baseVersion}};
        if (c.rename)
            o.insert("source", c.sourcePath);
        o.insert("add", c.add);
        o.insert("edit", c.edit);
        o.insert("delete", c.remove);
        o.insert("rename", c.rename);
        o.insert("date", c.date.toString(Qt::ISODateWithMs));
        changes.append(o);
    }
    return {directory() + "/pending.json", QJsonDocument(QJsonObject{{"changes", changes}}).toJson()};
}

void Workspace::savePending()
{
    const StoreFile file = pendingFile();
    ServerStore::writeFileAtomically(file.path, file.content);
}

QString Workspace::haveBucketFile(const QString &name) const
{
    return directory() + "/have/" + name + ".txt";
}

Workspace::HaveBucket &Workspace::haveBucket(const QByteArray &key) const
{
    const QString name = QString::fromLatin1(key.left(2));
    auto it = m_haveBuckets.find(name);
    if (it == m_haveBuckets.end()) {
        HaveBucket bucket;
        bucket.table = '\n' + ServerStore::readFile(haveBucketFile(name));
        if (!bucket.table.endsWith('\n'))
            bucket.table += '\n';
        it = m_haveBuckets.insert(name, bucket);
    }
    return *it;
}

// Workspaces made by an earlier tf keep the whole table in one file, have.txt.
// It is split once; should that be interrupted, the next command splits it
// again from the same file, as nothing changes the buckets before.
void Workspace::splitOldHaveTable()
{
    const QString oldFile = directory() + "/have.txt";
    bool ok = false;
    const QByteArray table = ServerStore::readFile(oldFile, &ok);
    if (!ok)
        return;
    for (const QByteArray &line : table.split('\n')) {
        if (line.indexOf(' ') > 2) {
            HaveBucket &bucket = haveBucket(line.left(2));
            bucket.table += line + '\n';
            bucket.changed = true;
        }
    }
    saveHave();
    if (!QFile::remove(oldFile))
        fail(QString("Cannot remove %1.").arg(oldFile));
}

int Workspace::have(const QString &serverPath) const
{
    const QByteArray key = ServerPath::key(serverPath).toLatin1();
    const QByteArray &table = haveBucket(key).table;
    const QByteArray needle = '\n' + key + ' ';
    const int at = table.indexOf(needle);
    if (at < 0)
        return 0;
    const int start = at + needle.size();
    return table.mid(start, table.indexOf('\n', start) - start).toInt();
}

void Workspace::setHave(const QString &serverPath, int changeset)
{
    const QByteArray key = ServerPath::key(serverPath).toLatin1();
    HaveBucket &bucket = haveBucket(key);
    const QByteArray needle = '\n' + key + ' ';
    const int at = bucket.table.indexOf(needle);
    if (at >= 0) {
        const int end = bucket.table.indexOf('\n', at + 1);
        bucket.table.remove(at + 1, end - at);
    }
    if (changeset > 0)
        bucket.table += key + ' ' + QByteArray::number(changeset) + '\n';
    bucket.changed = true;
}

void Workspace::saveHave()
{
    for (auto it = m_haveBuckets.begin(); it != m_haveBuckets.end(); ++it) {
        if (it->changed)
            ServerStore::writeFileAtomically(haveBucketFile(it.key()), it->table.mid(1));
        it->changed = false;
    }
}

QVector<StoreFile> Workspace::takeChangedFiles()
{
    QVector<StoreFile> files{pendingFile()};
    for (auto it = m_haveBuckets.begin(); it != m_haveBuckets.end(); ++it) {
        if (it->changed)
            files.append({haveBucketFile(it.key()), it->table.mid(1)});
        it->changed = false;
    }
    return files;
}

int Workspace::checkIn(const QVector<PendingCommit> &commits,
                       const QVector<PendingChange> &committed,
                       const QVector<PendingChange> &unchanged, const QString &owner,
                       const QString &comment)
{
    const int number = commits.isEmpty() ? 0 : m_store.nextChangeset();
    for (const PendingChange &c : unchanged)
        removePending(c.serverPath);
    for (const PendingChange &c : committed) {
        removePending(c.serverPath);
        if (c.rename)
            setHave(c.sourcePath, 0);
        setHave(c.serverPath, c.remove ? 0 : number);
    }
    if (commits.isEmpty()) {
        savePending();
        saveHave();
    } else {
        m_store.commit(commits, owner, comment, takeChangedFiles());
    }
    return number;
}

void Workspace::sortForCheckIn(QVector<PendingChange> &changes)
{
    std::sort(changes.begin(), changes.end(), [](const PendingChange &a, const PendingChange &b) {
        if (a.remove != b.remove)
            return a.remove;
        return a.remove ? a.serverPath.toLower() > b.serverPath.toLower()
                        : a.serverPath.toLower() < b.serverPath.toLower();
    });
}

} // namespace Tf
