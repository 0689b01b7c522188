// A stand-in for tf and tfpt that records how it was run, for tests.
//
// Each command it runs appends one line to the file named by TFREC_LOG: a JSON object with
//   name   the program's own name
//   pid    its process id
//   cwd    its working directory
//   args   the command's arguments, each base64-encoded so that the record is byte-exact
//   via    "argv" for a command given as arguments, "stdin" for one read by "@"
//   argv   the process's own arguments, base64 too, so that tests can see what other users
//          of the machine could read (ps, /proc/PID/cmdline)
// Started as "tf @", it reads one command line per line from standard input with the real
// clients' quoting (blanks separate words; a word in double quotes keeps its blanks and a
// doubled quote in it stands for one) and answers each as below; empty lines are skipped,
// a line ending inside quotes exits 100, and the exit code is that of the last command
// (0 when none came). What it answers is scripted through the environment:
//   TFREC_EXIT          exit code (default 0)
//   TFREC_STDOUT        text written to standard output
//   TFREC_STDERR        text written to standard error
//   TFREC_DELAY_MS      milliseconds to wait before answering each command
//   TFREC_MANAGED_ROOT  when set, "info PATH" succeeds exactly for PATH at or below this
//                       directory (exit 0, with a "Server path" line), else exits 100 with
//                       the cross-platform client's words for a path in no workspace
//   TFREC_LICENCE       when set, the cross-platform client's licence, accepted once this file
//                       exists: until then every command but "eula" exits 100 with the real
//                       client's words; "eula" prints two pages of text with the pager's
//                       prompt between them and the closing question, and exits 100 (no
//                       answer comes); "eula -accept" creates the file (exit 0, or 1 when it
//                       exists)
//   TFREC_FAIL_WORD     when set, a command whose first argument is this word exits with 100
//   TFREC_FAULT_PATH    when set, "info PATH" for exactly this path is refused as a login is
//                       (exit 100, "TF30063: You are not authorized ..." on standard error)
//   TFREC_STATUS_XML    what "status ITEM ... -format:xml" prints (exit 0); unset, it prints
//                       a status document with every file at or below ITEM as a pending
//                       edit, as in a workspace where everything is checked out (server
//                       items below "$/Recorded", named from TFREC_MANAGED_ROOT when ITEM
//                       is inside it)
//   TFREC_REPEAT        write TFREC_STDOUT this many times (for very large output)
//   TFREC_SIGNAL        after answering, kill itself with this signal
//   TFREC_STARTUP_MS    milliseconds to wait at start (after writing the start log), before
//                       answering or reading input, as a real client's start-up would take
//   TFREC_REFUSE_AT     when set, "@" is refused as a client without it refuses it:
//                       "Unrecognized command: @" on standard error, exit 100 (recorded)
//   TFREC_START_LOG     one line per process start is appended to this file (its pid and
//                       argv, as JSON), so that starts can be counted apart from commands
//   TFREC_GRANDCHILD    POSIX only: before answering the first command, start a grandchild
//                       in this process's group that writes its pid to this file, sleeps
//                       TFREC_GRANDCHILD_MS (default 2000) and then, if still alive, creates
//                       the file's name with ".done" added: a test that ends the process
//                       tree sees no .done
#include "commandline.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QXmlStreamWriter>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <time.h>
#include <unistd.h>
#endif

namespace {

QByteArray env(const char *name)
{
    return qgetenv(name);
}

void sleepFor(const char *variable)
{
    const int ms = env(variable).toInt();
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

QJsonArray base64(const QList<QByteArray> &list)
{
    QJsonArray result;
    for (const QByteArray &item : list)
        result.append(QString::fromLatin1(item.toBase64()));
    return result;
}

bool appendLine(const QByteArray &path, const QJsonObject &object)
{
    if (path.isEmpty())
        return true;
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::Append)) {
        std::fprintf(stderr, "tfrecorder: cannot write %s\n", path.constData());
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
    return true;
}

#ifdef Q_OS_UNIX
// A process the client started and that would outlive it unless its whole
// process group is ended. It holds none of our pipes, so that only a kill ends it.
void startGrandchild(const QByteArray &file)
{
    const int ms = env("TFREC_GRANDCHILD_MS").isEmpty() ? 2000 : env("TFREC_GRANDCHILD_MS").toInt();
    const QByteArray done = file + ".done";
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid != 0)
        return; // the parent goes on; a failed fork leaves no grandchild, which the test sees
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    const QByteArray ownPid = QByteArray::number(qint64(getpid())) + '\n';
    const int fd = open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        (void)!write(fd, ownPid.constData(), size_t(ownPid.size()));
        close(fd);
    }
    const timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
    const int doneFd = open(done.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (doneFd >= 0)
        close(doneFd);
    _exit(0);
}
#endif

