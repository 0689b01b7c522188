#include "repository.h"
#include "serverstore.h"
#include "tferror.h"
#include "workspace.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <map>

#include <zlib.h>

namespace TfServer {

using Tf::ChangeEntry;
using Tf::Changeset;
using Tf::ItemRecord;
using Tf::ItemVersion;
using Tf::Mapping;
using Tf::PendingChange;
using Tf::PendingCommit;
using Tf::ServerStore;
using Tf::Workspace;
namespace ServerPath = Tf::ServerPath;

namespace {

const char downloadKey[] = "blob=";
// The store keeps each content whole in memory while it writes it.
const qint64 maxFileBytes = qint64(1) << 30;
const char fullDepth[] = "120";

bool isLiveVersion(const ItemVersion *v)
{
    return v && v->change != "delete" && v->change != "renamed";
}

const ItemVersion *liveAt(const ItemRecord &record, int changeset)
{
    const ItemVersion *v = record.versionAt(changeset);
    return isLiveVersion(v) ? v : nullptr;
}

// The change as the client's flags name it. Adds carry Edit and Encoding as
// on any Team Foundation server: the client uploads content for what is
// being edited, and shows an add as "add" alone.
QString changeText(const PendingChange &c)
{
    QStringList flags;
    if (c.add)
        flags << "Add";
    if (c.edit || (c.add && !c.folder))
        flags << "Edit";
    if (c.add)
        flags << "Encoding";
    if (c.rename)
        flags << "Rename";
    if (c.remove)
        flags << "Delete";
    return flags.isEmpty() ? QString("None") : flags.join(' ');
}

QString historyChangeText(const QString &change, bool folder, bool contentChanged)
{
    if (change == "add")
        return folder ? "Add Encoding" : "Add Edit Encoding";
    if (change == "edit")
        return "Edit";
    if (change == "delete")
        return "Delete";
    if (change == "rename" || change == "renamed")
        return contentChanged ? "Rename Edit" : "Rename";
    return "None";
}

enum class Recursion { None, OneLevel, Full };

Recursion recursionOf(const QString &text)
{
    if (text.compare("Full", Qt::CaseInsensitive) == 0)
        return Recursion::Full;
    if (text.compare("OneLevel", Qt::CaseInsensitive) == 0)
        return Recursion::OneLevel;
    return Recursion::None;
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isUnderLocal(const QString &path, const QString &root)
{
    return path == root || root == "/" || path.startsWith(root + '/');
}

// An operation's answer about one item that is not done: the client prints
// the message and goes on with the others (exit code 1 at the end).
struct FailureInfo
{
    QString request;
    QString code;
    QString item;
    QString local;
    QString message;
    bool warning = false;
};

// What the client is to do with one item on disk: get it, move it, delete it
// (no target), or only learn of a change pended on the server.
struct GetOp
{
    bool folder = false;
    QString sourceItem;
    QString targetItem;
    QString sourceLocal;
    QString targetLocal;
    int serverVersion = 0;
    int localVersion = 0;
    QString change = "None";
    int pendingId = 0;
    QString blob;          // content to download, when there is some
    bool conflict = false; // the server moved on under a pending change
};

// Uncompresses an upload, never to more than the client said the file holds:
// what would grow past that is refused before it takes the memory.
QByteArray gunzip(const QByteArray &data, qint64 expectedSize)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        receiverFault("The server cannot uncompress uploads.");
    QByteArray out;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    int result = Z_OK;
    char buffer[64 * 1024];
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        const qint64 produced = qint64(sizeof buffer - stream.avail_out);
        if (out.size() + produced > expectedSize)
            break;
        out.append(buffer, int(produced));
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END || out.size() != expectedSize)
        senderFault("The uploaded content is not the gzip data of a file of the announced length.");
    return out;
}

} // namespace

// One call: the store held locked from its first use to the call's end, the
// caller's workspace, and the failures gathered on the way.
class Repository::Call
{
public:
    Call(Repository &repository, const SoapCall &call, const Identity &identity)
        : m_repository(repository), m_op(call.operation), m_name(call.name), m_identity(identity)
    {
    }

    QByteArray run();

    void createWorkspace(QXmlStreamWriter &w);
    void deleteWorkspace(QXmlStreamWriter &w);
    void queryWorkspace(QXmlStreamWriter &w);
    void queryWorkspaces(QXmlStreamWriter &w);
    void updateWorkspace(QXmlStreamWriter &w);
    void get(QXmlStreamWriter &w);
    void updateLocalVersion(QXmlStreamWriter &w);
    void pendChanges(QXmlStreamWriter &w);
    void undoPendingChanges(QXmlStreamWriter &w);
    void queryPendingSets(QXmlStreamWriter &w);
    void checkIn(QXmlStreamWriter &w);
    void queryHistory(QXmlStreamWriter &w);
    void queryItems(QXmlStreamWriter &w);
    void queryItemsExtended(QXmlStreamWriter &w);
    void emptyResult(QXmlStreamWriter &w);

private:
    ServerStore &store();
    Workspace &workspace(const QString &nameElement, const QString &ownerElement);
    Workspace *optionalWorkspace(const QString &nameElement, const QString &ownerElement);
    void checkOwner(const QString &owner) const;
    int itemId(const QString &serverPath) { return m_repository.m_catalog.itemId(serverPath); }
    QString serverPathOf(const QString &item, Workspace *ws);
    int resolveVersion(const QDomElement &version, const QString &serverPath, Workspace *ws);

    void writeWorkspace(QXmlStreamWriter &w, const QString &element, const Workspace &ws);
    void writeGetOperation(QXmlStreamWriter &w, const GetOp &op);
    void writeFailures(QXmlStreamWriter &w, const char *element = "failures");
    void writeItem(QXmlStreamWriter &w, const ItemRecord &record, int changeset,
                   const QString &blob, bool downloadUrl, int deletion = 0);
    bool renameChangedContent(const QString &from, int changeset, const QString &blob);
    void writeChangeset(QXmlStreamWriter &w, int number,
                        const QVector<std::pair<QString, ChangeEntry>> &changes, bool includeFiles);

    void setMappings(Workspace &ws, const QDomElement &folders);
    void collectGet(Workspace &ws, const QString &serverPath, Recursion recursion, int version,
                    bool force, QVector<GetOp> &ops);
    void pendEdit(Workspace &ws, const QString &serverPath, Recursion recursion,
                  QVector<GetOp> &ops);
    void pendAdd(Workspace &ws, const QString &serverPath, bool folder, QVector<GetOp> &ops);
    void addMissingParents(Workspace &ws, const QString &serverPath, QVector<GetOp> &ops);
    void pendDelete(Workspace &ws, const QString &serverPath, QVector<GetOp> &ops);
    void pendRename(Workspace &ws, const QString &serverPath, const QString &target,
                    QVector<GetOp> &ops);
    QVector<PendingChange> pendingInScope(Workspace &ws, const QDomElement &itemSpecs);
    GetOp opFor(Workspace &ws, const PendingChange &c);
    QString uploadFile(const Workspace &ws, const QString &serverPath) const;
    void removeUpload(const Workspace &ws, const QString &serverPath);
    void moveUpload(const Workspace &ws, const QString &from, const QString &to);
    void failure(const QString &request, const QString &code, const QString &item,
                 const QString &message, bool warning = false);

    Repository &m_repository;
    QDomElement m_op;
    QString m_name;
    Identity m_identity;
    std::unique_ptr<ServerStore> m_store;
    std::unique_ptr<Workspace> m_workspace;
    QVector<FailureInfo> m_failures;
};

Repository::Repository(const QString &storeDirectory) : m_storeDirectory(storeDirectory)
{
}

QString Repository::uploadDirectory(const QString &workspace) const
{
    return m_storeDirectory + "/uploads/" + workspace.toLower();
}

QByteArray Repository::call(const SoapCall &soap, const Identity &identity)
{
    Call call(*this, soap, identity);
    return call.run();
}

