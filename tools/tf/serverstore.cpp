#include "serverstore.h"
#include "tferror.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
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

static bool writeAll(int fd, const QByteArray &data)
{
    const char *p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Replaces the file whole: the content goes to "<path>.tmp", which is then
// renamed over the file. A process that dies at any point leaves the old or
// the new file, never a torn one. Every writer holds a lock (the store's, or
// the client data's), so the temporary name needs nothing unique.
//
// The data is not forced to disk (no fsync): what a process has written is in
// the kernel and survives the process however it ends, so a killed command
// loses nothing. Waiting for the disk on every file was most of what a
// check-in cost (each wait 1-4 ms on a busy disk, ten per check-in). The price
// is paid only on a power failure or kernel crash: the changes of the last
// seconds (until the kernel writes them back, 30 s at most by default) may be
// lost, and not necessarily in the order they were made.
void ServerStore::writeFileAtomically(const QString &path, const QByteArray &data)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = target + ".tmp";
    int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 && errno == ENOENT) {
        // Directories are made on first use only: most writes go to existing ones.
        const QString dir = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(dir))
            fail(QString("Cannot create the directory %1.").arg(dir));
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    if (fd < 0)
        fail(QString("Cannot write %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno))));
    const bool written = writeAll(fd, data);
    const int error = errno;
    if (::close(fd) != 0 || !written || ::rename(temporary.constData(), target.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(strerror(written ? errno : error));
        ::unlink(temporary.constData());
        fail(QString("Cannot write %1: %2").arg(path, reason));
    }
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
                     "\"tf seed -collection:%1\" (sample project) or \"tf init -collection:%1\".")
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

QStringList ServerStore::userNames() const
{
    QStringList names;
    const QJsonArray users =
        QJsonDocument::fromJson(readFile(m_dir + "/users.json")).object().value("users").toArray();
    for (const QJsonValue &u : users)
        names.append(u.toObject().value("name").toString());
    return names;
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

// A check-in that died (or failed) before moving the head left versions
// numbered above the head in the records it rewrote: readers do not see them,
// and they are removed here so that the number can be used again. One that
// died after moving the head is committed; what it had still to write, the
// workspace's files, is written here from the copy in the transaction file.
void ServerStore::recoverInterruptedCommit()
{
    const QString marker = m_dir + "/transaction";
    bool present = false;
    const QByteArray data = readFile(marker, &present);
    if (!present)
        return;
    const int endOfHeader = data.indexOf('\n');
    QJsonParseError error;
    QJsonObject o = QJsonDocument::fromJson(data.left(endOfHeader), &error).object();
    if (error.error != QJsonParseError::NoError) // written by an older tf: all JSON, no files
        o = QJsonDocument::fromJson(data, &error).object();
    if (error.error != QJsonParseError::NoError || !o.value("changeset").isDouble())
        fail(QString("The server store at %1 is damaged: the record of an interrupted check-in, %2, "
                     "is unreadable.").arg(m_dir, marker));
    const int number = o.value("changeset").toInt();
    if (number > m_head) {
        for (const QJsonValue &p : o.value("paths").toArray()) {
            const QString path = p.toString();
            ItemRecord record = loadRecord(path, true);
            if (record.isNull() && path != "$/")
                QFile::remove(itemFile(path));
            else if (!record.path.isEmpty())
                saveRecord(record);
        }
        const QString base = QString("%1/changesets/%2").arg(m_dir).arg(number);
        QFile::remove(base + ".json");
        QFile::remove(base + ".changes.json");
    } else {
        qint64 at = endOfHeader + 1;
        for (const QJsonValue &f : o.value("files").toArray()) {
            const QString path = f.toObject().value("path").toString();
            const qint64 size = qint64(f.toObject().value("size").toDouble());
            if (path.isEmpty() || path.startsWith("..") || QDir::isAbsolutePath(path) || size < 0
                || at + size > data.size())
                fail(QString("The server store at %1 is damaged: the record of an interrupted "
                             "check-in, %2, is incomplete.").arg(m_dir, marker));
            writeFileAtomically(m_dir + '/' + path, data.mid(at, size));
            at += size;
        }
    }
    if (!QFile::remove(marker))
        fail(QString("The server store at %1 cannot be written.").arg(m_dir));
}

int ServerStore::commit(const QVector<PendingCommit> &changes, const QString &owner,
                        const QString &comment, const QVector<StoreFile> &alongside)
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
    // A new item's folder must be on the server already or be added by this
    // changeset: the server makes no folder it was not asked for. A folder
    // whose add is still pending and was left out of the check-in would
    // otherwise go in unasked.
    QSet<QString> addedFolders;
    for (const PendingCommit &c : changes) {
        if (c.kind == PendingCommit::AddFolder)
            addedFolders.insert(ServerPath::key(c.path));
    }
    std::function<void(const QString &, const QString &)> ensureFolder = [&](const QString &path,
                                                                             const QString &item) {
        ItemRecord &r = record(path);
        if (r.isLive()) {
            if (!r.folder)
                fail(QString("Cannot check in: %1 is a file on the server, not a folder.").arg(path));
            return;
        }
        if (!addedFolders.contains(ServerPath::key(path)))
            fail(
                QString("Cannot check in %1: its folder %2 is not on the server and is not part of "
                        "this check-in. Check in the pending add of %2 with it; nothing was "
                        "checked in.")
                    .arg(item, path));
        ensureFolder(ServerPath::parent(path), path);
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
        ensureFolder(ServerPath::parent(path), path);
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

    // The order of the writes is what makes the check-in all or nothing for a
    // process that dies at any point: first the transaction file (what to
    // undo or finish), then the records, the changeset and the new contents,
    // invisible while their number is above the head, then the head (the
    // commit point), then the
    // workspace's files. recoverInterruptedCommit() undoes or finishes
    // whatever a dead process left. A failure before the head is undone here.
    QJsonArray paths;
    for (const QString &p : order)
        paths.append(p);
    QJsonArray files;
    QByteArray contents;
    for (const StoreFile &f : alongside) {
        if (!QDir::cleanPath(f.path).startsWith(m_dir + '/'))
            fail(QString("Internal error: %1 is outside the server store.").arg(f.path));
        files.append(QJsonObject{{"path", QDir(m_dir).relativeFilePath(f.path)}, {"size", f.content.size()}});
        contents += f.content;
    }
    const QByteArray transaction =
        QJsonDocument(QJsonObject{{"changeset", number}, {"paths", paths}, {"files", files}})
            .toJson(QJsonDocument::Compact)
        + '\n' + contents;
    try {
        writeFileAtomically(m_dir + "/transaction", transaction);
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
        for (auto it = blobs.cbegin(); it != blobs.cend(); ++it)
            putBlob(it.value());
        // The commit point: from here on every reader sees the new changeset.
        writeFileAtomically(m_dir + "/head", QByteArray::number(number) + '\n');
    } catch (const Error &) {
        try {
            recoverInterruptedCommit();
        } catch (const Error &) {
            // The next command that opens the store tries again.
        }
        throw;
    }
    m_head = number;
    try {
        for (const StoreFile &f : alongside)
            writeFileAtomically(f.path, f.content);
    } catch (const Error &e) {
        fail(QString("Changeset #%1 was checked in, but the workspace could not be updated: %2\n"
                     "The next tf command on this server finishes the update.").arg(number).arg(e.message));
    }
    if (!QFile::remove(m_dir + "/transaction"))
        fail(QString("Changeset #%1 was checked in, but the server store at %2 cannot be written.")
                 .arg(number).arg(m_dir));
    return number;
}

} // namespace Tf