// Every file at or below 'item' as a pending edit.
QByteArray statusXml(const QString &item)
{
    const QString path = QDir::cleanPath(QFileInfo(item).absoluteFilePath());
    const QString managed = QDir::cleanPath(QString::fromLocal8Bit(env("TFREC_MANAGED_ROOT")));
    const QString root =
        !env("TFREC_MANAGED_ROOT").isEmpty() && (path + QLatin1Char('/')).startsWith(managed + QLatin1Char('/'))
            ? managed
            : path;
    QStringList files;
    if (QFileInfo(path).isFile())
        files << path;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("status"));
    writer.writeStartElement(QStringLiteral("pending-changes"));
    for (const QString &file : qAsConst(files)) {
        writer.writeEmptyElement(QStringLiteral("pending-change"));
        writer.writeAttribute(QStringLiteral("server-item"),
                              QStringLiteral("$/Recorded") + file.mid(root.size()));
        writer.writeAttribute(QStringLiteral("version"), QStringLiteral("1"));
        writer.writeAttribute(QStringLiteral("lock"), QStringLiteral("none"));
        writer.writeAttribute(QStringLiteral("change-type"), QStringLiteral("edit"));
        writer.writeAttribute(QStringLiteral("local-item"), file);
    }
    writer.writeEndElement();
    writer.writeEmptyElement(QStringLiteral("candidate-pending-changes"));
    writer.writeEndElement();
    writer.writeEndDocument();
    return xml;
}

struct Run
{
    QString name;
    QJsonArray argv;
    bool grandchildStarted = false;
};

bool record(const Run &run, const QList<QByteArray> &args, const char *via)
{
    return appendLine(env("TFREC_LOG"), QJsonObject{{QStringLiteral("name"), run.name},
                                                    {QStringLiteral("pid"), qint64(QCoreApplication::applicationPid())},
                                                    {QStringLiteral("cwd"), QDir::currentPath()},
                                                    {QStringLiteral("args"), base64(args)},
                                                    {QStringLiteral("via"), QLatin1String(via)},
                                                    {QStringLiteral("argv"), run.argv}});
}

