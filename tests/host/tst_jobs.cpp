// Version-control jobs and their queue: results, streaming into the pane, process trees
// ended at a time-out or a cancel, order, and a window that goes on taking input meanwhile.

#include "outputpane.h"

#include <utils/treeprocess.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsbaseplugin.h>
#include <vcsbase/vcsjob.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextCodec>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <sys/types.h>

using Utils::SynchronousProcessResponse;
using VcsBase::JobQueue;
using VcsBase::RunFlag;
using VcsBase::RunFlags;
using VcsBase::VcsBasePlugin;
using VcsBase::VcsJob;
using VcsBase::VcsOutputWindow;

Q_DECLARE_METATYPE(VcsJob::Result)

namespace {
const QString helper = QStringLiteral(CHILD_PROCESS);

// Gone, or a zombie that runs no code any more and waits for a parent to reap it.
bool processIsGone(qint64 pid)
{
    if (::kill(static_cast<pid_t>(pid), 0) == -1 && errno == ESRCH)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && stat.readAll().split(' ').value(2) == "Z";
}

// Submits 'job' to 'queue' and lets the event loop run until it has finished.
bool runToEnd(JobQueue &queue, VcsJob *job, VcsJob::Result *result, int *exitCode = nullptr)
{
    bool done = false;
    QObject::connect(job, &VcsJob::finished, job, [&] {
        done = true;
        *result = job->result();
        if (exitCode)
            *exitCode = job->exitCode();
    });
    queue.submit(job);
    return QTest::qWaitFor([&] { return done; }, 20000);
}
} // namespace

class tst_Jobs : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void results_data();
    void results();
    void processTreeEndsWithTheCommand_data();
    void processTreeEndsWithTheCommand();
    void queueRunsInOrderWhileInputIsServed();
    void personGoesBeforeBackgroundReads();
    void preparationIsAStepOfTheTurn();
    void aLongWaitShowsItselfAndCancels_data();
    void aLongWaitShowsItselfAndCancels();
    void outputStreamsAndDecodesAcrossReads_data();
    void outputStreamsAndDecodesAcrossReads();
    void outputKeptWholeOrItsEnd_data();
    void outputKeptWholeOrItsEnd();
    void starterHandsAStartedProcess_data();
    void starterHandsAStartedProcess();
    void paneKeepsTheNewestOutput_data();
    void paneKeepsTheNewestOutput();

private:
    QTemporaryDir m_tempDir;
};

void tst_Jobs::init()
{
    QVERIFY(m_tempDir.isValid());
    VcsOutputWindow::clearContents();
}

void tst_Jobs::results_data()
{
    QTest::addColumn<QString>("binary");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("workingDirectory");
    QTest::addColumn<int>("timeOutMs");
    QTest::addColumn<VcsJob::Result>("result");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("paneSays");

    QTest::newRow("exit 0") << helper << QStringList{"exit", "0"} << QString() << 10000
                            << VcsJob::Finished << 0 << QString();
    QTest::newRow("exit 3") << helper << QStringList{"exit", "3"} << QString() << 10000
                            << VcsJob::FinishedError << 3 << "terminated with exit code 3";
    QTest::newRow("crash") << helper << QStringList{"crash"} << QString() << 10000
                           << VcsJob::Crashed << -1 << "terminated abnormally";
    QTest::newRow("missing binary")
        << QStringLiteral("/nonexistent/hosttest/no-such-binary") << QStringList() << QString()
        << 10000 << VcsJob::StartFailed << -1 << "could not be started";
    QTest::newRow("missing working directory")
        << helper << QStringList{"exit", "0"} << QStringLiteral("/nonexistent/hosttest/dir")
        << 10000 << VcsJob::StartFailed << -1 << "could not be started";
    QTest::newRow("time-out") << helper << QStringList{"sleep", "30000"} << QString() << 300
                              << VcsJob::TimedOut << -1 << "timeout limit (300 ms)";
}

