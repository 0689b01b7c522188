// A stand-in for tf and tfpt that records how it was run, for tests.
//
// Each run appends one line to the file named by TFREC_LOG: a JSON object with the
// program's own name, its working directory and every argument, each argument base64-encoded
// so that the record is byte-exact. What it answers is scripted through the environment:
//   TFREC_EXIT          exit code (default 0)
//   TFREC_STDOUT        text written to standard output
//   TFREC_STDERR        text written to standard error
//   TFREC_DELAY_MS      milliseconds to wait before answering
//   TFREC_MANAGED_ROOT  when set, "info PATH" succeeds exactly for PATH at or below this
//                       directory (exit 0, with a "Server path" line), else exits 100
//   TFREC_FAIL_WORD     when set, a run whose first argument is this word exits with 100
//   TFREC_REPEAT        write TFREC_STDOUT this many times (for very large output)
//   TFREC_SIGNAL        after answering, kill itself with this signal
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>

static QByteArray env(const char *name)
{
    return qgetenv(name);
}

int main(int argc, char **argv)
{
    const QByteArray logPath = env("TFREC_LOG");
    QJsonObject record;
    record.insert(QStringLiteral("name"), QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
    record.insert(QStringLiteral("cwd"), QDir::currentPath());
    QJsonArray args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLatin1(QByteArray(argv[i]).toBase64()));
    record.insert(QStringLiteral("args"), args);

    if (!logPath.isEmpty()) {
        QFile log(QString::fromLocal8Bit(logPath));
        if (!log.open(QIODevice::Append)) {
            std::fprintf(stderr, "tfrecorder: cannot write %s\n", logPath.constData());
            return 99;
        }
        log.write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    }

    const int delay = env("TFREC_DELAY_MS").toInt();
    if (delay > 0)
        QThread::msleep(static_cast<unsigned long>(delay));

    const QByteArray managedRoot = env("TFREC_MANAGED_ROOT");
    if (!managedRoot.isEmpty() && argc > 2 && QByteArray(argv[1]) == "info") {
        const QString root = QDir::cleanPath(QString::fromLocal8Bit(managedRoot));
        const QString path = QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath());
        const bool managed = path == root || path.startsWith(root == QLatin1String("/") ? root : root + QLatin1Char('/'));
        if (!managed) {
            std::fprintf(stderr, "No workspace matching %s\n", argv[2]);
            return 100;
        }
        std::printf("Local information:\n  Local path : %s\nServer information:\n  Server path: $/Recorded%s\n",
                    argv[2], path.mid(root.size()).toLocal8Bit().constData());
        return 0;
    }

    const QByteArray failWord = env("TFREC_FAIL_WORD");
    if (!failWord.isEmpty() && argc > 1 && failWord == argv[1])
        return 100;

    const QByteArray out = env("TFREC_STDOUT");
    const QByteArray err = env("TFREC_STDERR");
    const int repeat = qMax(1, env("TFREC_REPEAT").toInt());
    for (int i = 0; i < repeat; ++i)
        std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    std::fwrite(err.constData(), 1, static_cast<size_t>(err.size()), stderr);
    std::fflush(stdout);
    std::fflush(stderr);
    if (const int sig = env("TFREC_SIGNAL").toInt()) {
        // Die of the signal itself, even where a sanitizer would catch it and exit.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
    }
    return env("TFREC_EXIT").toInt();
}
