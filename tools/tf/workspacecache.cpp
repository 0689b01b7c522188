#include "workspacecache.h"
#include "clientprofile.h"
#include "filelock.h"
#include "tferror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QUuid>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>

namespace Tf {
namespace {

// The client waits this long for the cache's lock before it gives up.
const int lockTimeoutMs = 10 * 1000;

// An element of the cache file with everything it holds, so that what the
// stand-in does not read is written back unchanged.
struct Node
{
    QString name;
    QXmlStreamAttributes attributes;
    QVector<Node> children;
    QString text; // what the element holds besides its children and the layout's blanks

    QString attribute(const QString &key) const { return attributes.value(key).toString(); }
    Node *child(const QString &childName)
    {
        for (Node &c : children) {
            if (c.name == childName)
                return &c;
        }
        return nullptr;
    }
    Node &ensureChild(const QString &childName)
    {
        if (Node *c = child(childName))
            return *c;
        children.append(Node{childName, {}, {}, {}});
        return children.last();
    }
};

[[noreturn]] void failUnreadable()
{
    fail(QString("An error occurred: The cache file %1 is not valid and cannot be loaded. Please "
                 "correct or delete the file.")
             .arg(WorkspaceCache::file()));
}

Node readNode(QXmlStreamReader &xml)
{
    Node node{xml.name().toString(), xml.attributes(), {}, {}};
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement())
            node.children.append(readNode(xml));
        else if (xml.isCharacters() && !xml.isWhitespace())
            node.text += xml.text();
        else if (xml.isEndElement())
            break;
    }
    return node;
}

// The root, VersionControlServer, with its Servers element.
Node load()
{
    Node root{"VersionControlServer", {}, {}, {}};
    QFile file(WorkspaceCache::file());
    if (file.open(QIODevice::ReadOnly)) {
        QXmlStreamReader xml(&file);
        while (!xml.atEnd() && !xml.isStartElement())
            xml.readNext();
        if (xml.isStartElement()) {
            root = readNode(xml);
            while (!xml.atEnd())
                xml.readNext();
        }
        if (xml.hasError() || root.name != "VersionControlServer")
            failUnreadable();
    } else if (file.exists()) {
        fail(QString("An error occurred: Cannot read %1: %2")
                 .arg(file.fileName(), file.errorString()));
    }
    root.ensureChild("Servers");
    return root;
}

void writeTree(QXmlStreamWriter &xml, const Node &node)
{
    xml.writeStartElement(node.name);
    xml.writeAttributes(node.attributes);
    if (!node.text.isEmpty())
        xml.writeCharacters(node.text);
    for (const Node &child : node.children)
        writeTree(xml, child);
    xml.writeEndElement();
}

// Written in place, as the client writes it, so that whoever watches the file
// keeps watching the same file; readers that do not take the lock must be
// ready to read it half-written, as with the client.
void save(Node root)
{
    Node &servers = root.ensureChild("Servers");
    for (int i = servers.children.size() - 1; i >= 0; --i) {
        const Node &server = servers.children[i];
        const bool empty = std::none_of(server.children.begin(), server.children.end(),
                                        [](const Node &c) { return c.name == "WorkspaceInfo"; });
        if (server.name == "ServerInfo" && empty)
            servers.children.remove(i);
    }
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    writeTree(xml, root);
    // The writer starts the root on a line of its own; the file starts with it.
    text = text.mid(text.startsWith('\n') ? 1 : 0) + '\n';
    QFile file(WorkspaceCache::file());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() ||
        !file.flush())
        fail(QString("An error occurred: Cannot write %1: %2")
                 .arg(file.fileName(), file.errorString()));
}

void lockCache(FileLock &lock)
{
    if (!lock.lock(WorkspaceCache::file() + ".lock", lockTimeoutMs))
        fail("An error occurred: The version control cache file could not be loaded because "
             "exclusive access could not be acquired.");
}

Node lockedLoad(FileLock &lock)
{
    if (!QFileInfo::exists(WorkspaceCache::file()))
        return load();
    lockCache(lock);
    return load();
}

