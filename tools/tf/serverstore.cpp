#include "serverstore.h"
#include "tferror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QUrl>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Tf {

static const char formatMarker[] = "tf-standin-server 1\n";

namespace ServerPath {

bool isServerPath(const QString &path)
{
    return path == "$" || path.startsWith("$/");
}

QString normalize(const QString &path)
{
    if (!isServerPath(path))
        fail(QString("%1 is not a server path (server paths start with $/).").arg(path));
    QStringList parts;
    for (const QString &part : path.mid(1).split('/', Qt::SkipEmptyParts)) {
        if (part == "." || part == ".." || part.contains('\\') || part.contains(QChar(0)))
            fail(QString("The server path %1 contains the invalid name \"%2\".").arg(path, part));
        parts.append(part);
    }
    return "$/" + parts.join('/');
}

QString parent(const QString &path)
{
    const int slash = path.lastIndexOf('/');
    return slash <= 1 ? QString("$/") : path.left(slash);
}

QString name(const QString &path)
{
    return path == "$/" ? QString() : path.mid(path.lastIndexOf('/') + 1);
}

QString child(const QString &folder, const QString &childName)
{
    return folder == "$/" ? folder + childName : folder + '/' + childName;
}

bool equal(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isUnder(const QString &path, const QString &folder)
{
    if (folder == "$/")
        return isServerPath(path);
    return equal(path, folder)
        || (path.size() > folder.size() && path.at(folder.size()) == '/'
            && equal(path.left(folder.size()), folder));
}

QString key(const QString &path)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(path.toLower().toUtf8(), QCryptographicHash::Sha1).toHex());
}

} // namespace ServerPath

bool ItemRecord::isLive() const
{
    const ItemVersion *v = latest();
    return v && v->change != "delete" && v->change != "renamed";
}

const ItemVersion *ItemRecord::versionAt(int changeset) const
{
    const ItemVersion *found = nullptr;
    for (const ItemVersion &v : versions) {
        if (v.changeset <= changeset)
            found = &v;
    }
    return found;
}

ServerStore::ServerStore(const QString &directory)
    : m_dir(QDir::cleanPath(QDir(directory).absolutePath()))
{
}

ServerStore::~ServerStore()
{
    if (m_lockFd >= 0)
        ::close(m_lockFd); // releases the lock
}



QString ServerStore::locationFromCollection(const QString &collection, const QString &workingDirectory)
{
    QString path = collection;
    if (collection.startsWith("file:", Qt::CaseInsensitive)) {
        const QUrl url(collection);
        if (!url.isValid() || !url.isLocalFile())
            fail(QString("The collection URL %1 is not a valid file:// URL.").arg(collection));
        path = url.toLocalFile();
    } else if (collection.contains("://")) {
        fail(QString("The collection %1 cannot be reached: this server is local; give a directory "
                     "or a file:// URL.").arg(collection));
    }
    return QDir::cleanPath(QDir(workingDirectory).absoluteFilePath(path));
}

bool ServerStore::exists() const
{
    return QFileInfo(m_dir + "/format").isFile();
}

QByteArray ServerStore::readFile(const QString &path, bool *ok)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return QByteArray();
    }
    if (ok)
        *ok = true;
    return file.readAll();
}

void ServerStore::writeFileAtomically(const QString &path, const QByteArray &data)
{
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        fail(QString("Cannot create the directory %1.").arg(dir));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        fail(QString("Cannot write %1: %2").arg(path, file.errorString()));
}

