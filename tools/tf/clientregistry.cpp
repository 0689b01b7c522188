#include "clientregistry.h"
#include "serverstore.h"
#include "tferror.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>

#include <functional>

namespace Tf {

QString ClientRegistry::location()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/tf-standin";
}

static QVector<ClientRegistry::Entry> load()
{
    QVector<ClientRegistry::Entry> result;
    const QJsonArray list = QJsonDocument::fromJson(
        ServerStore::readFile(ClientRegistry::location() + "/workspaces.json")).object().value("mappings").toArray();
    for (const QJsonValue &v : list) {
        const QJsonObject o = v.toObject();
        result.append({o.value("server").toString(), o.value("workspace").toString(),
                       o.value("local").toString()});
    }
    return result;
}

static void update(const std::function<void(QVector<ClientRegistry::Entry> &)> &change)
{
    const QString dir = ClientRegistry::location();
    if (!QDir().mkpath(dir))
        fail(QString("Cannot create the client data directory %1.").arg(dir));
    QLockFile lock(dir + "/workspaces.lock");
    lock.setStaleLockTime(0);
    if (!lock.tryLock(30 * 1000))
        fail(QString("Cannot lock the client workspace list in %1.").arg(dir));
    QVector<ClientRegistry::Entry> entries = load();
    change(entries);
    QJsonArray list;
    for (const ClientRegistry::Entry &e : entries)
        list.append(QJsonObject{{"server", e.server}, {"workspace", e.workspace}, {"local", e.localRoot}});
    ServerStore::writeFileAtomically(dir + "/workspaces.json",
                                     QJsonDocument(QJsonObject{{"mappings", list}}).toJson());
}

QVector<ClientRegistry::Entry> ClientRegistry::entries()
{
    return load();
}

bool ClientRegistry::find(const QString &localPath, Entry *entry)
{
    bool found = false;
    for (const Entry &e : load()) {
        const QString &root = e.localRoot;
        const bool contains = localPath == root
            || (localPath.startsWith(root) && (root.endsWith('/') || localPath.at(root.size()) == '/'));
        if (contains && (!found || root.size() > entry->localRoot.size())) {
            *entry = e;
            found = true;
        }
    }
    return found;
}

void ClientRegistry::add(const Entry &entry)
{
    update([&](QVector<Entry> &entries) { entries.append(entry); });
}

void ClientRegistry::remove(const QString &server, const QString &workspace, const QString &localRoot)
{
    update([&](QVector<Entry> &entries) {
        for (int i = entries.size() - 1; i >= 0; --i) {
            const Entry &e = entries[i];
            if (e.server == server && e.workspace.compare(workspace, Qt::CaseInsensitive) == 0
                && (localRoot.isEmpty() || e.localRoot == localRoot))
                entries.remove(i);
        }
    });
}

} // namespace Tf