// Changes the cache under its lock; it is written only when `change` says it
// changed something, so that whoever watches the file is not woken for nothing.
void update(const std::function<bool(Node &servers)> &change)
{
    const QString dir = ClientProfile::cacheDirectory();
    if (!QDir().mkpath(dir))
        fail(QString("An error occurred: Cannot create the directory %1.").arg(dir));
    FileLock lock;
    lockCache(lock);
    Node root = load();
    if (change(root.ensureChild("Servers")))
        save(root);
}

QString serverKey(const QString &uri)
{
    QString u = uri.trimmed();
    if (u.startsWith("file:", Qt::CaseInsensitive)) {
        const QUrl url(u);
        if (url.isLocalFile())
            return QDir::cleanPath(url.toLocalFile());
    }
    if (u.contains("://")) {
        while (u.endsWith('/'))
            u.chop(1);
        return u.toLower();
    }
    return QDir::cleanPath(u);
}

CachedWorkspace fromNode(const Node &server, const Node &info)
{
    CachedWorkspace ws;
    ws.server = server.attribute("uri");
    ws.name = info.attribute("name");
    ws.ownerName = info.attribute("ownerName");
    ws.ownerDisplayName = info.attribute("ownerDisplayName");
    if (ws.ownerDisplayName.isEmpty())
        ws.ownerDisplayName = ws.ownerName;
    ws.computer = info.attribute("computer");
    ws.comment = info.attribute("comment");
    for (const Node &c : info.children) {
        // WorkingFolders/Map@local is the layout of earlier clients, still read.
        const bool current = c.name == "MappedPaths";
        if (!current && c.name != "WorkingFolders")
            continue;
        for (const Node &m : c.children) {
            const QString path = current ? m.attribute("path") : m.attribute("local");
            if (!path.isEmpty())
                ws.mappedPaths.append(path);
        }
    }
    return ws;
}

Node mappedPathsNode(const QStringList &paths)
{
    Node node{"MappedPaths", {}, {}, {}};
    for (const QString &path : paths) {
        Node mapped{"MappedPath", {}, {}, {}};
        mapped.attributes.append("path", path);
        node.children.append(mapped);
    }
    return node;
}

// The attributes in the order the client's serializer writes them.
Node workspaceNode(const CachedWorkspace &ws)
{
    Node node{"WorkspaceInfo", {}, {}, {}};
    node.attributes.append("LastSavedCheckinTimeStamp", "0001-01-01T00:00:00.000Z");
    node.attributes.append("comment", ws.comment);
    node.attributes.append("computer", ws.computer);
    node.attributes.append("isLocalWorkspace", "false");
    node.attributes.append("name", ws.name);
    node.attributes.append("options", "0");
    node.attributes.append("ownerDisplayName",
                           ws.ownerDisplayName.isEmpty() ? ws.ownerName : ws.ownerDisplayName);
    node.attributes.append("ownerName", ws.ownerName);
    node.children.append(mappedPathsNode(ws.mappedPaths));
    node.children.append(Node{"OwnerAliases", {}, {}, {}});
    return node;
}

Node &serverNode(Node &servers, const QString &server)
{
    for (Node &s : servers.children) {
        if (s.name == "ServerInfo" && WorkspaceCache::sameServer(s.attribute("uri"), server))
            return s;
    }
    // A server has a GUID of its own; a directory's is derived from its path,
    // so that it stays the same whoever writes the entry.
    QString uri = server;
    while (uri.size() > 1 && uri.endsWith('/') && !uri.endsWith("//"))
        uri.chop(1);
    Node node{"ServerInfo", {}, {}, {}};
    const QUuid guid =
        QUuid::createUuidV5(QUuid("6ba7b811-9dad-11d1-80b4-00c04fd430c8"), serverKey(server));
    node.attributes.append("repositoryGuid", guid.toString(QUuid::WithoutBraces));
    node.attributes.append("uri", uri);
    servers.children.append(node);
    return servers.children.last();
}

bool contains(const QString &mapped, const QString &path)
{
    if (mapped.isEmpty())
        return false;
    return path == mapped ||
           (path.startsWith(mapped) && (mapped.endsWith('/') || path.at(mapped.size()) == '/'));
}

} // namespace

QString WorkspaceCache::file()
{
    return ClientProfile::cacheDirectory() + "/VersionControl.config";
}

bool WorkspaceCache::sameServer(const QString &a, const QString &b)
{
    return serverKey(a) == serverKey(b);
}

