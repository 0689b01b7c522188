// The local Team Foundation server through HTTP, as a client that is not the
// real one can meet it: what it refuses (and that a refusal leaves the store
// as it was), and several clients checking in at once.

#include "serverstore.h"
#include "tfserverprocess.h"
#include "workspace.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <httplib.h>
#include <zlib.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <thread>

namespace {

const char vcNamespace[] =
    "http://schemas.microsoft.com/TeamFoundation/2005/06/VersionControl/ClientServices/03";
const char repository[] = "VersionControl/v1.0/repository.asmx";
const char upload[] = "VersionControl/v1.0/upload.asmx";

QByteArray envelope(const QByteArray &call, const QByteArray &ns = vcNamespace)
{
    return "<?xml version=\"1.0\" ?><soap:Envelope xmlns:soap=\"http://www.w3.org/2003/05/"
           "soap-envelope\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soap:Body "
           "xmlns=\"" +
           ns + "\">" + call + "</soap:Body></soap:Envelope>";
}

QString wireLocal(const QString &path)
{
    return QStringLiteral("U:") + QString(path).replace(QLatin1Char('/'), QLatin1Char('\\'));
}

// An upload as the client sends it: one multipart form per file.
QByteArray uploadForm(const QByteArray &boundary, const QByteArray &item, const QByteArray &content,
                      const QByteArray &hash, const QByteArray &range, qint64 length = -1,
                      const QByteArray &type = "application/octet-stream")
{
    QByteArray form;
    auto field = [&](const QByteArray &name, const QByteArray &value) {
        form += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + value + "\r\n";
    };
    field("item", item);
    field("wsname", "annws");
    field("wsowner", "ann");
    field("filelength", QByteArray::number(length < 0 ? content.size() : length));
    field("hash", hash);
    field("range", range + "\r\n");
    form += "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"content\"; filename=\"item\"\r\n"
            "Content-Type: " +
            type + "\r\n\r\n" + content + "\r\n--" + boundary + "--\r\n";
    return form;
}

QByteArray gzip(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray md5(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5).toBase64();
}

// Every file of a store and its content's digest, but the lock, which every
// call takes.
QMap<QString, QByteArray> snapshot(const QString &store)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(store, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName() == QLatin1String("lock"))
            continue;
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(store).relativeFilePath(path),
                     QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

} // namespace

class TfServerTest : public QObject
{
    Q_OBJECT

private slots:
    void refusalsLeaveTheStoreAsItWas_data();
    void refusalsLeaveTheStoreAsItWas();
    void clientsCheckingInAtOnceAreServedInTurn();
};