QByteArray Repository::Call::run()
{
    using Operation = void (Call::*)(QXmlStreamWriter &);
    static const std::map<QString, Operation> operations = {
        {"CreateWorkspace", &Call::createWorkspace},
        {"DeleteWorkspace", &Call::deleteWorkspace},
        {"QueryWorkspace", &Call::queryWorkspace},
        {"QueryWorkspaces", &Call::queryWorkspaces},
        {"UpdateWorkspace", &Call::updateWorkspace},
        {"Get", &Call::get},
        {"UpdateLocalVersion", &Call::updateLocalVersion},
        {"PendChanges", &Call::pendChanges},
        {"UndoPendingChanges", &Call::undoPendingChanges},
        {"QueryPendingSets", &Call::queryPendingSets},
        {"CheckIn", &Call::checkIn},
        {"QueryHistory", &Call::queryHistory},
        {"QueryItems", &Call::queryItems},
        {"QueryItemsExtended", &Call::queryItemsExtended},
        // No check-in notes and no check-in policies are defined here.
        {"QueryCheckinNoteDefinition", &Call::emptyResult},
        {"QueryAnnotation", &Call::emptyResult},
        // Conflicts are not kept: a get reports them each time it meets them.
        {"QueryConflicts", &Call::emptyResult},
    };
    const auto it = operations.find(m_name);
    if (it == operations.end())
        receiverFault(QString("TF400000: The operation %1 is not implemented by this Team "
                              "Foundation server.")
                          .arg(m_name));
    try {
        return soapResponse(m_name, Namespaces::versionControl,
                            [&](QXmlStreamWriter &w) { (this->*(it->second))(w); });
    } catch (const Tf::Error &e) {
        senderFault(e.message);
    }
}

ServerStore &Repository::Call::store()
{
    if (!m_store) {
        m_store = std::make_unique<ServerStore>(m_repository.m_storeDirectory);
        m_store->open();
    }
    return *m_store;
}

void Repository::Call::checkOwner(const QString &owner) const
{
    if (!owner.isEmpty() && owner != "." && !sameName(owner, m_identity.account))
        senderFault(QString("TF14091: %1 cannot work in the workspaces of %2.")
                        .arg(m_identity.account, owner));
}

Workspace &Repository::Call::workspace(const QString &nameElement, const QString &ownerElement)
{
    if (Workspace *ws = optionalWorkspace(nameElement, ownerElement))
        return *ws;
    senderFault("The call names no workspace.");
}

Workspace *Repository::Call::optionalWorkspace(const QString &nameElement,
                                               const QString &ownerElement)
{
    const QString name = childText(m_op, nameElement);
    if (name.isEmpty())
        return nullptr;
    if (m_workspace)
        return m_workspace.get();
    const QString owner = childText(m_op, ownerElement);
    checkOwner(owner);
    if (!Workspace::exists(store(), name))
        senderFault(QString("TF14061: The workspace %1;%2 does not exist.")
                        .arg(name, owner.isEmpty() || owner == "." ? m_identity.account : owner));
    m_workspace = std::make_unique<Workspace>(store(), name);
    if (!sameName(m_workspace->owner(), m_identity.account))
        senderFault(QString("TF14091: The workspace %1 belongs to %2, not to %3.")
                        .arg(m_workspace->name(), m_workspace->owner(), m_identity.account));
    return m_workspace.get();
}

// An item as the client names it: a server path, or a local path that a
// mapping of the workspace translates. Empty when it is neither.
QString Repository::Call::serverPathOf(const QString &item, Workspace *ws)
{
    if (item.contains('*') || item.contains('?'))
        senderFault(QString("%1: wildcards are not supported by this server.").arg(item));
    if (ServerPath::isServerPath(item))
        return ServerPath::normalize(item);
    const QString local = WirePath::toNative(item);
    if (!ws)
        senderFault(QString("%1 is a local path, but the call names no workspace.").arg(item));
    return ws->serverPathFor(local);
}

int Repository::Call::resolveVersion(const QDomElement &version, const QString &serverPath,
                                     Workspace *ws)
{
    const QString type = typeOf(version);
    if (version.isNull() || type.isEmpty() || type == "LatestVersionSpec")
        return store().head();
    if (type == "ChangesetVersionSpec") {
        bool ok = false;
        const int cs = attributeValue(version, "cs").toInt(&ok);
        if (!ok || cs < 0)
            senderFault(
                QString("%1 is not a changeset number.").arg(attributeValue(version, "cs")));
        if (cs > store().head())
            senderFault(QString("TF14019: The changeset %1 does not exist.").arg(cs));
        return cs;
    }
    if (type == "WorkspaceVersionSpec") {
        Workspace *named = ws;
        if (!named || !sameName(named->name(), attributeValue(version, "name")))
            senderFault("Only the versions of the calling workspace can be named here.");
        const PendingChange *c = named->findPending(serverPath);
        return named->have(c && c->rename ? c->sourcePath : serverPath);
    }
    if (type == "DateVersionSpec") {
        const QDateTime date = parseXmlDate(attributeValue(version, "date"));
        if (!date.isValid())
            senderFault(QString("%1 is not a date.").arg(attributeValue(version, "date")));
        for (int n = store().head(); n >= 1; --n) {
            if (store().changeset(n).date <= date)
                return n;
        }
        return 0;
    }
    senderFault(QString("Versions of the kind %1 are not supported by this server.").arg(type));
}

void Repository::Call::failure(const QString &request, const QString &code, const QString &item,
                               const QString &message, bool warning)
{
    FailureInfo f{request, code, item, QString(), message, warning};
    if (m_workspace && ServerPath::isServerPath(item)) {
        const QString local = m_workspace->localPathFor(item);
        if (!local.isEmpty())
            f.local = local;
    }
    m_failures.append(f);
}

// --- writers -----------------------------------------------------------------

void Repository::Call::writeWorkspace(QXmlStreamWriter &w, const QString &element,
                                      const Workspace &ws)
{
    w.writeStartElement(element);
    w.writeAttribute("computer", ws.computer());
    w.writeAttribute("islocal", "false");
    w.writeAttribute("name", ws.name());
    w.writeAttribute("owner", ws.owner());
    w.writeAttribute("ownerdisp", ws.owner());
    w.writeAttribute("owneruniq", ws.owner());
    w.writeAttribute("permissions", "15");
    w.writeTextElement("Comment", ws.comment());
    w.writeStartElement("Folders");
    for (const Mapping &m : ws.mappings()) {
        w.writeEmptyElement("WorkingFolder");
        w.writeAttribute("item", m.serverPath);
        w.writeAttribute("local", WirePath::toWire(m.localPath));
        w.writeAttribute("type", "Map");
        w.writeAttribute("depth", fullDepth);
    }
    w.writeEndElement();
    w.writeEmptyElement("OwnerAliases");
    w.writeTextElement("LastAccessDate", xmlDate(QDateTime::currentDateTimeUtc()));
    w.writeTextElement("Options", "0");
    w.writeEndElement();
}

void Repository::Call::writeGetOperation(QXmlStreamWriter &w, const GetOp &op)
{
    const QString item = op.targetItem.isEmpty() ? op.sourceItem : op.targetItem;
    w.writeStartElement("GetOperation");
    w.writeAttribute("type", op.folder ? "Folder" : "File");
    w.writeAttribute("itemid", QString::number(itemId(item)));
    if (!op.sourceLocal.isEmpty())
        w.writeAttribute("slocal", WirePath::toWire(op.sourceLocal));
    if (!op.targetLocal.isEmpty())
        w.writeAttribute("tlocal", WirePath::toWire(op.targetLocal));
    w.writeAttribute("titem", item);
    if (!op.sourceItem.isEmpty())
        w.writeAttribute("sitem", op.sourceItem);
    w.writeAttribute("sver", QString::number(op.serverVersion));
    w.writeAttribute("lver", QString::number(op.localVersion));
    w.writeAttribute("did", "0");
    w.writeAttribute("chg", op.change);
    if (op.pendingId > 0)
        w.writeAttribute("pcid", QString::number(op.pendingId));
    if (op.conflict) {
        w.writeAttribute("cnflct", "true");
        w.writeAttribute("cnflctchg", op.change);
        w.writeAttribute("cnflctitemid", QString::number(itemId(item)));
    }
    if (op.folder) {
        w.writeAttribute("enc", "-3");
    } else if (!op.blob.isEmpty()) {
        const ContentInfo info = m_repository.m_catalog.content(store(), op.blob);
        w.writeAttribute("durl", downloadKey + op.blob);
        w.writeAttribute("enc", QString::number(info.encoding));
        w.writeTextElement("HashValue", QString::fromLatin1(info.md5));
    } else {
        w.writeAttribute("enc", "65001");
    }
    w.writeEndElement();
}