QVector<CachedWorkspace> WorkspaceCache::workspaces()
{
    FileLock lock;
    Node root = lockedLoad(lock);
    QVector<CachedWorkspace> result;
    for (const Node &server : root.ensureChild("Servers").children) {
        for (const Node &info : server.children) {
            if (info.name == "WorkspaceInfo")
                result.append(fromNode(server, info));
        }
    }
    return result;
}

bool WorkspaceCache::findByPath(const QString &localPath, CachedWorkspace *found)
{
    return findByPath(workspaces(), localPath, found);
}

bool WorkspaceCache::findByPath(const QVector<CachedWorkspace> &workspaces,
                                const QString &localPath, CachedWorkspace *found)
{
    int longest = -1;
    for (const CachedWorkspace &ws : workspaces) {
        for (const QString &mapped : ws.mappedPaths) {
            if (contains(mapped, localPath) && mapped.size() > longest) {
                longest = mapped.size();
                *found = ws;
            }
        }
    }
    return longest >= 0;
}

QVector<CachedWorkspace> WorkspaceCache::findByName(const QString &name, const QString &server)
{
    QVector<CachedWorkspace> result;
    for (const CachedWorkspace &ws : workspaces()) {
        if (ws.name.compare(name, Qt::CaseInsensitive) == 0 &&
            (server.isEmpty() || sameServer(ws.server, server)))
            result.append(ws);
    }
    return result;
}

void WorkspaceCache::insert(const CachedWorkspace &workspace)
{
    update([&](Node &servers) {
        Node &server = serverNode(servers, workspace.server);
        for (int i = server.children.size() - 1; i >= 0; --i) {
            const Node &info = server.children[i];
            if (info.name == "WorkspaceInfo" &&
                info.attribute("name").compare(workspace.name, Qt::CaseInsensitive) == 0)
                server.children.remove(i);
        }
        server.children.append(workspaceNode(workspace));
        return true;
    });
}

void WorkspaceCache::setMappedPaths(const QString &server, const QString &name,
                                    const QStringList &paths)
{
    update([&](Node &servers) {
        Node &serverInfo = serverNode(servers, server);
        bool changed = false;
        for (Node &info : serverInfo.children) {
            if (info.name != "WorkspaceInfo" ||
                info.attribute("name").compare(name, Qt::CaseInsensitive) != 0)
                continue;
            for (int i = info.children.size() - 1; i >= 0; --i) {
                if (info.children[i].name == "WorkingFolders")
                    info.children.remove(i);
            }
            if (Node *mapped = info.child("MappedPaths"))
                *mapped = mappedPathsNode(paths);
            else
                info.children.prepend(mappedPathsNode(paths));
            changed = true;
        }
        return changed;
    });
}

QVector<CachedWorkspace> WorkspaceCache::remove(const QString &server, const QString &name)
{
    QVector<CachedWorkspace> removed;
    if (!QFileInfo::exists(file()))
        return removed;
    update([&](Node &servers) {
        for (Node &serverInfo : servers.children) {
            if (!server.isEmpty() && !sameServer(serverInfo.attribute("uri"), server))
                continue;
            for (int i = serverInfo.children.size() - 1; i >= 0; --i) {
                const Node &info = serverInfo.children[i];
                if (info.name == "WorkspaceInfo" &&
                    (name.isEmpty() ||
                     info.attribute("name").compare(name, Qt::CaseInsensitive) == 0)) {
                    removed.prepend(fromNode(serverInfo, info));
                    serverInfo.children.remove(i);
                }
            }
        }
        return !removed.isEmpty();
    });
    return removed;
}

void WorkspaceCache::replaceOwnerWorkspaces(const QString &server, const QString &owner,
                                            const QVector<CachedWorkspace> &current)
{
    update([&](Node &servers) {
        Node &serverInfo = serverNode(servers, server);
        for (int i = serverInfo.children.size() - 1; i >= 0; --i) {
            const Node &info = serverInfo.children[i];
            if (info.name == "WorkspaceInfo" &&
                info.attribute("ownerName").compare(owner, Qt::CaseInsensitive) == 0)
                serverInfo.children.remove(i);
        }
        for (const CachedWorkspace &ws : current)
            serverInfo.children.append(workspaceNode(ws));
        return true;
    });
}

} // namespace Tf
