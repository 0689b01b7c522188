// What the History and annotate views cost against a client that takes 0.5 s to start (the
// stand-in tf with TF_STANDIN_STARTUP_MS=500):
//   annotate: a file of 1,000 lines checked in 200 times, annotated in the workbench's window:
//             the wall time, the client processes that ran commands (and all that were started,
//             the one kept started for the next command included), the workbench's peak memory;
//             beside it the baseline, one "tf @" that prints the same 200 versions;
//   history:  a folder with 10,000 changesets: the time until the History view shows its
//             first 100, and the client runs that took.
#include <annotateview.h>
#include <historyview.h>
#include <mainwindow.h>

#include <core/hostservices.h>
#include <core/icore.h>
#include <extensionsystem/pluginmanager.h>
#include <vcsbase/jobqueue.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

const int VERSIONS = 200;
const int LINES = 1000;
const int FOLDER_CHANGESETS = 10000;
const char STARTUP_MS[] = "500";

QTemporaryDir *dir = nullptr;

QString path(const QString &relative)
{
    return dir->path() + QLatin1Char('/') + relative;
}

QProcessEnvironment environment(bool slow)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), path("data"));
    env.remove(QStringLiteral("TF_SERVER"));
    if (slow)
        env.insert(QStringLiteral("TF_STANDIN_STARTUP_MS"), QLatin1String(STARTUP_MS));
    else
        env.remove(QStringLiteral("TF_STANDIN_STARTUP_MS"));
    return env;
}

