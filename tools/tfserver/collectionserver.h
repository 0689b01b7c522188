#pragma once

#include "locationservice.h"
#include "repository.h"
#include "workitemservice.h"

#include <QFile>
#include <QString>

#include <memory>
#include <mutex>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace TfServer {

class RunCertificate;

struct ServerOptions
{
    QString storeDirectory;
    QString host = "127.0.0.1";
    int port = 0; // 0: a free port of the system's choosing
    bool https = true;
    QString collection = "DefaultCollection";
    QString logFile;                        // empty: no log; "-": standard error
    qint64 maxBodyBytes = 64 * 1024 * 1024; // larger requests are refused unread
};

// The collection at https://HOST:PORT/tfs/NAME over HTTP: it asks for Basic
// credentials when the store has users, refuses what it cannot read, and
// hands SOAP calls, downloads and uploads to the services.
class CollectionServer
{
public:
    explicit CollectionServer(const ServerOptions &options);
    ~CollectionServer();

    // Binds the port and answers false (with the reason) when it cannot.
    bool start(QString *error);
    QString url() const { return m_url; }
    void serve(); // until stop()
    void stop();

private:
    bool authenticate(const httplib::Request &request, httplib::Response &response,
                      Identity *identity);
    void handle(const httplib::Request &request, httplib::Response &response);
    void handleUpload(const httplib::Request &request, httplib::Response &response,
                      const Identity &identity);
    QStringList knownUsers(const Identity &caller) const;
    void log(const httplib::Request &request, const httplib::Response &response);

    ServerOptions m_options;
    QString m_url;
    std::unique_ptr<RunCertificate> m_certificate;
    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<LocationService> m_location;
    std::unique_ptr<WorkItemService> m_workItems;
    Repository m_repository;
    std::mutex m_logMutex;
    QFile m_log;
};

} // namespace TfServer