void TfServerTest::refusalsLeaveTheStoreAsItWas_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path"); // below the collection unless it starts with '/'
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("says");   // in the body, or "Header: part of its value"
    QTest::addColumn<QByteArray>("header"); // one more request header, "Name: value"
    auto row = [](const char *name, const QByteArray &method, const QString &path,
                  const QByteArray &user, const QByteArray &contentType, const QByteArray &body,
                  int status, const QByteArray &says, const QByteArray &header = QByteArray()) {
        QTest::newRow(name) << method << path << user << contentType << body << status << says
                            << header;
    };

    const QByteArray soap = "application/soap+xml; charset=utf-8";
    const QByteArray ann = "ann:secret";
    const QByteArray b = "xYz01-boundary";
    const QByteArray form = "multipart/form-data; boundary=" + b;
    const QByteArray content = "new content\n";
    row("an operation the server does not have", "POST", repository, ann, soap,
        envelope("<Frobnicate><x>1</x></Frobnicate>"), 500,
        QByteArray("<soap:Text xml:lang=\"en\">TF400000: The operation Frobnicate"));
    row("a work item operation the server does not have", "POST",
        QStringLiteral("WorkItemTracking/v1.0/ClientService.asmx"), ann, soap,
        envelope("<QueryWorkitems><psQuery/></QueryWorkitems>"), 500,
        QByteArray("keeps no work items and does not implement the work item tracking "
                   "operation QueryWorkitems."));
    row("not XML", "POST", repository, ann, soap, QByteArray("hello, server"), 500,
        QByteArray("not well-formed"));
    row("a SOAP 1.1 envelope", "POST", repository, ann, soap,
        QByteArray("<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"><s:Body>"
                   "<QueryWorkspaces/></s:Body></s:Envelope>"),
        500, QByteArray("not a SOAP 1.2 envelope"));
    row("entities that expand", "POST", repository, ann, soap,
        QByteArray("<!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>") +
            envelope("<QueryWorkspaces><ownerName>&b;</ownerName></QueryWorkspaces>"),
        500, QByteArray("document type declaration"));
    row("elements nested without end", "POST", repository, ann, soap,
        envelope(QByteArray("<a>").repeated(200) + QByteArray("</a>").repeated(200)), 500,
        QByteArray("deeper than"));
    row("no credentials", "POST", repository, QByteArray(), soap, envelope("<QueryWorkspaces/>"),
        401, QByteArray("WWW-Authenticate: Basic"));
    row("a wrong password", "POST", repository, QByteArray("ann:guess"), soap,
        envelope("<QueryWorkspaces/>"), 401, QByteArray("WWW-Authenticate: Basic"));
    row("a service the server does not have", "POST", QStringLiteral("Services/v9.0/Nothing.asmx"),
        ann, soap, envelope("<QueryWorkspaces/>"), 404, QByteArray());
    row("another collection", "POST",
        QStringLiteral("/tfs/Other/VersionControl/v1.0/repository.asmx"), ann, soap,
        envelope("<QueryWorkspaces/>"), 404, QByteArray());
    row("a body over the limit", "POST", repository, ann, soap,
        envelope("<QueryWorkspaces><ownerName>" + QByteArray(100000, 'x') +
                 "</ownerName></QueryWorkspaces>"),
        413, QByteArray());
    // Inflating it could make it any size; the client never compresses a request.
    row("a compressed request", "POST", repository, ann, soap,
        qCompress(envelope("<QueryWorkspaces/>")), 415, QByteArray(), "Content-Encoding: gzip");
    row("someone else's workspace", "POST", repository, QByteArray("bob:pw"), soap,
        envelope("<UndoPendingChanges><workspaceName>annws</workspaceName><ownerName>ann"
                 "</ownerName><items><ItemSpec item=\"$/P\" recurse=\"Full\"/></items>"
                 "</UndoPendingChanges>"),
        500, QByteArray("TF14091"));
    row("a check-in of content never uploaded", "POST", repository, ann, soap,
        envelope("<CheckIn><workspaceName>annws</workspaceName><ownerName>ann</ownerName>"
                 "<serverItems><string>$/P/b.txt</string></serverItems><info><Comment>c"
                 "</Comment></info></CheckIn>"),
        500, QByteArray("was not uploaded"));
    row("an upload whose hash does not match", "POST", upload, ann, form,
        uploadForm(b, "$/P/b.txt", content, md5("other"), "bytes=0-11/12"), 500,
        QByteArray("X-VersionControl-Exception: VersionControlException"));
    row("an upload whose range does not match", "POST", upload, ann, form,
        uploadForm(b, "$/P/b.txt", content, md5(content), "bytes=0-99/100"), 500,
        QByteArray("does not describe the content"));
    const QByteArray bomb = gzip(QByteArray(1 << 20, '\0'));
    row("a compressed upload that grows past its length", "POST", upload, ann, form,
        uploadForm(b, "$/P/b.txt", bomb, md5(content),
                   "bytes=0-" + QByteArray::number(bomb.size() - 1) + '/' +
                       QByteArray::number(bomb.size()),
                   content.size(), "application/gzip"),
        500, QByteArray("not the gzip data of a file of the announced length"));
    row("an upload announcing a terabyte", "POST", upload, ann, form,
        uploadForm(b, "$/P/b.txt", gzip(content), md5(content),
                   "bytes=0-" + QByteArray::number(gzip(content).size() - 1) + '/' +
                       QByteArray::number(gzip(content).size()),
                   qint64(1) << 40, "application/gzip"),
        500, QByteArray("larger than this server keeps"));
    row("an upload for an item without a pending add or edit", "POST", upload, ann, form,
        uploadForm(b, "$/P/a.txt", content, md5(content), "bytes=0-11/12"), 500,
        QByteArray("no pending add or edit"));
    row("an upload that is not a form", "POST", upload, ann, QByteArray("application/octet-stream"),
        content, 500, QByteArray("multipart form"));
    row("a download outside the contents", "GET",
        QStringLiteral("VersionControl/v1.0/item.asmx?blob=../users.json"), ann, QByteArray(),
        QByteArray(), 500, QByteArray("names no content"));
    row("a connection dropped in the middle of an upload", "DROP", upload, ann, form,
        uploadForm(b, "$/P/b.txt", content, md5(content), "bytes=0-11/12"), 0, QByteArray());
}