void Repository::Call::writeFailures(QXmlStreamWriter &w, const char *element)
{
    w.writeStartElement(element);
    for (const FailureInfo &f : m_failures) {
        w.writeStartElement("Failure");
        w.writeAttribute("req", f.request);
        w.writeAttribute("code", f.code);
        w.writeAttribute("sev", f.warning ? "Warning" : "Error");
        if (!f.item.isEmpty())
            w.writeAttribute("item", f.item);
        if (!f.local.isEmpty())
            w.writeAttribute("local", WirePath::toWire(f.local));
        w.writeTextElement("Message", f.message);
        w.writeEndElement();
    }
    w.writeEndElement();
}

void Repository::Call::writeItem(QXmlStreamWriter &w, const ItemRecord &record, int changeset,
                                 const QString &blob, bool downloadUrl, int deletion)
{
    w.writeStartElement("Item");
    w.writeAttribute("cs", QString::number(changeset));
    w.writeAttribute("date", xmlDate(store().changeset(changeset).date));
    w.writeAttribute("type", record.folder ? "Folder" : "File");
    w.writeAttribute("itemid", QString::number(itemId(record.path)));
    w.writeAttribute("item", record.path);
    w.writeAttribute("did", QString::number(deletion));
    if (record.folder || blob.isEmpty()) {
        w.writeAttribute("enc", record.folder ? "-3" : "65001");
    } else {
        const ContentInfo info = m_repository.m_catalog.content(store(), blob);
        w.writeAttribute("enc", QString::number(info.encoding));
        w.writeAttribute("len", QString::number(info.size));
        w.writeAttribute("hash", QString::fromLatin1(info.md5));
        if (downloadUrl)
            w.writeAttribute("durl", downloadKey + blob);
    }
    w.writeEndElement();
}

// --- workspaces ----------------------------------------------------------------

void Repository::Call::setMappings(Workspace &ws, const QDomElement &folders)
{
    QVector<Mapping> mappings;
    for (const QDomElement &f : childElements(folders)) {
        const QString type = attributeValue(f, "type");
        if (!type.isEmpty() && !sameName(type, "Map"))
            senderFault(QString("%1: cloaked folders are not supported by this server.")
                            .arg(attributeValue(f, "item")));
        const QString depth = attributeValue(f, "depth");
        if (!depth.isEmpty() && depth != fullDepth)
            senderFault(QString("%1: this server maps folders with everything below them only.")
                            .arg(attributeValue(f, "item")));
        const Mapping m{ServerPath::normalize(attributeValue(f, "item")),
                        WirePath::toNative(attributeValue(f, "local"))};
        for (const Mapping &other : mappings) {
            if (ServerPath::isUnder(m.serverPath, other.serverPath) ||
                ServerPath::isUnder(other.serverPath, m.serverPath))
                senderFault(QString("TF14038: %1 overlaps %2, which is already mapped.")
                                .arg(m.serverPath, other.serverPath));
            if (isUnderLocal(m.localPath, other.localPath) ||
                isUnderLocal(other.localPath, m.localPath))
                senderFault(QString("TF14038: %1 overlaps %2, which is already mapped.")
                                .arg(m.localPath, other.localPath));
        }
        mappings.append(m);
    }
    // A local directory belongs to one workspace on its computer: otherwise
    // the client could not tell which workspace a path is in.
    for (const QString &name : Workspace::names(store())) {
        if (sameName(name, ws.name()))
            continue;
        const Workspace other(store(), name);
        if (!sameName(other.computer(), ws.computer()))
            continue;
        for (const Mapping &m : mappings) {
            for (const Mapping &o : other.mappings()) {
                if (isUnderLocal(m.localPath, o.localPath) ||
                    isUnderLocal(o.localPath, m.localPath))
                    senderFault(QString("TF14044: %1 is already mapped in the workspace %2.")
                                    .arg(m.localPath, other.name()));
            }
        }
    }
    // Pending changes keep their folder mapped until they are checked in or undone.
    for (const Mapping &old : QVector<Mapping>(ws.mappings())) {
        const bool kept = std::any_of(mappings.begin(), mappings.end(), [&](const Mapping &m) {
            return ServerPath::equal(m.serverPath, old.serverPath) && m.localPath == old.localPath;
        });
        if (kept)
            continue;
        for (const PendingChange &c : ws.pending()) {
            if (ServerPath::isUnder(c.serverPath, old.serverPath) ||
                (c.rename && ServerPath::isUnder(c.sourcePath, old.serverPath)))
                senderFault(QString("%1 holds pending changes; check them in or undo them first.")
                                .arg(old.serverPath));
        }
        ws.removeMapping(old.localPath);
    }
    for (const Mapping &m : mappings) {
        const bool present =
            std::any_of(ws.mappings().begin(), ws.mappings().end(), [&](const Mapping &o) {
                return ServerPath::equal(m.serverPath, o.serverPath) && m.localPath == o.localPath;
            });
        if (!present)
            ws.addMapping(m);
    }
}

void Repository::Call::createWorkspace(QXmlStreamWriter &w)
{
    const QDomElement definition = childElement(m_op, "workspace");
    const QString name = attributeValue(definition, "name");
    checkOwner(attributeValue(definition, "owner"));
    if (!Workspace::isValidName(name))
        senderFault(QString("TF10125: \"%1\" is not a valid workspace name.").arg(name));
    if (Workspace::exists(store(), name))
        senderFault(QString("TF14044: The workspace %1 already exists.").arg(name));
    QString computer = attributeValue(definition, "computer");
    if (computer.isEmpty())
        senderFault("The workspace names no computer.");
    Workspace::create(store(), name, m_identity.account, computer,
                      childText(definition, "Comment"));
    Workspace ws(store(), name);
    const QDomElement folders = childElement(definition, "Folders");
    if (!childElements(folders).isEmpty()) {
        try {
            setMappings(ws, folders);
            ws.saveDefinition();
        } catch (...) {
            Workspace::remove(store(), name);
            throw;
        }
    }
    writeWorkspace(w, "CreateWorkspaceResult", ws);
}

void Repository::Call::deleteWorkspace(QXmlStreamWriter &)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    if (!ws.pending().isEmpty())
        senderFault(QString("TF14006: The workspace %1 has %2 pending change(s); check them in or "
                            "undo them first.")
                        .arg(ws.name())
                        .arg(ws.pending().size()));
    const QString name = ws.name();
    m_workspace.reset();
    Workspace::remove(store(), name);
    QDir(m_repository.uploadDirectory(name)).removeRecursively();
}

void Repository::Call::queryWorkspace(QXmlStreamWriter &w)
{
    writeWorkspace(w, "QueryWorkspaceResult", workspace("workspaceName", "ownerName"));
}

void Repository::Call::queryWorkspaces(QXmlStreamWriter &w)
{
    const QString owner = childText(m_op, "ownerName");
    const QString computer = childText(m_op, "computer");
    w.writeStartElement("QueryWorkspacesResult");
    for (const QString &name : Workspace::names(store())) {
        const Workspace ws(store(), name);
        const bool ownerMatches = owner.isEmpty() || owner == "*" ||
                                  sameName(ws.owner(), owner == "." ? m_identity.account : owner);
        if (ownerMatches && (computer.isEmpty() || sameName(ws.computer(), computer)))
            writeWorkspace(w, "Workspace", ws);
    }
    w.writeEndElement();
}