// Records and answers one command; returns its exit code.
int runCommand(Run &run, const QList<QByteArray> &args, const char *via)
{
    if (!record(run, args, via))
        return 99;

#ifdef Q_OS_UNIX
    const QByteArray grandchild = env("TFREC_GRANDCHILD");
    if (!grandchild.isEmpty() && !run.grandchildStarted) {
        run.grandchildStarted = true;
        startGrandchild(grandchild);
    }
#endif
    sleepFor("TFREC_DELAY_MS");

    const QByteArray licence = env("TFREC_LICENCE");
    if (!licence.isEmpty()) {
        const bool accepted = QFileInfo::exists(QString::fromLocal8Bit(licence));
        if (!args.isEmpty() && args.at(0) == "eula") {
            if (args.contains("-accept")) {
                if (accepted) {
                    std::fprintf(stderr, "You have already accepted the terms of this End User "
                                         "License Agreement.\n");
                    return 1;
                }
                QFile file(QString::fromLocal8Bit(licence));
                return file.open(QIODevice::WriteOnly) ? 0 : 100;
            }
            std::printf("LICENCE TERMS\n\nfirst page\n\n-- Press enter to continue --\n"
                        "second page\n\nDo you accept the terms of this End User License "
                        "Agreement? [y/N]: ");
            std::fflush(stdout);
            return 100;
        }
        if (!accepted) {
            std::fprintf(stderr, "Error: You must accept the End User License Agreement for "
                                 "this product\nRun 'tf eula' to accept the End User License "
                                 "Agreement.\n");
            std::fflush(stderr);
            return 100;
        }
    }

    const QByteArray faultPath = env("TFREC_FAULT_PATH");
    if (!faultPath.isEmpty() && args.size() > 1 && args.at(0) == "info" &&
        QDir::cleanPath(QString::fromLocal8Bit(args.at(1))) ==
            QDir::cleanPath(QString::fromLocal8Bit(faultPath))) {
        std::fprintf(stderr, "TF30063: You are not authorized to access the server.\n");
        std::fflush(stderr);
        return 100;
    }

    const QByteArray managedRoot = env("TFREC_MANAGED_ROOT");
    if (!managedRoot.isEmpty() && args.size() > 1 && args.at(0) == "info") {
        const QByteArray item = args.at(1);
        const QString root = QDir::cleanPath(QString::fromLocal8Bit(managedRoot));
        const QString path =
            QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(item)).absoluteFilePath());
        const bool managed =
            path == root ||
            path.startsWith(root == QLatin1String("/") ? root : root + QLatin1Char('/'));
        if (!managed) {
            // What the cross-platform client says of a path in no workspace it knows.
            std::fprintf(stderr, "A client error occurred: The Team Foundation Server project "
                                 "collection URL to use could not be determined by the options "
                                 "or argument paths provided.  Specify a workspace, or use the "
                                 "'collection' option.\n");
            std::fflush(stderr);
            return 100;
        }
        std::printf("Local information:\n  Local path : %s\nServer information:\n  Server path: "
                    "$/Recorded%s\n",
                    item.constData(), path.mid(root.size()).toLocal8Bit().constData());
        std::fflush(stdout);
        return 0;
    }

    const QByteArray failWord = env("TFREC_FAIL_WORD");
    if (!failWord.isEmpty() && !args.isEmpty() && failWord == args.at(0))
        return 100;

    if (args.size() > 1 && args.at(0) == "status" &&
        (args.contains("-format:xml") || args.contains("/format:xml"))) {
        const QByteArray xml = qEnvironmentVariableIsSet("TFREC_STATUS_XML")
                                   ? env("TFREC_STATUS_XML")
                                   : statusXml(QString::fromLocal8Bit(args.at(1)));
        std::fwrite(xml.constData(), 1, static_cast<size_t>(xml.size()), stdout);
        std::fflush(stdout);
        return 0;
    }

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

// "@": the commands come from standard input, one a line.
int runFromStandardInput(Run &run)
{
    int code = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        QString text = QString::fromUtf8(line.data(), int(line.size()));
        if (text.endsWith(QLatin1Char('\r')))
            text.chop(1);
        QStringList words;
        if (!Tf::splitCommandLine(text, &words)) {
            std::fprintf(stderr,
                         "tfrecorder: a line of the standard input ends inside a quoted word\n");
            return 100;
        }
        if (words.isEmpty())
            continue;
        QList<QByteArray> args;
        for (const QString &word : words)
            args.append(word.toUtf8());
        code = runCommand(run, args, "stdin");
    }
    return code;
}

} // namespace

int main(int argc, char **argv)
{
    Run run;
    run.name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args.append(QByteArray(argv[i]));
    run.argv = base64(args);

    QJsonObject start;
    start.insert(QStringLiteral("pid"), qint64(QCoreApplication::applicationPid()));
    start.insert(QStringLiteral("name"), run.name);
    start.insert(QStringLiteral("argv"), run.argv);
    if (!appendLine(env("TFREC_START_LOG"), start))
        return 99;
    // Counted before the start-up, so that a client ended during it counts as started.
    sleepFor("TFREC_STARTUP_MS");

    if (!args.isEmpty() && args.first() == "@") {
        if (env("TFREC_REFUSE_AT").isEmpty())
            return runFromStandardInput(run);
        if (!record(run, args, "argv"))
            return 99;
        std::fprintf(stderr, "Unrecognized command: @\n");
        return 100;
    }
    return runCommand(run, args, "argv");
}