void tst_Jobs::results()
{
    QFETCH(QString, binary);
    QFETCH(QStringList, arguments);
    QFETCH(QString, workingDirectory);
    QFETCH(int, timeOutMs);
    QFETCH(VcsJob::Result, result);
    QFETCH(int, exitCode);
    QFETCH(QString, paneSays);

    JobQueue queue;
    auto job = new VcsJob(binary, arguments, workingDirectory);
    job->setTimeOutMs(timeOutMs);
    VcsJob::Result actual = VcsJob::Cancelled;
    int actualExitCode = -2;
    QVERIFY(runToEnd(queue, job, &actual, &actualExitCode));
    QCOMPARE(actual, result);
    QCOMPARE(actualExitCode, exitCode);
    const QString pane = VcsOutputWindow::content();
    QVERIFY2(pane.startsWith(QLatin1String("Executing")), qPrintable(pane));
    if (paneSays.isEmpty())
        QCOMPARE(pane.count(QLatin1Char('\n')), 1);
    else
        QVERIFY2(pane.contains(paneSays), qPrintable(pane));
}

void tst_Jobs::processTreeEndsWithTheCommand_data()
{
    QTest::addColumn<QString>("road");
    QTest::addColumn<QString>("paneSays");
    QTest::newRow("runVcs time-out") << "runVcs" << "timeout limit (400 ms)";
    QTest::newRow("runVcs time-out, fully synchronous") << "runVcs sync" << "timeout limit (400 ms)";
    QTest::newRow("job time-out") << "job" << "timeout limit (400 ms)";
    QTest::newRow("job cancelled") << "job cancel" << "was cancelled";
}

// POSIX: a client's helper is a grandchild in the client's process group.
void tst_Jobs::processTreeEndsWithTheCommand()
{
    QFETCH(QString, road);
    QFETCH(QString, paneSays);
    const QString marker =
        m_tempDir.filePath(QStringLiteral("marker-%1").arg(QTest::currentDataTag()));
    const QStringList arguments{"tree", "3000", marker};

    QString pids;
    if (road.startsWith(QLatin1String("runVcs"))) {
        const RunFlags flags =
            road.endsWith(QLatin1String("sync")) ? RunFlag::FullySynchronously : RunFlags();
        pids = VcsBasePlugin::runVcs(QString(), helper, arguments, 400, flags).stdOut;
    } else {
        JobQueue queue;
        QPointer<VcsJob> job = new VcsJob(helper, arguments);
        const bool cancel = road.endsWith(QLatin1String("cancel"));
        job->setTimeOutMs(cancel ? 0 : 400);
        bool done = false;
        connect(job, &VcsJob::finished, this, [&] {
            done = true;
            pids = job->stdOut();
        });
        queue.submit(job);
        if (cancel) {
            QTRY_VERIFY(job->stdOut().contains(QLatin1Char('\n')));
            job->cancel();
        }
        QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    }
    const QStringList both = pids.trimmed().split(QLatin1Char(' '));
    QCOMPARE(both.size(), 2);
    QTRY_VERIFY(processIsGone(both.at(0).toLongLong()));
    // Had the grandchild survived, it would have created the marker later.
    QTRY_VERIFY(processIsGone(both.at(1).toLongLong()));
    QVERIFY(!QFile::exists(marker));
    QVERIFY2(VcsOutputWindow::content().contains(paneSays), qPrintable(VcsOutputWindow::content()));
}

