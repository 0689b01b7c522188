#include "itemcatalog.h"
#include "serverstore.h"
#include "soap.h"

#include <QCryptographicHash>
#include <QDir>

namespace TfServer {

namespace WirePath {

bool isLocal(const QString &path)
{
    return path.size() >= 3 && path.at(0).isLetter() && path.at(1) == ':' && path.at(2) == '\\';
}

QString toNative(const QString &wire)
{
    if (!isLocal(wire) || wire.at(0).toUpper() != 'U')
        senderFault(QString("%1 is not a local path this server can serve: it serves clients on "
                            "Linux and macOS, whose paths arrive on the drive U:.")
                        .arg(wire));
    if (wire.contains('/') || wire.contains(QChar(0)))
        senderFault(
            QString("The local path %1 holds a character a file name cannot have here.").arg(wire));
    QString native = wire.mid(2);
    native.replace('\\', '/');
    return QDir::cleanPath(native);
}

QString toWire(const QString &native)
{
    QString wire = native;
    wire.replace('/', '\\');
    return "U:" + wire;
}

} // namespace WirePath

int ItemCatalog::itemId(const QString &serverPath)
{
    const QByteArray digest =
        QCryptographicHash::hash(serverPath.toLower().toUtf8(), QCryptographicHash::Sha1);
    int id = int(((uchar(digest[0]) << 24) | (uchar(digest[1]) << 16) | (uchar(digest[2]) << 8) |
                  uchar(digest[3])) &
                 0x7fffffff);
    if (id == 0)
        id = 1;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_paths.insert(id, serverPath);
    return id;
}

QString ItemCatalog::pathOfId(int id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_paths.value(id);
}

ContentInfo ItemCatalog::content(const Tf::ServerStore &store, const QString &blob)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto it = m_contents.constFind(blob);
        if (it != m_contents.constEnd())
            return *it;
    }
    // Contents never change once stored, so what was worked out once holds.
    const QByteArray data = store.content(blob);
    ContentInfo info;
    info.md5 = QCryptographicHash::hash(data, QCryptographicHash::Md5).toBase64();
    info.size = data.size();
    info.encoding = data.left(8000).contains('\0') ? -1 : 65001;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_contents.insert(blob, info);
    return info;
}

} // namespace TfServer
