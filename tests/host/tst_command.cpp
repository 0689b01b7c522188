// The host's command of several jobs, as the checkout wizard hands it over.

#include "recordfile.h"

#include <utils/synchronousprocess.h>
#include <vcsbase/command.h>
#include <vcsbase/jobqueue.h>
#include <vcsbase/vcsoutputwindow.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using VcsBase::Command;

namespace {
const QString helper = QStringLiteral(CHILD_PROCESS);

// Treats exit code 1 as success, as some clients report "nothing to do" with it.
class LenientInterpreter : public Utils::ExitCodeInterpreter
{
public:
    Utils::SynchronousProcessResponse::Result interpretExitCode(int code) const override
    {
        return code <= 1 ? Utils::SynchronousProcessResponse::Finished
                         : Utils::SynchronousProcessResponse::FinishedError;
    }
};
} // namespace

class tst_Command : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void jobsRunInOrderUntilTheFirstFailure_data();
    void jobsRunInOrderUntilTheFirstFailure();
    void jobsShareDirectoryAndEnvironment();
    void jobTimeOutStopsTheCommand();
    void interpreterDecidesSuccess();
    void commandWaitsItsTurnAndCanBeCancelled();

private:
    QString recordFile() const { return m_tempDir.filePath(QStringLiteral("jobs.rec")); }
    QTemporaryDir m_tempDir;
};

void tst_Command::init()
{
    QVERIFY(m_tempDir.isValid());
    QFile::remove(recordFile());
}

void tst_Command::jobsRunInOrderUntilTheFirstFailure_data()
{
    QTest::addColumn<QList<int>>("exitCodes");
    QTest::addColumn<int>("jobsRun");
    QTest::newRow("all succeed") << QList<int>{0, 0, 0} << 3;
    QTest::newRow("first fails") << QList<int>{3, 0, 0} << 1;
    QTest::newRow("middle fails") << QList<int>{0, 2, 0} << 2;
    QTest::newRow("last fails") << QList<int>{0, 0, 9} << 3;
    QTest::newRow("single job") << QList<int>{0} << 1;
}

void tst_Command::jobsRunInOrderUntilTheFirstFailure()
{
    QFETCH(QList<int>, exitCodes);
    QFETCH(int, jobsRun);

    Command command(helper, m_tempDir.path(), QProcessEnvironment());
    for (int i = 0; i < exitCodes.size(); ++i) {
        command.addJob({"record", recordFile(), QString::number(exitCodes.at(i)),
                        QStringLiteral("job %1").arg(i), "-flag"});
    }
    QSignalSpy finished(&command, &Command::finished);
    const bool allSucceeded = exitCodes.count(0) == exitCodes.size();

    QCOMPARE(command.run(), allSucceeded);
    QCOMPARE(command.jobsRun(), jobsRun);
    QCOMPARE(command.lastExitCode(), exitCodes.at(jobsRun - 1));
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().at(0).toBool(), allSucceeded);
    QCOMPARE(finished.first().at(1).toInt(), exitCodes.at(jobsRun - 1));

    bool ok = false;
    const QList<RecordedRun> runs = RecordFile::read(recordFile(), &ok);
    QVERIFY(ok);
    QCOMPARE(runs.size(), jobsRun);
    for (int i = 0; i < runs.size(); ++i)
        QCOMPARE(runs.at(i).arguments, (QStringList{QStringLiteral("job %1").arg(i), "-flag"}));
}

void tst_Command::jobsShareDirectoryAndEnvironment()
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("HOSTTEST_COMMAND"), QStringLiteral("from the command"));
    Command command(helper, m_tempDir.path(), env);
    command.addJob({"record", recordFile(), "0", "first"});
    command.addJob({"env", "HOSTTEST_COMMAND"});
    command.addJob({"record", recordFile(), "0", "third"});
    QSignalSpy output(&command, &Command::output);

    QVERIFY(command.run());
    QCOMPARE(output.size(), 1);
    QCOMPARE(output.first().first().toString(), QStringLiteral("from the command"));
    bool ok = false;
    const QList<RecordedRun> runs = RecordFile::read(recordFile(), &ok);
    QVERIFY(ok);
    QCOMPARE(runs.size(), 2);
    for (const RecordedRun &run : runs)
        QCOMPARE(run.workingDirectory, QDir(m_tempDir.path()).canonicalPath());
    // The job's output reaches the pane too.
    QVERIFY(VcsBase::VcsOutputWindow::content().contains(QLatin1String("from the command")));
}

void tst_Command::jobTimeOutStopsTheCommand()
{
    Command command(helper, m_tempDir.path(), QProcessEnvironment());
    command.addJob({"sleep", "200"}, -1);      // no limit: finishes
    command.addJob({"sleep", "30000"}, 400);   // killed at its own limit
    command.addJob({"record", recordFile(), "0", "never"});
    QVERIFY(!command.run());
    // Stopped at the job's limit, not woken after half a minute.
    QVERIFY2(VcsBase::VcsOutputWindow::content().contains(
                 QLatin1String("did not respond within the timeout limit (400 ms)")),
             qPrintable(VcsBase::VcsOutputWindow::content()));
    QCOMPARE(command.jobsRun(), 2);
    QVERIFY(!QFile::exists(recordFile()));
}

void tst_Command::interpreterDecidesSuccess()
{
    LenientInterpreter lenient;
    Command command(helper, m_tempDir.path(), QProcessEnvironment());
    command.addJob({"exit", "1"}, 10000, &lenient);
    command.addJob({"record", recordFile(), "1", "default interpreter"});
    command.addJob({"record", recordFile(), "0", "not reached"});
    QVERIFY(!command.run());
    QCOMPARE(command.jobsRun(), 2);
    bool ok = false;
    QCOMPARE(RecordFile::read(recordFile(), &ok).size(), 1);
    QVERIFY(ok);
}

void tst_Command::commandWaitsItsTurnAndCanBeCancelled()
{
    VcsBase::JobQueue queue;
    auto running = new VcsBase::VcsJob(helper, {"sleep", "300"});
    queue.submit(running);

    // Started behind a running job, the command returns at once and its jobs wait.
    Command command(helper, m_tempDir.path(), QProcessEnvironment());
    command.addJob({"record", recordFile(), "0", "first"});
    command.addJob({"sleep", "30000"});
    command.addJob({"record", recordFile(), "0", "never"});
    QSignalSpy finished(&command, &Command::finished);
    command.start();
    QVERIFY(command.isRunning());
    QCOMPARE(queue.waitingCount(), 3);
    QVERIFY(!QFile::exists(recordFile()));

    // Cancelled during its second job: the rest never runs, and it finishes as failed.
    QTRY_COMPARE_WITH_TIMEOUT(command.jobsRun(), 2, 10000);
    command.cancel();
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(finished.first().at(0).toBool(), false);
    QTRY_VERIFY(queue.isIdle());
    QCOMPARE(command.jobsRun(), 2);
    bool ok = false;
    QCOMPARE(RecordFile::read(recordFile(), &ok).size(), 1);
    QVERIFY(ok);
}

QTEST_GUILESS_MAIN(tst_Command)

#include "tst_command.moc"
