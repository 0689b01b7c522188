#include "collectionserver.h"
#include "certificate.h"
#include "serverstore.h"
#include "tferror.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QUuid>

#include <httplib.h>

#include <cstdio>

namespace TfServer {

namespace {

const char soapContentType[] = "application/soap+xml; charset=utf-8";
const char formTypeHeader[] = "X-Form-Content-Type";

struct FormPart
{
    QByteArray contentType;
    QByteArray data;
};

// Splits a multipart/form-data body into its parts by name; an empty result
// for anything that is not such a form.
QHash<QString, FormPart> readForm(const QByteArray &contentType, const QByteArray &body)
{
    QHash<QString, FormPart> parts;
    const int at = contentType.indexOf("boundary=");
    if (at < 0)
        return parts;
    QByteArray boundary = contentType.mid(at + 9).trimmed();
    if (boundary.size() >= 2 && boundary.startsWith('"') && boundary.endsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    if (boundary.isEmpty())
        return parts;
    const QByteArray delimiter = "--" + boundary;
    if (!body.startsWith(delimiter))
        return {};
    int position = delimiter.size();
    while (body.mid(position, 2) == "\r\n") {
        const int headersEnd = body.indexOf("\r\n\r\n", position);
        const int next = body.indexOf("\r\n" + delimiter, position);
        if (headersEnd < 0 || next < 0 || headersEnd > next)
            return {};
        FormPart part;
        QString name;
        for (const QByteArray &line :
             body.mid(position + 2, headersEnd - position - 2).split('\n')) {
            const QByteArray header = line.trimmed();
            const int colon = header.indexOf(':');
            const QByteArray key = header.left(colon).trimmed().toLower();
            const QByteArray value = header.mid(colon + 1).trimmed();
            if (key == "content-type") {
                part.contentType = value;
            } else if (key == "content-disposition") {
                const int nameAt = value.indexOf("name=\"");
                const int nameEnd = value.indexOf('"', nameAt + 6);
                if (nameAt >= 0 && nameEnd > nameAt)
                    name = QString::fromUtf8(value.mid(nameAt + 6, nameEnd - nameAt - 6));
            }
        }
        part.data = body.mid(headersEnd + 4, next - headersEnd - 4);
        if (!name.isEmpty())
            parts.insert(name, part);
        position = next + 2 + delimiter.size();
    }
    return body.mid(position, 2) == "--" ? parts : QHash<QString, FormPart>();
}

QString systemUserName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
    return user.isEmpty() ? QString("user") : user;
}

void setFault(httplib::Response &response, const Fault &fault)
{
    response.status = 500;
    const QByteArray body = soapFault(fault);
    response.set_content(body.constData(), size_t(body.size()), soapContentType);
}

bool printable(const std::string &body)
{
    const QByteArray bytes = QByteArray::fromRawData(body.data(), int(body.size()));
    return !bytes.contains('\0') && QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

CollectionServer::CollectionServer(const ServerOptions &options)
    : m_options(options), m_repository(options.storeDirectory)
{
}

CollectionServer::~CollectionServer() = default;

bool CollectionServer::start(QString *error)
{
    if (!Tf::ServerStore(m_options.storeDirectory).exists()) {
        *error = QString("There is no server store at %1. Make one with \"tf seed -collection:%1\" "
                         "(a sample project) or \"tf init -collection:%1\".")
                     .arg(m_options.storeDirectory);
        return false;
    }
    if (!m_options.logFile.isEmpty()) {
        const bool opened = m_options.logFile == "-" ? m_log.open(stderr, QIODevice::WriteOnly)
                                                     : (m_log.setFileName(m_options.logFile),
                                                        m_log.open(QIODevice::Append));
        if (!opened) {
            *error = QString("Cannot write the log %1.").arg(m_options.logFile);
            return false;
        }
    }
    if (m_options.https) {
        m_certificate = std::make_unique<RunCertificate>(m_options.host);
        if (!m_certificate->isValid()) {
            *error = "Cannot make a certificate for this run.";
            return false;
        }
        m_http = std::make_unique<httplib::SSLServer>(m_certificate->certificate(),
                                                      m_certificate->key());
    } else {
        m_http = std::make_unique<httplib::Server>();
    }
    if (!m_http->is_valid()) {
        *error = "Cannot set up the HTTPS server.";
        return false;
    }
    m_http->set_payload_max_length(size_t(m_options.maxBodyBytes));
    // A client keeps its connections open between calls (and downloads over
    // several at once), each holding a thread until it closes: enough threads
    // that a few clients at a time do not wait for each other's idle ones.
    m_http->new_task_queue = [] { return new httplib::ThreadPool(32); };
    m_http->set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
            // A request that names a compression would be inflated before its
            // size is known; the client never sends one.
            const std::string encoding = request.get_header_value("Content-Encoding");
            if (!encoding.empty() && encoding != "identity") {
                response.status = 415;
                response.set_header("Connection", "close");
                response.set_content("Compressed requests are not accepted.", "text/plain");
                return httplib::Server::HandlerResponse::Handled;
            }
            // The library's form reader loses its way when a form arrives in many
            // small pieces, as the client writes an upload over TLS (a record per
            // field). Uploads are therefore read whole, as plain bytes, and split
            // by readForm(). The request is the library's own, not a constant.
            const QString path = QString::fromStdString(request.path);
            const std::string type = request.get_header_value("Content-Type");
            if (path.endsWith('/' + m_location->uploadPath(), Qt::CaseInsensitive) &&
                type.rfind("multipart/form-data", 0) == 0) {
                auto &headers = const_cast<httplib::Request &>(request).headers;
                headers.erase("Content-Type");
                headers.erase(formTypeHeader);
                headers.emplace("Content-Type", "application/octet-stream");
                headers.emplace(formTypeHeader, type);
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
    auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response);
    };
    m_http->Get(".*", handler);
    m_http->Post(".*", handler);
    if (m_log.isOpen()) {
        m_http->set_logger([this](const httplib::Request &request,
                                  const httplib::Response &response) { log(request, response); });
    }
    const QByteArray host = m_options.host.toUtf8();
    int port = m_options.port;
    if (port == 0)
        port = m_http->bind_to_any_port(host.constData());
    else if (!m_http->bind_to_port(host.constData(), port))
        port = -1;
    if (port <= 0) {
        *error = QString("Cannot listen on %1:%2.").arg(m_options.host).arg(m_options.port);
        return false;
    }
    m_url = QString("%1://%2:%3/tfs/%4")
                .arg(m_options.https ? "https" : "http", m_options.host)
                .arg(port)
                .arg(m_options.collection);
    // The instance is the store's: a client that meets the same store again
    // (on another port, say) knows it by the same id.
    const QUuid instance = QUuid::createUuidV5(QUuid("6ba7b811-9dad-11d1-80b4-00c04fd430c8"),
                                               QDir(m_options.storeDirectory).canonicalPath());
    m_location = std::make_unique<LocationService>(m_url, instance);
    m_workItems = std::make_unique<WorkItemService>(instance);
    return true;
}

void CollectionServer::serve()
{
    m_http->listen_after_bind();
}

void CollectionServer::stop()
{
    if (m_http)
        m_http->stop();
}

// Every call is made once without credentials first; the challenge makes the
// client send them. A store without users lets everyone in as the user
// running the server, as the stand-in `tf` does for its user.
bool CollectionServer::authenticate(const httplib::Request &request, httplib::Response &response,
                                    Identity *identity)
{
    const Tf::ServerStore store(m_options.storeDirectory);
    if (!store.hasUsers()) {
        identity->account = systemUserName();
        return true;
    }
    const std::string header = request.get_header_value("Authorization");
    if (header.rfind("Basic ", 0) == 0) {
        const QByteArray pair = QByteArray::fromBase64(QByteArray::fromStdString(header.substr(6)));
        const int colon = pair.indexOf(':');
        if (colon > 0) {
            const QString user = QString::fromUtf8(pair.left(colon));
            const QString name = store.authenticate(user, QString::fromUtf8(pair.mid(colon + 1)));
            if (!name.isEmpty()) {
                identity->account = name;
                return true;
            }
        }
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"Team Foundation Server\"");
    response.set_content("The user name or password is not correct.", "text/plain");
    return false;
}

void CollectionServer::handle(const httplib::Request &request, httplib::Response &response)
{
    const QString prefix = "/tfs/" + m_options.collection + '/';
    const QString path = QString::fromStdString(request.path);
    if (!path.startsWith(prefix, Qt::CaseInsensitive)) {
        response.status = 404;
        response.set_content("This server has no collection there.", "text/plain");
        return;
    }
    const QString service = path.mid(prefix.size());
    auto is = [&](const QString &servicePath) {
        return service.compare(servicePath, Qt::CaseInsensitive) == 0;
    };
    Identity identity;
    if (!authenticate(request, response, &identity))
        return;
    try {
        if (request.method == "GET" && is(m_location->downloadPath())) {
            QStringList query;
            for (const auto &param : request.params)
                query.append(QString::fromStdString(param.first + '=' + param.second));
            const QByteArray content = m_repository.download(query.join('&'));
            response.set_content(content.constData(), size_t(content.size()),
                                 "application/octet-stream");
            return;
        }
        if (request.method == "POST" && is(m_location->uploadPath())) {
            handleUpload(request, response, identity);
            return;
        }
        if (request.method != "POST") {
            response.status = 404;
            response.set_content("This server answers no such request.", "text/plain");
            return;
        }
        QByteArray body;
        const SoapCall call = parseSoapCall(QByteArray::fromStdString(request.body));
        if (is(m_location->registrationPath()))
            body = m_location->registration(call);
        else if (is(m_location->locationPath()))
            body = m_location->location(call, identity);
        else if (is(m_location->repositoryPath()))
            body = m_repository.call(call, identity);
        else if (is(m_location->workItemPath()))
            body = m_workItems->call(call, knownUsers(identity));
        else {
            response.status = 404;
            response.set_content("This server has no such service.", "text/plain");
            return;
        }
        response.set_content(body.constData(), size_t(body.size()), soapContentType);
    } catch (const Fault &fault) {
        setFault(response, fault);
    } catch (const Tf::Error &error) {
        setFault(response, Fault{Fault::Receiver, error.message});
    }
}

// The store's users; a store without users knows only the one it lets in.
QStringList CollectionServer::knownUsers(const Identity &caller) const
{
    const Tf::ServerStore store(m_options.storeDirectory);
    return store.hasUsers() ? store.userNames() : QStringList{caller.account};
}

void CollectionServer::handleUpload(const httplib::Request &request, httplib::Response &response,
                                    const Identity &identity)
{
    const QHash<QString, FormPart> form =
        readForm(QByteArray::fromStdString(request.get_header_value(formTypeHeader)),
                 QByteArray::fromStdString(request.body));
    auto field = [&](const char *name) {
        return QString::fromUtf8(form.value(name).data).trimmed();
    };
    try {
        if (!form.contains("content"))
            senderFault("An upload is a multipart form with the item's content.");
        Repository::Upload upload;
        upload.serverItem = field("item");
        upload.workspace = field("wsname");
        upload.owner = field("wsowner");
        bool ok = false;
        upload.length = field("filelength").toLongLong(&ok);
        if (!ok)
            upload.length = -1;
        upload.md5 = field("hash").toLatin1();
        upload.range = field("range");
        upload.content = form.value("content").data;
        upload.gzipped = form.value("content").contentType == "application/gzip";
        m_repository.upload(upload, identity);
        response.set_content("", "text/plain");
    } catch (const Fault &fault) {
        // The client shows this body for a failed upload.
        response.status = 500;
        response.set_header("X-VersionControl-Exception", "VersionControlException");
        response.set_content(fault.text.toStdString(), "text/plain; charset=utf-8");
    } catch (const Tf::Error &error) {
        response.status = 500;
        response.set_header("X-VersionControl-Exception", "VersionControlException");
        response.set_content(error.message.toStdString(), "text/plain; charset=utf-8");
    }
}

void CollectionServer::log(const httplib::Request &request, const httplib::Response &response)
{
    auto bodyText = [](const std::string &body, const std::string &type) {
        if (body.empty())
            return QString();
        if (printable(body))
            return QString::fromStdString(body) + '\n';
        return QString("[%1 bytes of %2]\n").arg(body.size()).arg(QString::fromStdString(type));
    };
    QStringList query;
    for (const auto &param : request.params)
        query.append(QString::fromStdString(param.first + '=' + param.second));
    QString text =
        QString("> %1 %2 %3%4\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODateWithMs),
                 QString::fromStdString(request.method), QString::fromStdString(request.path),
                 query.isEmpty() ? QString() : '?' + query.join('&'));
    for (const auto &header : request.headers) {
        // The credentials stay out of the log.
        const bool secret =
            QString::fromStdString(header.first).compare("Authorization", Qt::CaseInsensitive) == 0;
        text += QString("  %1: %2\n")
                    .arg(QString::fromStdString(header.first),
                         secret ? QString("********") : QString::fromStdString(header.second));
    }
    const std::string formType = request.get_header_value(formTypeHeader);
    if (formType.empty()) {
        text += bodyText(request.body, request.get_header_value("Content-Type"));
    } else {
        const QHash<QString, FormPart> form =
            readForm(QByteArray::fromStdString(formType), QByteArray::fromStdString(request.body));
        for (auto part = form.cbegin(); part != form.cend(); ++part) {
            text += QString("  part %1: %2\n")
                        .arg(part.key(), part.key() == "content"
                                             ? QString("[%1 bytes of %2]")
                                                   .arg(part->data.size())
                                                   .arg(QString::fromLatin1(part->contentType))
                                             : QString::fromUtf8(part->data).trimmed());
        }
    }
    text += QString("< %1\n").arg(response.status);
    text += bodyText(response.body, response.get_header_value("Content-Type"));
    std::lock_guard<std::mutex> lock(m_logMutex);
    m_log.write(text.toUtf8());
    m_log.flush();
}

} // namespace TfServer