void tst_Jobs::queueRunsInOrderWhileInputIsServed()
{
    JobQueue queue;
    QStringList events;
    connect(&queue, &JobQueue::jobStarted, this,
            [&](VcsJob *job) { events << QLatin1String("start ") + job->description(); });
    connect(&queue, &JobQueue::jobFinished, this,
            [&](VcsJob *job) { events << QLatin1String("end ") + job->description(); });
    auto job = [](const QString &name, const QStringList &arguments) {
        auto j = new VcsJob(helper, arguments);
        j->setDescription(name);
        return j;
    };
    QPointer<VcsJob> slow = job(QStringLiteral("slow"), {"sleep", "500"});
    QPointer<VcsJob> quick = job(QStringLiteral("quick"), {"exit", "0"});
    QPointer<VcsJob> dropped = job(QStringLiteral("dropped"), {"exit", "0"});

    queue.submit(slow);
    queue.submit(quick);
    queue.submit(dropped);
    // Submitting returned while the first job runs; the others wait their turn.
    QCOMPARE(slow->state(), VcsJob::Running);
    QCOMPARE(quick->state(), VcsJob::Waiting);
    QCOMPARE(queue.waitingCount(), 2);
    dropped->cancel();
    QCOMPARE(queue.waitingCount(), 1);

    // A person types and a timer ticks while the job runs.
    QLineEdit edit;
    bool typedWhileRunning = false;
    connect(&edit, &QLineEdit::textEdited, this,
            [&] { typedWhileRunning = slow && slow->state() == VcsJob::Running; });
    QCoreApplication::postEvent(&edit,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    int ticksWhileRunning = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (slow && slow->state() == VcsJob::Running)
            ++ticksWhileRunning;
    });
    ticker.start(10);

    QSignalSpy idle(&queue, &JobQueue::idle);
    QVERIFY(idle.wait(10000));
    QVERIFY(queue.isIdle());
    QCOMPARE(events, (QStringList{"start slow", "end slow", "start quick", "end quick"}));
    QVERIFY(typedWhileRunning);
    QVERIFY(ticksWhileRunning > 0);
    QTRY_VERIFY(!slow && !quick && !dropped); // the queue deletes what it ran
}

// A read the IDE makes on its own never delays a person's command: one waiting goes after it,
// one running is stopped and runs again after it, and is heard of once, when it has ended.
void tst_Jobs::personGoesBeforeBackgroundReads()
{
    JobQueue queue;
    QStringList events;
    connect(&queue, &JobQueue::jobStarted, this,
            [&](VcsJob *job) { events << QLatin1String("start ") + job->description(); });
    auto job = [&](const QString &name, const QStringList &arguments, bool background) {
        auto j = new VcsJob(helper, arguments);
        j->setDescription(name);
        j->setBackground(background);
        connect(j, &VcsJob::finished, this, [&events, j, name] {
            events << QStringLiteral("end %1 %2").arg(name).arg(j->succeeded() ? "ok" : "failed");
        });
        return j;
    };
    queue.submit(job(QStringLiteral("read"), {"sleep", "1000"}, true));
    queue.submit(job(QStringLiteral("second read"), {"exit", "0"}, true));
    QTRY_COMPARE(events, QStringList({"start read"}));
    queue.submit(job(QStringLiteral("command"), {"exit", "0"}, false));
    queue.submit(job(QStringLiteral("next command"), {"exit", "0"}, false));
    QSignalSpy idle(&queue, &JobQueue::idle);
    QVERIFY(idle.wait(20000));
    QCOMPARE(events, (QStringList{"start read", "start command", "end command ok",
                                  "start next command", "end next command ok", "start read",
                                  "end read ok", "start second read", "end second read ok"}));
}

// What a job needs before its process starts (a password) comes in its turn: the jobs behind
// it wait, a cancel meanwhile ends it at once, and a preparation that fails says why.
void tst_Jobs::preparationIsAStepOfTheTurn()
{
    JobQueue queue;
    VcsJob::Ready ready;
    auto waiting = new VcsJob(helper, {"exit", "3"});
    waiting->setPreparation([&](VcsJob &job, const VcsJob::Ready &proceed) {
        job.setArguments({"exit", "0"});
        ready = proceed;
    });
    VcsJob::Result result = VcsJob::StartFailed;
    connect(waiting, &VcsJob::finished, this, [&] { result = waiting->result(); });
    auto refused = new VcsJob(helper, {"exit", "0"});
    refused->setPreparation([](VcsJob &, const VcsJob::Ready &proceed) { proceed("no password"); });
    QString refusal;
    connect(refused, &VcsJob::finished, this, [&] { refusal = refused->stdErr(); });
    auto cancelled = new VcsJob(helper, {"exit", "0"});
    cancelled->setPreparation([](VcsJob &, const VcsJob::Ready &) {});
    VcsJob::Result cancelledResult = VcsJob::Finished;
    connect(cancelled, &VcsJob::finished, this, [&] { cancelledResult = cancelled->result(); });

    queue.submit(waiting);
    queue.submit(refused);
    queue.submit(cancelled);
    QVERIFY(ready);
    QCOMPARE(queue.waitingCount(), 2);
    ready(QString());
    QTRY_COMPARE(result, VcsJob::Finished); // with the arguments it was given meanwhile
    QTRY_COMPARE(refusal, QStringLiteral("no password"));
    QTRY_VERIFY(queue.runningJob() == cancelled);
    queue.cancelRunning();
    QCOMPARE(cancelledResult, VcsJob::Cancelled);
    QTRY_VERIFY(queue.isIdle());
}