void Repository::Call::updateWorkspace(QXmlStreamWriter &w)
{
    Workspace &ws = workspace("oldWorkspaceName", "ownerName");
    const QDomElement definition = childElement(m_op, "newWorkspace");
    if (!sameName(attributeValue(definition, "name"), ws.name()))
        senderFault("Renaming a workspace is not supported by this server.");
    setMappings(ws, childElement(definition, "Folders"));
    ws.saveDefinition();
    writeWorkspace(w, "UpdateWorkspaceResult", ws);
}

// --- get -----------------------------------------------------------------------

// Works out what brings one item (and what is below it) to `version`: items
// the workspace has at that version already, and items with pending changes,
// are left alone.
void Repository::Call::collectGet(Workspace &ws, const QString &serverPath, Recursion recursion,
                                  int version, bool force, QVector<GetOp> &ops)
{
    const ItemRecord record = store().item(serverPath);
    if (record.isNull())
        return;
    const QString local = ws.localPathFor(serverPath);
    const ItemVersion *v = liveAt(record, version);
    const int have = ws.have(serverPath);
    const PendingChange *pending = ws.findPendingForServerItem(serverPath);
    if (!local.isEmpty() && pending && !pending->add && !record.folder &&
        (v ? v->changeset : 0) != pending->baseVersion) {
        // Not got: the person's change stays as it is, and the client
        // reports the conflict with it.
        GetOp op = opFor(ws, *pending);
        op.targetLocal = op.sourceLocal;
        op.serverVersion = v ? v->changeset : 0;
        op.localVersion = have;
        op.conflict = true;
        ops.append(op);
    } else if (!local.isEmpty() && !pending) {
        GetOp op;
        op.folder = record.folder;
        op.targetItem = record.path;
        op.localVersion = have;
        if (have > 0)
            op.sourceLocal = local;
        if (v && (have != v->changeset || force)) {
            op.targetLocal = local;
            op.serverVersion = v->changeset;
            op.blob = v->blob;
            if (force)
                op.localVersion = 0;
            ops.append(op);
        } else if (!v && have > 0) {
            ops.append(op); // no target: delete it
        }
    }
    if (record.folder && recursion != Recursion::None) {
        const Recursion below = recursion == Recursion::Full ? Recursion::Full : Recursion::None;
        for (const QString &child : store().childPaths(record))
            collectGet(ws, child, below, version, force, ops);
    }
}

void Repository::Call::get(QXmlStreamWriter &w)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    const bool force = childBool(m_op, "force");
    w.writeStartElement("GetResult");
    for (const QDomElement &request : childElements(childElement(m_op, "requests"))) {
        const QDomElement itemSpec = childElement(request, "ItemSpec");
        QVector<GetOp> ops;
        QStringList roots;
        Recursion recursion = Recursion::Full;
        if (itemSpec.isNull()) {
            for (const Mapping &m : ws.mappings())
                roots.append(m.serverPath);
        } else {
            const QString path = serverPathOf(attributeValue(itemSpec, "item"), &ws);
            if (!path.isEmpty())
                roots.append(path);
            recursion = recursionOf(attributeValue(itemSpec, "recurse"));
        }
        for (const QString &root : roots) {
            const int version = resolveVersion(childElement(request, "VersionSpec"), root, &ws);
            collectGet(ws, root, recursion, version, force, ops);
        }
        w.writeStartElement("ArrayOfGetOperation");
        for (const GetOp &op : ops)
            writeGetOperation(w, op);
        w.writeEndElement();
    }
    w.writeEndElement();
}

void Repository::Call::updateLocalVersion(QXmlStreamWriter &)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    for (const QDomElement &update : childElements(childElement(m_op, "updates"))) {
        const QString local = attributeValue(update, "tlocal");
        bool versionOk = false;
        const int version = attributeValue(update, "lver").toInt(&versionOk);
        if (!versionOk || version < 0 || version > store().head())
            senderFault(
                QString("%1 is not a version of this server.").arg(attributeValue(update, "lver")));
        if (local.isEmpty()) {
            // Gone from disk. A pending delete keeps its version: it is what
            // an undo brings back and what the check-in deletes.
            const QString path =
                m_repository.m_catalog.pathOfId(attributeValue(update, "itemid").toInt());
            if (!path.isEmpty() && !ws.findPendingForServerItem(path))
                ws.setHave(path, 0);
            continue;
        }
        const QString path = ws.serverPathFor(WirePath::toNative(local));
        if (path.isEmpty())
            continue;
        const PendingChange *c = ws.findPending(path);
        if (c && c->add)
            continue;
        ws.setHave(c && c->rename ? c->sourcePath : path, version);
    }
    ws.saveHave();
}

// --- pending changes ---------------------------------------------------------------

GetOp Repository::Call::opFor(Workspace &ws, const PendingChange &c)
{
    GetOp op;
    op.folder = c.folder;
    op.targetItem = c.serverPath;
    if (c.rename)
        op.sourceItem = c.sourcePath;
    op.sourceLocal = ws.localPathFor(c.serverPath);
    op.targetLocal = c.remove ? QString() : op.sourceLocal;
    op.serverVersion = c.baseVersion;
    op.localVersion = c.baseVersion;
    op.change = changeText(c);
    for (int i = 0; i < ws.pending().size(); ++i) {
        if (ServerPath::equal(ws.pending()[i].serverPath, c.serverPath))
            op.pendingId = i + 1;
    }
    return op;
}

void Repository::Call::pendEdit(Workspace &ws, const QString &serverPath, Recursion recursion,
                                QVector<GetOp> &ops)
{
    PendingChange *pending = ws.findPending(serverPath);
    const ItemRecord record =
        store().item(pending && pending->rename ? pending->sourcePath : serverPath);
    if (pending && pending->remove) {
        failure("Edit", "PendingDeleteConflictChangeException", serverPath,
                QString("TF10139: %1 has a pending delete; undo it first.").arg(serverPath));
        return;
    }
    if (!pending && !record.isLive()) {
        failure("Edit", "ItemNotFoundException", serverPath,
                QString("TF10148: No items match %1.").arg(serverPath));
        return;
    }
    if (pending ? pending->folder : record.folder) {
        if (recursion != Recursion::None && record.isLive()) {
            for (const QString &child : store().childPaths(record)) {
                const ItemRecord childRecord = store().item(child);
                if (childRecord.isLive() && (childRecord.folder || ws.have(child) > 0))
                    pendEdit(ws, child,
                             recursion == Recursion::Full ? Recursion::Full : Recursion::None, ops);
            }
        }
        return;
    }
    if (pending) {
        if (!pending->add)
            pending->edit = true;
    } else {
        const int have = ws.have(serverPath);
        if (have == 0) {
            failure("Edit", "ItemNotMappedException", serverPath,
                    QString("TF10146: %1 is not in your workspace; get it first.").arg(serverPath));
            return;
        }
        PendingChange c;
        c.serverPath = record.path;
        c.edit = true;
        c.baseVersion = have;
        ws.pending().append(c);
    }
    ops.append(opFor(ws, *ws.findPending(serverPath)));
}

void Repository::Call::addMissingParents(Workspace &ws, const QString &serverPath,
                                         QVector<GetOp> &ops)
{
    QStringList missing;
    for (QString parent = ServerPath::parent(serverPath); parent != "$/";
         parent = ServerPath::parent(parent)) {
        if (ws.localPathFor(parent).isEmpty() || store().item(parent).isLive() ||
            ws.findPending(parent))
            break;
        missing.prepend(parent);
    }
    for (const QString &folder : missing) {
        PendingChange c;
        c.serverPath = folder;
        c.folder = true;
        c.add = true;
        ws.pending().append(c);
        ops.append(opFor(ws, c));
    }
}

void Repository::Call::pendAdd(Workspace &ws, const QString &serverPath, bool folder,
                               QVector<GetOp> &ops)
{
    if (const PendingChange *existing = ws.findPending(serverPath)) {
        if (!existing->add)
            failure("Add", "ChangeAlreadyPendingException", serverPath,
                    QString("TF10131: %1 already has a pending %2.")
                        .arg(serverPath, existing->kindText()));
        return;
    }
    const ItemRecord record = store().item(serverPath);
    if (record.isLive()) {
        if (!(record.folder && folder))
            failure("Add", "ItemExistsException", serverPath,
                    QString("TF10168: %1 already exists on the server.").arg(serverPath));
        return;
    }
    addMissingParents(ws, serverPath, ops);
    PendingChange c;
    c.serverPath = serverPath;
    c.folder = folder;
    c.add = true;
    ws.pending().append(c);
    ops.append(opFor(ws, c));
}