// Each refusal is answered (or the connection closed) and changes nothing in
// the store; the server goes on serving.
void TfServerTest::refusalsLeaveTheStoreAsItWas()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    QFETCH(QByteArray, says);
    QFETCH(QByteArray, header);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString storeDir = dir.filePath(QStringLiteral("store"));
    {
        Tf::ServerStore store(storeDir);
        store.create();
        store.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
        store.addUser(QStringLiteral("bob"), QStringLiteral("pw"));
        store.commit({{Tf::PendingCommit::AddFolder, QStringLiteral("$/P"), {}, {}},
                      {Tf::PendingCommit::AddFile, QStringLiteral("$/P/a.txt"), {}, "alpha\n"}},
                     QStringLiteral("ann"), QStringLiteral("first"));
        Tf::Workspace::create(store, QStringLiteral("annws"), QStringLiteral("ann"),
                              QStringLiteral("host"), QString());
        Tf::Workspace ws(store, QStringLiteral("annws"));
        ws.addMapping({QStringLiteral("$/P"), dir.filePath(QStringLiteral("w"))});
        ws.saveDefinition();
        Tf::PendingChange add;
        add.serverPath = QStringLiteral("$/P/b.txt");
        add.add = true;
        ws.pending().append(add);
        ws.savePending();
    }
    const QMap<QString, QByteArray> before = snapshot(storeDir);

    TfServerProcess server;
    QVERIFY2(server.start(storeDir, {QStringLiteral("--http"), QStringLiteral("--max-body"),
                                     QStringLiteral("65536")}),
             qPrintable(server.errorText()));
    const std::string target = path.startsWith(QLatin1Char('/'))
                                   ? path.toStdString()
                                   : (server.path() + QLatin1Char('/') + path).toStdString();

    if (method == "DROP") {
        // Headers that promise more than is sent, then the end of the connection.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(server.port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        const QByteArray request = "POST " + QByteArray::fromStdString(target) +
                                   " HTTP/1.1\r\nHost: x\r\n"
                                   "Authorization: Basic " +
                                   user.toBase64() + "\r\nContent-Type: " + contentType +
                                   "\r\nContent-Length: " + QByteArray::number(body.size()) +
                                   "\r\n\r\n" + body.left(body.size() / 2);
        QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
        ::close(fd);
    }

    httplib::Client client(server.host().toStdString(), server.port());
    if (method != "DROP") {
        httplib::Headers headers;
        if (!user.isEmpty())
            headers.emplace("Authorization", "Basic " + user.toBase64().toStdString());
        if (!header.isEmpty())
            headers.emplace(header.left(header.indexOf(':')).toStdString(),
                            header.mid(header.indexOf(':') + 1).trimmed().toStdString());
        const httplib::Result result =
            method == "GET" ? client.Get(target.c_str(), headers)
                            : client.Post(target.c_str(), headers, body.toStdString(),
                                          contentType.toStdString());
        QVERIFY(result);
        QCOMPARE(result->status, status);
        if (says.contains(": ") && !says.startsWith('<')) {
            const QByteArray name = says.left(says.indexOf(": "));
            QVERIFY2(result->get_header_value(name.constData())
                             .find(says.mid(name.size() + 2).toStdString()) != std::string::npos,
                     says.constData());
        } else {
            QVERIFY2(QByteArray::fromStdString(result->body).contains(says), result->body.c_str());
        }
    }

    // Still serving, and nothing in the store changed.
    httplib::Headers auth{
        {"Authorization", "Basic " + QByteArray("ann:secret").toBase64().toStdString()}};
    const httplib::Result after = client.Post(
        (server.path() + QLatin1Char('/') + repository).toStdString().c_str(), auth,
        envelope("<QueryWorkspaces><ownerName>.</ownerName></QueryWorkspaces>").toStdString(),
        "application/soap+xml; charset=utf-8");
    QVERIFY(after);
    QCOMPARE(after->status, 200);
    QVERIFY(QByteArray::fromStdString(after->body).contains("name=\"annws\""));
    QCOMPARE(snapshot(storeDir), before);
}

