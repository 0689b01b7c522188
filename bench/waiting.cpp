// What a person waits for in the workbench against a client slow to start (the stand-in tf with
// TF_STANDIN_STARTUP_MS, on a server of its own, its workspace in the client's cache file):
//   the day at 0.5 s: open a project, browse 10 files in 5 folders, edit 2 read-only files
//     (each checked out first), check the project in: the processes a person waits for
//     (goal: at most 3) and the time from opening the project to the end of the check-in
//     (goal: at most 2.0 s);
//   the day at 5 s: the longest stall of the window's thread (goal: none over 100 ms);
//   the window: how much later the window of a workbench started with a project appears when
//     the client takes 20 s to start than when it takes none (goal: at most 0.3 s); it needs
//     Xvfb;
//   a burst: 6 keys typed into a read-only file while the server refuses the login: the
//     processes started for it (goal: at most 2).
// For this build and, when BENCH_BEFORE_WORKBENCH and BENCH_BEFORE_PLUGIN_DIR name them, for
// the build before, side by side, in the same run.
#include "daysandbox.h"

#include <utils/treeprocess.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const QString password = QStringLiteral("bench-pw");

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The day's sandbox, its workspace known to the client's cache, and a tf that writes down
// each process: when it starts ("S"), the command it is handed ("L"), and its end ("E").
class Sandbox : public DaySandbox
{
public:
    Sandbox() : DaySandbox(password)
    {
        // The workbench's own: no keychain or session bus of the desktop it runs on.
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path("runtime"));
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        QDir().mkpath(path("runtime"));
        QFile::setPermissions(path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // As the real client leaves it after mapping the workspace, unless the stand-in did.
        const QString cache = path("profile/Cache/VersionControl.config");
        if (!QFileInfo::exists(cache)) {
            write(QStringLiteral("profile/Cache/VersionControl.config"),
                  QStringLiteral(
                      "<VersionControlServer>\n  <Servers>\n    <ServerInfo repositoryGuid=\""
                      "ba99f1f5-d1fa-4029-8621-28b72ed1b4fb\" uri=\"file://%1\">\n      "
                      "<WorkspaceInfo LastSavedCheckinTimeStamp=\"0001-01-01T00:00:00.000Z\" "
                      "comment=\"\" computer=\"bench\" isLocalWorkspace=\"false\" name=\"ws\" "
                      "options=\"0\" ownerDisplayName=\"ann\" ownerName=\"ann\">\n        "
                      "<MappedPaths>\n          <MappedPath path=\"%2\"/>\n        "
                      "</MappedPaths>\n        <OwnerAliases/>\n      </WorkspaceInfo>\n    "
                      "</ServerInfo>\n  </Servers>\n</VersionControlServer>\n")
                      .arg(path("server"), path("ws"))
                      .toUtf8());
        }
        // A client kept started gets its command on its standard input; the line is written
        // down (the login cut off) as it passes.
        write(QStringLiteral("bin/tf"),
              QStringLiteral(
                  "#!/bin/bash\n"
                  "log='%1'\n"
                  "echo \"S $(date +%s%3N) $$ $*\" >> \"$log\"\n"
                  "if [ \"$1\" = @ ]; then\n"
                  "  { IFS= read -r line; echo \"L $(date +%s%3N) $$ ${line%% -login*}\" >> "
                  "\"$log\";\n"
                  "    [ -n \"$line\" ] && printf '%s\\n' \"$line\"; cat; } | '%2' \"$@\"\n"
                  "else\n"
                  "  echo \"L $(date +%s%3N) $$ ${*%% -login*}\" >> \"$log\"\n"
                  "  '%2' \"$@\"\n"
                  "fi\n"
                  "rc=$?\n"
                  "echo \"E $(date +%s%3N) $$ $rc\" >> \"$log\"\n"
                  "exit $rc\n")
                  .arg(path("starts.log"), QStringLiteral(TF_PATH))
                  .toUtf8());
        QFile::setPermissions(path("bin/tf"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QProcessEnvironment environment(int startupMs) const
    {
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("TF_STANDIN_STARTUP_MS"), QString::number(startupMs));
        return env;
    }
    QStringList takeLog() const
    {
        QFile log(path("starts.log"));
        QStringList lines;
        if (log.open(QIODevice::ReadOnly))
            lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        log.remove();
        return lines;
    }
};

// One process of tf as the wrapper wrote it down.
struct Client
{
    qint64 started = 0;
    qint64 ended = 0;    // 0: killed (a client kept started that nobody used)
    QString command;     // the command word; empty: none came
    bool handed = false; // a command line came (possibly an empty one)
};

QHash<QString, Client> clientsOf(const QStringList &log)
{
    QHash<QString, Client> clients;
    for (const QString &line : log) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() < 3)
            continue;
        Client &c = clients[f.at(2)];
        if (f.at(0) == QLatin1String("S"))
            c.started = f.at(1).toLongLong();
        else if (f.at(0) == QLatin1String("E"))
            c.ended = f.at(1).toLongLong();
        else if (f.at(0) == QLatin1String("L")) {
            c.handed = true;
            c.command = f.value(3);
        }
    }
    return clients;
}

