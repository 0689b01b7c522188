// How long a person waits for the plugin against a client that takes 0.5 s to start (the
// stand-in tf with TF_STANDIN_STARTUP_MS=500, on a server of its own), and how many
// processes that costs:
//   the day: open a project, browse 10 files in 5 folders, edit 2 read-only files (each is
//            checked out first), check the project in;
//   history: with a project and a file open, 8 history commands one second apart; the
//            person waits from each command until its output is there.
// Both run in the workbench, with this build's plugin and, when BENCH_BEFORE_WORKBENCH and
// BENCH_BEFORE_PLUGIN_DIR name another build's (the one before the change), with that one
// too, and the figures are printed side by side as ratios. The same two roads then run
// in-process with each way of starting the client (started with each command line; kept
// started after a person's commands; kept started after every command), to show which
// command to keep a client started for.
#include "daysandbox.h"
#include "testhost.h"

#include <directrunner.h>
#include <teamfoundationclient.h>
#include <teamfoundationhistory.h>
#include <teamfoundationplugin.h>
#include <warmrunner.h>

#include <core/iversioncontrol.h>
#include <core/iversionhistory.h>
#include <vcsbase/jobqueue.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace TeamFoundation::Internal;

namespace {

const char STARTUP_MS[] = "500";
const int ROUNDS = 3;
const int HISTORIES = 8;
const QString password = QStringLiteral("bench-pw");

// The day's sandbox with a tf that counts its starts.
class Sandbox : public DaySandbox
{
public:
    Sandbox() : DaySandbox(password)
    {
        write(QStringLiteral("bin/tf"),
              QStringLiteral("#!/bin/sh\necho \"$*\" >> '%1'\nexec '%2' \"$@\"\n")
                  .arg(path("bin/starts.log"), QStringLiteral(TF_PATH))
                  .toUtf8());
        QFile::setPermissions(path("bin/tf"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_env.insert(QStringLiteral("TF_STANDIN_STARTUP_MS"), QLatin1String(STARTUP_MS));
    }

    QProcessEnvironment environment() const { return m_env; }
    int starts() const
    {
        QFile log(path("bin/starts.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll().count('\n') : 0;
    }
};

const QStringList dayFiles{"src/d1/f1.cpp", "src/d1/f2.cpp", "src/d2/f1.cpp", "src/d2/f2.cpp",
                           "src/d3/f1.cpp", "src/d3/f2.cpp", "src/d4/f1.cpp", "src/d4/f2.cpp",
                           "src/d5/f1.cpp", "src/d5/f2.cpp"};
const QStringList editedFiles{"src/d2/f1.cpp", "src/d4/f2.cpp"};

struct Figures
{
    double seconds = 0;
    int processes = 0;
    bool ok = false;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

// --- In the workbench ------------------------------------------------------------------------

Figures runWorkbench(const QString &workbench, const QString &pluginDir, const Sandbox &box,
                     const QString &lines)
{
    const QString script = box.path(QStringLiteral("script.wb"));
    box.write(QStringLiteral("script.wb"),
              (QStringLiteral("options T.TeamFoundation pathChooser=%1 usernameLineEdit=ann "
                              "passwordLineEdit=%2 timeOutSpinBox=60\nproject %3\n")
                   .arg(box.path("bin/tf"), password, box.path("ws")) +
               lines)
                  .toUtf8());
    QProcess process;
    QProcessEnvironment env = box.environment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(box.path("out.log"));
    process.setStandardErrorFile(box.path("err.log"));
    process.setWorkingDirectory(box.root());
    const int before = box.starts();
    QElapsedTimer timer;
    timer.start();
    process.start(workbench, {"-pluginpath", pluginDir, "-settingspath", box.path("settings"),
                              "--script", script});
    process.waitForFinished(600000);
    Figures figures;
    figures.seconds = timer.nsecsElapsed() / 1e9;
    figures.processes = box.starts() - before;
    figures.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!figures.ok)
        std::fprintf(stderr, "the scripted run failed; see %s\n", qPrintable(box.path("err.log")));
    return figures;
}

QString dayScript()
{
    QString lines;
    for (const QString &file : dayFiles)
        lines += QStringLiteral("open %1\n").arg(file);
    for (const QString &file : editedFiles)
        lines += QStringLiteral("edit %1 \"// today\\n\"\n").arg(file);
    return lines + QStringLiteral(
                       "dialog commentEdit=\"The day\"\ntrigger TeamFoundation.CheckInProject\n");
}

// The person waits from each command until it has ended: a line after a command waits for it.
QString historyScript(bool withHistories)
{
    QString lines = QStringLiteral("open %1\n").arg(dayFiles.first());
    for (int i = 0; i < HISTORIES; ++i) {
        if (withHistories)
            lines += QStringLiteral("trigger TeamFoundation.History\n");
        lines += QStringLiteral("state\nwait 1000\n");
    }
    return lines;
}

struct Road
{
    double daySeconds = 0;
    int dayProcesses = 0;
    double historyWait = 0;
    int historyProcesses = 0;
};

Road measureWorkbench(const QString &workbench, const QString &pluginDir)
{
    std::vector<double> day, wait;
    Road road;
    for (int round = 0; round < ROUNDS; ++round) {
        Sandbox dayBox;
        const Figures d = runWorkbench(workbench, pluginDir, dayBox, dayScript());
        day.push_back(d.seconds);
        road.dayProcesses = d.processes;
        Sandbox historyBox;
        const Figures without =
            runWorkbench(workbench, pluginDir, historyBox, historyScript(false));
        const Figures with = runWorkbench(workbench, pluginDir, historyBox, historyScript(true));
        wait.push_back(with.seconds - without.seconds);
        road.historyProcesses = with.processes - without.processes;
        if (!dayBox.isValid() || !historyBox.isValid() || !d.ok || !without.ok || !with.ok)
            std::fprintf(stderr, "round %d did not run as it should\n", round);
    }
    road.daySeconds = median(day);
    road.historyWait = median(wait);
    return road;
}

// --- In-process, with each runner ------------------------------------------------------------

void waitFor(const std::function<bool()> &done)
{
    if (!QTest::qWaitFor(done, 600000))
        std::fprintf(stderr, "a command did not end within ten minutes\n");
}

Road measureRunner(const std::function<std::unique_ptr<TeamFoundationRunner>()> &makeRunner)
{
    Road road;
    std::vector<double> day, wait;
    for (int round = 0; round < ROUNDS; ++round) {
        Sandbox box;
        qputenv("XDG_DATA_HOME", box.path("data").toLocal8Bit());
        qputenv("TEE_PROFILE_DIRECTORY", box.path("profile").toLocal8Bit());
        qputenv("TF_STANDIN_STARTUP_MS", STARTUP_MS);
        qunsetenv("TF_SERVER");
        TestHost host;
        host.configure(QStringLiteral("ann"), password, 60, ClientKind::CrossPlatform);
        TeamFoundationPlugin *plugin = host.loadPlugin();
        TeamFoundationSettings settings = plugin->settings();
        settings.setValue(TeamFoundationSettings::binaryPathKey, box.path("bin/tf"));
        plugin->setSettings(settings);
        plugin->client()->replaceRunner(makeRunner());
        Core::IVersionControl *vc = plugin->versionControl();
        VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
        const QString ws = box.path("ws");

        // The host asks for the project's top level and repository, then each folder's.
        int before = box.starts();
        QElapsedTimer timer;
        timer.start();
        QString top;
        vc->managesDirectory(ws, &top);
        vc->vcsGetRepositoryURL(top);
        for (const QString &file : dayFiles)
            vc->managesDirectory(QFileInfo(box.path("ws/" + file)).absolutePath(), nullptr);
        for (const QString &file : editedFiles)
            vc->vcsOpen(box.path("ws/" + file));
        host.answerNextDialog([](QDialog *dialog) {
            dialog->findChild<QPlainTextEdit *>(QStringLiteral("commentEdit"))
                ->setPlainText("The day");
            dialog->accept();
        });
        plugin->client()->checkIn(ws);
        waitFor([queue] { return queue->isIdle(); });
        day.push_back(timer.nsecsElapsed() / 1e9);
        road.dayProcesses = box.starts() - before;

        before = box.starts();
        double waited = 0;
        // A history command opens the History view, which this host has not; the view's
        // own read is what the person waits for, so that is asked for here.
        Core::IVersionHistory *history = plugin->versionHistory();
        for (int i = 0; i < HISTORIES; ++i) {
            bool answered = false;
            const auto read = QObject::connect(history, &Core::IVersionHistory::historyRead,
                                               [&answered] { answered = true; });
            const auto failed = QObject::connect(history, &Core::IVersionHistory::requestFailed,
                                                 [&answered] { answered = true; });
            timer.restart();
            if (history->readHistory(box.path("ws/" + dayFiles.first()), 0, 100) != 0)
                waitFor([&answered] { return answered; });
            waited += timer.nsecsElapsed() / 1e9;
            QObject::disconnect(read);
            QObject::disconnect(failed);
            QTest::qWait(1000);
        }
        wait.push_back(waited);
        road.historyProcesses = box.starts() - before;
        qunsetenv("TF_STANDIN_STARTUP_MS");
    }
    road.daySeconds = median(day);
    road.historyWait = median(wait);
    return road;
}

void print(const char *name, const Road &road)
{
    std::printf(
        "  %-34s day: %2d processes, %5.2f s   8 histories: %2d processes, %5.2f s waited\n", name,
        road.dayProcesses, road.daySeconds, road.historyProcesses, road.historyWait);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    QApplication app(argc, argv);
    std::printf("A client that takes %s ms to start; medians of %d rounds.\n\n", STARTUP_MS,
                ROUNDS);

    std::printf("In the workbench:\n");
    const Road after = measureWorkbench(QStringLiteral(WORKBENCH_PATH), QStringLiteral(PLUGIN_DIR));
    print("this build", after);
    const QString beforeWorkbench = qEnvironmentVariable("BENCH_BEFORE_WORKBENCH");
    const QString beforePlugins = qEnvironmentVariable("BENCH_BEFORE_PLUGIN_DIR");
    if (!beforeWorkbench.isEmpty() && !beforePlugins.isEmpty()) {
        const Road before = measureWorkbench(beforeWorkbench, beforePlugins);
        print("before (BENCH_BEFORE_WORKBENCH)", before);
        std::printf(
            "  this build / before: day processes %.2f (goal: at most 6), day duration %.2f, "
            "history waiting %.2f (goal: at most 0.8 s)\n",
            ratio(after.dayProcesses, before.dayProcesses),
            ratio(after.daySeconds, before.daySeconds),
            ratio(after.historyWait, before.historyWait));
    }

    std::printf("\nIn-process, by how the client is started:\n");
    print("with each command line", measureRunner([] { return std::make_unique<DirectRunner>(); }));
    print("kept started after every command", measureRunner([] {
              return std::make_unique<WarmRunner>(WarmRunner::AfterEveryCommand);
          }));
    print("kept started after a person's",
          measureRunner([] { return std::make_unique<WarmRunner>(WarmRunner::AfterPersonsCommands); }));
    return 0;
}
