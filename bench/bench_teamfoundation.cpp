// What the plugin and its host add to what users wait for: process starts, the top-level
// search with the host's cache, parsing "info" output, the output pane, loading the plugin,
// and the workbench's memory for a big output. Each figure is printed beside a baseline
// measured in the same run.
#include "testhost.h"

#include <core/vcsmanager.h>
#include <vcsbase/vcsoutputwindow.h>

#include <pendingchanges.h>
#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>
#include <warmrunner.h>
#include <workspaceknowledge.h>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QXmlStreamReader>

#include <algorithm>
#include <fcntl.h>

#include <cstdio>
#include <map>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

using namespace TeamFoundation::Internal;

namespace {

std::unique_ptr<TestHost> host;
QString trivialFile;

// --- One command: the plugin's worker against a bare QProcess and posix_spawn. -------------

void BM_PosixSpawn(benchmark::State &state)
{
    const QByteArray path = QByteArray(TRIVIAL_PATH);
    const QByteArray file = trivialFile.toLocal8Bit();
    for (auto _ : state) {
        char *argv[] = {const_cast<char *>(path.constData()), const_cast<char *>("add"),
                        const_cast<char *>(file.constData()), nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, path.constData(), nullptr, nullptr, argv, environ) != 0)
            state.SkipWithError("posix_spawn failed");
        int status = 0;
        waitpid(pid, &status, 0);
    }
}

void BM_QProcess(benchmark::State &state)
{
    const QString dir = QFileInfo(trivialFile).absolutePath();
    for (auto _ : state) {
        QProcess process;
        process.setWorkingDirectory(dir);
        process.start(QStringLiteral(TRIVIAL_PATH), {QStringLiteral("add"), trivialFile});
        process.waitForFinished(-1);
    }
}

void BM_ClientAddFile(benchmark::State &state)
{
    TeamFoundationClient *client = host->plugin()->client();
    for (auto _ : state) {
        if (!client->addFile(trivialFile))
            state.SkipWithError("add failed");
    }
    VcsBase::VcsOutputWindow::clearContents();
}

void BM_RunVcsSync(benchmark::State &state)
{
    const QString dir = QFileInfo(trivialFile).absolutePath();
    for (auto _ : state)
        VcsBase::VcsBasePlugin::runVcs(dir, QStringLiteral(TRIVIAL_PATH), {QStringLiteral("add"), trivialFile}, 30000,
                                         VcsBase::RunFlags(int(state.range(0))));
    VcsBase::VcsOutputWindow::clearContents();
}

// --- Parsing "info" output of growing size: the time per megabyte must stay flat. ----------

QString infoOutput(int megabytes)
{
    QString output;
    const QString line = QStringLiteral("  Local path : /some/where/in/a/deep/tree/file.cpp\n");
    output.reserve(megabytes * 1024 * 1024 + 64);
    while (output.size() < megabytes * 1024 * 1024)
        output += line;
    output += QLatin1String("  Server path: $/Demo/Big\n");
    return output;
}

