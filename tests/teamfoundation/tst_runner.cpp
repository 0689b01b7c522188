// How the plugin's commands reach a process: the line a client started as "tf @" reads, the
// client started ahead for the next command, one that refuses "@", jobs that queue while the
// IDE takes input, and commands ended at a cancel or a time-out with all they started.
#include "testhost.h"

#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

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
    void nextCommandFindsItsClientStarted();
    void clientThatRefusesStandardInput_data();
    void clientThatRefusesStandardInput();
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

QSet<qint64> pids(const QList<Started> &starts)
{
    QSet<qint64> result;
    for (const Started &start : starts)
        result.insert(start.pid);
    return result;
}
} // namespace

void tst_Runner::standardInputLine_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("line"); // null: no line can carry the words
    QTest::newRow("bare words") << QStringList{"history", "/w/App/main.cpp", "-noprompt"}
                                << "history /w/App/main.cpp -noprompt";
    QTest::newRow("blanks") << QStringList{"checkout", "/w/my file.cpp"} << "checkout \"/w/my file.cpp\"";
    QTest::newRow("quotes doubled") << QStringList{"-comment:say \"hi\""} << "\"-comment:say \"\"hi\"\"\"";
    QTest::newRow("a quote without blanks") << QStringList{"a\"b"} << "\"a\"\"b\"";
    QTest::newRow("commas stay bare") << QStringList{"-login:ann,p,w"} << "-login:ann,p,w";
    QTest::newRow("unicode") << QStringList{QString::fromUtf8("Grüße/日本.cpp")} << QString::fromUtf8("Grüße/日本.cpp");
    QTest::newRow("empty word") << QStringList{"get", "", "-recursive"} << "get \"\" -recursive";
    QTest::newRow("tab") << QStringList{"a\tb"} << "\"a\tb\"";
    QTest::newRow("line feed") << QStringList{"checkin", "-comment:a\nb"} << QString();
    QTest::newRow("carriage return") << QStringList{"a\rb"} << QString();
}

void tst_Runner::standardInputLine()
{
    QFETCH(QStringList, words);
    QFETCH(QString, line);
    QString actual;
    QCOMPARE(WarmRunner::standardInputLine(words, &actual), !line.isNull());
    if (!line.isNull())
        QCOMPARE(actual, line);
}

// The client kept started takes the next command in its place; one elsewhere gets a client
// of its own. Every process has nothing but "@" on its command line.
void tst_Runner::nextCommandFindsItsClientStarted()
{
    TestHost host;
    host.configure(QStringLiteral("ann"), QStringLiteral("secret"));
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString project = host.makeDirectory(QStringLiteral("ws/App"));
    const QString file = host.makeFile(QStringLiteral("ws/App/main.cpp"));
    TeamFoundationClient *client = plugin->client();

    QVERIFY(client->history(file));
    const QList<Recorded> first = host.takeRuns();
    QCOMPARE(first.size(), 1);
    // Whether tf takes "@", the first history, and the client started for the next one.
    QList<Started> before;
    QTRY_VERIFY((before += host.takeStarts()).size() >= 3);

    QVERIFY(client->history(file));
    QVERIFY(client->history(project));
    const QList<Recorded> next = host.takeRuns();
    QCOMPARE(next.size(), 2);
    QVERIFY(pids(before).contains(next.at(0).pid));
    QVERIFY(next.at(0).pid != first.first().pid);
    QVERIFY(!pids(before).contains(next.at(1).pid));
    QCOMPARE(next.at(1).workingDirectory, host.sandbox() + QLatin1String("/ws"));

    for (const Recorded &run : first + next) {
        QCOMPARE(run.via, QStringLiteral("stdin"));
        QCOMPARE(run.arguments.last(), QStringLiteral("/login:ann,secret"));
    }
    for (const Started &start : before + host.takeStarts())
        QCOMPARE(start.argv, QStringList(QStringLiteral("@")));
}

void tst_Runner::clientThatRefusesStandardInput_data()
{
    QTest::addColumn<bool>("jobFirst");
    QTest::addColumn<int>("refusals");
    // A command through "@" fails; a client given no command tells why.
    QTest::newRow("a file operation first") << false << 2;
    // Before the job's turn, a client given no command tells.
    QTest::newRow("a person's command first") << true << 1;
}

void tst_Runner::clientThatRefusesStandardInput()
{
    QFETCH(bool, jobFirst);
    QFETCH(int, refusals);
    TestHost host;
    host.configure(QStringLiteral("ann"), QStringLiteral("secret"));
    TeamFoundationPlugin *plugin = host.loadPlugin();
    const QString dir = host.makeDirectory(QStringLiteral("proj"));
    const QString file = host.makeFile(QStringLiteral("proj/main.cpp"));
    host.setResponse("TFREC_REFUSE_AT", "1");
    TeamFoundationClient *client = plugin->client();

    const std::function<bool()> history = [&] { return client->history(file); };
    const std::function<bool()> add = [&] { return client->addFile(file); };
    for (const std::function<bool()> &command : jobFirst ? QList<std::function<bool()>>{history, add}
                                                          : QList<std::function<bool()>>{add, history}) {
        QVERIFY(command());
        host.waitForJobs();
    }
    QVERIFY(client->managesDirectory(dir));

    // Each command ran once, on its command line; the refusals ran nothing.
    QStringList ran;
    int refused = 0;
    for (const Recorded &run : host.takeRuns()) {
        QCOMPARE(run.via, QStringLiteral("argv"));
        if (run.arguments == QStringList(QStringLiteral("@"))) {
            ++refused;
            continue;
        }
        QCOMPARE(run.argv, run.arguments);
        ran << run.arguments.first();
    }
    QCOMPARE(refused, refusals);
    QCOMPARE(ran, jobFirst ? QStringList({"history", "add", "info"}) : QStringList({"add", "history", "info"}));
    QCOMPARE(VcsBase::VcsOutputWindow::content().count(QLatin1String("does not take commands on its standard input")), 1);
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