void Repository::Call::pendDelete(Workspace &ws, const QString &serverPath, QVector<GetOp> &ops)
{
    PendingChange *pending = ws.findPending(serverPath);
    if (pending && pending->add) {
        // Never on the server: forgetting the add is the whole deletion, answered
        // as an undo of it would be, so that the client takes it for done. The
        // local file is the user's and stays.
        for (int i = ws.pending().size() - 1; i >= 0; --i) {
            if (ws.pending()[i].add && ServerPath::isUnder(ws.pending()[i].serverPath, serverPath)) {
                ops.append(opFor(ws, ws.pending()[i]));
                removeUpload(ws, ws.pending()[i].serverPath);
                ws.pending().remove(i);
            }
        }
        return;
    }
    if (pending && pending->remove)
        return;
    const QString serverItem = pending && pending->rename ? pending->sourcePath : serverPath;
    const ItemRecord record = store().item(serverItem);
    if (!record.isLive()) {
        failure("Delete", "ItemNotFoundException", serverPath,
                QString("TF10148: No items match %1.").arg(serverPath));
        return;
    }
    const QString local = ws.localPathFor(serverPath);
    if (record.folder) {
        for (const QString &child : store().childPaths(record)) {
            if (store().item(child).isLive())
                pendDelete(ws, child, ops);
        }
    }
    if (pending) {
        pending->serverPath =
            pending->sourcePath.isEmpty() ? pending->serverPath : pending->sourcePath;
        pending->sourcePath.clear();
        pending->rename = false;
        pending->edit = false;
        pending->remove = true;
        removeUpload(ws, serverPath);
    } else {
        PendingChange c;
        c.serverPath = record.path;
        c.folder = record.folder;
        c.remove = true;
        c.baseVersion = ws.have(serverItem) > 0 ? ws.have(serverItem) : record.latest()->changeset;
        ws.pending().append(c);
    }
    GetOp op = opFor(ws, *ws.findPending(serverItem));
    op.sourceLocal = local; // where it is now, for a pending rename its new place
    ops.append(op);
}

void Repository::Call::pendRename(Workspace &ws, const QString &oldServer, const QString &newServer,
                                  QVector<GetOp> &ops)
{
    const QString oldLocal = ws.localPathFor(oldServer);
    const QString newLocal = ws.localPathFor(newServer);
    auto refuse = [&](const QString &code, const QString &message) {
        failure("Rename", code, oldServer, message);
    };
    if (newLocal.isEmpty())
        return refuse(
            "ItemNotMappedException",
            QString("TF10146: %1 is not mapped in the workspace %2.").arg(newServer, ws.name()));
    if (ServerPath::isUnder(newServer, oldServer))
        return refuse("InvalidRenameException",
                      QString("Cannot move %1 into itself.").arg(oldServer));
    const bool caseOnly = ServerPath::equal(oldServer, newServer);
    if (!caseOnly && (store().item(newServer).isLive() || ws.findPending(newServer)))
        return refuse("ItemExistsException",
                      QString("TF10168: %1 already exists on the server or has a pending change.")
                          .arg(newServer));
    PendingChange *pending = ws.findPending(oldServer);
    const ItemRecord record =
        store().item(pending && pending->rename ? pending->sourcePath : oldServer);
    if (pending ? pending->folder : record.folder)
        return refuse("NotSupportedException",
                      QString("%1 is a folder; this server renames files only.").arg(oldServer));
    if (pending && pending->remove)
        return refuse("PendingDeleteConflictChangeException",
                      QString("TF10139: %1 has a pending delete; undo it first.").arg(oldServer));
    if (!pending) {
        if (!record.isLive())
            return refuse("ItemNotFoundException",
                          QString("TF10148: No items match %1.").arg(oldServer));
        if (ws.have(oldServer) == 0)
            return refuse(
                "ItemNotMappedException",
                QString("TF10146: %1 is not in your workspace; get it first.").arg(oldServer));
    }
    if (pending && (pending->add || pending->rename)) {
        moveUpload(ws, pending->serverPath, newServer);
        pending->serverPath = newServer;
        if (pending->rename && pending->sourcePath == newServer) {
            // Back where it came from: only an edit, if any, is left.
            pending->rename = false;
            pending->sourcePath.clear();
        }
    } else if (pending) {
        moveUpload(ws, pending->serverPath, newServer);
        pending->rename = true;
        pending->sourcePath = record.path;
        pending->serverPath = newServer;
    } else {
        PendingChange c;
        c.serverPath = newServer;
        c.sourcePath = record.path;
        c.rename = true;
        c.baseVersion = ws.have(oldServer);
        ws.pending().append(c);
    }
    addMissingParents(ws, newServer, ops);
    PendingChange *moved = ws.findPending(newServer);
    GetOp op = opFor(ws, *moved);
    op.sourceLocal = oldLocal;
    op.targetLocal = newLocal;
    if (!moved->add && !moved->rename && !moved->edit) {
        ws.removePending(newServer);
        op.change = "None";
    }
    ops.append(op);
}

void Repository::Call::pendChanges(QXmlStreamWriter &w)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    QVector<GetOp> ops;
    for (const QDomElement &request : childElements(childElement(m_op, "changes"))) {
        const QString kind = attributeValue(request, "req");
        const QDomElement itemSpec = childElement(request, "item");
        const QString item = attributeValue(itemSpec, "item");
        const QString path = serverPathOf(item, &ws);
        if (path.isEmpty()) {
            failure(kind, "ItemNotMappedException", item,
                    QString("TF10146: %1 is not mapped in the workspace %2.").arg(item, ws.name()));
            continue;
        }
        const Recursion recursion = recursionOf(attributeValue(itemSpec, "recurse"));
        if (sameName(kind, "Edit")) {
            pendEdit(ws, path, recursion, ops);
        } else if (sameName(kind, "Add")) {
            pendAdd(ws, path, sameName(attributeValue(request, "type"), "Folder"), ops);
        } else if (sameName(kind, "Delete")) {
            pendDelete(ws, path, ops);
        } else if (sameName(kind, "Rename")) {
            const QString target = serverPathOf(attributeValue(request, "target"), &ws);
            if (target.isEmpty())
                failure(kind, "ItemNotMappedException", attributeValue(request, "target"),
                        QString("TF10146: %1 is not mapped in the workspace %2.")
                            .arg(attributeValue(request, "target"), ws.name()));
            else
                pendRename(ws, path, target, ops);
        } else {
            failure(kind, "NotSupportedException", path,
                    QString("Changes of the kind %1 are not supported by this server.").arg(kind));
        }
    }
    ws.savePending();
    w.writeStartElement("PendChangesResult");
    for (const GetOp &op : ops)
        writeGetOperation(w, op);
    w.writeEndElement();
    writeFailures(w);
}

// The pending changes that the items of a call name: an item itself, or with
// recursion everything below a folder.
QVector<PendingChange> Repository::Call::pendingInScope(Workspace &ws, const QDomElement &itemSpecs)
{
    QVector<PendingChange> scope;
    const QVector<QDomElement> named = childElements(itemSpecs);
    for (const PendingChange &c : ws.pending()) {
        bool inScope = named.isEmpty();
        for (const QDomElement &itemSpec : named) {
            const QString path = serverPathOf(attributeValue(itemSpec, "item"), &ws);
            const Recursion recursion = recursionOf(attributeValue(itemSpec, "recurse"));
            auto matches = [&](const QString &p) {
                if (p.isEmpty() || path.isEmpty())
                    return false;
                if (ServerPath::equal(p, path))
                    return true;
                if (recursion == Recursion::Full)
                    return ServerPath::isUnder(p, path);
                return recursion == Recursion::OneLevel &&
                       ServerPath::equal(ServerPath::parent(p), path);
            };
            inScope = inScope || matches(c.serverPath) || (c.rename && matches(c.sourcePath));
        }
        if (inScope)
            scope.append(c);
    }
    return scope;
}