// A scripted run; each line of its standard output with the time it came.
struct Run
{
    bool ok = false;
    QList<QPair<qint64, QString>> out;
    QStringList log;

    qint64 timeOf(const QString &start, int nth = 0) const
    {
        for (const auto &line : out) {
            if (line.second.startsWith(start) && nth-- == 0)
                return line.first;
        }
        return 0;
    }
    QString lineOf(const QString &start, int nth = 0) const
    {
        for (const auto &line : out) {
            if (line.second.startsWith(start) && nth-- == 0)
                return line.second;
        }
        return QString();
    }
};

struct Build
{
    QString name;
    QString workbench;
    QString plugins;
    bool stalls = true; // knows the script command "stalls"
};

Run runScript(const Build &build, const Sandbox &box, int startupMs, const QString &lines,
              const QString &passwordToUse = password, bool failureExpected = false)
{
    box.write(QStringLiteral("script.wb"),
              (QStringLiteral("options T.TeamFoundation pathChooser=%1 usernameLineEdit=ann "
                              "passwordLineEdit=%2 timeOutSpinBox=60\n")
                   .arg(box.path("bin/tf"), passwordToUse) +
               lines)
                  .toUtf8());
    box.takeLog();
    QProcess process;
    QProcessEnvironment env = box.environment(startupMs);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(box.root());
    Run run;
    QByteArray pending;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [&] {
        pending += process.readAllStandardOutput();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            run.out.append({now(), QString::fromUtf8(pending.left(end))});
            pending.remove(0, end + 1);
        }
    });
    process.start(build.workbench, {"-pluginpath", build.plugins, "-settingspath",
                                    box.path("settings"), "--script", box.path("script.wb")});
    process.waitForStarted();
    // The output is read as it comes, so that each line has the time it came.
    while (process.state() != QProcess::NotRunning)
        process.waitForFinished(20);
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ok && !failureExpected)
        std::fprintf(stderr, "%s: the scripted run failed: %s\n", qPrintable(build.name),
                     process.readAllStandardError().constData());
    run.log = box.takeLog();
    return run;
}

// The day; the build before knew no "stalls", and "state" marks the start as well.
QString dayScript(bool stalls)
{
    QString lines = QStringLiteral("state\nproject ws\n");
    for (int d = 1; d <= 5; ++d) {
        for (int f = 1; f <= 2; ++f)
            lines += QStringLiteral("open src/d%1/f%2.cpp\n").arg(d).arg(f);
    }
    lines +=
        QStringLiteral("edit src/d2/f1.cpp \"// today\\n\"\nedit src/d4/f2.cpp \"// today\\n\"\n"
                       "dialog commentEdit=\"The day\"\n"
                       "trigger TeamFoundation.CheckInProject\n");
    return lines + (stalls ? QStringLiteral("stalls\n") : QString());
}

struct Day
{
    double seconds = 0;
    int waited = 0;    // processes a person waits for
    int processes = 0; // all of them
    QString kinds;     // how many of each command
    qint64 longestStall = -1;
    bool ok = false;
};

