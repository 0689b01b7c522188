#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <mutex>

namespace Tf {
class ServerStore;
}

namespace TfServer {

// Local paths travel as Windows paths on the drive U: ("/home/ann/w/a.txt"
// is "U:\home\ann\w\a.txt"); the store keeps them as the client's own.
namespace WirePath {
QString toNative(const QString &wire); // throws a Sender fault for other forms
QString toWire(const QString &native);
bool isLocal(const QString &path); // a wire local path rather than a server path
} // namespace WirePath

// What the client is told about a file's content.
struct ContentInfo
{
    QByteArray md5; // base64; the client compares it with the file on disk
    qint64 size = 0;
    int encoding = 0; // a code page (65001, UTF-8) or -1 for binary
};

// What the wire needs about items and that the store does not keep: numeric
// item ids and content digests. Both are worked out from what the store
// holds (an id from the item's path, a digest from the content) and kept for
// the server's life; the client only ever sends back ids it was given.
class ItemCatalog
{
public:
    int itemId(const QString &serverPath);
    QString pathOfId(int id) const; // empty when this server never named it
    ContentInfo content(const Tf::ServerStore &store, const QString &blob);

private:
    mutable std::mutex m_mutex;
    QHash<int, QString> m_paths;
    QHash<QString, ContentInfo> m_contents;
};

} // namespace TfServer