bool tf(const QStringList &arguments, const QByteArray &input = QByteArray(), bool slow = false,
        QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessEnvironment(environment(slow));
    process.setWorkingDirectory(path("ws"));
    process.start(QStringLiteral(TF_PATH), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        std::fprintf(stderr, "tf %s failed:\n%s\n", qPrintable(arguments.join(QLatin1Char(' '))),
                     process.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

bool writeFile(const QString &file, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(file).path());
    QFile out(file);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    return out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(content) >= 0;
}

// The server: big.cpp changed in 200 changesets (a few lines each time), and the folder
// many/ with 10,000 changesets of one added file each.
bool makeServer()
{
    const QString collection = QStringLiteral("-collection:") + path("server");
    QDir().mkpath(path("ws"));
    if (!tf({QStringLiteral("seed"), collection}) ||
        !tf({QStringLiteral("workspace"), QStringLiteral("-new"), QStringLiteral("ws"),
             collection}) ||
        !tf({QStringLiteral("workfold"), QStringLiteral("-map"), QStringLiteral("$/Demo/App"),
             path("ws"), collection, QStringLiteral("-workspace:ws")}) ||
        !tf({QStringLiteral("get"), path("ws"), QStringLiteral("-recursive")}))
        return false;
    QStringList lines;
    for (int i = 0; i < LINES; ++i)
        lines << QStringLiteral("line %1 of the first version").arg(i);
    for (int v = 0; v < VERSIONS; ++v) {
        for (int k = 0; k < 5; ++k) {
            const int at = (v * 37 + k * 211) % LINES;
            lines[at] = QStringLiteral("line %1 as changeset %2 left it").arg(at).arg(v);
        }
        const QByteArray content = lines.join(QLatin1Char('\n')).toUtf8() + '\n';
        const QByteArray commands =
            v == 0 ? QByteArray("add big.cpp\ncheckin big.cpp -comment:v0\n")
                   : QByteArray("checkout big.cpp\ncheckin big.cpp -comment:v") +
                         QByteArray::number(v) + '\n';
        if (!writeFile(path("ws/big.cpp"), content) || !tf({QStringLiteral("@")}, commands))
            return false;
    }
    // The folder first, so that each file's check-in finds its parent on the server.
    QDir().mkpath(path("ws/many"));
    if (!tf({QStringLiteral("@")}, "add many\ncheckin many -comment:many\n"))
        return false;
    QByteArray commands;
    for (int i = 0; i < FOLDER_CHANGESETS; ++i) {
        const QString file = QStringLiteral("many/f%1.txt").arg(i);
        if (!writeFile(path("ws/") + file, QByteArray::number(i) + '\n'))
            return false;
        commands += "add " + file.toUtf8() + "\ncheckin " + file.toUtf8() + " -comment:f" +
                    QByteArray::number(i) + '\n';
    }
    return tf({QStringLiteral("@")}, commands);
}

// A "tf" that records the lines each of its processes was given, in starts/.
QString recordingTf()
{
    QDir().mkpath(path("starts"));
    const QString wrapper = path("bin/tf");
    writeFile(wrapper, QStringLiteral("#!/bin/sh\nf=$(mktemp \"%1/XXXXXX\")\n"
                                      "tee \"$f\" | \"%2\" \"$@\"\n")
                           .arg(path("starts"), QStringLiteral(TF_PATH))
                           .toUtf8());
    QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return wrapper;
}

// Client processes started since the last call, and those that were given commands since
// then (a client kept started earlier counts when it runs one); the first word of each
// command, in 'commands'.
void countStarts(int *started, int *ran, QStringList *commands = nullptr)
{
    static QHash<QString, qint64> seen;
    *started = 0;
    *ran = 0;
    for (const QString &name : QDir(path("starts")).entryList(QDir::Files)) {
        const QString file = path("starts/") + name;
        const qint64 size = QFileInfo(file).size();
        if (!seen.contains(name))
            ++*started;
        if (size > seen.value(name, 0)) {
            ++*ran;
            QFile lines(file);
            if (commands && lines.open(QIODevice::ReadOnly)) {
                lines.seek(seen.value(name, 0));
                const QByteArray given = lines.readAll();
                *commands << QStringLiteral("%1 x %2")
                                 .arg(given.count('\n'))
                                 .arg(QString::fromUtf8(given.left(given.indexOf(' '))));
            }
        }
        seen.insert(name, size);
    }
}

long peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

template <typename View> qint64 waitForView(View *view)
{
    QElapsedTimer timer;
    timer.start();
    if (view->isReading()) {
        QEventLoop loop;
        QObject::connect(view, &View::readFinished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return timer.elapsed();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    dir = &temporary;
    qputenv("XDG_DATA_HOME", path("data").toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    qunsetenv("TF_SERVER");
    std::printf("Making a server: %d versions of a file of %d lines, a folder of %d "
                "changesets...\n",
                VERSIONS, LINES, FOLDER_CHANGESETS);
    std::fflush(stdout);
    if (!makeServer())
        return 1;

    // The baseline: the stand-in printing the 200 versions in one run, as slow to start.
    QByteArray prints;
    for (int v = 0; v < VERSIONS; ++v) {
        prints +=
            "print $/Demo/App/big.cpp -version:C" + QByteArray::number(4 + v) + " -noprompt\n";
    }
    QElapsedTimer timer;
    timer.start();
    QByteArray printed;
    if (!tf({QStringLiteral("@"), QStringLiteral("-outputSeparator:--sep--")}, prints, true,
            &printed))
        return 1;
    const qint64 printMs = timer.elapsed();

    const QString binary = recordingTf();
    writeFile(
        path("settings/workbench.ini"),
        QStringLiteral("[TeamFoundation]\nBinaryPath=%1\nClientKind=CrossPlatform\nTimeout=600\n")
            .arg(binary)
            .toUtf8());
    qputenv("TF_STANDIN_STARTUP_MS", STARTUP_MS);
    Core::ICore::setSettingsPath(path("settings"));
    auto services = std::make_unique<Core::HostServices>();
    auto queue = std::make_unique<VcsBase::JobQueue>();
    auto window = std::make_unique<Workbench::MainWindow>();
    window->setInteractive(false);
    services->pluginManager()->loadPlugins(QStringLiteral(PLUGIN_DIR));
    window->pluginsLoaded({});
    window->show();
    if (!window->openProject(path("ws")).ok)
        return 1;
    // The project's own reads (probes, pending changes) are not the views' cost.
    while (!queue->isIdle())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    int started = 0;
    int ran = 0;
    countStarts(&started, &ran);

    const long memoryBefore = peakMemoryKb();
    window->showAnnotation(path("ws/big.cpp"));
    const qint64 annotateMs = waitForView(window->annotateView());
    const long memoryAfter = peakMemoryKb();
    QStringList commands;
    countStarts(&started, &ran, &commands);
    if (!window->annotateView()->errorMessage().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(window->annotateView()->errorMessage()));
        return 1;
    }
    const int budgetMs = 1500 + int(printMs);
    std::printf("\nAnnotate of %d versions of %d lines (client start-up %s ms):\n", VERSIONS, LINES,
                STARTUP_MS);
    std::printf("  wall time                %6lld ms\n", annotateMs);
    std::printf("  tf @ printing them alone %6lld ms (%d KB of versions)\n", printMs,
                int(printed.size() / 1024));
    std::printf("  budget 1.5 s + that      %6d ms   ratio %.2f %s\n", budgetMs,
                double(annotateMs) / budgetMs, annotateMs <= budgetMs ? "(within)" : "(OVER)");
    std::printf("  client processes         %d ran commands (%s), %d started (one kept for the "
                "next command)\n",
                ran, qPrintable(commands.join(QLatin1String(", "))), started);
    std::printf("  workbench peak memory    %ld KB before, %ld KB after (+%ld KB)\n", memoryBefore,
                memoryAfter, memoryAfter - memoryBefore);
    std::printf("  lines annotated          %d\n", int(window->annotateView()->lines().size()));

    window->showHistory(path("ws/many"));
    const qint64 historyMs = waitForView(window->historyView());
    commands.clear();
    countStarts(&started, &ran, &commands);
    std::printf("\nHistory of a folder of %d changesets (client start-up %s ms):\n",
                FOLDER_CHANGESETS, STARTUP_MS);
    std::printf("  first %d shown after     %6lld ms, %d client run(s) (%s; %d started)%s\n",
                int(window->historyView()->changesets().size()), historyMs, ran,
                qPrintable(commands.join(QLatin1String(", "))), started,
                window->historyView()->hasMore() ? ", more on demand" : "");

    queue.reset();
    services->shutdownPlugins();
    window.reset();
    services.reset();
    return 0;
}