void BM_ParseServerPath(benchmark::State &state)
{
    const QString output = infoOutput(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(TeamFoundationClient::parseServerPath(output));
}

// The floor for any search of the same text: one pass of QString::indexOf, which is bound
// by memory bandwidth once the text no longer fits the caches.
void BM_IndexOf(benchmark::State &state)
{
    const QString output = infoOutput(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(output.indexOf(QLatin1String("Server path")));
}

// --- Reading the status of 10,000 pending changes, against a plain reader pass. ------------

// As the cross-platform client prints it: every pending change with all its attributes, a
// tenth of them renames, and a tenth candidates.
QString statusXml(int count)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<status>\n");
    for (const bool candidates : {false, true}) {
        xml += QLatin1String(candidates ? "<candidate-pending-changes>\n" : "<pending-changes>\n");
        for (int i = candidates ? count * 9 / 10 : 0; i < (candidates ? count : count * 9 / 10); ++i) {
            const bool rename = !candidates && i % 10 == 0;
            xml += QStringLiteral(
                       "<pending-change server-item=\"$/Project/src/module%1/file%2.cpp\" "
                       "version=\"%2\" owner=\"DOMAIN\\ann\" date=\"2017-02-08T11:12:06.766-0500\" "
                       "lock=\"none\" change-type=\"%3\" workspace=\"W1\" %4computer=\"PC1\" "
                       "local-item=\"/home/ann/w/src/module%1/file%2.cpp\" file-type=\"utf-8\"/>\n")
                       .arg(i / 100)
                       .arg(i)
                       .arg(QLatin1String(candidates ? "add" : rename ? "edit, rename" : "edit"))
                       .arg(rename ? QStringLiteral("source-item=\"$/Project/src/old%1.cpp\" ").arg(i)
                                   : QString());
        }
        xml += QLatin1String(candidates ? "</candidate-pending-changes>\n" : "</pending-changes>\n");
    }
    return xml + QLatin1String("</status>\n");
}

void BM_ParsePendingChanges(benchmark::State &state)
{
    const QString xml = statusXml(int(state.range(0)));
    for (auto _ : state) {
        QList<PendingChange> changes;
        QString error;
        if (!parsePendingChanges(xml, &changes, &error) || changes.size() != state.range(0))
            state.SkipWithError("the status was not read whole");
        benchmark::DoNotOptimize(changes);
    }
}

// The floor for reading the same text: one pass of QXmlStreamReader that looks at nothing.
void BM_PlainXmlPass(benchmark::State &state)
{
    const QString xml = statusXml(int(state.range(0)));
    for (auto _ : state) {
        QXmlStreamReader reader(xml);
        while (!reader.atEnd())
            reader.readNext();
        benchmark::DoNotOptimize(reader.hasError());
    }
}

// --- 20 MB of output: through the host runner into the pane, and read by a bare QProcess. --

void BM_BareRead20MB(benchmark::State &state)
{
    for (auto _ : state) {
        QProcess process;
        process.start(QStringLiteral(BIGOUT_PATH), {QStringLiteral("20")});
        QByteArray all;
        while (process.waitForReadyRead(-1))
            all += process.readAllStandardOutput();
        process.waitForFinished(-1);
        all += process.readAllStandardOutput();
        benchmark::DoNotOptimize(QString::fromUtf8(all));
    }
}

void BM_PaneRunVcs20MB(benchmark::State &state)
{
    for (auto _ : state) {
        VcsBase::VcsBasePlugin::runVcs(QDir::tempPath(), QStringLiteral(BIGOUT_PATH),
                                       {QStringLiteral("20")}, 0,
                                       VcsBase::RunFlag::ShowStdOutInLogWindow);
    }
    state.counters["pane_chars"] = VcsBase::VcsOutputWindow::content().size();
    VcsBase::VcsOutputWindow::clearContents();
}

// --- Ratios --------------------------------------------------------------------------------

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                const std::string name = run.run_name.function_name
                    + (run.run_name.args.empty() ? std::string() : "/" + run.run_name.args);
                m_median[name] = run.GetAdjustedRealTime();
                m_cpuMedian[name] = run.GetAdjustedCPUTime();
            }
        }
    }
    double median(const std::string &name) const
    {
        const auto it = m_median.find(name);
        return it == m_median.end() ? 0 : it->second;
    }
    // The processor time of this process alone: what other load on the machine moves least.
    double cpuMedian(const std::string &name) const
    {
        const auto it = m_cpuMedian.find(name);
        return it == m_cpuMedian.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> m_median;
    std::map<std::string, double> m_cpuMedian;
};

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

// Processes started to learn the top levels of 100 files in 20 directories four levels below
// the top of their mapping: asking the version control for each file, and asking the host's
// version-control manager, which remembers each directory's answer; the plugin forgets what it
// knew in between.
void countProcesses()
{
    const QString top = host->makeDirectory(QStringLiteral("count/top"));
    QStringList files;
    for (int d = 0; d < 20; ++d) {
        for (int f = 0; f < 5; ++f)
            files << host->makeFile(QStringLiteral("count/top/a/b/c/d%1/f%2.cpp").arg(d).arg(f));
    }
    host->setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    TeamFoundationSettings settings = host->plugin()->settings();
    settings.setValue(TeamFoundationSettings::binaryPathKey, host->tfPath());
    host->plugin()->setSettings(settings);
    host->takeRuns();

    Core::IVersionControl *vc = host->plugin()->versionControl();
    for (const QString &file : qAsConst(files))
        vc->managesDirectory(QFileInfo(file).absolutePath(), nullptr);
    const int uncached = host->takeRuns().size();

    Core::VcsManager::resetCache();
    host->plugin()->knowledge()->forget();
    for (const QString &file : qAsConst(files))
        Core::VcsManager::findVersionControlForDirectory(QFileInfo(file).absolutePath());
    const int cached = host->takeRuns().size();
    std::printf("\nProcesses for 100 files in 20 directories, 4 levels below the mapping's top:\n"
                "  asking the version control for each file: %d\n"
                "  through the host's cache:                 %d (%d directories computed)\n",
                uncached, cached, Core::VcsManager::cacheMisses());
}

