// How the plugin's commands reach a process: the line a client started as "tf @" reads, the
// client started ahead for the next command, the login on no command line, jobs that queue
// while the IDE takes input, and commands ended at a cancel or a time-out with all they started.
#include "testhost.h"

#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <commandlines.h>
#include <teamfoundationclient.h>
#include <teamfoundationplugin.h>
#include <warmrunner.h>

#include <QtTest>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#endif

using namespace TeamFoundation::Internal;

class tst_Runner : public QObject
{
    Q_OBJECT

private slots:
    void init() { VcsBase::VcsOutputWindow::clearContents(); }

    void standardInputLine_data();
    void standardInputLine();
    void keptClientServesTheWorkspace();
    void noLoginOnACommandLine_data();
    void noLoginOnACommandLine();
    void commandsQueueWhileTheIdeTakesInput();
    void endedCommandsLeaveNoProcess_data();
    void endedCommandsLeaveNoProcess();
};

namespace {
#ifdef Q_OS_UNIX
bool processIsGone(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().split(' ').value(2) == "Z";
}
#endif
} // namespace

void tst_Runner::standardInputLine_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("line"); // null: no line can carry the words
    // The line for a client started with words after its "@", which replaces "%1", "%2" ...
    // in its lines by them; empty: the same line.
    QTest::addColumn<QString>("afterWords");
    QTest::newRow("bare words") << QStringList{"history", "/w/App/main.cpp", "-noprompt"}
                                << "history /w/App/main.cpp -noprompt" << QString();
    QTest::newRow("blanks") << QStringList{"checkout", "/w/my file.cpp"} << "checkout \"/w/my file.cpp\"" << QString();
    QTest::newRow("quotes doubled") << QStringList{"-comment:say \"hi\""} << "\"-comment:say \"\"hi\"\"\"" << QString();
    QTest::newRow("a quote without blanks") << QStringList{"a\"b"} << "\"a\"\"b\"" << QString();
    QTest::newRow("commas stay bare") << QStringList{"-login:ann,p,w"} << "-login:ann,p,w" << QString();
    QTest::newRow("unicode") << QStringList{QString::fromUtf8("Grüße/日本.cpp")} << QString::fromUtf8("Grüße/日本.cpp") << QString();
    QTest::newRow("empty word") << QStringList{"get", "", "-recursive"} << "get \"\" -recursive" << QString();
    QTest::newRow("tab") << QStringList{"a\tb"} << "\"a\tb\"" << QString();
    QTest::newRow("line feed") << QStringList{"checkin", "-comment:a\nb"} << QString() << QString();
    QTest::newRow("carriage return") << QStringList{"a\rb"} << QString() << QString();
    QTest::newRow("percent signs and digits")
        << QStringList{"-login:ann,50%1", "a%%9b", "x\"%2"} << "-login:ann,50%1 a%%9b \"x\"\"%2\""
        << "\"-login:ann,50\"%\"1\" \"a%\"%\"9b\" \"x\"\"\"%\"2\"";
}

void tst_Runner::standardInputLine()
{
    QFETCH(QStringList, words);
    QFETCH(QString, line);
    QFETCH(QString, afterWords);
    QString actual;
    QCOMPARE(WarmRunner::standardInputLine(words, &actual), !line.isNull());
    if (!line.isNull())
        QCOMPARE(actual, line);
    QCOMPARE(WarmRunner::standardInputLine(words, &actual, true), !line.isNull());
    if (!line.isNull())
        QCOMPARE(actual, afterWords.isEmpty() ? line : afterWords);
}

// Commands name their items by absolute paths, so the client kept started in the workspace's
// top level serves every command there, the project's and the files', jobs and file
// operations alike: each takes the client started before it and leaves one for the next, and
// no client is started in vain. Every process has nothing but "@" on its command line.
void tst_Runner::keptClientServesTheWorkspace()
{
    TestHost host;
    host.configure(QStringLiteral("ann"), QStringLiteral("secret"), 30, ClientKind::CrossPlatform);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString top = host.makeDirectory(QStringLiteral("ws"));
    const QString sub = host.makeDirectory(QStringLiteral("ws/App/sub"));
    const QString file = host.makeFile(QStringLiteral("ws/App/sub/a.cpp"));
    const QString added = host.makeFile(QStringLiteral("ws/App/b.cpp"));
    host.setResponse("TFREC_MANAGED_ROOT", top.toLocal8Bit());
    QString topLevel;
    QVERIFY(plugin->versionControl()->managesDirectory(sub, &topLevel));
    QCOMPARE(topLevel, top);
    host.takeRuns();
    host.takeStarts();

    TeamFoundationClient *client = plugin->client();
    // Jobs that change no repository the IDE knows, so that what it knows stays.
    const auto get = [&](const QString &path) {
        return client->submit(path, host.tfPath(),
                              CommandLines::get(ClientKind::CrossPlatform, path, false),
                              InteractiveRunFlags);
    };
    QVERIFY(get(top));
    host.waitForJobs();
    QVERIFY(client->checkoutFile(file));
    QVERIFY(client->addFile(added));
    QVERIFY(get(file));
    const QList<Recorded> runs = host.takeRuns();
    QList<Started> starts;
    QTRY_VERIFY((starts += host.takeStarts()).size() >= runs.size() + 1);

    QStringList persons;
    for (const Recorded &run : runs) {
        QCOMPARE(run.via, QStringLiteral("stdin"));
        QCOMPARE(run.arguments.last(), QStringLiteral("-login:ann,secret"));
        if (run.arguments.first() != QLatin1String("status")) {
            persons << run.arguments.first();
            QCOMPARE(run.workingDirectory, top);
        }
    }
    QCOMPARE(persons, QStringList({"get", "checkout", "add", "get"}));
    QCOMPARE(starts.size(), runs.size() + 1);
    for (const Started &start : starts)
        QCOMPARE(start.argv, QStringList(QStringLiteral("@")));
}