// A run the IDE waits for says what it waits for once it lasts, and can be cancelled with the
// window's button or Escape: the process tree ends and the run is Cancelled. What the person
// typed meanwhile reaches the widget that had the focus afterwards, in its order.
void tst_Jobs::aLongWaitShowsItselfAndCancels_data()
{
    QTest::addColumn<bool>("escape");
    QTest::addColumn<RunFlags>("flags");
    QTest::newRow("Cancel") << false << RunFlags();
    QTest::newRow("Escape, fully synchronously") << true << RunFlags(RunFlag::FullySynchronously);
}

void tst_Jobs::aLongWaitShowsItselfAndCancels()
{
    QFETCH(bool, escape);
    QFETCH(RunFlags, flags);
    QLineEdit edit;
    edit.show();
    edit.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    // Typed before the window shows, and while it shows.
    QCoreApplication::postEvent(&edit,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    QString shown;
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("waitWindow") && w->isVisible() &&
                shown.isEmpty()) {
                shown = w->findChild<QLabel *>(QStringLiteral("waitLabel"))->text();
                QWidget *focus = QApplication::focusWidget();
                QCoreApplication::postEvent(
                    focus ? focus : w,
                    new QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b"));
                if (escape) {
                    QCoreApplication::postEvent(
                        w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
                } else {
                    QMetaObject::invokeMethod(
                        w->findChild<QPushButton *>(QStringLiteral("cancelWaitButton")), "click",
                        Qt::QueuedConnection);
                }
            }
        }
    });
    look.start(20);
    const SynchronousProcessResponse r =
        VcsBasePlugin::runVcs(m_tempDir.path(), helper, {"sleep", "60000"}, 120000, flags);
    look.stop();
    QVERIFY2(shown.startsWith(QLatin1String("Waiting for childprocess sleep")), qPrintable(shown));
    QCOMPARE(r.result, SynchronousProcessResponse::Cancelled);
    const qint64 pid = r.stdOut.section(QLatin1Char('\n'), 0, 0).toLongLong();
    QVERIFY(pid > 0);
    QTRY_VERIFY(processIsGone(pid));
    QVERIFY2(VcsOutputWindow::content().contains(QLatin1String("was cancelled")),
             qPrintable(VcsOutputWindow::content()));
    QTRY_COMPARE(edit.text(), QStringLiteral("ab"));
}

void tst_Jobs::outputStreamsAndDecodesAcrossReads_data()
{
    QTest::addColumn<QStringList>("pieces");
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QString>("text");
    QTest::newRow("character split")
        << QStringList{"4772c3", "bc6265"} << QByteArray() << QString::fromUtf8("Grübe");
    QTest::newRow("four bytes split three ways")
        << QStringList{"78f09f", "98", "80790a"} << QByteArray() << QString::fromUtf8("x😀y\n");
    QTest::newRow("crlf split") << QStringList{"610d", "0a62"} << QByteArray() << "a\nb";
    QTest::newRow("lone cr kept") << QStringList{"610d", "62"} << QByteArray() << "a\rb";
    QTest::newRow("cr last") << QStringList{"610d"} << QByteArray() << "a\r";
    QTest::newRow("ends inside a character")
        << QStringList{"61", "c3"} << QByteArray() << QStringLiteral("a\uFFFD");
    QTest::newRow("given codec") << QStringList{"e90d", "0a"} << QByteArray("ISO-8859-1")
                                 << QString::fromUtf8("é\n");
}