// Start-up time and peak memory of a scripted workbench run, with and without the plugin.
void workbenchLoad()
{
    const QString workbench = QStringLiteral(WORKBENCH_PATH);
    if (!QFileInfo(workbench).isExecutable()) {
        std::printf("\nworkbench not built; plugin load not measured\n");
        return;
    }
    const QString script = host->makeFile(QStringLiteral("load/script.txt"), "state\n");
    const QString empty = host->makeDirectory(QStringLiteral("load/noplugins"));
    auto measure = [&](const QString &pluginDir, double *ms, long *rssKb) {
        const int rounds = 7;
        std::vector<double> times;
        long rss = 0;
        for (int i = 0; i < rounds; ++i) {
            const QByteArray wb = workbench.toLocal8Bit();
            const QByteArray pd = pluginDir.toLocal8Bit();
            const QByteArray sp = host->makeDirectory(QStringLiteral("load/settings")).toLocal8Bit();
            const QByteArray sc = script.toLocal8Bit();
            const QByteArray rssFile = (host->sandbox() + QLatin1String("/load/rss")).toLocal8Bit();
            char *argv[] = {const_cast<char *>(LAUNCH_PATH), const_cast<char *>(rssFile.constData()),
                            const_cast<char *>(wb.constData()),
                            const_cast<char *>("-platform"),
                            const_cast<char *>("offscreen"), const_cast<char *>("-pluginpath"),
                            const_cast<char *>(pd.constData()), const_cast<char *>("-settingspath"),
                            const_cast<char *>(sp.constData()), const_cast<char *>("--script"),
                            const_cast<char *>(sc.constData()), nullptr};
            QElapsedTimer timer;
            timer.start();
            pid_t pid = 0;
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            posix_spawn(&pid, LAUNCH_PATH, &actions, nullptr, argv, environ);
            posix_spawn_file_actions_destroy(&actions);
            int status = 0;
            waitpid(pid, &status, 0);
            times.push_back(timer.nsecsElapsed() / 1e6);
            QFile rssResult(QString::fromLocal8Bit(rssFile));
            if (rssResult.open(QIODevice::ReadOnly))
                rss = std::max(rss, rssResult.readAll().trimmed().toLong());
        }
        std::sort(times.begin(), times.end());
        *ms = times[times.size() / 2];
        *rssKb = rss;
    };
    double withMs = 0, withoutMs = 0;
    long withRss = 0, withoutRss = 0;
    measure(QStringLiteral(PLUGIN_DIR), &withMs, &withRss);
    measure(empty, &withoutMs, &withoutRss);
    std::printf("\nScripted workbench run (median of 7):\n"
                "  without the plugin: %.1f ms, peak RSS %ld KiB\n"
                "  with the plugin:    %.1f ms, peak RSS %ld KiB\n"
                "  added by the plugin: %.1f ms (x%.2f), %ld KiB\n",
                withoutMs, withoutRss, withMs, withRss, withMs - withoutMs, ratio(withMs, withoutMs),
                withRss - withoutRss);
}

