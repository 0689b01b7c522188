// tfserver: a Team Foundation server for the real cross-platform client, on
// the stand-in's server store. It prints the collection's URL on its first
// line and serves until it is terminated (SIGTERM or SIGINT), finishing the
// calls under way.

#include "collectionserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tfserver");
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Serves the server store STORE (made by \"tf seed -collection:STORE\" or \"tf init\") as "
        "a\n"
        "Team Foundation collection to the cross-platform tf client. The first line printed\n"
        "is the collection URL to give the client as -collection:.");
    parser.addHelpOption();
    parser.addPositionalArgument("STORE", "The server store's directory.");
    const QCommandLineOption port("port", "Listen on PORT (default: a free port).", "PORT", "0");
    const QCommandLineOption http(
        "http", "Plain HTTP instead of HTTPS (the client then sends credentials only with "
                "-Dcom.microsoft.tfs.client.allowInsecureBasic=true).");
    const QCommandLineOption log("log",
                                 "Write every request and response to FILE (- for standard "
                                 "error); credentials are left out.",
                                 "FILE");
    const QCommandLineOption collection("collection", "The collection's name in the URL.", "NAME",
                                        "DefaultCollection");
    const QCommandLineOption maxBody("max-body",
                                     "Refuse requests larger than BYTES (default 64 MiB).", "BYTES",
                                     QString::number(64 * 1024 * 1024));
    parser.addOptions({port, http, log, collection, maxBody});
    parser.process(app);
    if (parser.positionalArguments().size() != 1) {
        fprintf(stderr, "tfserver: give the server store's directory (see --help).\n");
        return 2;
    }

    TfServer::ServerOptions options;
    options.storeDirectory = QDir(parser.positionalArguments().first()).absolutePath();
    bool portOk = false;
    options.port = parser.value(port).toInt(&portOk);
    bool sizeOk = false;
    options.maxBodyBytes = parser.value(maxBody).toLongLong(&sizeOk);
    options.https = !parser.isSet(http);
    options.logFile = parser.value(log);
    options.collection = parser.value(collection);
    if (!portOk || options.port < 0 || options.port > 65535 || !sizeOk ||
        options.maxBodyBytes <= 0 || options.collection.isEmpty() ||
        options.collection.contains('/')) {
        fprintf(stderr, "tfserver: a port, size or collection name is not valid (see --help).\n");
        return 2;
    }

    // Termination is waited for on a thread of its own, so that stopping the
    // server is ordinary code rather than a signal handler's; the threads
    // started later inherit the blocked signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    TfServer::CollectionServer server(options);
    QString error;
    if (!server.start(&error)) {
        fprintf(stderr, "tfserver: %s\n", qPrintable(error));
        return 1;
    }
    printf("%s\n", qPrintable(server.url()));
    fflush(stdout);

    std::thread stopper([&]() {
        int received = 0;
        sigwait(&stopSignals, &received);
        server.stop();
    });
    server.serve();
    // serve() also ends when listening fails; the waiting thread is then
    // woken with a signal of its own.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return 0;
}