void tst_Jobs::outputStreamsAndDecodesAcrossReads()
{
    QFETCH(QStringList, pieces);
    QFETCH(QByteArray, codec);
    QFETCH(QString, text);
    for (const bool streamed : {false, true}) {
        VcsOutputWindow::clearContents();
        JobQueue queue;
        auto job = new VcsJob(helper, QStringList{"pieces", "100"} + pieces);
        job->setFlags(streamed ? RunFlag::ShowStdOutInLogWindow : RunFlag::SuppressCommandLogging);
        job->setCodec(codec.isEmpty() ? nullptr : QTextCodec::codecForName(codec));
        bool outputWhileRunning = false;
        QObject context;
        connect(VcsOutputWindow::instance(), &VcsOutputWindow::textAppended, &context,
                [&](const QString &, VcsOutputWindow::Kind kind) {
                    if (kind == VcsOutputWindow::Normal && job->state() == VcsJob::Running)
                        outputWhileRunning = true;
                });
        QString stdOut;
        connect(job, &VcsJob::finished, this, [&] { stdOut = job->stdOut(); });
        VcsJob::Result result = VcsJob::Cancelled;
        QVERIFY(runToEnd(queue, job, &result));
        QCOMPARE(result, VcsJob::Finished);
        QCOMPARE(stdOut, text);
        if (streamed) {
            QVERIFY(outputWhileRunning);
            const QString pane = VcsOutputWindow::content();
            QCOMPARE(pane.mid(pane.indexOf(QLatin1Char('\n')) + 1), text);
        } else {
            QCOMPARE(VcsOutputWindow::content(), QString());
        }
    }
}

void tst_Jobs::outputKeptWholeOrItsEnd_data()
{
    QTest::addColumn<RunFlags>("flags");
    QTest::addColumn<bool>("whole");
    QTest::newRow("silent: whole") << RunFlags() << true;
    QTest::newRow("into the pane: its end") << RunFlags(RunFlag::ShowStdOutInLogWindow) << false;
}

void tst_Jobs::outputKeptWholeOrItsEnd()
{
    QFETCH(RunFlags, flags);
    QFETCH(bool, whole);
    const int lines = 100000; // 33 characters each once CR LF is LF
    JobQueue queue;
    auto job = new VcsJob(helper, {"huge", QString::number(lines)});
    job->setFlags(flags);
    QString stdOut;
    qint64 size = 0;
    connect(job, &VcsJob::finished, this, [&] {
        stdOut = job->stdOut();
        size = job->stdOutSize();
    });
    VcsJob::Result result = VcsJob::Cancelled;
    QVERIFY(runToEnd(queue, job, &result));
    QCOMPARE(result, VcsJob::Finished);
    QCOMPARE(size, qint64(lines) * 33);
    QCOMPARE(stdOut.size(), whole ? lines * 33 : int(VcsJob::TailCharacters));
    QVERIFY(stdOut.endsWith(QLatin1String("line 00099999 of the huge output\n")));
}

void tst_Jobs::starterHandsAStartedProcess_data()
{
    QTest::addColumn<QString>("starter");
    QTest::addColumn<VcsJob::Result>("result");
    QTest::addColumn<QString>("stdOut");
    // The process started ahead gets its input from the starter; one the job starts itself
    // sees its input closed.
    QTest::newRow("started ahead") << "stdin" << VcsJob::Finished << "9";
    QTest::newRow("ended before the job took it") << "exit" << VcsJob::FinishedError << "";
    QTest::newRow("declined") << "" << VcsJob::Finished << "0";
    QTest::newRow("failed to start") << "missing" << VcsJob::StartFailed << "";
}