// 50 MB of output into the output pane of a scripted workbench run: through runVcs, as the
// plugins' commands went until now, and as a job. The fake version control's Status runs
// runVcs, its Log a job; its executable is bigout, printing 50 MB whatever it is asked. Then
// the Team Foundation plugin's own Compare (Repository), as a person chooses it from the menu,
// against a tf that answers the plugin's reads and prints 50 MB for the compare.
// Peak resident size comes from launch, the size afterwards from the workbench itself.
void paneMemory()
{
    const QString workbench = QStringLiteral(WORKBENCH_PATH);
    if (!QFileInfo(workbench).isExecutable()) {
        std::printf("\nworkbench not built; pane memory not measured\n");
        return;
    }
    const QString repo = host->makeDirectory(QStringLiteral("memory/repo"));
    host->makeFile(QStringLiteral("memory/repo/.fakevcs"), "tracked main.cpp\n");
    host->makeFile(QStringLiteral("memory/repo/main.cpp"), "int main() {}\n");
    const QString settings = host->makeDirectory(QStringLiteral("memory/settings"));
    host->makeFile(QStringLiteral("memory/settings/workbench.ini"),
                   "[FakeVcs]\nBinary=" BIGOUT_PATH "\nTimeout=600\n");
    // The client as "tf @" reads its command from its standard input; a probe learns that the
    // repository is mapped, a status read finds nothing pending, a compare prints 50 MB.
    const QString tf = host->makeFile(
        QStringLiteral("memory/tf"),
        "#!/bin/sh\n"
        "if [ \"$1\" = @ ]; then IFS= read -r line || exit 0; set -- $line; fi\n"
        "case \"$1 $2\" in\n"
        "\"info " + repo.toUtf8() + "\"*) printf 'Local information:\\n  Server path: $/Bench\\n' ;;\n"
        "info*) exit 100 ;;\n"
        "status*) printf '<?xml version=\"1.0\" encoding=\"utf-8\"?>\\n<status>\\n"
        "<pending-changes/>\\n<candidate-pending-changes/>\\n</status>\\n' ;;\n"
        "difference*) exec " BIGOUT_PATH " ;;\n"
        "esac\n");
    QFile::setPermissions(tf, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString tfSettings = host->makeDirectory(QStringLiteral("memory/tfsettings"));
    host->makeFile(QStringLiteral("memory/tfsettings/workbench.ini"),
                   "[TeamFoundation]\nBinaryPath=" + tf.toUtf8() +
                       "\nClientKind=CrossPlatform\nTimeout=600\n");
    struct Figures
    {
        long beforeKb = 0;
        long peakKb = 0;
        long afterKb = 0;
        double seconds = 0;
    };
    auto measure = [&](const char *command, const QStringList &where) {
        Figures figures;
        // A line that is not "wait" waits for the job; the pause lets the finished job go.
        const QString script = host->makeFile(
            QStringLiteral("memory/%1.wb")
                .arg(QString::fromLatin1(command).section(QLatin1Char('.'), -1)),
            QByteArray("project ") + repo.toUtf8() + "\nopen main.cpp\nmemory\ntrigger " + command +
                "\nopen main.cpp\nwait 300\nmemory\n");
        const QString rssFile = host->sandbox() + QLatin1String("/memory/rss");
        const QString outFile = host->sandbox() + QLatin1String("/memory/out");
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BIGOUT_MB"), QStringLiteral("50"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(outFile);
        process.setStandardErrorFile(QProcess::nullDevice());
        QElapsedTimer timer;
        timer.start();
        process.start(QStringLiteral(LAUNCH_PATH),
                      QStringList{rssFile, workbench, QStringLiteral("-platform"),
                                  QStringLiteral("offscreen")} +
                          where + QStringList{QStringLiteral("--script"), script});
        process.waitForFinished(-1);
        figures.seconds = timer.nsecsElapsed() / 1e9;
        QFile rss(rssFile);
        if (rss.open(QIODevice::ReadOnly))
            figures.peakKb = rss.readAll().trimmed().toLong();
        QFile out(outFile);
        if (out.open(QIODevice::ReadOnly)) {
            // "memory: 70992 kB resident, 76368 kB at most", before and after the command.
            auto residentAt = [](const QByteArray &text, int at) {
                return at < 0 ? 0L : text.mid(at + 8).split(' ').value(0).toLong();
            };
            const QByteArray head = out.read(4096);
            figures.beforeKb = residentAt(head, head.indexOf("memory: "));
            out.seek(qMax<qint64>(0, out.size() - 4096));
            const QByteArray tail = out.readAll();
            figures.afterKb = residentAt(tail, tail.lastIndexOf("memory: "));
        }
        return figures;
    };
    const QStringList fake{QStringLiteral("-pluginpath"), QStringLiteral(FAKEVCS_PLUGIN_DIR),
                           QStringLiteral("-settingspath"), settings};
    const Figures old = measure("FakeVcs.Status", fake);
    const Figures job = measure("FakeVcs.Log", fake);
    // The workbench's own plugin directory holds the Team Foundation plugin.
    const Figures compare =
        measure("TeamFoundation.CompareProject", {QStringLiteral("-settingspath"), tfSettings});
    std::printf("\n50 MB of output into the pane of a scripted workbench run:\n"
                "  runVcs: before %ld KiB, peak %ld KiB, afterwards %ld KiB, %.1f s\n"
                "  job:    before %ld KiB, peak %ld KiB, afterwards %ld KiB, %.1f s\n"
                "  job / runVcs: peak %.2f, afterwards %.2f\n"
                "  Team Foundation's Compare (Repository), a job: before %ld KiB, peak %ld KiB (goal: at most "
                "100 MB), afterwards %ld KiB, %.1f s\n",
                old.beforeKb, old.peakKb, old.afterKb, old.seconds, job.beforeKb, job.peakKb,
                job.afterKb, job.seconds, ratio(job.peakKb, old.peakKb),
                ratio(job.afterKb, old.afterKb), compare.beforeKb, compare.peakKb, compare.afterKb,
                compare.seconds);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    host = std::make_unique<TestHost>();
    trivialFile = host->makeFile(QStringLiteral("proj/main.cpp"));
    host->loadPlugin();
    TeamFoundationSettings settings = host->plugin()->settings();
    settings.setValue(TeamFoundationSettings::binaryPathKey, QStringLiteral(TRIVIAL_PATH));
    host->plugin()->setSettings(settings);
    // The plugin's own runner, without the test host's recording of every run.
    host->plugin()->client()->replaceRunner(std::make_unique<WarmRunner>());

    const int repetitions = 5;
    benchmark::RegisterBenchmark("per_command/posix_spawn", BM_PosixSpawn)->Repetitions(repetitions)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("per_command/qprocess", BM_QProcess)->Repetitions(repetitions)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("per_command/client_addFile", BM_ClientAddFile)->Repetitions(repetitions)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("per_command/runVcs", BM_RunVcsSync)->Arg(0x1)->Arg(0x101)->Arg(0x120)->Repetitions(repetitions)->Unit(benchmark::kMicrosecond);
    for (int mb : {1, 10, 50}) {
        benchmark::RegisterBenchmark("parseServerPath", BM_ParseServerPath)->Arg(mb)->Repetitions(3)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("indexOf", BM_IndexOf)->Arg(mb)->Repetitions(3)->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("status_xml/parsePendingChanges", BM_ParsePendingChanges)->Arg(10000)->Repetitions(5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("status_xml/plain_reader", BM_PlainXmlPass)->Arg(10000)->Repetitions(5)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("output_20MB/bare_qprocess", BM_BareRead20MB)->Repetitions(3)->Unit(benchmark::kMillisecond)->Iterations(3);
    benchmark::RegisterBenchmark("output_20MB/runVcs_pane", BM_PaneRunVcs20MB)->Repetitions(3)->Unit(benchmark::kMillisecond)->Iterations(3);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const double spawn = reporter.median("per_command/posix_spawn");
    const double qprocess = reporter.median("per_command/qprocess");
    const double client = reporter.median("per_command/client_addFile");
    std::printf("\nPer command (medians): posix_spawn %.0f us, QProcess %.0f us, client addFile %.0f us\n"
                "  client / QProcess = %.3f (goal: at most 1.10), QProcess / posix_spawn = %.2f\n",
                spawn, qprocess, client, ratio(client, qprocess), ratio(qprocess, spawn));
    std::printf("parseServerPath per MB, and against one indexOf pass over the same text:\n");
    for (int mb : {1, 10, 50}) {
        const std::string arg = "/" + std::to_string(mb);
        const double parse = reporter.median("parseServerPath" + arg);
        const double scan = reporter.median("indexOf" + arg);
        std::printf("  %2d MB: %.3f ms per MB; parse / indexOf = %.2f\n", mb, parse / mb, ratio(parse, scan));
    }
    const std::string parsePending = "status_xml/parsePendingChanges/10000";
    const std::string plainPass = "status_xml/plain_reader/10000";
    std::printf("Status XML of 10,000 pending changes: parsePendingChanges %.1f ms (processor %.1f ms), a plain "
                "QXmlStreamReader pass %.1f ms (processor %.1f ms); ratio %.2f, of processor time %.2f "
                "(goal: at most 2)\n",
                reporter.median(parsePending), reporter.cpuMedian(parsePending), reporter.median(plainPass),
                reporter.cpuMedian(plainPass), ratio(reporter.median(parsePending), reporter.median(plainPass)),
                ratio(reporter.cpuMedian(parsePending), reporter.cpuMedian(plainPass)));
    const double bare = reporter.median("output_20MB/bare_qprocess");
    const double pane = reporter.median("output_20MB/runVcs_pane");
    std::printf("20 MB of output: bare QProcess %.0f ms, runVcs into the pane %.0f ms; ratio %.2f (goal: at most 3); "
                "pane history capped at %d characters\n",
                bare, pane, ratio(pane, bare), VcsBase::VcsOutputWindow::historyLimit());

    countProcesses();
    workbenchLoad();
    paneMemory();
    host.reset();
    return 0;
}
