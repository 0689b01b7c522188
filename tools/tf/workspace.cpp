#include "workspace.h"
#include "serverstore.h"
#include "tferror.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace Tf {

QString PendingChange::kindText() const
{
    QStringList kinds;
    if (add)
        kinds << "add";
    if (rename)
        kinds << "rename";
    if (edit)
        kinds << "edit";
    if (remove)
        kinds << "delete";
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
        m_pending.append(c);
    }
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

void Workspace::savePending()
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
        changes.append(o);
    }
    ServerStore::writeFileAtomically(directory() + "/pending.json",
                                     QJsonDocument(QJsonObject{{"changes", changes}}).toJson());
}

void Workspace::loadHaveTable() const
{
    if (m_haveLoaded)
        return;
    m_have = '\n' + ServerStore::readFile(directory() + "/have.txt");
    if (!m_have.endsWith('\n'))
        m_have += '\n';
    m_haveLoaded = true;
}

// A command on one file looks its entry up in the raw table; commands that
// touch many items switch to a hash after a few look-ups so that a get of the
// whole workspace stays linear.
void Workspace::useHaveIndex() const
{
    if (++m_haveOperations < 32 || m_haveIndexed)
        return;
    loadHaveTable();
    for (const QByteArray &line : m_have.split('\n')) {
        const int space = line.indexOf(' ');
        if (space > 0)
            m_haveIndex.insert(line.left(space), line.mid(space + 1).toInt());
    }
    m_haveIndexed = true;
}

int Workspace::have(const QString &serverPath) const
{
    useHaveIndex();
    const QByteArray key = ServerPath::key(serverPath).toLatin1();
    if (m_haveIndexed)
        return m_haveIndex.value(key);
    loadHaveTable();
    const QByteArray needle = '\n' + key + ' ';
    const int at = m_have.indexOf(needle);
    if (at < 0)
        return 0;
    const int start = at + needle.size();
    return m_have.mid(start, m_have.indexOf('\n', start) - start).toInt();
}

void Workspace::setHave(const QString &serverPath, int changeset)
{
    useHaveIndex();
    m_haveChanged = true;
    const QByteArray key = ServerPath::key(serverPath).toLatin1();
    if (m_haveIndexed) {
        if (changeset > 0)
            m_haveIndex.insert(key, changeset);
        else
            m_haveIndex.remove(key);
        return;
    }
    loadHaveTable();
    const QByteArray needle = '\n' + key + ' ';
    const int at = m_have.indexOf(needle);
    if (at >= 0) {
        const int end = m_have.indexOf('\n', at + 1);
        m_have.remove(at + 1, end - at);
    }
    if (changeset > 0)
        m_have += key + ' ' + QByteArray::number(changeset) + '\n';
}

void Workspace::saveHave()
{
    if (!m_haveChanged)
        return;
    if (m_haveIndexed) {
        QByteArray table;
        table.reserve(m_haveIndex.size() * 48);
        for (auto it = m_haveIndex.cbegin(); it != m_haveIndex.cend(); ++it)
            table += it.key() + ' ' + QByteArray::number(it.value()) + '\n';
        ServerStore::writeFileAtomically(directory() + "/have.txt", table);
    } else {
        ServerStore::writeFileAtomically(directory() + "/have.txt", m_have.mid(1));
    }
    m_haveChanged = false;
}

} // namespace Tf