void Repository::Call::undoPendingChanges(QXmlStreamWriter &w)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    QVector<PendingChange> scope = pendingInScope(ws, childElement(m_op, "items"));
    // Restored folders come before the files restored into them.
    std::sort(scope.begin(), scope.end(), [](const PendingChange &a, const PendingChange &b) {
        return a.serverPath.toLower() < b.serverPath.toLower();
    });
    QVector<GetOp> ops;
    for (const PendingChange &c : scope) {
        GetOp op = opFor(ws, c);
        if (!c.add) {
            const QString source = c.rename ? c.sourcePath : c.serverPath;
            const ItemRecord record = store().item(source);
            const ItemVersion *base = record.versionAt(c.baseVersion);
            op.targetItem = source;
            op.sourceItem.clear();
            op.sourceLocal = c.remove ? QString() : ws.localPathFor(c.serverPath);
            op.targetLocal = ws.localPathFor(source);
            if (base && (c.edit || c.remove))
                op.blob = base->blob;
            if (c.remove)
                op.localVersion = 0;
        }
        ops.append(op);
        ws.removePending(c.serverPath);
        removeUpload(ws, c.serverPath);
    }
    if (scope.isEmpty() && !childElements(childElement(m_op, "items")).isEmpty()) {
        const QDomElement first = childElements(childElement(m_op, "items")).first();
        failure(
            "None", "ItemNotFoundException", attributeValue(first, "item"),
            QString("No pending changes were found for %1.").arg(attributeValue(first, "item")));
    }
    ws.savePending();
    w.writeStartElement("UndoPendingChangesResult");
    for (const GetOp &op : ops)
        writeGetOperation(w, op);
    w.writeEndElement();
    writeFailures(w);
}