void tst_Jobs::starterHandsAStartedProcess()
{
    QFETCH(QString, starter);
    QFETCH(VcsJob::Result, result);
    QFETCH(QString, stdOut);
    JobQueue queue;
    // The job's own command line is what the pane shows, whatever the process runs.
    auto job = new VcsJob(helper, {"stdin", "/login:ann,secret"});
    job->setStarter([&](const VcsJob &) -> Utils::TreeProcess * {
        if (starter.isEmpty())
            return nullptr;
        auto process = new Utils::TreeProcess;
        if (starter == QLatin1String("missing")) {
            process->start(QStringLiteral("/nonexistent/tf"), {QStringLiteral("@")});
            process->waitForStarted();
            return process;
        }
        process->start(helper, starter == QLatin1String("exit") ? QStringList{"exit", "4"}
                                                                : QStringList{"stdin"});
        process->write("given one");
        process->closeWriteChannel();
        if (starter == QLatin1String("exit"))
            process->waitForFinished();
        return process;
    });
    QString actualOut;
    connect(job, &VcsJob::finished, this, [&] { actualOut = job->stdOut(); });
    VcsJob::Result actual = VcsJob::Cancelled;
    QVERIFY(runToEnd(queue, job, &actual));
    QCOMPARE(actual, result);
    QCOMPARE(actualOut, stdOut);
    QVERIFY(VcsOutputWindow::content().contains(
        VcsOutputWindow::formatCommandLine(helper, {"stdin", "/login:ann,********"})));
}

void tst_Jobs::paneKeepsTheNewestOutput_data()
{
    QTest::addColumn<int>("lineLength");
    QTest::addColumn<int>("lines");
    QTest::newRow("many lines") << 60 << 60000;
    QTest::newRow("one line of 5 MB") << 5 * 1024 * 1024 << 1;
}

void tst_Jobs::paneKeepsTheNewestOutput()
{
    QFETCH(int, lineLength);
    QFETCH(int, lines);
    using Workbench::OutputPane;
    OutputPane pane;
    // The output comes in pieces of 64 KiB, as a process's reads would bring it.
    const QString line = QString(lineLength - 1, QLatin1Char('x')) + QLatin1Char('\n');
    QString pending;
    qint64 written = 0;
    for (int i = 0; i < lines; ++i) {
        pending += line;
        if (i == lines - 1)
            pending += QLatin1String("the end");
        while (pending.size() >= 65536 || (i == lines - 1 && !pending.isEmpty())) {
            const QString piece = pending.left(65536);
            pending.remove(0, piece.size());
            VcsOutputWindow::appendOutput(piece);
            written += piece.size();
        }
    }
    const QTextDocument *doc = pane.document();
    QVERIFY2(doc->characterCount() <= OutputPane::MaxCharacters,
             qPrintable(QString::number(doc->characterCount())));
    QVERIFY(doc->blockCount() <= OutputPane::MaxBlocks);
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
        QVERIFY(block.length() <= OutputPane::MaxLineLength + 1);
    QCOMPARE(doc->lastBlock().text(), QStringLiteral("the end"));
    // The first line says what went; what is kept and what went add up to what came, and
    // to no more than that and the breaks of an over-long line.
    QCOMPARE(doc->firstBlock().text(), VcsOutputWindow::droppedLine(pane.droppedBytes()));
    const qint64 kept = doc->characterCount() - doc->firstBlock().length() - 1;
    const qint64 breaks =
        lineLength > OutputPane::MaxLineLength ? written / OutputPane::MaxLineLength + 1 : 0;
    QVERIFY2(pane.droppedBytes() + kept >= written &&
                 pane.droppedBytes() + kept <= written + breaks,
             qPrintable(
                 QStringLiteral("%1 + %2 for %3").arg(pane.droppedBytes()).arg(kept).arg(written)));
    QCOMPARE(VcsOutputWindow::droppedLine(43200000),
             QStringLiteral("[41.2 MB of earlier output not shown]"));
}

QTEST_MAIN(tst_Jobs)

#include "tst_jobs.moc"