// With BENCH_VERBOSE set: when each process started, got its command and ended, and when each
// line of output came, in milliseconds from the first.
void printTimeline(const Run &run)
{
    if (!qEnvironmentVariableIsSet("BENCH_VERBOSE"))
        return;
    QList<QPair<qint64, QString>> events = run.out;
    for (const QString &line : run.log)
        events.append({line.section(QLatin1Char(' '), 1, 1).toLongLong(), line});
    std::sort(events.begin(), events.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    for (const auto &event : events) {
        std::printf("    %6lld  %s\n", event.first - events.first().first,
                    qPrintable(event.second.left(110)));
    }
}

Day measureDay(const Build &build, int startupMs)
{
    Sandbox box;
    const Run run = runScript(build, box, startupMs, dayScript(build.stalls));
    printTimeline(run);
    Day day;
    day.ok = box.isValid() && run.ok;
    const qint64 opened = run.timeOf(QStringLiteral("file: "));
    qint64 checkedIn = 0;
    QMap<QString, int> kinds;
    for (const Client &c : clientsOf(run.log)) {
        if (c.started < opened)
            continue;
        ++day.processes;
        const QString kind = !c.handed             ? QStringLiteral("(kept, unused)")
                             : c.command.isEmpty() ? QStringLiteral("(none: tf @ tried)")
                                                   : c.command;
        ++kinds[kind];
        if (c.command == QLatin1String("checkin"))
            checkedIn = c.ended;
        // The reads the IDE makes on its own (the pending changes, the status bar's server
        // path of the top level) are not waited for; what a person did, and a tried "tf @",
        // are. An "info" is counted with the reads: in a build that probes while the IDE
        // waits, the kinds printed beside show it.
        if (c.handed && c.command != QLatin1String("status") && c.command != QLatin1String("info"))
            ++day.waited;
    }
    for (auto it = kinds.cbegin(); it != kinds.cend(); ++it)
        day.kinds += QStringLiteral("%1 %2, ").arg(it.value()).arg(it.key());
    day.kinds.chop(2);
    day.seconds = checkedIn > opened ? (checkedIn - opened) / 1000.0 : 0;
    const QString stalls = run.lineOf(QStringLiteral("stalls:"));
    day.longestStall = stalls.isEmpty() ? -1 : stalls.section(QLatin1Char(' '), 2, 2).toLongLong();
    return day;
}

// Six keys typed into a read-only file while the login is refused: the processes they cost.
int measureBurst(const Build &build)
{
    Sandbox box;
    const QString before = QStringLiteral("project ws\nopen src/d1/f1.cpp\n");
    const Run without = runScript(build, box, 500, before, QStringLiteral("wrong"));
    // The line fails (the file stays read-only); what it cost is what counts.
    const Run with = runScript(build, box, 500, before + QStringLiteral("type abcdef\n"),
                               QStringLiteral("wrong"), true);
    return clientsOf(with.log).size() - clientsOf(without.log).size();
}

// --- The window ------------------------------------------------------------------------------

// Whether a mapped top-level window whose title names the project is on the display.
bool windowShown(xcb_connection_t *connection, xcb_window_t root, const QByteArray &title)
{
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr);
    if (!tree)
        return false;
    bool shown = false;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !shown; ++i) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, children[i]), nullptr);
        const bool viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        free(attributes);
        if (!viewable)
            continue;
        xcb_get_property_reply_t *name = xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, children[i], XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 256),
            nullptr);
        if (name) {
            const QByteArray text(static_cast<const char *>(xcb_get_property_value(name)),
                                  xcb_get_property_value_length(name));
            shown = text.contains(title);
            free(name);
        }
    }
    free(tree);
    return shown;
}

// Seconds from the start of a workbench given the project on its command line to its window
// on the display; -1 when it did not appear within two minutes.
double windowSeconds(const Build &build, Sandbox &box, const QString &display, int startupMs)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        std::fprintf(stderr, "no connection to %s\n", qPrintable(display));
        return -1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    Utils::TreeProcess workbench;
    QProcessEnvironment env = box.environment(startupMs);
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    workbench.setProcessEnvironment(env);
    workbench.setWorkingDirectory(box.root());
    // The window of the run before may still be on the display for a moment.
    for (int i = 0; i < 500 && windowShown(connection, root, QByteArrayLiteral("Workbench")); ++i)
        QThread::msleep(10);
    QElapsedTimer timer;
    timer.start();
    workbench.start(build.workbench, {"-pluginpath", build.plugins, "-settingspath",
                                      box.path("settings"), box.path("ws")});
    double seconds = -1;
    while (timer.elapsed() < 120000) {
        if (windowShown(connection, root, QByteArrayLiteral("Workbench"))) {
            seconds = timer.nsecsElapsed() / 1e9;
            break;
        }
        QThread::msleep(2);
    }
    if (seconds < 0)
        std::fprintf(stderr, "the window did not appear: %s\n",
                     workbench.readAllStandardError().constData());
    workbench.killTree();
    workbench.waitForFinished(5000);
    xcb_disconnect(connection);
    return seconds;
}