void Repository::Call::queryPendingSets(QXmlStreamWriter &w)
{
    const QString name = childText(m_op, "queryWorkspaceName");
    const QString owner = childText(m_op, "ownerName");
    const bool downloadUrls = childBool(m_op, "generateDownloadUrls");
    QStringList names;
    if (!name.isEmpty()) {
        if (Workspace::exists(store(), name))
            names.append(name);
    } else {
        names = Workspace::names(store());
    }
    w.writeStartElement("QueryPendingSetsResult");
    for (const QString &n : names) {
        Workspace ws(store(), n);
        if (!owner.isEmpty() && owner != "*" &&
            !sameName(ws.owner(), owner == "." ? m_identity.account : owner))
            continue;
        const QVector<PendingChange> scope = pendingInScope(ws, childElement(m_op, "itemSpecs"));
        if (scope.isEmpty())
            continue;
        w.writeStartElement("PendingSet");
        w.writeAttribute("computer", ws.computer());
        w.writeAttribute("owner", ws.owner());
        w.writeAttribute("ownerdisp", ws.owner());
        w.writeAttribute("owneruniq", ws.owner());
        w.writeAttribute("name", ws.name());
        w.writeAttribute("type", "Workspace");
        w.writeStartElement("PendingChanges");
        for (const PendingChange &c : scope) {
            const GetOp op = opFor(ws, c);
            w.writeStartElement("PendingChange");
            w.writeAttribute("chg", op.change);
            w.writeAttribute("date", xmlDate(c.date));
            w.writeAttribute("type", c.folder ? "Folder" : "File");
            w.writeAttribute("itemid", QString::number(itemId(c.serverPath)));
            const QString local = ws.localPathFor(c.serverPath);
            if (!local.isEmpty())
                w.writeAttribute("local", WirePath::toWire(local));
            w.writeAttribute("item", c.serverPath);
            if (c.rename) {
                w.writeAttribute("srcitem", c.sourcePath);
                const QString sourceLocal = ws.localPathFor(c.sourcePath);
                if (!sourceLocal.isEmpty())
                    w.writeAttribute("srclocal", WirePath::toWire(sourceLocal));
            }
            w.writeAttribute("ver", QString::number(c.baseVersion));
            w.writeAttribute("pcid", QString::number(op.pendingId));
            if (c.folder) {
                w.writeAttribute("enc", "-3");
            } else {
                const ItemRecord record = store().item(c.rename ? c.sourcePath : c.serverPath);
                const ItemVersion *base = c.add ? nullptr : record.versionAt(c.baseVersion);
                if (base && !base->blob.isEmpty()) {
                    const ContentInfo info = m_repository.m_catalog.content(store(), base->blob);
                    w.writeAttribute("enc", QString::number(info.encoding));
                    w.writeAttribute("hash", QString::fromLatin1(info.md5));
                    w.writeAttribute("len", QString::number(info.size));
                    if (downloadUrls)
                        w.writeAttribute("durl", downloadKey + base->blob);
                } else {
                    w.writeAttribute("enc", "65001");
                }
            }
            w.writeEndElement();
        }
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
    writeFailures(w);
}

// --- check-in ------------------------------------------------------------------------

QString Repository::Call::uploadFile(const Workspace &ws, const QString &serverPath) const
{
    return m_repository.uploadDirectory(ws.name()) + '/' + ServerPath::key(serverPath);
}

void Repository::Call::removeUpload(const Workspace &ws, const QString &serverPath)
{
    QFile::remove(uploadFile(ws, serverPath));
    QFile::remove(uploadFile(ws, serverPath) + ".part");
}

void Repository::Call::moveUpload(const Workspace &ws, const QString &from, const QString &to)
{
    if (QFileInfo::exists(uploadFile(ws, from))) {
        QFile::remove(uploadFile(ws, to));
        QFile::rename(uploadFile(ws, from), uploadFile(ws, to));
    }
    QFile::remove(uploadFile(ws, from) + ".part");
}

void Repository::Call::checkIn(QXmlStreamWriter &w)
{
    Workspace &ws = workspace("workspaceName", "ownerName");
    QStringList items;
    for (const QDomElement &item : childElements(childElement(m_op, "serverItems")))
        items.append(ServerPath::normalize(item.text().trimmed()));
    const QString comment = childText(childElement(m_op, "info"), "Comment");
    QVector<PendingChange> scope;
    for (const PendingChange &c : ws.pending()) {
        const bool named = std::any_of(items.begin(), items.end(), [&](const QString &p) {
            return ServerPath::equal(p, c.serverPath) ||
                   (c.rename && ServerPath::equal(p, c.sourcePath));
        });
        if (named)
            scope.append(c);
    }
    // Folders added above items in scope go with them, or the items would have no parent.
    for (const PendingChange &c : QVector<PendingChange>(scope)) {
        for (const PendingChange &other : ws.pending()) {
            if (other.add && other.folder && ServerPath::isUnder(c.serverPath, other.serverPath) &&
                std::none_of(scope.begin(), scope.end(), [&](const PendingChange &s) {
                    return ServerPath::equal(s.serverPath, other.serverPath);
                }))
                scope.append(other);
        }
    }
    if (scope.isEmpty())
        senderFault("TF10139: There are no pending changes to check in among the items named.");
    Workspace::sortForCheckIn(scope);

    QVector<PendingCommit> commits;
    QVector<PendingChange> committed;
    QVector<PendingChange> unchanged;
    for (const PendingChange &c : scope) {
        const QString source = c.rename ? c.sourcePath : c.serverPath;
        const ItemRecord record = store().item(source);
        if (!c.add) {
            if (!record.isLive())
                senderFault(QString("TF14088: %1 no longer exists on the server. Undo your "
                                    "change; nothing was checked in.")
                                .arg(source));
            if (record.latest()->changeset != c.baseVersion)
                senderFault(QString("TF10141: %1 was changed on the server (changeset %2) after "
                                    "the version you changed (%3). Get the latest version and "
                                    "merge first; nothing was checked in.")
                                .arg(source)
                                .arg(record.latest()->changeset)
                                .arg(c.baseVersion));
        }
        bool uploaded = false;
        const QByteArray upload = ServerStore::readFile(uploadFile(ws, c.serverPath), &uploaded);
        if (c.add) {
            if (c.folder) {
                commits.append({PendingCommit::AddFolder, c.serverPath, {}, {}});
            } else {
                if (!uploaded)
                    senderFault(
                        QString("The content of %1 was not uploaded; nothing was checked in.")
                            .arg(c.serverPath));
                commits.append({PendingCommit::AddFile, c.serverPath, {}, upload});
            }
        } else if (c.remove) {
            commits.append({PendingCommit::Delete, c.serverPath, {}, {}});
        } else {
            const QByteArray base = store().content(record.versionAt(c.baseVersion)->blob);
            const QByteArray content = c.edit && uploaded ? upload : base;
            if (c.rename) {
                commits.append({PendingCommit::Rename, c.serverPath, c.sourcePath, content});
            } else if (content != base) {
                commits.append({PendingCommit::Edit, c.serverPath, {}, content});
            } else {
                unchanged.append(c);
                continue;
            }
        }
        committed.append(c);
    }

    // In a server workspace the server records what the client now has.
    const int number = ws.checkIn(commits, committed, unchanged, m_identity.account, comment);
    for (const PendingChange &c : committed + unchanged)
        removeUpload(ws, c.serverPath);

    w.writeStartElement("CheckInResult");
    w.writeAttribute("cset", QString::number(number));
    w.writeAttribute("date", xmlDate(number > 0 ? store().changeset(number).date
                                                : QDateTime::currentDateTimeUtc()));
    w.writeAttribute("state", "2"); // committed
    w.writeStartElement("UndoneServerItems");
    for (const PendingChange &c : unchanged)
        w.writeTextElement("string", c.serverPath);
    w.writeEndElement();
    w.writeEndElement();
    writeFailures(w);
}

// --- history and items ------------------------------------------------------------------

void Repository::Call::writeChangeset(QXmlStreamWriter &w, int number,
                                      const QVector<std::pair<QString, ChangeEntry>> &changes,
                                      bool includeFiles)
{
    const Changeset cs = store().changeset(number);
    w.writeStartElement("Changeset");
    w.writeAttribute("cmtr", cs.owner);
    w.writeAttribute("cmtrdisp", cs.owner);
    w.writeAttribute("date", xmlDate(cs.date));
    w.writeAttribute("cset", QString::number(number));
    w.writeAttribute("owner", cs.owner);
    w.writeAttribute("ownerdisp", cs.owner);
    w.writeTextElement("Comment", cs.comment);
    // The client reads both, even when empty, for every format it prints.
    w.writeStartElement("CheckinNote");
    w.writeEmptyElement("Values");
    w.writeEndElement();
    w.writeStartElement("PolicyOverride");
    w.writeEmptyElement("PolicyFailures");
    w.writeEndElement();
    w.writeStartElement("Changes");
    if (includeFiles) {
        for (const auto &entry : changes) {
            const ItemRecord record = store().item(entry.second.path);
            const ItemVersion *v = record.versionAt(number);
            if (!v)
                continue;
            // A deleted file is shown with the content it had.
            const ItemVersion *content = isLiveVersion(v) ? v : record.versionAt(number - 1);
            w.writeStartElement("Change");
            w.writeAttribute("type", entry.first);
            writeItem(w, record, number, content ? content->blob : QString(), false,
                      isLiveVersion(v) ? 0 : number);
            w.writeEndElement();
        }
    }
    w.writeEndElement();
    w.writeEndElement();
}

// Whether a rename also changed the content: the store keeps a renamed
// file's content with its new path only.
bool Repository::Call::renameChangedContent(const QString &from, int changeset, const QString &blob)
{
    const ItemRecord source = store().item(from);
    const ItemVersion *before = source.versionAt(changeset - 1);
    return !before || before->blob != blob;
}

void Repository::Call::queryHistory(QXmlStreamWriter &w)
{
    Workspace *ws = optionalWorkspace("workspaceName", "workspaceOwner");
    const QDomElement itemSpec = childElement(m_op, "itemSpec");
    QString path = serverPathOf(attributeValue(itemSpec, "item"), ws);
    if (ws) {
        if (const PendingChange *c = ws->findPending(path); c && c->rename)
            path = c->sourcePath;
    }
    const Recursion recursion = recursionOf(attributeValue(itemSpec, "recurse"));
    const int from = std::max(1, childElement(m_op, "versionFrom").isNull()
                                     ? 1
                                     : resolveVersion(childElement(m_op, "versionFrom"), path, ws));
    const int to = childElement(m_op, "versionTo").isNull()
                       ? store().head()
                       : resolveVersion(childElement(m_op, "versionTo"), path, ws);
    const int itemVersion = resolveVersion(childElement(m_op, "versionItem"), path, ws);
    const int maxCount = childInt(m_op, "maxCount", 256);
    const bool includeFiles = childBool(m_op, "includeFiles");
    const bool ascending = childBool(m_op, "sortAscending");

    // Changeset number -> the changes of the item (or below the folder) in it.
    std::map<int, QVector<std::pair<QString, ChangeEntry>>> rows;
    const ItemRecord record = store().item(path);
    if (!record.isNull() && record.folder && recursion != Recursion::None) {
        for (int n = std::min(to, store().head()); n >= from; --n) {
            const Changeset cs = store().changeset(n, true);
            for (const ChangeEntry &e : cs.changes) {
                if (ServerPath::isUnder(e.path, path) ||
                    (!e.from.isEmpty() && ServerPath::isUnder(e.from, path))) {
                    const ItemRecord changed = store().item(e.path);
                    const ItemVersion *v = changed.versionAt(n);
                    const bool edited =
                        e.change == "rename" && v && renameChangedContent(e.from, n, v->blob);
                    rows[n].append({historyChangeText(e.change, changed.folder, edited), e});
                }
            }
        }
    } else if (!record.isNull()) {
        // The item's own versions, followed back through the renames that
        // brought it here.
        ItemRecord current = record;
        int limit = std::min(itemVersion, store().head());
        if (!record.isLive() && !record.versions.isEmpty()) {
            const ItemVersion &last = record.versions.last();
            if (last.changeset <= limit && last.changeset >= from)
                rows[last.changeset].append({historyChangeText(last.change, record.folder, false),
                                             ChangeEntry{record.path, last.change, {}}});
        }
        for (int hops = 0; hops < 1000; ++hops) {
            QVector<ItemVersion> part;
            for (const ItemVersion &v : current.versions) {
                if (v.changeset > 0 && v.changeset <= limit && isLiveVersion(&v))
                    part.append(v);
            }
            int first = 0;
            for (int i = 0; i < part.size(); ++i) {
                if (part[i].change == "add" || part[i].change == "rename")
                    first = i;
            }
            part = part.mid(first);
            for (const ItemVersion &v : part) {
                if (v.changeset >= from && v.changeset <= to) {
                    const bool edited =
                        v.change == "rename" && renameChangedContent(v.from, v.changeset, v.blob);
                    rows[v.changeset].append({historyChangeText(v.change, current.folder, edited),
                                              ChangeEntry{current.path, v.change, v.from}});
                }
            }
            if (part.isEmpty() || part.first().change != "rename" || part.first().from.isEmpty() ||
                ServerPath::equal(part.first().from, current.path))
                break;
            limit = part.first().changeset - 1;
            current = store().item(part.first().from);
        }
    }
    QVector<int> numbers;
    for (const auto &row : rows)
        numbers.append(row.first);
    if (!ascending)
        std::reverse(numbers.begin(), numbers.end());
    if (maxCount > 0 && numbers.size() > maxCount)
        numbers.resize(maxCount);
    w.writeStartElement("QueryHistoryResult");
    for (int n : numbers)
        writeChangeset(w, n, rows[n], includeFiles);
    w.writeEndElement();
}

void Repository::Call::queryItems(QXmlStreamWriter &w)
{
    Workspace *ws = optionalWorkspace("workspaceName", "workspaceOwner");
    const QString deletedState = childText(m_op, "deletedState");
    const QString itemType = childText(m_op, "itemType");
    const bool downloadUrls = childBool(m_op, "generateDownloadUrls");
    w.writeStartElement("QueryItemsResult");
    for (const QDomElement &itemSpec : childElements(childElement(m_op, "items"))) {
        const QString path = serverPathOf(attributeValue(itemSpec, "item"), ws);
        const Recursion recursion = recursionOf(attributeValue(itemSpec, "recurse"));
        w.writeStartElement("ItemSet");
        w.writeTextElement("QueryPath", path.isEmpty() ? attributeValue(itemSpec, "item") : path);
        w.writeStartElement("Items");
        std::function<void(const QString &, Recursion)> visit = [&](const QString &p, Recursion r) {
            const ItemRecord record = store().item(p);
            if (record.isNull())
                return;
            const int version = resolveVersion(childElement(m_op, "version"), p, ws);
            const ItemVersion *v = record.versionAt(version);
            if (!v)
                return;
            const bool live = isLiveVersion(v);
            const bool typeMatches = itemType.isEmpty() || sameName(itemType, "Any") ||
                                     sameName(itemType, record.folder ? "Folder" : "File");
            const bool stateMatches = live ? !sameName(deletedState, "Deleted")
                                           : !deletedState.isEmpty() &&
                                                 !sameName(deletedState, "NonDeleted") &&
                                                 v->change == "delete";
            if (typeMatches && stateMatches) {
                const ItemVersion *content = live ? v : record.versionAt(v->changeset - 1);
                if (content)
                    writeItem(w, record, content->changeset, content->blob, downloadUrls,
                              live ? 0 : v->changeset);
            }
            if (live && record.folder && r != Recursion::None) {
                for (const QString &child : store().childPaths(record))
                    visit(child, r == Recursion::Full ? Recursion::Full : Recursion::None);
            }
        };
        if (!path.isEmpty())
            visit(path, recursion);
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
}

void Repository::Call::queryItemsExtended(QXmlStreamWriter &w)
{
    Workspace *ws = optionalWorkspace("workspaceName", "workspaceOwner");
    w.writeStartElement("QueryItemsExtendedResult");
    for (const QDomElement &itemSpec : childElements(childElement(m_op, "items"))) {
        const QString path = serverPathOf(attributeValue(itemSpec, "item"), ws);
        const Recursion recursion = recursionOf(attributeValue(itemSpec, "recurse"));
        w.writeStartElement("ArrayOfExtendedItem");
        auto write = [&](const QString &current, const ItemRecord &record, const PendingChange *c) {
            const bool folder = c ? c->folder : record.folder;
            w.writeStartElement("ExtendedItem");
            const QString committedPath = c && c->rename ? c->sourcePath : current;
            w.writeAttribute("lver", QString::number(ws ? ws->have(committedPath) : 0));
            w.writeAttribute("did", "0");
            w.writeAttribute("latest",
                             QString::number(record.isLive() ? record.latest()->changeset : 0));
            w.writeAttribute("type", folder ? "Folder" : "File");
            if (folder || !record.isLive()) {
                w.writeAttribute("enc", folder ? "-3" : "65001");
            } else {
                w.writeAttribute(
                    "enc",
                    QString::number(
                        m_repository.m_catalog.content(store(), record.latest()->blob).encoding));
            }
            w.writeAttribute("itemid", QString::number(itemId(current)));
            const QString local = ws ? ws->localPathFor(current) : QString();
            if (!local.isEmpty() && (c || ws->have(committedPath) > 0))
                w.writeAttribute("local", WirePath::toWire(local));
            w.writeAttribute("titem", current);
            if (record.isLive())
                w.writeAttribute("sitem", record.path);
            w.writeAttribute("chg", c ? changeText(*c) : QString("None"));
            w.writeEndElement();
        };
        std::function<void(const QString &, Recursion)> visit = [&](const QString &p, Recursion r) {
            const PendingChange *c = ws ? ws->findPending(p) : nullptr;
            const ItemRecord record = store().item(c && c->rename ? c->sourcePath : p);
            if (!record.isLive() && !c)
                return;
            write(c ? c->serverPath : record.path, record, c);
            if (r == Recursion::None || !(c ? c->folder : record.folder))
                return;
            const Recursion below = r == Recursion::Full ? Recursion::Full : Recursion::None;
            QStringList children;
            if (record.isLive())
                children = store().childPaths(record);
            if (ws) {
                for (const PendingChange &pc : ws->pending()) {
                    if (pc.add && ServerPath::equal(ServerPath::parent(pc.serverPath), p) &&
                        !store().item(pc.serverPath).isLive())
                        children.append(pc.serverPath);
                }
            }
            for (const QString &child : children)
                visit(child, below);
        };
        if (!path.isEmpty())
            visit(path, recursion);
        w.writeEndElement();
    }
    w.writeEndElement();
}

void Repository::Call::emptyResult(QXmlStreamWriter &w)
{
    w.writeEmptyElement(m_name + "Result");
}

// --- transfers ---------------------------------------------------------------------------

QByteArray Repository::download(const QString &query)
{
    QString blob;
    for (const QString &pair : query.split('&')) {
        if (pair.startsWith(downloadKey))
            blob = pair.mid(int(strlen(downloadKey)));
    }
    static const QRegularExpression sha1("^[0-9a-f]{40}$");
    if (!sha1.match(blob).hasMatch())
        senderFault(QString("%1 names no content of this server.").arg(query));
    // Contents are written once and never changed: no lock is needed to read one.
    return ServerStore(m_storeDirectory).content(blob);
}

void Repository::upload(const Upload &upload, const Identity &identity)
{
    static const QRegularExpression rangeForm("^bytes=(\\d+)-(\\d+)/(\\d+)$");
    const QRegularExpressionMatch range = rangeForm.match(upload.range.trimmed());
    if (!range.hasMatch())
        senderFault(
            QString("The upload's range \"%1\" cannot be read.").arg(upload.range.trimmed()));
    const qint64 first = range.captured(1).toLongLong();
    const qint64 last = range.captured(2).toLongLong();
    const qint64 total = range.captured(3).toLongLong();
    if (last - first + 1 != upload.content.size() || last >= total || upload.length < 0)
        senderFault("The upload's range does not describe the content sent.");
    if (total > maxFileBytes || upload.length > maxFileBytes)
        senderFault(QString("%1 is larger than this server keeps (%2 bytes at most).")
                        .arg(upload.serverItem)
                        .arg(maxFileBytes));

    ServerStore store(m_storeDirectory);
    store.open();
    if (!sameName(upload.owner, identity.account) || !Workspace::exists(store, upload.workspace))
        senderFault(QString("TF14061: The workspace %1;%2 does not exist.")
                        .arg(upload.workspace, upload.owner));
    Workspace ws(store, upload.workspace);
    if (!sameName(ws.owner(), identity.account))
        senderFault(QString("TF14091: The workspace %1 belongs to %2.").arg(ws.name(), ws.owner()));
    const QString item = ServerPath::normalize(upload.serverItem);
    const PendingChange *c = ws.findPending(item);
    if (!c || c->folder || !(c->add || c->edit))
        senderFault(QString("%1 has no pending add or edit to upload content for.").arg(item));

    const QString file = uploadDirectory(ws.name()) + '/' + ServerPath::key(item);
    const QString part = file + ".part";
    QByteArray received = first == 0 ? QByteArray() : ServerStore::readFile(part);
    if (received.size() != first)
        senderFault(QString("The upload of %1 continues at byte %2, but %3 bytes have arrived.")
                        .arg(item)
                        .arg(first)
                        .arg(received.size()));
    received += upload.content;
    if (last + 1 < total) {
        ServerStore::writeFileAtomically(part, received);
        return;
    }
    QFile::remove(part);
    const QByteArray content = upload.gzipped ? gunzip(received, upload.length) : received;
    if (content.size() != upload.length ||
        QCryptographicHash::hash(content, QCryptographicHash::Md5).toBase64() != upload.md5)
        senderFault(QString("The content uploaded for %1 does not match its length and hash; "
                            "it was not kept.")
                        .arg(item));
    ServerStore::writeFileAtomically(file, content);
}

} // namespace TfServer