// A client that does not take "@", or a word that no line can carry: the command fails with
// what went wrong, and is never started again with its command line, where the login would
// show in the process list.
void tst_Runner::noLoginOnACommandLine_data()
{
    QTest::addColumn<bool>("refuseStandardInput");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("said");
    QTest::newRow("a client that refuses @") << true << "main.cpp" << "Unrecognized command: @";
    QTest::newRow("a line break in a name") << false << "main\ncpp" << "holds a line break";
}

void tst_Runner::noLoginOnACommandLine()
{
    QFETCH(bool, refuseStandardInput);
    QFETCH(QString, fileName);
    QFETCH(QString, said);
    TestHost host;
    host.configure(QStringLiteral("ann"), QStringLiteral("secret"), 30, ClientKind::CrossPlatform);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/") + fileName);
    if (refuseStandardInput)
        host.setResponse("TFREC_REFUSE_AT", "1");
    TeamFoundationClient *client = plugin->client();

    bool historyEnded = false;
    bool historySucceeded = true;
    QVERIFY(client->submit(file, host.tfPath(),
                           CommandLines::history(ClientKind::CrossPlatform, file, false),
                           InteractiveRunFlags, [&](const VcsBase::VcsJob &job) {
                               historyEnded = true;
                               historySucceeded = job.succeeded();
                           }));
    host.waitForJobs();
    QVERIFY(historyEnded);
    QVERIFY(!historySucceeded);
    QVERIFY(!client->addFile(file));

    for (const Recorded &run : host.takeRuns())
        QCOMPARE(run.argv, QStringList(QStringLiteral("@")));
    for (const Started &start : host.takeStarts())
        QCOMPARE(start.argv, QStringList(QStringLiteral("@")));
    QVERIFY2(VcsBase::VcsOutputWindow::content().count(said) >= 2,
             qPrintable(VcsBase::VcsOutputWindow::content()));
}

// Two commands a person starts return at once and run one after the other, in order, while
// timers and posted events are served.
void tst_Runner::commandsQueueWhileTheIdeTakesInput()
{
    TestHost host;
    host.configure();
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setCurrentFile(file, project);
    host.setResponse("TFREC_DELAY_MS", "300");
    VcsBase::JobQueue *queue = VcsBase::JobQueue::instance();
    QVERIFY(queue);

    QVERIFY(QMetaObject::invokeMethod(plugin->client(), "historyCurrentFile", Qt::DirectConnection));
    QVERIFY(QMetaObject::invokeMethod(plugin->client(), "getLatestProject", Qt::DirectConnection));
    QVERIFY(queue->runningJob());
    QCOMPARE(queue->waitingCount(), 1);

    int ticks = 0;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (queue->runningJob())
            ++ticks;
    });
    timer.start(10);
    bool posted = false;
    QMetaObject::invokeMethod(this, [&] { posted = queue->runningJob() != nullptr; }, Qt::QueuedConnection);

    QStringList ran;
    for (const Recorded &run : host.takeRuns())
        ran << run.arguments.first();
    QCOMPARE(ran, QStringList({"history", "get"}));
    QVERIFY(posted);
    QVERIFY(ticks > 0);
}

void tst_Runner::endedCommandsLeaveNoProcess_data()
{
    QTest::addColumn<QByteArray>("slot"); // empty: the host's check-out of a file
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QString>("said");
    QTest::newRow("a job cancelled") << QByteArray("historyCurrentFile") << true << "was cancelled";
    QTest::newRow("a job timed out") << QByteArray("addCurrentFile") << false << "did not respond within the timeout limit";
    QTest::newRow("a file operation timed out") << QByteArray() << false << "did not respond within the timeout limit";
}

void tst_Runner::endedCommandsLeaveNoProcess()
{
#ifndef Q_OS_UNIX
    QSKIP("The recording client's helper is started with fork().");
#else
    QFETCH(QByteArray, slot);
    QFETCH(bool, cancel);
    QFETCH(QString, said);
    TestHost host;
    host.configure(QString(), QString(), 1);
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setCurrentFile(file, project);
    const QString helper = host.sandbox() + QLatin1String("/helper");
    host.setResponse("TFREC_GRANDCHILD", helper.toLocal8Bit());
    host.setResponse("TFREC_GRANDCHILD_MS", "3000");
    host.setResponse("TFREC_DELAY_MS", "60000");

    if (slot.isEmpty()) {
        QVERIFY(!plugin->client()->checkoutFile(file));
    } else {
        QVERIFY(QMetaObject::invokeMethod(plugin->client(), slot.constData(), Qt::DirectConnection));
        if (cancel) {
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(helper).size() > 0, 30000);
            VcsBase::JobQueue::instance()->cancelRunning();
        }
    }
    const QList<Recorded> runs = host.takeRuns();
    QCOMPARE(runs.size(), 1);
    QFile helperPid(helper);
    QVERIFY(helperPid.open(QIODevice::ReadOnly));
    const qint64 grandchild = helperPid.readAll().trimmed().toLongLong();
    QVERIFY(grandchild > 0);
    QTRY_VERIFY_WITH_TIMEOUT(processIsGone(runs.first().pid), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(processIsGone(grandchild), 30000);
    QVERIFY(!QFile::exists(helper + QLatin1String(".done")));
    QVERIFY2(VcsBase::VcsOutputWindow::content().contains(said), qPrintable(VcsBase::VcsOutputWindow::content()));
#endif
}

QTEST_MAIN(tst_Runner)
#include "tst_runner.moc"
