#pragma once

#include "itemcatalog.h"
#include "locationservice.h"
#include "soap.h"

#include <QString>

#include <memory>

namespace Tf {
class ServerStore;
class Workspace;
struct ItemRecord;
struct PendingChange;
} // namespace Tf

namespace TfServer {

// The version-control service of the collection, for server workspaces: each
// call opens the store (waiting for its lock, as a stand-in `tf` command
// does), does what the operation asks and answers. Per-item refusals go back
// as failures beside the result, as the client expects them; a refusal of the
// whole call is a fault.
class Repository
{
public:
    explicit Repository(const QString &storeDirectory);

    // The response to one call; throws a Fault for a call it refuses.
    QByteArray call(const SoapCall &call, const Identity &identity);

    // The file contents of the download service, named by what Get, QueryItems
    // and QueryPendingSets hand out as download URLs.
    QByteArray download(const QString &query);

    // One part (or the whole) of a file's new content, for a pending add or
    // edit. Throws a Fault when the upload is refused.
    struct Upload
    {
        QString serverItem;
        QString workspace;
        QString owner;
        qint64 length = -1;   // of the whole file, uncompressed
        QByteArray md5;       // base64, of the whole file, uncompressed
        QString range;        // "bytes=FIRST-LAST/TOTAL", of what is sent
        QByteArray content;   // this part
        bool gzipped = false; // the parts together are gzip data
    };
    void upload(const Upload &upload, const Identity &identity);

    // Where uploads wait for their check-in.
    QString uploadDirectory(const QString &workspace) const;

private:
    class Call;

    QString m_storeDirectory;
    ItemCatalog m_catalog;
};

} // namespace TfServer