// Six clients at once, each creating a workspace, pending an add, uploading
// and checking in over HTTPS: every call waits for the store as the stand-in's
// commands do, and every changeset arrives whole.
void TfServerTest::clientsCheckingInAtOnceAreServedInTurn()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString storeDir = dir.filePath(QStringLiteral("store"));
    {
        Tf::ServerStore store(storeDir);
        store.create();
        store.addUser(QStringLiteral("ann"), QStringLiteral("secret"));
        store.commit({{Tf::PendingCommit::AddFolder, QStringLiteral("$/P"), {}, {}}},
                     QStringLiteral("ann"), QStringLiteral("the project"));
    }
    TfServerProcess server;
    QVERIFY2(server.start(storeDir), qPrintable(server.errorText()));
    QVERIFY(server.url().startsWith(QLatin1String("https://")));

    const int clients = 6;
    QVector<QStringList> faults(clients);
    auto work = [&](int i) {
        httplib::SSLClient client(server.host().toStdString(), server.port());
        client.enable_server_certificate_verification(false);
        client.set_basic_auth("ann", "secret");
        auto call = [&](const char *service, const QByteArray &body, const std::string &type) {
            const httplib::Result r = client.Post(
                (server.path() + QLatin1Char('/') + QLatin1String(service)).toStdString().c_str(),
                body.toStdString(), type);
            if (!r || r->status != 200)
                faults[i] << QStringLiteral("%1: %2")
                                 .arg(QLatin1String(service))
                                 .arg(r ? QString::fromStdString(r->body)
                                        : QStringLiteral("no answer"));
            return r ? QByteArray::fromStdString(r->body) : QByteArray();
        };
        const QByteArray name = "ws" + QByteArray::number(i);
        const QByteArray local = wireLocal(dir.filePath(QString::fromLatin1(name))).toUtf8();
        const QByteArray soap = "application/soap+xml; charset=utf-8";
        call(repository,
             envelope("<CreateWorkspace><workspace computer=\"host\" name=\"" + name +
                      "\" owner=\"ann\"><Comment/><Folders><WorkingFolder item=\"$/P/" + name +
                      "\" local=\"" + local +
                      "\" type=\"Map\" depth=\"120\"/></Folders></workspace>"
                      "</CreateWorkspace>"),
             soap.toStdString());
        const QByteArray pended = call(
            repository,
            envelope("<PendChanges><workspaceName>" + name +
                     "</workspaceName><ownerName>ann"
                     "</ownerName><changes><ChangeRequest req=\"Add\" type=\"File\"><item item=\"" +
                     local +
                     "\\f.txt\" recurse=\"None\"/></ChangeRequest></changes></PendChanges>"),
            soap.toStdString());
        if (!pended.contains("tlocal=\"" + local + "\\f.txt\""))
            faults[i] << QStringLiteral("the add was not pended: ") + QString::fromUtf8(pended);
        const QByteArray content = "content of " + name + '\n';
        const QByteArray b = "b0undary" + name;
        QByteArray form = uploadForm(b, "$/P/" + name + "/f.txt", content, md5(content),
                                     "bytes=0-" + QByteArray::number(content.size() - 1) + '/' +
                                         QByteArray::number(content.size()));
        form.replace("annws", name);
        call(upload, form, ("multipart/form-data; boundary=" + b).toStdString());
        call(repository,
             envelope("<CheckIn><workspaceName>" + name +
                      "</workspaceName><ownerName>ann</ownerName>"
                      "<serverItems><string>$/P/" +
                      name +
                      "/f.txt</string></serverItems><info>"
                      "<Comment>from " +
                      name + "</Comment></info></CheckIn>"),
             soap.toStdString());
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back(work, i);
    for (std::thread &t : threads)
        t.join();
    for (const QStringList &f : faults)
        QVERIFY2(f.isEmpty(), qPrintable(f.join(QLatin1Char('\n'))));

    Tf::ServerStore store(storeDir);
    store.open();
    QCOMPARE(store.head(), 1 + clients);
    QStringList comments;
    for (int n = 2; n <= 1 + clients; ++n)
        comments << store.changeset(n).comment;
    comments.sort();
    for (int i = 0; i < clients; ++i) {
        const QString name = QStringLiteral("ws%1").arg(i);
        QCOMPARE(comments.at(i), QStringLiteral("from ") + name);
        const Tf::ItemRecord file = store.item(QStringLiteral("$/P/%1/f.txt").arg(name));
        QVERIFY(file.isLive());
        QCOMPARE(store.content(file.latest()->blob), "content of " + name.toUtf8() + '\n');
        Tf::Workspace ws(store, name);
        QVERIFY(ws.pending().isEmpty());
        QCOMPARE(ws.have(QStringLiteral("$/P/%1/f.txt").arg(name)), file.latest()->changeset);
    }
    QVERIFY(!QFileInfo::exists(storeDir + QStringLiteral("/transaction")));
}

QTEST_GUILESS_MAIN(TfServerTest)
#include "tst_tfserver.moc"