void ServerStore::create()
{
    const QFileInfo info(m_dir);
    if (info.exists() && !info.isDir())
        fail(QString("Cannot create a server at %1: it is a file.").arg(m_dir));
    if (info.isDir() && !QDir(m_dir).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        fail(QString("Cannot create a server at %1: the directory is not empty.").arg(m_dir));
    if (!QDir().mkpath(m_dir))
        fail(QString("Cannot create a server at %1: the directory cannot be created.").arg(m_dir));
    lock();
    m_head = 0;
    ItemRecord root;
    root.path = "$/";
    root.folder = true;
    root.versions.append(ItemVersion{0, "add", {}, {}, {}});
    saveRecord(root);
    writeFileAtomically(m_dir + "/head", "0\n");
    // The marker goes last: a half-created store is not taken for a server.
    writeFileAtomically(m_dir + "/format", formatMarker);
}

// The lock is an flock() on a file that stays in place: the kernel releases
// it when the process ends, however it ends, so a killed command never leaves
// a stale lock behind, and taking it writes nothing.
void ServerStore::lock()
{
    m_lockFd = ::open(QFile::encodeName(m_dir + "/lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_lockFd < 0)
        fail(QString("The server store at %1 cannot be written (cannot create its lock file).")
                 .arg(m_dir));
    // A long get must not have its lock taken away by a second command: wait.
    QElapsedTimer waited;
    waited.start();
    while (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            fail(QString("The server store at %1 cannot be locked: %2")
                     .arg(m_dir, QString::fromLocal8Bit(strerror(errno))));
        if (waited.elapsed() > 60 * 1000)
            fail(QString("The server is busy: another command holds %1/lock.").arg(m_dir));
        ::usleep(10 * 1000);
    }
}

void ServerStore::open()
{
    if (!exists())
        fail(QString("There is no Team Foundation server at %1. Create one with "
                     "\"tf seed /collection:%1\" (sample project) or \"tf init /collection:%1\".")
                 .arg(m_dir));
    lock();
    bool ok = false;
    const QByteArray head = readFile(m_dir + "/head", &ok).trimmed();
    m_head = head.toInt(&ok);
    if (!ok || m_head < 0)
        fail(QString("The server store at %1 is damaged: its head file is unreadable.").arg(m_dir));
    recoverInterruptedCommit();
}

QString ServerStore::itemFile(const QString &serverPath) const
{
    const QString key = ServerPath::key(serverPath);
    return m_dir + "/items/" + key.left(2) + '/' + key + ".json";
}

ItemRecord ServerStore::loadRecord(const QString &serverPath, bool committedOnly) const
{
    ItemRecord record;
    bool ok = false;
    const QByteArray data = readFile(itemFile(serverPath), &ok);
    if (!ok)
        return record;
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(data, &error).object();
    if (error.error != QJsonParseError::NoError)
        fail(QString("The server store is damaged: the record of %1 is unreadable.").arg(serverPath));
    record.path = o.value("path").toString();
    record.folder = o.value("folder").toBool();
    for (const QJsonValue &v : o.value("versions").toArray()) {
        const QJsonObject vo = v.toObject();
        ItemVersion version{vo.value("cs").toInt(), vo.value("change").toString(),
                            vo.value("blob").toString(), vo.value("from").toString(),
                            vo.value("to").toString()};
        if (!committedOnly || version.changeset <= m_head)
            record.versions.append(version);
    }
    for (const QJsonValue &c : o.value("children").toArray()) {
        const QJsonArray pair = c.toArray();
        if (!committedOnly || pair.at(1).toInt() <= m_head)
            record.children.append({pair.at(0).toString(), pair.at(1).toInt()});
    }
    return record;
}

void ServerStore::saveRecord(const ItemRecord &record)
{
    QJsonArray versions;
    for (const ItemVersion &v : record.versions) {
        QJsonObject vo{{"cs", v.changeset}, {"change", v.change}};
        if (!v.blob.isEmpty())
            vo.insert("blob", v.blob);
        if (!v.from.isEmpty())
            vo.insert("from", v.from);
        if (!v.to.isEmpty())
            vo.insert("to", v.to);
        versions.append(vo);
    }
    QJsonObject o{{"path", record.path}, {"folder", record.folder}, {"versions", versions}};
    if (record.folder) {
        QJsonArray children;
        for (const auto &c : record.children)
            children.append(QJsonArray{c.first, c.second});
        o.insert("children", children);
    }
    writeFileAtomically(itemFile(record.path), QJsonDocument(o).toJson(QJsonDocument::Compact));
}

ItemRecord ServerStore::item(const QString &serverPath) const
{
    return loadRecord(serverPath, true);
}

QStringList ServerStore::childPaths(const ItemRecord &folder) const
{
    QStringList paths;
    for (const auto &c : folder.children)
        paths.append(ServerPath::child(folder.path, c.first));
    return paths;
}

QByteArray ServerStore::content(const QString &blob) const
{
    bool ok = false;
    const QByteArray data = readFile(m_dir + "/blobs/" + blob.left(2) + '/' + blob, &ok);
    if (!ok)
        fail(QString("The server store is damaged: the content %1 is missing.").arg(blob));
    return data;
}

QString ServerStore::putBlob(const QByteArray &content)
{
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    const QString path = m_dir + "/blobs/" + hash.left(2) + '/' + hash;
    if (!QFileInfo::exists(path))
        writeFileAtomically(path, content);
    return hash;
}

Changeset ServerStore::changeset(int number, bool withChanges) const
{
    Changeset cs;
    bool ok = false;
    const QString base = QString("%1/changesets/%2").arg(m_dir).arg(number);
    const QByteArray data = readFile(base + ".json", &ok);
    if (!ok || number > m_head)
        return cs;
    const QJsonObject o = QJsonDocument::fromJson(data).object();
    cs.number = number;
    cs.owner = o.value("owner").toString();
    cs.date = QDateTime::fromString(o.value("date").toString(), Qt::ISODate);
    cs.comment = o.value("comment").toString();
    if (!withChanges)
        return cs;
    const QJsonArray changes = QJsonDocument::fromJson(readFile(base + ".changes.json")).object().value("changes").toArray();
    for (const QJsonValue &c : changes) {
        const QJsonObject co = c.toObject();
        cs.changes.append({co.value("path").toString(), co.value("change").toString(),
                           co.value("from").toString()});
    }
    return cs;
}

bool ServerStore::hasUsers() const
{
    return QFileInfo::exists(m_dir + "/users.json");
}

static QString passwordHash(const QString &salt, const QString &password)
{
    return QString::fromLatin1(
        QCryptographicHash::hash((salt + password).toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString ServerStore::authenticate(const QString &user, const QString &password) const
{
    const QJsonArray users =
        QJsonDocument::fromJson(readFile(m_dir + "/users.json")).object().value("users").toArray();
    for (const QJsonValue &u : users) {
        const QJsonObject uo = u.toObject();
        const QString name = uo.value("name").toString();
        if (name.compare(user, Qt::CaseInsensitive) == 0
            && passwordHash(uo.value("salt").toString(), password) == uo.value("hash").toString())
            return name;
    }
    return QString();
}

void ServerStore::addUser(const QString &user, const QString &password)
{
    if (user.isEmpty() || user.contains(',') || user.contains(QRegExp("\\s")))
        fail(QString("\"%1\" is not a valid user name (no blanks or commas).").arg(user));
    QJsonObject doc = QJsonDocument::fromJson(readFile(m_dir + "/users.json")).object();
    QJsonArray users = doc.value("users").toArray();
    for (const QJsonValue &u : users) {
        if (u.toObject().value("name").toString().compare(user, Qt::CaseInsensitive) == 0)
            fail(QString("The user %1 already exists.").arg(user));
    }
    const QString salt = QUuid::createUuid().toString(QUuid::WithoutBraces);
    users.append(QJsonObject{{"name", user}, {"salt", salt}, {"hash", passwordHash(salt, password)}});
    doc.insert("users", users);
    writeFileAtomically(m_dir + "/users.json", QJsonDocument(doc).toJson());
}

QString ServerStore::workspacesDirectory() const
{
    return m_dir + "/workspaces";
}

// A check-in that died after writing some item records but before moving the
// head left versions numbered above the head. They are invisible to readers;
// the next writer removes them so that the number can be used again.
void ServerStore::recoverInterruptedCommit()
{
    const QString marker = m_dir + "/transaction";
    if (!QFileInfo::exists(marker))
        return;
    const QJsonObject o = QJsonDocument::fromJson(readFile(marker)).object();
    if (o.value("changeset").toInt() > m_head) {
        for (const QJsonValue &p : o.value("paths").toArray()) {
            const QString path = p.toString();
            ItemRecord record = loadRecord(path, true);
            if (record.isNull() && path != "$/")
                QFile::remove(itemFile(path));
            else if (!record.path.isEmpty())
                saveRecord(record);
        }
        const QString base = QString("%1/changesets/%2").arg(m_dir).arg(o.value("changeset").toInt());
        QFile::remove(base + ".json");
        QFile::remove(base + ".changes.json");
    }
    if (!QFile::remove(marker))
        fail(QString("The server store at %1 cannot be written.").arg(m_dir));
}

int ServerStore::commit(const QVector<PendingCommit> &changes, const QString &owner,
                        const QString &comment)
{
    const int number = m_head + 1;
    std::map<QString, ItemRecord> records; // by key, committed state plus this changeset
    QStringList order;                  // paths of the records in the order first touched
    QVector<ChangeEntry> entries;

    auto record = [&](const QString &path) -> ItemRecord & {
        const QString key = ServerPath::key(path);
        auto it = records.find(key);
        if (it == records.end()) {
            ItemRecord r = loadRecord(path, true);
            if (r.path.isEmpty())
                r.path = path;
            it = records.emplace(key, r).first;
            order.append(path);
        }
        return it->second;
    };
    auto appendVersion = [&](ItemRecord &r, ItemVersion v) {
        v.changeset = number;
        if (!r.versions.isEmpty() && r.versions.last().changeset == number)
            r.versions.last() = v; // a second change to one item in one changeset
        else
            r.versions.append(v);
    };
    std::function<void(const QString &)> ensureFolder = [&](const QString &path) {
        ItemRecord &r = record(path);
        if (r.isLive()) {
            if (!r.folder)
                fail(QString("Cannot check in: %1 is a file on the server, not a folder.").arg(path));
            return;
        }
        ensureFolder(ServerPath::parent(path));
        ItemRecord &folder = record(path);
        folder.path = path;
        folder.folder = true;
        appendVersion(folder, ItemVersion{0, "add", {}, {}, {}});
        entries.append({path, "add", {}});
        ItemRecord &parentRecord = record(ServerPath::parent(path));
        const QString childName = ServerPath::name(path);
        if (std::none_of(parentRecord.children.begin(), parentRecord.children.end(),
                         [&](const auto &c) { return c.first.compare(childName, Qt::CaseInsensitive) == 0; }))
            parentRecord.children.append({childName, number});
    };
    auto placeNewItem = [&](const QString &path, bool folder) -> ItemRecord & {
        if (record(path).isLive())
            fail(QString("Cannot check in: %1 already exists on the server.").arg(path));
        ensureFolder(ServerPath::parent(path));
        ItemRecord &parentRecord = record(ServerPath::parent(path));
        const QString childName = ServerPath::name(path);
        if (std::none_of(parentRecord.children.begin(), parentRecord.children.end(),
                         [&](const auto &c) { return c.first.compare(childName, Qt::CaseInsensitive) == 0; }))
            parentRecord.children.append({childName, number});
        ItemRecord &r = record(path);
        if (!r.isNull() && r.folder != folder)
            r.versions.clear(); // an earlier, deleted item of the other kind: start afresh
        r.path = path;
        r.folder = folder;
        return r;
    };

    // Validate and build every record in memory first: nothing is written
    // unless the whole changeset can be made.
    QHash<QString, QByteArray> blobs;
    auto blobOf = [&](const QByteArray &content) {
        const QString hash = QString::fromLatin1(
            QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
        blobs.insert(hash, content);
        return hash;
    };
    for (const PendingCommit &c : changes) {
        switch (c.kind) {
        case PendingCommit::AddFolder:
            if (record(c.path).isLive() && record(c.path).folder)
                break; // already there, e.g. made as the parent of another add
            appendVersion(placeNewItem(c.path, true), ItemVersion{0, "add", {}, {}, {}});
            entries.append({c.path, "add", {}});
            break;
        case PendingCommit::AddFile:
            appendVersion(placeNewItem(c.path, false), ItemVersion{0, "add", blobOf(c.content), {}, {}});
            entries.append({c.path, "add", {}});
            break;
        case PendingCommit::Edit: {
            ItemRecord &r = record(c.path);
            if (!r.isLive() || r.folder)
                fail(QString("Cannot check in: %1 is not a file on the server.").arg(c.path));
            appendVersion(r, ItemVersion{0, "edit", blobOf(c.content), {}, {}});
            entries.append({c.path, "edit", {}});
            break;
        }
        case PendingCommit::Delete: {
            ItemRecord &r = record(c.path);
            if (!r.isLive())
                fail(QString("Cannot check in: %1 does not exist on the server.").arg(c.path));
            if (r.folder) {
                for (const QString &childPath : childPaths(r)) {
                    if (record(childPath).isLive())
                        fail(QString("Cannot check in: the folder %1 still holds %2.").arg(c.path, childPath));
                }
            }
            appendVersion(record(c.path), ItemVersion{0, "delete", {}, {}, {}});
            entries.append({c.path, "delete", {}});
            break;
        }
        case PendingCommit::Rename: {
            ItemRecord &source = record(c.from);
            if (!source.isLive() || source.folder)
                fail(QString("Cannot check in: %1 is not a file on the server.").arg(c.from));
            appendVersion(source, ItemVersion{0, "renamed", {}, {}, c.path});
            ItemRecord &target = placeNewItem(c.path, false);
            appendVersion(target, ItemVersion{0, "rename", blobOf(c.content), c.from, {}});
            entries.append({c.path, "rename", c.from});
            break;
        }
        }
    }
    if (entries.isEmpty())
        fail("There is nothing to check in.");

    QJsonArray paths;
    for (const QString &p : order)
        paths.append(p);
    writeFileAtomically(m_dir + "/transaction",
                        QJsonDocument(QJsonObject{{"changeset", number}, {"paths", paths}}).toJson());
    for (auto it = blobs.cbegin(); it != blobs.cend(); ++it)
        putBlob(it.value());
    for (const QString &p : order)
        saveRecord(records.at(ServerPath::key(p)));
    QJsonArray changeArray;
    for (const ChangeEntry &e : entries) {
        QJsonObject eo{{"path", e.path}, {"change", e.change}};
        if (!e.from.isEmpty())
            eo.insert("from", e.from);
        changeArray.append(eo);
    }
    // The change list is kept apart from the header so that showing the
    // owner and date of a changeset does not parse a list of 10,000 changes.
    const QString base = QString("%1/changesets/%2").arg(m_dir).arg(number);
    writeFileAtomically(base + ".changes.json",
                        QJsonDocument(QJsonObject{{"changes", changeArray}}).toJson(QJsonDocument::Compact));
    const QJsonObject cs{{"owner", owner},
                         {"date", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                         {"comment", comment}};
    writeFileAtomically(base + ".json", QJsonDocument(cs).toJson());
    // The commit point: from here on every reader sees the new changeset.
    writeFileAtomically(m_dir + "/head", QByteArray::number(number) + '\n');
    m_head = number;
    QFile::remove(m_dir + "/transaction");
    return number;
}

} // namespace Tf