// How much later the window comes with a client that takes 20 s to start than with one that
// takes none; -1 without a display server to run.
double measureWindow(const Build &build, double *atZero, double *atTwenty)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        std::fprintf(stderr, "no Xvfb in the PATH\n");
        return -1;
    }
    // Xvfb chooses a free display and says which on its standard output.
    Utils::TreeProcess server;
    server.start(
        xvfb, {"-displayfd", "1", "-noreset", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    QByteArray number;
    while (!number.contains('\n') && server.waitForReadyRead(10000))
        number += server.readAllStandardOutput();
    const QString display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
    xcb_connection_t *probe = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    if (number.trimmed().isEmpty() || xcb_connection_has_error(probe)) {
        xcb_disconnect(probe);
        std::fprintf(stderr, "Xvfb did not start: %s\n", server.readAllStandardError().constData());
        return -1;
    }
    xcb_disconnect(probe);
    Sandbox box;
    // The settings first, with the client quick.
    runScript(build, box, 0, QString());
    // Medians of three rounds, taken in turn, so that a busy moment of the machine weighs on
    // neither alone.
    std::vector<double> zero, twenty;
    for (int round = 0; round < 3; ++round) {
        zero.push_back(windowSeconds(build, box, display, 0));
        twenty.push_back(windowSeconds(build, box, display, 20000));
    }
    std::sort(zero.begin(), zero.end());
    std::sort(twenty.begin(), twenty.end());
    *atZero = zero[1];
    *atTwenty = twenty[1];
    server.killTree();
    server.waitForFinished(5000);
    return *atZero < 0 || *atTwenty < 0 ? -1 : qMax(0.0, *atTwenty - *atZero);
}

struct Figures
{
    Day day;
    Day slowDay;
    int burst = 0;
    double window = -1;
    double windowAtZero = -1;
    double windowAtTwenty = -1;
};

// BENCH_ONLY=day|slow|burst|window measures only that.
bool wanted(const char *part)
{
    const QString only = qEnvironmentVariable("BENCH_ONLY");
    return only.isEmpty() || only == QLatin1String(part);
}

Figures measure(const Build &build)
{
    Figures f;
    if (wanted("day"))
        f.day = measureDay(build, 500);
    if (wanted("slow"))
        f.slowDay = measureDay(build, 5000);
    if (wanted("burst"))
        f.burst = measureBurst(build);
    if (wanted("window"))
        f.window = measureWindow(build, &f.windowAtZero, &f.windowAtTwenty);
    return f;
}

void print(const Build &build, const Figures &f)
{
    std::printf("%s%s\n", qPrintable(build.name),
                f.day.ok && f.slowDay.ok ? "" : " (a run failed)");
    std::printf("  day at 0.5 s: %.2f s from opening the project to the end of the check-in "
                "(goal <= 2.0); %d processes waited for (goal <= 3) of %d: %s\n",
                f.day.seconds, f.day.waited, f.day.processes, qPrintable(f.day.kinds));
    if (f.slowDay.longestStall < 0)
        std::printf("  day at 5 s:   %.2f s; its stalls cannot be measured\n", f.slowDay.seconds);
    else
        std::printf("  day at 5 s:   longest stall %lld ms (goal <= 100); %.2f s\n",
                    f.slowDay.longestStall, f.slowDay.seconds);
    std::printf("  6 keys into a read-only file, login refused: %d processes (goal <= 2)\n",
                f.burst);
    if (f.window < 0)
        std::printf("  window: not measured (no Xvfb, or no window)\n");
    else
        std::printf("  window: %.2f s at 0 s start-up, %.2f s at 20 s: %.2f s later "
                    "(goal <= 0.3)\n",
                    f.windowAtZero, f.windowAtTwenty, f.window);
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Build after{QStringLiteral("this build"), QStringLiteral(WORKBENCH_PATH),
                      QStringLiteral(PLUGIN_DIR)};
    const Figures now = measure(after);
    print(after, now);
    const Build before{QStringLiteral("before (BENCH_BEFORE_WORKBENCH)"),
                       qEnvironmentVariable("BENCH_BEFORE_WORKBENCH"),
                       qEnvironmentVariable("BENCH_BEFORE_PLUGIN_DIR"), true};
    if (!before.workbench.isEmpty() && !before.plugins.isEmpty()) {
        Build probed = before;
        Sandbox box;
        probed.stalls = runScript(before, box, 0, QStringLiteral("stalls\n"), password, true).ok;
        const Figures then = measure(probed);
        print(before, then);
        std::printf("this build / before: day %.3f, processes waited for %.3f, longest stall "
                    "%.3f, burst %.3f, window at 20 s %.3f\n",
                    ratio(now.day.seconds, then.day.seconds),
                    ratio(now.day.waited, then.day.waited),
                    ratio(now.slowDay.longestStall, then.slowDay.longestStall),
                    ratio(now.burst, then.burst), ratio(now.windowAtTwenty, then.windowAtTwenty));
    }
    return 0;
}
